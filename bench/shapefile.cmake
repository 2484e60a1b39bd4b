# Shapefile import and export beside GDAL's OGR C API (GDAL linked here only).
find_package(PkgConfig REQUIRED)
pkg_check_modules(GDAL REQUIRED IMPORTED_TARGET gdal)
kz_bench(bench-shapefile SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShapefileBench.cpp LIBS engine-exchange PkgConfig::GDAL)
