#pragma once
// The kernel table of this instruction set; see avx2_kernels.cpp.

#include <cstddef>
#include <cstdint>

#include "kernels/kernels.hpp"

namespace brindle::kernels::avx2 {

extern const KernelTable kTable;

// Kernels of this level the AVX-512 level also uses.
std::size_t find_byte(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept;
bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept;
std::size_t ascii_prefix(const unsigned char* data, std::size_t size) noexcept;
Utf8Counts count_utf8(const unsigned char* data, std::size_t size) noexcept;
std::size_t narrow_ascii(const std::uint16_t* units, std::size_t count, unsigned char* out) noexcept;

}  // namespace brindle::kernels::avx2
