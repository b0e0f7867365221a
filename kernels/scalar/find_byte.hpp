#pragma once
// The scalar find_byte: eight bytes at a time in one 64-bit word. The reference every faster
// find_byte must agree with; scalar_kernels.cpp gives it its place in the scalar table.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kernels/scalar/byte_match_in_word.hpp"

namespace brindle::kernels::scalar {

// First byte equal to `value` at or after `from`; the caller knows one lies in the next eight.
inline std::size_t first_in_word(const unsigned char* data, std::size_t from, unsigned char value) noexcept
{
    while (data[from] != value) {
        ++from;
    }
    return from;
}

inline std::size_t scan_bytes(const unsigned char* data, std::size_t from, std::size_t size,
                              unsigned char value) noexcept
{
    for (; from < size; ++from) {
        if (data[from] == value) {
            return from;
        }
    }
    return size;
}

// Offset of the next eight-byte address boundary after data + from (at most from + 8).
inline std::size_t next_boundary(const unsigned char* data, std::size_t from) noexcept
{
    const auto address = reinterpret_cast<std::uintptr_t>(data + from);
    return from + 8 - static_cast<std::size_t>(address & 7U);
}

// Eight bytes tested as one word first; then, from the next aligned boundary, two words per
// step while sixteen bytes remain; a word that reports a hit, and the tail, are finished
// byte by byte, so the result is always the exact first match.
inline std::size_t find_byte(std::string_view document, std::size_t from, unsigned char value) noexcept
{
    const auto* data = reinterpret_cast<const unsigned char*>(document.data());
    const std::size_t size = document.size();
    if (from >= size) {
        return size;
    }
    if (size - from < 8) {
        return scan_bytes(data, from, size, value);
    }
    const std::uint64_t pattern = swar::repeat_byte(value);
    if (swar::match_bits(swar::load_word(data + from), pattern) != 0) {
        return first_in_word(data, from, value);
    }
    std::size_t at = next_boundary(data, from);
    while (size - at >= 16) {
        if (swar::match_bits(swar::load_word(data + at), pattern) != 0) {
            return first_in_word(data, at, value);
        }
        if (swar::match_bits(swar::load_word(data + at + 8), pattern) != 0) {
            return first_in_word(data, at + 8, value);
        }
        at += 16;
    }
    return scan_bytes(data, at, size, value);
}

}  // namespace brindle::kernels::scalar
