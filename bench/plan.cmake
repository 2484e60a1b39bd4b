kz_bench(bench-plan SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShowOrthophotoBench.cpp LIBS app-plan tools platform-jpeg)
# The viewer's start on a plan beside reading its layers as shapefiles with
# shapelib and drawing them with QPainter.
kz_bench(bench-startplan SOURCES ${CMAKE_CURRENT_LIST_DIR}/StartPlanBench.cpp LIBS app-plan tools engine-exchange shp)
