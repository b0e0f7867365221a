#pragma once
// Finding a byte among the eight lanes of one 64-bit word (the word-at-a-time zero-byte test):
// whether a word holds it, and which lanes do.

#include <bit>
#include <cstdint>
#include <cstring>

namespace brindle::kernels::swar {

inline constexpr std::uint64_t kLowBits = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// `value` repeated in all eight lanes.
constexpr std::uint64_t repeat_byte(unsigned char value) noexcept { return kLowBits * value; }

// Lane i of a loaded word, and bit i of equal_lanes, stand for the i-th byte in memory only
// where the lowest byte of a word comes first.
static_assert(std::endian::native == std::endian::little, "the lanes of a word are its bytes in memory order");

// The eight bytes at `bytes` as one word, lane i holding bytes[i].
inline std::uint64_t load_word(const unsigned char* bytes) noexcept
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Non-zero exactly when some lane of `word` equals the byte repeated in `pattern`. The lowest
// set bit always marks a true match; a higher bit may be a false one (a borrow out of a
// matching lane), so callers that need the position look at the bytes themselves.
constexpr std::uint64_t match_bits(std::uint64_t word, std::uint64_t pattern) noexcept
{
    const std::uint64_t x = word ^ pattern;
    return (x - kLowBits) & ~x & kHighBits;
}

// Bit i (0..7) set exactly when lane i of `word` equals the byte repeated in `pattern`, with
// no false lanes: the high bit of each lane is computed without borrows between lanes, then
// the eight high bits are gathered into the low byte by one multiplication.
constexpr std::uint64_t equal_lanes(std::uint64_t word, std::uint64_t pattern) noexcept
{
    constexpr std::uint64_t low_seven = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t x = word ^ pattern;
    const std::uint64_t zero_high = ~(((x & low_seven) + low_seven) | x | low_seven);
    return ((zero_high >> 7) * 0x0102040810204080ULL) >> 56;
}

}  // namespace brindle::kernels::swar
