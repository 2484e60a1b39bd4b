kz_bench(bench-tools SOURCES ${CMAKE_CURRENT_LIST_DIR}/IdentifyBench.cpp LIBS engine-view engine-layers engine-objects)
