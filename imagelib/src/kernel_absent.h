#ifndef NEVRA_SRC_KERNEL_ABSENT_H
#define NEVRA_SRC_KERNEL_ABSENT_H

// The accessor of a path's table, named by NEVRA_TABLE, where this build did not compile the
// path's instructions (another processor family or compiler): there is no table.

#include "kernel_table.h"

const Nevra::kernels::Table* Nevra::kernels::NEVRA_TABLE() {
    return nullptr;
}

#endif  // NEVRA_SRC_KERNEL_ABSENT_H
