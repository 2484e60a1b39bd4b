kz_bench(bench-rtf SOURCES ${CMAKE_CURRENT_LIST_DIR}/RtfBench.cpp LIBS platform-rtf platform-jpeg)
