kz_bench(bench-jpeg SOURCES ${CMAKE_CURRENT_LIST_DIR}/JpegBench.cpp LIBS platform-jpeg)
