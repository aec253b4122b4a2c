# Reads the eleven payload file names, in table order, from payload/payload_layout.h, so that the list
# is kept in one place.
file(STRINGS "${PROJECT_SOURCE_DIR}/payload/payload_layout.h" _mxv_name_lines
     REGEX "^    \"[^\"]+\",$")
set(MXV_PAYLOAD_NAMES "")
foreach(_line IN LISTS _mxv_name_lines)
  string(REGEX REPLACE "^    \"([^\"]+)\",$" "\\1" _name "${_line}")
  list(APPEND MXV_PAYLOAD_NAMES "${_name}")
endforeach()
list(LENGTH MXV_PAYLOAD_NAMES _mxv_count)
if(NOT _mxv_count EQUAL 11)
  message(FATAL_ERROR "payload_layout.h lists ${_mxv_count} names, not 11")
endif()
