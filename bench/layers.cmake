kz_bench(bench-layers SOURCES ${CMAKE_CURRENT_LIST_DIR}/LayersLoadBench.cpp LIBS engine-layers shp)
