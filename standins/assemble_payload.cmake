# Assembles the stand-in payload directory, run as a script at build time: cmake -DLIST=FILE -P.
# LIST names a file that sets MXV_ASSEMBLE_DIR, and MXV_ASSEMBLE_ITEMS as "NAME|KIND|SOURCE" entries,
# where KIND is "copy" (the file as it is) or "template" (the file without its leading "#" lines).
# Afterwards the directory holds exactly those names: anything else in it is removed first.
cmake_minimum_required(VERSION 3.20)
include("${LIST}")

file(MAKE_DIRECTORY "${MXV_ASSEMBLE_DIR}")

set(_names "")
foreach(_item IN LISTS MXV_ASSEMBLE_ITEMS)
  string(REPLACE "|" ";" _fields "${_item}")
  list(GET _fields 0 _name)
  list(APPEND _names "${_name}")
endforeach()

# Leftovers from earlier builds would end up in the payload, so they go.
file(GLOB _present LIST_DIRECTORIES true RELATIVE "${MXV_ASSEMBLE_DIR}" "${MXV_ASSEMBLE_DIR}/*")
foreach(_entry IN LISTS _present)
  if(NOT _entry IN_LIST _names)
    message(STATUS "Removing ${_entry} from the stand-in payload directory")
    file(REMOVE_RECURSE "${MXV_ASSEMBLE_DIR}/${_entry}")
  endif()
endforeach()

foreach(_item IN LISTS MXV_ASSEMBLE_ITEMS)
  string(REPLACE "|" ";" _fields "${_item}")
  list(GET _fields 0 _name)
  list(GET _fields 1 _kind)
  list(GET _fields 2 _source)
  set(_target "${MXV_ASSEMBLE_DIR}/${_name}")
  if(_kind STREQUAL "template")
    file(READ "${_source}" _text)
    # The template's header comment is its run of "#" lines at the top; the rest is the file.
    while(_text MATCHES "^#")
      string(FIND "${_text}" "\n" _newline)
      if(_newline EQUAL -1)
        set(_text "")
      else()
        math(EXPR _next "${_newline} + 1")
        string(SUBSTRING "${_text}" ${_next} -1 _text)
      endif()
    endwhile()
    file(WRITE "${_target}" "${_text}")
  else()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E copy "${_source}" "${_target}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
