# Compile and link settings of every Windows target: the oldest system the headers may offer, a
# lean image, and the same bytes from the same sources wherever and whenever they are built.
# Included right after project(), before any target exists, because directory options only reach
# the targets created after them.

# The headers are asked for Windows 2000, so a call that they mark as newer fails to compile instead
# of failing to load; functions of later systems are looked up at run time. MinGW-w64 marks the calls
# of Vista and later (GetTickCount64, CreateSymbolicLinkA) but not all of those that came with XP
# (GetNativeSystemInfo, AttachConsole, IsWow64Process compile anyway), so the import check of the
# tests stays the guard for those.
add_compile_definitions(_WIN32_WINNT=0x0500 WINVER=0x0500)

# Each function and each object in a section of its own, so that the linker drops what nothing
# reaches. On this target every function with unwind tables stays reachable from .eh_frame, which the
# linker keeps, so the gain comes from C code built without them: libbzip2's compressor, which the
# launcher never calls (see bzip2_windows.cmake).
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections;-fdata-sections>")
add_link_options(-Wl,--gc-sections)

# The processor floor of the 32-bit programs is the Pentium: no CMOV, FCMOV, FCOMI or multi-byte NOP,
# which came with the Pentium Pro, and no MMX or SSE. Scheduled for the processors of today, which run
# the same instructions.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-march=pentium;-mtune=generic>")
endif()

# The strings of the C++ library are compiled with our code, for our floor, member by member, instead
# of taken whole from the prebuilt library, and formatting goes to the system's msvcrt instead of
# MinGW's own printf, which is prebuilt and large (see runtime/library_settings.h). C sources see
# the same printf setting.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${PROJECT_SOURCE_DIR}/runtime/library_settings.h>")
add_compile_definitions(__USE_MINGW_ANSI_STDIO=0)

# Optimised for size: the launcher spends its time in file writes and in libbzip2's decompressor
# (which keeps -O2, see bzip2_windows.cmake), not in code of its own.
add_compile_options("$<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-Os>")

# No data imported from a DLL without a declaration that says so: with automatic import the linker
# would leave references for the start-up code to patch at run time, and the start-up code of this
# build does no such patching (see runtime/pseudo_relocations.cpp). A link that would need it fails.
add_link_options(-Wl,--disable-auto-import)

# Terminal Server aware images. Terminal Services in application mode (Windows 2000 Server) hands a
# program without the flag the user's private Windows folder from GetWindowsDirectory, which usually
# has no Temp folder, so every run-log entry would be lost. The linker sets dynamic base and NX
# compatibility by default; the release check requires all three.
add_link_options(-Wl,--tsaware)

# No link time stamp in the image header, and no path of the machine that built it: source, build
# and bzip2 source directories are written under fixed names wherever __FILE__ or debug data would
# carry them. When one directory lies inside another, the more specific mapping comes later and wins.
add_link_options(-Wl,--no-insert-timestamp)
set(_mxv_prefix_maps
    "${PROJECT_SOURCE_DIR}=mxvlaunch"
    "${CMAKE_BINARY_DIR}=mxvlaunch-build")
if(DEFINED MXV_BZIP2_SOURCE_DIR)
  list(APPEND _mxv_prefix_maps "${MXV_BZIP2_SOURCE_DIR}=bzip2")
else()
  list(APPEND _mxv_prefix_maps "${PROJECT_SOURCE_DIR}/.deps/bzip2=bzip2")
endif()
# The runtime pieces built from Debian's GCC and MinGW-w64 sources (32-bit only).
if(DEFINED MXV_GCC_SOURCE_DIR)
  list(APPEND _mxv_prefix_maps "${MXV_GCC_SOURCE_DIR}=gcc" "${MXV_MINGW_CRT_SOURCE_DIR}=mingw-w64-crt")
endif()
foreach(_map IN LISTS _mxv_prefix_maps)
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${_map}>")
endforeach()

# The version resources are compiled with the toolchain's resource compiler.
enable_language(RC)
