kz_bench(bench-view SOURCES ${CMAKE_CURRENT_LIST_DIR}/ViewRedrawBench.cpp LIBS engine-view engine-objects engine-layers)
