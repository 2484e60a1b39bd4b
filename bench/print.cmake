kz_bench(bench-print SOURCES ${CMAKE_CURRENT_LIST_DIR}/PrintBench.cpp
  LIBS app-print tools engine-view engine-theme engine-layers engine-objects Qt6::PrintSupport)
