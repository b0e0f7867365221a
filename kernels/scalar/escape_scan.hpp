// The byte tables of the writer's scans, and the scans one byte at a time: the reference the
// SSE2 scans (sse2/escape_scan.hpp) agree with on every input, and the scans of processors
// without SSE2.
//
// Escaping stops at a byte it replaces by a reference, or at one that may begin a character
// XML forbids ("suspect" bytes), which escaping then checks. A node's strings are valid UTF-8
// without surrogates (nodes are only ever made from such), so the forbidden characters they
// can hold are the controls other than tab, line feed and carriage return, each one byte below
// 0x20, and U+FFFE and U+FFFF, encoded EF BF BE and EF BF BF. The search stops at such a
// control or at 0xEF; whether an 0xEF really begins U+FFFE or U+FFFF is left to the caller, as
// that byte is rare (it leads only U+F000-U+FFFF).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace brindle::kernels {

// Where a string is written, which decides what escaping replaces (kReplacements below).
enum class EscapeMode {
    CharacterData,   // element text
    AttributeValue,  // attribute values
};

namespace forbidden_detail {

constexpr unsigned char kNoncharacterLead = 0xEF;

constexpr std::array<bool, 256> make_suspect_table()
{
    std::array<bool, 256> table{};
    for (std::size_t byte = 0; byte < 0x20; ++byte) table[byte] = byte != '\t' && byte != '\n' && byte != '\r';
    table[kNoncharacterLead] = true;
    return table;
}

constexpr std::array<bool, 256> kSuspect = make_suspect_table();

inline bool is_suspect(char byte) noexcept { return kSuspect[static_cast<unsigned char>(byte)]; }

}  // namespace forbidden_detail

namespace escape_detail {

// A byte escaping replaces, its reference, and whether element text replaces it too (attribute
// values replace every one). The scans' tables, the SSE2 scan's comparisons
// (sse2/escape_scan.hpp) and the writer's references (write/escape.hpp) all come from this
// one list, so they cannot disagree.
struct Replacement {
    char byte;
    std::string_view reference;
    bool in_text;
};

inline constexpr Replacement kReplacements[] = {
    {'&', "&amp;", true},
    {'<', "&lt;", true},
    {'>', "&gt;", true},
    {'"', "&quot;", true},
    {'\'', "&apos;", true},
    // Tab and line feed only in attribute values, where readers turn them into spaces; a raw
    // carriage return would reach every reader as a line feed, and the reference keeps it a CR.
    {'\t', "&#9;", false},
    {'\n', "&#10;", false},
    {'\r', "&#13;", true},
};

inline constexpr bool kReplacesOnlyAllowedBytes = [] {
    for (const Replacement& replacement : kReplacements) {
        if (forbidden_detail::kSuspect[static_cast<unsigned char>(replacement.byte)]) return false;
    }
    return true;
}();
static_assert(kReplacesOnlyAllowedBytes, "a byte is either replaced or checked, never both");

// Table entry of a byte that may begin a forbidden character; entry i + 1 stands for
// kReplacements[i].
constexpr std::uint8_t kCheckCharacter = std::size(kReplacements) + 1;

// The reference of a table entry other than 0 and kCheckCharacter.
constexpr std::string_view reference_of(std::uint8_t entry) noexcept { return kReplacements[entry - 1].reference; }

// For each byte: 0 when it is written unchanged, kCheckCharacter, or the entry of its
// replacement.
constexpr std::array<std::uint8_t, 256> make_table(EscapeMode mode)
{
    std::array<std::uint8_t, 256> table{};
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        if (forbidden_detail::kSuspect[byte]) table[byte] = kCheckCharacter;
    }
    for (std::size_t i = 0; i < std::size(kReplacements); ++i) {
        const Replacement& replacement = kReplacements[i];
        if (replacement.in_text || mode == EscapeMode::AttributeValue) {
            table[static_cast<unsigned char>(replacement.byte)] = static_cast<std::uint8_t>(i + 1);
        }
    }
    return table;
}

// Internal linkage: the tables stay private to the library.
constexpr std::array<std::uint8_t, 256> kCharacterDataTable = make_table(EscapeMode::CharacterData);
constexpr std::array<std::uint8_t, 256> kAttributeValueTable = make_table(EscapeMode::AttributeValue);

template <EscapeMode mode>
constexpr const std::array<std::uint8_t, 256>& table_for() noexcept
{
    return mode == EscapeMode::CharacterData ? kCharacterDataTable : kAttributeValueTable;
}

}  // namespace escape_detail

namespace scalar {

// The first byte in [at, end) that `mode` replaces or must check, or `end`.
template <EscapeMode mode>
inline const char* find_escapable(const char* at, const char* end) noexcept
{
    const auto& table = escape_detail::table_for<mode>();
    while (at != end && table[static_cast<unsigned char>(*at)] == 0) ++at;
    return at;
}

// Whether a string holds no byte that `mode` replaces or must check; for strings shorter than
// 16 bytes, the first, middle and last byte are all of them when it is shorter than 4.
template <EscapeMode mode>
inline bool is_plain_short(const char* at, std::size_t size) noexcept
{
    const auto& table = escape_detail::table_for<mode>();
    if (size == 0) return true;
    if (size < 4) {
        const auto entry = [&](std::size_t i) { return table[static_cast<unsigned char>(at[i])]; };
        return (entry(0) | entry(size / 2) | entry(size - 1)) == 0;
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (table[static_cast<unsigned char>(at[i])] != 0) return false;
    }
    return true;
}

// The first suspect byte in [at, end), or `end`.
inline const char* find_suspect_byte(const char* at, const char* end) noexcept
{
    while (at != end && !forbidden_detail::is_suspect(*at)) ++at;
    return at;
}

// Whether a string holds a suspect byte.
inline bool has_suspect_byte_short(const char* at, std::size_t size) noexcept
{
    return find_suspect_byte(at, at + size) != at + size;
}

}  // namespace scalar

}  // namespace brindle::kernels
