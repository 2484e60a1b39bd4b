kz_bench(bench-db SOURCES ${CMAKE_CURRENT_LIST_DIR}/DbScanBench.cpp LIBS platform-db)
