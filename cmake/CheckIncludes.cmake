# cmake -DRULES=<rules file> -DSOURCE_DIR=<source tree> -P CheckIncludes.cmake
# Every header of a library folder and every source of the library may
# include headers of its own folder and of the folders of the libraries it
# names (kz_library LIBS and PRIVATE_LIBS); an include of any other library
# folder is an error.
cmake_minimum_required(VERSION 3.25)
include(${RULES})
set(errors)
foreach(folder IN LISTS KZ_RULE_FOLDERS)
  string(MAKE_C_IDENTIFIER "${folder}" id)
  set(allowed "${folder}" ${KZ_ALLOWED_${id}})
  foreach(file IN LISTS KZ_FILES_${id})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      get_filename_component(dir "${header}" DIRECTORY)
      if(dir IN_LIST KZ_RULE_FOLDERS AND NOT dir IN_LIST allowed)
        file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
        string(MAKE_C_IDENTIFIER "${dir}" other)
        list(APPEND errors "${rel} includes \"${header}\", but ${KZ_LIBRARY_${id}} does not name ${KZ_LIBRARY_${other}}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(errors)
  list(JOIN errors "\n  " text)
  message(FATAL_ERROR "Includes against the library dependencies:\n  ${text}")
endif()
