#pragma once
// The kernel table of this instruction set; see sse42_kernels.cpp.

#include <cstddef>

#include "kernels/kernels.hpp"

namespace brindle::kernels::sse42 {

extern const KernelTable kTable;

// The UTF-8 check of this level (utf8_check.cpp).
bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept;

}  // namespace brindle::kernels::sse42
