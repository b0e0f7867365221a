#pragma once
// The kernel table of this instruction set; see avx2_kernels.cpp.

#include "kernels/kernels.hpp"

namespace brindle::kernels::avx2 {

extern const KernelTable kTable;

}  // namespace brindle::kernels::avx2
