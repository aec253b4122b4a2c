# Runs the benchmark payload generator twice into two fresh directories and requires both runs to
# write the same eleven files, byte for byte, and the same files the build wrote.
#
#   cmake -DGENERATOR=mkbenchpayload -DWORK_DIR=dir -DBUILD_PAYLOAD_DIR=dir -P this_file
foreach(_variable GENERATOR WORK_DIR BUILD_PAYLOAD_DIR)
  if(NOT DEFINED ${_variable})
    message(FATAL_ERROR "${_variable} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
foreach(_run first second)
  execute_process(COMMAND "${GENERATOR}" "${WORK_DIR}/${_run}"
                  RESULT_VARIABLE _result OUTPUT_VARIABLE _output ERROR_VARIABLE _error)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "The ${_run} run of the generator failed (${_result}):\n${_output}${_error}")
  endif()
endforeach()

file(GLOB _first RELATIVE "${WORK_DIR}/first" "${WORK_DIR}/first/*")
file(GLOB _second RELATIVE "${WORK_DIR}/second" "${WORK_DIR}/second/*")
list(SORT _first)
list(SORT _second)
list(LENGTH _first _count)
if(NOT _count EQUAL 11)
  message(FATAL_ERROR "The generator wrote ${_count} files, not 11: ${_first}")
endif()
if(NOT _first STREQUAL _second)
  message(FATAL_ERROR "The two runs wrote different file names:\n${_first}\n${_second}")
endif()

foreach(_name IN LISTS _first)
  foreach(_other "${WORK_DIR}/second" "${BUILD_PAYLOAD_DIR}")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
                            "${WORK_DIR}/first/${_name}" "${_other}/${_name}"
                    RESULT_VARIABLE _different)
    if(NOT _different EQUAL 0)
      message(FATAL_ERROR "${_name} differs between ${WORK_DIR}/first and ${_other}")
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "Both runs wrote the same ${_count} files as the build.")
