// Forced into every C++ source of the Windows build, before anything else: two settings of the C++
// library's headers that keep prebuilt code, compiled for a later processor than the launcher's
// floor, out of the programs.
// - The headers declare the std::string and std::wstring members as instantiated in the prebuilt
//   library, so a program would link the library's copies, every member at once. The value -1 of
//   the extern-template switch, which the library's own assertion mode uses for the same purpose,
//   turns the declarations off for the string classes only, so every source compiles the members it
//   uses, for the project's processor.
// - The library's headers ask for MinGW's own printf family, which is large and prebuilt. The
//   system's msvcrt formats instead; the programs use no format it lacks.
#ifndef MXV_RUNTIME_LIBRARY_SETTINGS_H
#define MXV_RUNTIME_LIBRARY_SETTINGS_H

#include <bits/c++config.h>

#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1

#undef __USE_MINGW_ANSI_STDIO
#define __USE_MINGW_ANSI_STDIO 0

#endif
