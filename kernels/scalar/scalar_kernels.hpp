#pragma once
// The scalar kernels: plain C++ for every processor, and the reference the others are tested
// against. The other levels also call them for what is left after their last full vector.

#include <cstddef>
#include <cstdint>

#include "kernels/kernels.hpp"

namespace brindle::kernels::scalar {

std::size_t find_byte(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept;
void classify_markup(const unsigned char* block, MarkupMasks& masks) noexcept;
bool is_valid_utf8(const unsigned char* data, std::size_t size) noexcept;
std::size_t ascii_prefix(const unsigned char* data, std::size_t size) noexcept;
Utf8Counts count_utf8(const unsigned char* data, std::size_t size) noexcept;
std::size_t narrow_ascii(const std::uint16_t* units, std::size_t count, unsigned char* out) noexcept;
const char* find_escapable_text(const char* begin, const char* at, const char* end) noexcept;
const char* find_escapable_attribute(const char* begin, const char* at, const char* end) noexcept;
const char* find_suspect(const char* at, const char* end) noexcept;

// Length of the well-formed multi-byte sequence at data[at], or 0 when there is none.
std::size_t utf8_sequence_length(const unsigned char* data, std::size_t at, std::size_t size) noexcept;

extern const KernelTable kTable;

}  // namespace brindle::kernels::scalar
