# kz_library(<name> SOURCES ... [QT Core Gui ...] [LIBS ...] [PRIVATE_LIBS ...])
# One library target per folder; the include root is the source tree, so
# headers are included as "engine/core/TextLines.h". LIBS are the targets
# the library's headers expose (linked PUBLIC), PRIVATE_LIBS the ones only
# its sources use.
function(kz_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PRIVATE_LIBS;QT" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(q IN LISTS ARG_QT)
    target_link_libraries(${name} PUBLIC Qt6::${q})
  endforeach()
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
  if(ARG_PRIVATE_LIBS)
    target_link_libraries(${name} PRIVATE ${ARG_PRIVATE_LIBS})
  endif()
endfunction()

# kz_test(<name> SOURCES ... [LIBS ...])
# A GoogleTest program run by CTest. Its label is the folder under tests/
# with "/" turned into "-" (tests/engine/layers -> engine-layers).
function(kz_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "-" label "${rel}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES
    LABELS "${label}"
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KZ_SOURCE_DIR=${PROJECT_SOURCE_DIR};KZ_SETTINGS_FILE=${CMAKE_CURRENT_BINARY_DIR}/${name}-settings.ini;KZ_DATA_DIR=${CMAKE_CURRENT_BINARY_DIR}/${name}-data;ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1;UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
endfunction()

# kz_bench(<name> SOURCES ... [LIBS ...])
function(kz_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
