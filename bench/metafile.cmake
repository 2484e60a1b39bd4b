find_package(Qt6 REQUIRED COMPONENTS Svg)
kz_bench(bench-metafile SOURCES ${CMAKE_CURRENT_LIST_DIR}/MetafileBench.cpp
  LIBS engine-view engine-objects engine-layers platform-metafile Qt6::Svg)
