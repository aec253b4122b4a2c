# Reads the eleven payload file names, in table order, from payload/payload_layout.h, so that the list
# is kept in one place.
file(READ "${PROJECT_SOURCE_DIR}/payload/payload_layout.h" _mxv_layout)
string(REGEX MATCH "kPayloadNames\\[\\] = {[^}]*}" _mxv_array "${_mxv_layout}")
string(REGEX MATCHALL "\"[^\"]+\"" _mxv_quoted "${_mxv_array}")
set(MXV_PAYLOAD_NAMES "")
foreach(_quoted IN LISTS _mxv_quoted)
  string(REPLACE "\"" "" _name "${_quoted}")
  list(APPEND MXV_PAYLOAD_NAMES "${_name}")
endforeach()
list(LENGTH MXV_PAYLOAD_NAMES _mxv_count)
if(NOT _mxv_count EQUAL 11)
  message(FATAL_ERROR "payload_layout.h lists ${_mxv_count} names, not 11")
endif()
