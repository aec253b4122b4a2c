// The target configuration that GCC's own build generates for the sources of libgcc, written out
// for the one target that the launcher's unwinder is built for (see runtime/CMakeLists.txt). The
// sources are compiled for the target, not for the compiler, and the compiler's release build keeps
// its run-time checks: a broken unwind table ends the process instead of being followed.
#ifndef MXV_LIBGCC_TCONFIG_H
#define MXV_LIBGCC_TCONFIG_H

#define USED_FOR_TARGET 1
#define ENABLE_RUNTIME_CHECKING 1

#endif
