// The libgcc target headers of this target: it has none.
#ifndef MXV_LIBGCC_LIBGCC_TM_H
#define MXV_LIBGCC_LIBGCC_TM_H
#endif
