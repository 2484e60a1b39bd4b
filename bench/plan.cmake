kz_bench(bench-plan SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShowOrthophotoBench.cpp LIBS app-plan tools platform-jpeg)
