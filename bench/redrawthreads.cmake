# The view's redraw on the layer list's redraw threads beside the same view
# drawing on its own thread.
kz_bench(bench-redrawthreads SOURCES ${CMAKE_CURRENT_LIST_DIR}/RedrawThreadsBench.cpp
  LIBS engine-view engine-theme engine-layers engine-objects tools)
