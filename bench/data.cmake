# Opening a layer's attribute table beside reading the same rows from a
# native SQLite table (linked here only).
find_package(SQLite3 REQUIRED)
kz_bench(bench-data SOURCES ${CMAKE_CURRENT_LIST_DIR}/DataOpenLayerTableBench.cpp
  LIBS engine-data engine-layers engine-objects SQLite::SQLite3)
