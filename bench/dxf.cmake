# Importing a DXF file into a plain view, beside GDAL's OGR reading the
# same file's features (GDAL linked here only).
find_package(PkgConfig REQUIRED)
pkg_check_modules(GDAL REQUIRED IMPORTED_TARGET gdal)
kz_bench(bench-dxf SOURCES ${CMAKE_CURRENT_LIST_DIR}/ImportDxfBench.cpp
  LIBS engine-view engine-exchange PkgConfig::GDAL)
