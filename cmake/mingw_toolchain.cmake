# The body of the MinGW-w64 toolchain files: Debian's compilers of MXV_MINGW_TRIPLET with the win32
# thread model, a find root of their own, and static linking.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MXV_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MXV_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${MXV_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MXV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything is linked statically so that the programs depend on no DLL but the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release programs carry no symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
