// Copying the run of ASCII at the front of UTF-8 into a str's storage of one, two or four bytes
// per character, in whole blocks of kAsciiBlock bytes: one block at a time, eight bytes tested
// at once. The reference the SSE2 copy (sse2/widen_ascii.hpp) agrees with on every input, and
// the copy of processors without SSE2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brindle::kernels {

inline constexpr std::size_t kAsciiBlock = 16;

namespace scalar {

// Copies the bytes from `at` to `out`, each widened to a Unit, in whole blocks of kAsciiBlock
// while a block holds no byte at or above 0x80 and both [at, end) and [out, out_end) have room
// for it; `at` and `out` move past what was copied.
template <class Unit>
inline void widen_ascii_blocks(const unsigned char*& at, const unsigned char* end, Unit*& out,
                               const Unit* out_end) noexcept
{
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    for (; end - at >= 16 && out_end - out >= 16; at += kAsciiBlock, out += kAsciiBlock) {
        std::uint64_t head, tail;
        std::memcpy(&head, at, 8);
        std::memcpy(&tail, at + 8, 8);
        if (((head | tail) & kHighBits) != 0) return;
        for (std::size_t i = 0; i < kAsciiBlock; ++i) out[i] = static_cast<Unit>(at[i]);
    }
}

}  // namespace scalar

}  // namespace brindle::kernels
