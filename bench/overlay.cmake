kz_bench(bench-overlay SOURCES ${CMAKE_CURRENT_LIST_DIR}/OverlayBench.cpp LIBS engine-geometry)
