# Toolchain file for the Windows build: Debian's i686 MinGW-w64 compilers with the win32 thread model.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MXV_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_toolchain.cmake)
