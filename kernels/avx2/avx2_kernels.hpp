#pragma once
// The kernel table of this instruction set; see avx2_kernels.cpp.

#include <cstddef>

#include "kernels/kernels.hpp"

namespace brindle::kernels::avx2 {

extern const KernelTable kTable;

// The UTF-8 check of this level (utf8_check.cpp).
bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept;

// The UTF-8 counts of this level.
Utf8Counts count_utf8_avx2(const unsigned char* data, std::size_t size) noexcept;

}  // namespace brindle::kernels::avx2
