kz_bench(bench-objects2 SOURCES ${CMAKE_CURRENT_LIST_DIR}/LabelsBench.cpp LIBS engine-objects)
