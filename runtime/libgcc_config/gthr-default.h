// The thread primitives of libgcc's win32 thread model, which the unwinder's frame registry and the
// emulated thread-local storage lock with.
#include "config/i386/gthr-win32.h"
