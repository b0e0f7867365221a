// Escaping of element text and attribute values on their way into an output sink.
//
// Every character that is replaced is ASCII, so the walk goes byte by byte: multi-byte UTF-8
// sequences never contain ASCII bytes and pass through unchanged. Each run of bytes that needs
// no reference is handed to the sink in one append.
#pragma once

#include <string_view>

#include "write/escape_scan.hpp"

namespace brindle {

namespace escape_detail {

// Indexed by the tables of escape_scan.hpp; entry 0 is never used.
constexpr std::string_view kReferences[] = {
    "", "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#9;", "&#10;", "&#13;",
};

}  // namespace escape_detail

// Appends `value` to `sink` with the characters of `mode` replaced by their references.
template <EscapeMode mode, class Sink>
void write_escaped(Sink& sink, std::string_view value)
{
    const char* run = value.data();
    const char* const end = run + value.size();
    for (;;) {
        const char* special = find_escapable<mode>(run, end);
        if (special != run) sink.append(run, static_cast<std::size_t>(special - run));
        if (special == end) return;
        const auto reference = escape_detail::table_for<mode>()[static_cast<unsigned char>(*special)];
        sink.append(escape_detail::kReferences[reference]);
        run = special + 1;
    }
}

}  // namespace brindle
