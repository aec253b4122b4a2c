// The target machine description that the unwinder reads. Everything else it needs of the machine
// the compiler predefines when it builds libgcc (-fbuilding-libgcc); the one macro left maps DWARF
// register numbers to unwind columns, one to one on this target, as GCC's defaults do.
#ifndef MXV_LIBGCC_TM_H
#define MXV_LIBGCC_TM_H

#define DWARF_REG_TO_UNWIND_COLUMN(REGNO) (REGNO)

#endif
