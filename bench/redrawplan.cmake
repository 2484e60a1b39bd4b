# The view's redraw of the full-size plan (map and every hill's base
# layers) beside a bare QPainter loop over the same geometry.
kz_bench(bench-redrawplan SOURCES ${CMAKE_CURRENT_LIST_DIR}/RedrawPlanBench.cpp
  LIBS engine-view engine-theme engine-layers engine-objects core tools platform-settings)
