# kz_library(<name> SOURCES ... [QT Core Gui ...] [LIBS ...] [PRIVATE_LIBS ...])
# One library target per folder; the include root is the source tree, so
# headers are included as "core/TextLines.h". LIBS are the targets
# the library's headers expose (linked PUBLIC), PRIVATE_LIBS the ones only
# its sources use.
function(kz_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PRIVATE_LIBS;QT" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  # What kz_check_dependencies reads: the folder and the libraries named.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY KZ_LIBRARIES ${name})
  set_target_properties(${name} PROPERTIES KZ_FOLDER "${folder}" KZ_DEPENDS "${ARG_LIBS};${ARG_PRIVATE_LIBS}")
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
  # Each test program runs in a folder of its own, so that programs run at
  # once never meet in files they make in their current folder.
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name}-work)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name}-work)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES
    LABELS "${label}"
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KZ_SOURCE_DIR=${PROJECT_SOURCE_DIR};KZ_SETTINGS_FILE=${CMAKE_CURRENT_BINARY_DIR}/${name}-settings.ini;KZ_DATA_DIR=${CMAKE_CURRENT_BINARY_DIR}/${name}-data;ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1;UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0:suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp")
endfunction()

# kz_bench(<name> SOURCES ... [LIBS ...])
function(kz_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# kz_check_dependencies(<folders, bottom first>)
# The arrows point one way: a library may name only libraries of folders
# listed before its own (checked here, when CMake runs), and a header of a
# library folder or a source of the library may include only headers of
# its own folder and of the folders of the libraries it names (checked by
# cmake/CheckIncludes.cmake before any library is built, so that a
# wrong-way include fails the build).
function(kz_check_dependencies)
  set(order ${ARGN})
  get_property(libs GLOBAL PROPERTY KZ_LIBRARIES)
  set(rules "set(KZ_RULE_FOLDERS)\n")
  foreach(lib IN LISTS libs)
    get_target_property(folder ${lib} KZ_FOLDER)
    get_target_property(depends ${lib} KZ_DEPENDS)
    list(FIND order "${folder}" rank)
    set(allowed)
    foreach(dep IN LISTS depends)
      if(NOT TARGET ${dep})
        continue()
      endif()
      get_target_property(depFolder ${dep} KZ_FOLDER)
      if(NOT depFolder)
        continue()  # not one of ours
      endif()
      list(FIND order "${depFolder}" depRank)
      if(NOT depRank LESS rank)
        message(FATAL_ERROR "${lib} (${folder}) names ${dep} (${depFolder}), which is not below it")
      endif()
      list(APPEND allowed ${depFolder})
    endforeach()
    # The folder's headers and the library's own sources (a program's main
    # file beside them is the program's).
    file(GLOB files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    get_target_property(sources ${lib} SOURCES)
    foreach(src IN LISTS sources)
      if(NOT IS_ABSOLUTE "${src}")
        set(src ${PROJECT_SOURCE_DIR}/${folder}/${src})
      endif()
      get_filename_component(srcDir "${src}" DIRECTORY)
      if(src MATCHES "\\.cpp$" AND srcDir STREQUAL "${PROJECT_SOURCE_DIR}/${folder}")
        list(APPEND files ${src})
      endif()
    endforeach()
    string(MAKE_C_IDENTIFIER "${folder}" id)
    string(APPEND rules "list(APPEND KZ_RULE_FOLDERS \"${folder}\")\nset(KZ_LIBRARY_${id} \"${lib}\")\nset(KZ_ALLOWED_${id} \"${allowed}\")\nset(KZ_FILES_${id} \"${files}\")\n")
    list(APPEND scanned ${files})
  endforeach()
  set(rulesFile ${CMAKE_BINARY_DIR}/kz-include-rules.cmake)
  file(WRITE ${rulesFile} "${rules}")
  set(stamp ${CMAKE_BINARY_DIR}/kz-include-check.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DRULES=${rulesFile} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${scanned} ${rulesFile} ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMENT "Checking that every include follows the library dependencies"
    VERBATIM)
  add_custom_target(kz-include-check ALL DEPENDS ${stamp})
  foreach(lib IN LISTS libs)
    add_dependencies(${lib} kz-include-check)
  endforeach()
endfunction()
