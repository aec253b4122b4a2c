# libbzip2 for the Windows build, compiled in the build tree from Debian's bzip2 source package,
# which the setup step unpacks under .deps/bzip2.
set(MXV_BZIP2_SOURCE_DIR "${PROJECT_SOURCE_DIR}/.deps/bzip2" CACHE PATH
    "Unpacked bzip2 source package (run scripts/setup.sh to fetch it)")

if(NOT EXISTS "${MXV_BZIP2_SOURCE_DIR}/bzlib.c")
  message(FATAL_ERROR "No bzip2 source at ${MXV_BZIP2_SOURCE_DIR}; run scripts/setup.sh first")
endif()

add_library(bz2_windows STATIC
  ${MXV_BZIP2_SOURCE_DIR}/blocksort.c
  ${MXV_BZIP2_SOURCE_DIR}/huffman.c
  ${MXV_BZIP2_SOURCE_DIR}/crctable.c
  ${MXV_BZIP2_SOURCE_DIR}/randtable.c
  ${MXV_BZIP2_SOURCE_DIR}/compress.c
  ${MXV_BZIP2_SOURCE_DIR}/decompress.c
  ${MXV_BZIP2_SOURCE_DIR}/bzlib.c)
# Third-party code: built with its own warnings, not ours. It is C that no C++ exception passes
# through, so it needs no unwind tables; without them nothing refers to its unused functions (the
# whole compressor), and the linker's section collection drops them.
# It stays at -O2: at -Os the compiler turns the mode-string code of its unused file functions into
# calls of strcat, and the import of such a call stays in the image after the code is dropped.
target_compile_options(bz2_windows PRIVATE -w -fno-asynchronous-unwind-tables -fno-unwind-tables
                       $<$<CONFIG:Release>:-O2>)
target_include_directories(bz2_windows SYSTEM PUBLIC ${MXV_BZIP2_SOURCE_DIR})
add_library(BZip2::BZip2 ALIAS bz2_windows)
