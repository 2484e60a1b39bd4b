kz_bench(bench-core SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReadLinesBench.cpp LIBS core)
