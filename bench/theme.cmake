# Redrawing a theme layer after a change of UTM zone and datum, beside
# PROJ's proj_trans_generic on the same coordinates (PROJ linked here only).
find_package(PROJ CONFIG REQUIRED)
kz_bench(bench-theme SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReprojectBench.cpp
  LIBS engine-view engine-theme coords PROJ::proj)
