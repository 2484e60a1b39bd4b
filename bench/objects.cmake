kz_bench(bench-objects SOURCES ${CMAKE_CURRENT_LIST_DIR}/ObjectsBench.cpp LIBS engine-objects)
