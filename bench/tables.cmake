# Keeping a 10k-object selection of a 100k-object layer in step between the
# attribute-table window and the map, against SQLite finding the same rows
# by "ID" and their "ID"s by row (linked here only).
find_package(SQLite3 REQUIRED)
kz_bench(bench-tables SOURCES ${CMAKE_CURRENT_LIST_DIR}/SyncSelectionBench.cpp
  LIBS app engine-view platform-db SQLite::SQLite3)
