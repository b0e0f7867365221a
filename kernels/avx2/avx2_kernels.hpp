#pragma once
// The kernel table of this instruction set; see avx2_kernels.cpp.

#include <cstddef>

#include "kernels/kernels.hpp"

namespace brindle::kernels::avx2 {

extern const KernelTable kTable;

// The UTF-8 check of this level (utf8_check.cpp).
bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept;

// Kernels of this level the AVX-512 level also uses.
std::size_t find_byte_avx2(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept;
std::size_t ascii_prefix_avx2(const unsigned char* data, std::size_t size) noexcept;
Utf8Counts count_utf8_avx2(const unsigned char* data, std::size_t size) noexcept;

}  // namespace brindle::kernels::avx2
