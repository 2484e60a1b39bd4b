# Coordinate conversions beside PROJ and GeographicLib (linked here and in
# the tests only).
find_package(PROJ CONFIG REQUIRED)
find_library(KZ_GEOGRAPHICLIB GeographicLib REQUIRED)
kz_bench(bench-coords SOURCES ${CMAKE_CURRENT_LIST_DIR}/CoordsBench.cpp
  LIBS coords PROJ::proj ${KZ_GEOGRAPHICLIB})
