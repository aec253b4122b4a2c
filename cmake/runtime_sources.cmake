# Where the Debian sources of the 32-bit launcher's runtime pieces lie, and how each is compiled.
# The setup step unpacks them under .deps/: from gcc-12-source the unwinder of libgcc and the C++
# exception support of libsupc++, from mingw-w64 the start-up code. They are compiled as Debian's
# own build of the cross compiler compiles them, with the same definitions and optimisation, so the
# code is that of the prebuilt libraries except for the processor it is compiled for (the release
# tests check this against the prebuilt objects).
set(MXV_GCC_SOURCE_DIR "${PROJECT_SOURCE_DIR}/.deps/gcc-12" CACHE PATH
    "GCC sources from gcc-12-source (run scripts/setup.sh to fetch them)")
set(MXV_MINGW_CRT_SOURCE_DIR "${PROJECT_SOURCE_DIR}/.deps/mingw-w64-crt" CACHE PATH
    "MinGW-w64 C runtime sources from the mingw-w64 source package (run scripts/setup.sh)")

# The unwinder and the emulated thread-local storage of libgcc's exception library. The headers
# that GCC's build would generate for them are in runtime/libgcc_config.
set(MXV_LIBGCC_EH_SOURCES "${MXV_GCC_SOURCE_DIR}/libgcc/unwind-dw2.c"
    "${MXV_GCC_SOURCE_DIR}/libgcc/unwind-dw2-fde.c" "${MXV_GCC_SOURCE_DIR}/libgcc/emutls.c")
set(MXV_LIBGCC_EH_INCLUDES "${PROJECT_SOURCE_DIR}/runtime/libgcc_config"
    "${MXV_GCC_SOURCE_DIR}/libgcc" "${MXV_GCC_SOURCE_DIR}/gcc" "${MXV_GCC_SOURCE_DIR}/include")
set(MXV_LIBGCC_EH_OPTIONS -O2 -DIN_GCC -DCROSS_DIRECTORY_STRUCTURE -DIN_LIBGCC2 -DUSE_EMUTLS
    -fbuilding-libgcc -fno-stack-protector -fexceptions)

# The C++ exception support of libsupc++: the personality routine, catching and the allocation of
# exception objects.
set(MXV_LIBSUPCXX_EH_SOURCES "${MXV_GCC_SOURCE_DIR}/libstdc++-v3/libsupc++/eh_personality.cc"
    "${MXV_GCC_SOURCE_DIR}/libstdc++-v3/libsupc++/eh_catch.cc"
    "${MXV_GCC_SOURCE_DIR}/libstdc++-v3/libsupc++/eh_alloc.cc")
set(MXV_LIBSUPCXX_EH_INCLUDES "${MXV_GCC_SOURCE_DIR}/libstdc++-v3/libsupc++"
    "${MXV_GCC_SOURCE_DIR}/libgcc")
set(MXV_LIBSUPCXX_EH_OPTIONS -O2 -std=gnu++17 -fno-implicit-templates)

# MinGW-w64's start-up code of programs, which the compiler driver links as crt2.o; the build puts
# its own crt2.o into MXV_START_FILES_DIR.
set(MXV_CRT_START_SOURCE "${MXV_MINGW_CRT_SOURCE_DIR}/crt/crtexe.c")
set(MXV_CRT_START_OPTIONS -O2 -D_CRTBLD -D_WIN32_WINNT=0x0f00 -D__MSVCRT_VERSION__=0x700
    -D__USE_MINGW_ANSI_STDIO=0 -D_SYSCRT=1 -DCRTDLL=1 "-I${MXV_MINGW_CRT_SOURCE_DIR}/include")

set(MXV_START_FILES_DIR "${CMAKE_BINARY_DIR}/start_files")

foreach(_file IN LISTS MXV_LIBGCC_EH_SOURCES MXV_LIBSUPCXX_EH_SOURCES MXV_CRT_START_SOURCE)
  if(NOT EXISTS "${_file}")
    message(FATAL_ERROR "No ${_file}; run scripts/setup.sh first")
  endif()
endforeach()
