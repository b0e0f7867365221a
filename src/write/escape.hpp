// Escaping of element text and attribute values on their way into an output sink.
//
// Every character that is replaced is ASCII, so the walk goes byte by byte: a 256-entry table
// says which bytes need a reference, and each run of bytes that needs none is handed to the
// sink in one append. Multi-byte UTF-8 sequences never contain ASCII bytes and pass through.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace brindle {

enum class EscapeMode {
    CharacterData,   // element text: & < > " '
    AttributeValue,  // attribute values: the same five plus tab, line feed, carriage return
};

namespace escape_detail {

// Index 0 means "written unchanged"; any other value selects the reference below.
constexpr std::string_view kReferences[] = {
    "", "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#9;", "&#10;", "&#13;",
};

constexpr std::array<std::uint8_t, 256> make_table(EscapeMode mode)
{
    std::array<std::uint8_t, 256> table{};
    table['&'] = 1;
    table['<'] = 2;
    table['>'] = 3;
    table['"'] = 4;
    table['\''] = 5;
    if (mode == EscapeMode::AttributeValue) {
        table['\t'] = 6;
        table['\n'] = 7;
        table['\r'] = 8;
    }
    return table;
}

// Internal linkage: the tables stay private to the library.
constexpr std::array<std::uint8_t, 256> kCharacterDataTable = make_table(EscapeMode::CharacterData);
constexpr std::array<std::uint8_t, 256> kAttributeValueTable = make_table(EscapeMode::AttributeValue);

}  // namespace escape_detail

// Appends `value` to `sink` with the characters of `mode` replaced by their references.
template <EscapeMode mode, class Sink>
void write_escaped(Sink& sink, std::string_view value)
{
    const auto& table = mode == EscapeMode::CharacterData ? escape_detail::kCharacterDataTable
                                                          : escape_detail::kAttributeValueTable;
    const char* run = value.data();
    const char* const end = run + value.size();
    for (const char* at = run; at != end; ++at) {
        const std::uint8_t reference = table[static_cast<unsigned char>(*at)];
        if (reference == 0) [[likely]] continue;
        if (at != run) sink.append(run, static_cast<std::size_t>(at - run));
        sink.append(escape_detail::kReferences[reference]);
        run = at + 1;
    }
    if (end != run) sink.append(run, static_cast<std::size_t>(end - run));
}

}  // namespace brindle
