kz_bench(bench-db SOURCES ${CMAKE_CURRENT_LIST_DIR}/DbScanBench.cpp LIBS platform-db)
# Queries over records that share one large memo, against the table walk.
kz_bench(bench-db-memo SOURCES ${CMAKE_CURRENT_LIST_DIR}/DbSharedMemoBench.cpp LIBS platform-db)
# Reading a million-record dBase table as text beside GDAL's OGR reading
# the same file (linked here only).
find_package(PkgConfig REQUIRED)
pkg_check_modules(GDAL REQUIRED IMPORTED_TARGET gdal)
kz_bench(bench-db-text SOURCES ${CMAKE_CURRENT_LIST_DIR}/DbReadTextBench.cpp LIBS platform-db PkgConfig::GDAL)
