#pragma once
// The kernel table of this instruction set; see avx512_kernels.cpp.

#include "kernels/kernels.hpp"

namespace brindle::kernels::avx512 {

extern const KernelTable kTable;

}  // namespace brindle::kernels::avx512
