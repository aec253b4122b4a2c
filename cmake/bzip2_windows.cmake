# libbzip2 for the Windows build, compiled in the build tree from Debian's bzip2 source package,
# which the setup step unpacks under .deps/bzip2.
include(${CMAKE_CURRENT_LIST_DIR}/bzip2_source.cmake)
mxv_bzip2_library(bz2_windows)
# libbzip2 is C that no C++ exception passes through, so it needs no unwind tables; without them
# nothing refers to its unused functions (the whole compressor), and the linker's section collection
# drops them.
# It stays at -O2: at -Os the compiler turns the mode-string code of its unused file functions into
# calls of strcat, and the import of such a call stays in the image after the code is dropped.
target_compile_options(bz2_windows PRIVATE -fno-asynchronous-unwind-tables -fno-unwind-tables
                       $<$<CONFIG:Release>:-O2>)
add_library(BZip2::BZip2 ALIAS bz2_windows)
