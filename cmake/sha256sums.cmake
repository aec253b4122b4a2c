# Writes the SHA-256 sum of each given file to OUTPUT, one line per file in the order given, in the
# form that `sha256sum -c` reads: the hexadecimal sum, two blanks, the file's bare name.
#
#   cmake -DOUTPUT=SHA256SUMS "-DFILES=FILE|FILE..." -P sha256sums.cmake
foreach(_variable OUTPUT FILES)
  if(NOT DEFINED ${_variable})
    message(FATAL_ERROR "${_variable} is not set")
  endif()
endforeach()

string(REPLACE "|" ";" _files "${FILES}")
set(_text "")
foreach(_file IN LISTS _files)
  file(SHA256 "${_file}" _sum)
  get_filename_component(_name "${_file}" NAME)
  string(APPEND _text "${_sum}  ${_name}\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${_text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
