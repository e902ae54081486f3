# Refuses an #include that reaches above its own layer. Run as a script:
#   cmake -DSOURCE_DIR=<checkout> [-DSTAMP=<file>] -P CheckLayering.cmake
# The layers, lowest first; each may include its own folder and the folders
# listed for it, nothing else of ours, and no Qt:
#   platform - platform/
#   core     - platform/, core/
#   usbwatch - platform/, usbwatch/
#   agent    - platform/, usbwatch/, agent/
# The application (app/) sits on top and is not checked.
cmake_minimum_required(VERSION 3.25)

get_filename_component(SOURCE_DIR ${SOURCE_DIR} REALPATH)
set(allowed_platform platform)
set(allowed_core platform core)
set(allowed_usbwatch platform usbwatch)
set(allowed_agent platform usbwatch agent)
set(our_folders platform core usbwatch agent app tests bench resources)

set(violations "")
foreach(layer platform core usbwatch agent)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.hpp ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
    get_filename_component(file_dir ${file} DIRECTORY)
    file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
        continue()
      endif()
      set(bracket ${CMAKE_MATCH_1})
      set(target ${CMAKE_MATCH_2})
      # Qt: <QString>, <QtCore/QString> and the like.
      if(target MATCHES "^Q[A-Za-z]")
        string(APPEND violations "  ${shown}: ${line} (Qt)\n")
        continue()
      endif()
      # A quoted include found beside the file is resolved to where it is.
      if(bracket STREQUAL "\"" AND EXISTS ${file_dir}/${target})
        get_filename_component(resolved ${file_dir}/${target} REALPATH)
        file(RELATIVE_PATH target ${SOURCE_DIR} ${resolved})
      endif()
      if(NOT target MATCHES "^([^/]+)/")
        continue()
      endif()
      set(folder ${CMAKE_MATCH_1})
      if(NOT folder IN_LIST our_folders OR folder IN_LIST allowed_${layer})
        continue()
      endif()
      string(APPEND violations "  ${shown}: ${line} (${layer} may not include ${folder}/)\n")
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes above their layer:\n${violations}")
endif()
if(STAMP)
  file(TOUCH ${STAMP})
endif()
