// The start-up code's pass over the image's pseudo relocations, which fix up references to data
// that other DLLs export when the linker imported it without being asked to. Every Windows program
// and library of this build is linked with --disable-auto-import (see cmake/windows_build.cmake),
// so the linker makes no such reference and the list it leaves is always empty: there is nothing to
// fix up. This takes the place of MinGW-w64's prebuilt pass, which is compiled for a later
// processor and brings its section lookup along.
extern "C" void _pei386_runtime_relocator();

extern "C" void _pei386_runtime_relocator() {}
