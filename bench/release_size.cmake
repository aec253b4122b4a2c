# Prints the size of the release launcher built with the benchmark payload, section by section, and
# compares it with its budget: the payload tables (the chunk bytes and 12 bytes per chunk entry), the
# base relocations of the tables, and 200 KiB for everything else, the launcher's own bytes. Fails
# when the launcher is over.
#
#   cmake -DOBJDUMP=objdump -DEXECUTABLE=MXVLaunch.exe -DSUMMARY=tables.summary.txt
#         -P release_size.cmake
foreach(_variable OBJDUMP EXECUTABLE SUMMARY)
  if(NOT DEFINED ${_variable})
    message(FATAL_ERROR "${_variable} is not set")
  endif()
endforeach()

# The totals line of the build step's summary:
# "In all: U bytes uncompressed, C bytes in chunks, N chunks; ..."
file(STRINGS "${SUMMARY}" _totals REGEX "^In all: ")
if(NOT _totals MATCHES "([0-9,]+) bytes in chunks, ([0-9,]+) chunks")
  message(FATAL_ERROR "No totals line in ${SUMMARY}")
endif()
string(REPLACE "," "" _chunk_bytes "${CMAKE_MATCH_1}")
string(REPLACE "," "" _chunks "${CMAKE_MATCH_2}")

# Every chunk entry holds two pointers (name and data), and each pointer needs a two-byte base
# relocation so that Windows can load the image at any address; each 4 KiB page of relocated data
# adds an eight-byte block header. The terminator entry counts too.
math(EXPR _tables "${_chunk_bytes} + 12 * ${_chunks}")
math(EXPR _entries "${_chunks} + 1")
math(EXPR _pages "(12 * ${_entries} + 4095) / 4096")
math(EXPR _relocations "4 * ${_entries} + 8 * ${_pages}")
math(EXPR _other "200 * 1024")
math(EXPR _budget "${_tables} + ${_relocations} + ${_other}")
file(SIZE "${EXECUTABLE}" _size)

execute_process(COMMAND "${OBJDUMP}" -h "${EXECUTABLE}" OUTPUT_VARIABLE _headers
                RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -h ${EXECUTABLE} failed")
endif()

function(_line label value)
  string(LENGTH "${value}" _length)
  math(EXPR _pad "12 - ${_length}")
  if(_pad LESS 1)
    set(_pad 1)
  endif()
  string(REPEAT " " ${_pad} _blanks)
  message("  ${label}${_blanks}${value}")
endfunction()

message("Sections of ${EXECUTABLE} (size in the image, in bytes):")
string(REPLACE "\n" ";" _header_lines "${_headers}")
foreach(_header IN LISTS _header_lines)
  if(_header MATCHES "^ *[0-9]+ ([.A-Za-z_$]+) +([0-9a-f]+) ")
    set(_name "${CMAKE_MATCH_1}")
    math(EXPR _section_size "0x${CMAKE_MATCH_2}")
    string(LENGTH "${_name}" _name_length)
    math(EXPR _name_pad "10 - ${_name_length}")
    string(REPEAT " " ${_name_pad} _name_blanks)
    _line("${_name}${_name_blanks}" "${_section_size}")
  endif()
endforeach()
message("Budget:")
_line("chunk bytes:             " "${_chunk_bytes}")
_line("chunk entries (12 each): " "${_chunks}")
_line("tables:                  " "${_tables}")
_line("their relocations:       " "${_relocations}")
_line("everything else:         " "${_other}")
_line("budget:                  " "${_budget}")
_line("MXVLaunch.exe:           " "${_size}")
math(EXPR _own "${_size} - ${_tables} - ${_relocations}")
_line("its own bytes:           " "${_own}")
math(EXPR _margin "${_budget} - ${_size}")
if(_size GREATER _budget)
  math(EXPR _over "${_size} - ${_budget}")
  message(FATAL_ERROR "MXVLaunch.exe is ${_over} bytes over its budget")
endif()
message("MXVLaunch.exe is within its budget, ${_margin} bytes to spare.")
