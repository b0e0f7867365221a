#pragma once
// The kernel table of this instruction set; see sse42_kernels.cpp.

#include "kernels/kernels.hpp"

namespace brindle::kernels::sse42 {

extern const KernelTable kTable;

}  // namespace brindle::kernels::sse42
