# mxv_bzip2_library(TARGET): a static library TARGET of libbzip2's seven library sources, compiled
# from Debian's bzip2 source package, which the setup step unpacks under .deps/bzip2. It is built
# with its own warnings, not ours; the caller adds the options of its build.
set(MXV_BZIP2_SOURCE_DIR "${PROJECT_SOURCE_DIR}/.deps/bzip2" CACHE PATH
    "Unpacked bzip2 source package (run scripts/setup.sh to fetch it)")

function(mxv_bzip2_library target)
  if(NOT EXISTS "${MXV_BZIP2_SOURCE_DIR}/bzlib.c")
    message(FATAL_ERROR "No bzip2 source at ${MXV_BZIP2_SOURCE_DIR}; run scripts/setup.sh first")
  endif()
  set(_sources "")
  foreach(_name IN ITEMS blocksort huffman crctable randtable compress decompress bzlib)
    list(APPEND _sources "${MXV_BZIP2_SOURCE_DIR}/${_name}.c")
  endforeach()
  add_library(${target} STATIC ${_sources})
  target_compile_options(${target} PRIVATE -w)
  target_include_directories(${target} SYSTEM PUBLIC ${MXV_BZIP2_SOURCE_DIR})
endfunction()
