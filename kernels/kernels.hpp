#pragma once
// The byte kernels every layer shares: one table of functions per instruction set, the scalar
// one always built and the reference every other must agree with on every input.
//
// Each processor architecture lists its levels in order of preference (dispatch.cpp), the
// scalar level last; the table in use is chosen once, at first use: the first level in the list
// that the processor runs. The environment variable BRINDLE_KERNELS (scalar, sse42, avx2,
// avx512) names a level to start the list from instead, for running a whole suite on one level.
// Tests reach each level directly through table_for().
//
// The checks the writer makes of every string, most of them short, are inline instead
// (escape_scan.hpp's short checks, ascii_name.hpp, widen_ascii.hpp): the baseline instruction
// set of the architecture (SSE2 on x86-64), chosen when compiling, with the same scalar
// references and tests; a call through the table would cost more than they do.
//
// Every kernel reads only the bytes it is given, never allocates and never fails.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace brindle::kernels {

// The levels any build knows; their order means nothing (levels_by_priority() gives it).
enum class Level : std::uint8_t { Scalar, Sse42, Avx2, Avx512 };

inline constexpr Level kLevels[] = {Level::Scalar, Level::Sse42, Level::Avx2, Level::Avx512};

// Tag white space: the bytes that separate the parts of a tag. Not XML's white space (this
// holds the form feed too) nor Unicode's (reader/text/unicode_space.hpp).
constexpr bool is_tag_space(unsigned char byte) noexcept
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\f' || byte == '\r';
}

// The bytes the structural index stops at inside and between tags, one bit per byte of a
// 64-byte block (bit i for byte i).
struct MarkupMasks {
    std::uint64_t less;          // '<'
    std::uint64_t greater;       // '>'
    std::uint64_t slash;         // '/'
    std::uint64_t question;      // '?'
    std::uint64_t double_quote;  // '"'
    std::uint64_t apostrophe;    // '\''
    std::uint64_t tag_space;     // tag white space (is_tag_space)
};

inline constexpr std::size_t kMarkupBlock = 64;

// What it takes to turn valid UTF-8 into code points: how many bytes continue a sequence
// (the code points are the other bytes) and the largest byte (the widest lead).
struct Utf8Counts {
    std::size_t continuations;
    unsigned char largest;
};

struct KernelTable {
    Level level;
    // Offset of the first byte equal to `value` in data[from, size), or `size` (also when
    // `from` is at or past the end).
    std::size_t (*find_byte)(const unsigned char* data, std::size_t size, std::size_t from,
                             unsigned char value) noexcept;
    // The masks of the kMarkupBlock bytes at `block`.
    void (*classify_markup)(const unsigned char* block, MarkupMasks& masks) noexcept;
    // Whether data[0, size) is well-formed UTF-8: no overlong forms, no surrogates, nothing
    // beyond U+10FFFF, no truncated sequence.
    bool (*is_valid_utf8)(const unsigned char* data, std::size_t size) noexcept;
    // Offset of the first byte of data[0, size) at or above 0x80, or `size`.
    std::size_t (*ascii_prefix)(const unsigned char* data, std::size_t size) noexcept;
    // The counts of data[0, size), valid or not.
    Utf8Counts (*count_utf8)(const unsigned char* data, std::size_t size) noexcept;
    // Copies the 16-bit units below 0x80 at the front of units[0, count) to `out`, one byte
    // each, and returns how many there are (`count` when all are): the ASCII runs of a str held
    // in two bytes per character. May write any of out[0, count).
    std::size_t (*narrow_ascii)(const std::uint16_t* units, std::size_t count, unsigned char* out) noexcept;
    // The writer's searches (escape_scan.hpp says which bytes they stop at): the first byte in
    // [at, end) that escaping replaces or must check in element text / in an attribute value,
    // or `end`, where `begin`, the start of the string, is at or before `at` (a level may stop
    // at '#' too, which escaping passes over); and the first suspect byte in [at, end), or `end`.
    const char* (*find_escapable_text)(const char* begin, const char* at, const char* end) noexcept;
    const char* (*find_escapable_attribute)(const char* begin, const char* at, const char* end) noexcept;
    const char* (*find_suspect)(const char* at, const char* end) noexcept;
};

const char* level_name(Level level) noexcept;

// This build's levels, the preferred first; the scalar level is always the last.
std::span<const Level> levels_by_priority() noexcept;

// Whether this build holds the level and this processor runs it.
bool is_supported(Level level) noexcept;

// The table of a supported level.
const KernelTable& table_for(Level level) noexcept;

// The table in use: the first supported level of levels_by_priority(), from the level
// BRINDLE_KERNELS names when this build holds it.
const KernelTable& active() noexcept;

inline std::size_t find_byte(std::string_view document, std::size_t from, unsigned char value) noexcept
{
    return active().find_byte(reinterpret_cast<const unsigned char*>(document.data()), document.size(), from, value);
}

inline bool is_valid_utf8(std::string_view bytes) noexcept
{
    return active().is_valid_utf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

inline Utf8Counts count_utf8(std::string_view bytes) noexcept
{
    return active().count_utf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

inline bool is_ascii(std::string_view bytes) noexcept
{
    return active().ascii_prefix(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == bytes.size();
}

}  // namespace brindle::kernels
