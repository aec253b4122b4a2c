// The unwinder's machine support of this target: stepping out of Windows' exception dispatch.
#include "config/i386/w32-unwind.h"
