# Toolchain file for the 64-bit proof build: Debian's x86_64 MinGW-w64 compilers with the win32 thread
# model. The shipped launcher is the 32-bit build; this one lets the Wine tests run where only 64-bit
# programs run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MXV_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_toolchain.cmake)
