// Whether a name is made only of the ASCII bytes XML names may hold anywhere (letters, digits
// and - . : _), one byte at a time: the reference the SSE2 check (sse2/ascii_name.hpp) agrees
// with on every input, and the check of processors without SSE2. Most names are such, and the
// writer then needs no decoding to accept one (it still checks the first byte on its own:
// digits, '-' and '.' may not begin a name).
#pragma once

#include <array>
#include <cstddef>

namespace brindle::kernels {

namespace ascii_name_detail {

constexpr bool is_ascii_name_byte(unsigned char byte) noexcept
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == ':' || byte == '_';
}

constexpr std::array<bool, 256> make_ascii_name_table()
{
    std::array<bool, 256> table{};
    for (std::size_t byte = 0; byte < table.size(); ++byte)
        table[byte] = is_ascii_name_byte(static_cast<unsigned char>(byte));
    return table;
}

inline constexpr std::array<bool, 256> kAsciiNameByte = make_ascii_name_table();

inline bool is_name_byte(char byte) noexcept { return kAsciiNameByte[static_cast<unsigned char>(byte)]; }

}  // namespace ascii_name_detail

namespace scalar {

// Whether every byte of the `size` bytes at `at` (at least one) may be part of an ASCII name.
inline bool all_ascii_name_bytes(const char* at, std::size_t size) noexcept
{
    for (std::size_t i = 0; i < size; ++i) {
        if (!ascii_name_detail::is_name_byte(at[i])) return false;
    }
    return true;
}

}  // namespace scalar

}  // namespace brindle::kernels
