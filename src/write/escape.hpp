// Escaping of element text and attribute values on their way into an output sink, refusing
// any character XML forbids on the way (write_refusal.hpp).
//
// Every character that is replaced is ASCII, so the walk goes byte by byte: multi-byte UTF-8
// sequences never contain ASCII bytes and pass through unchanged. Each run of bytes that needs
// no reference is handed to the sink in one append.
#pragma once

#include <string_view>

#include "kernels/escape_scan.hpp"
#include "write/write_refusal.hpp"

namespace brindle::write {

using kernels::EscapeMode;

namespace escape_detail {

// The tables and the references of kernels/scalar/escape_scan.hpp, one list for both.
using kernels::escape_detail::kCheckCharacter;
using kernels::escape_detail::reference_of;
using kernels::escape_detail::table_for;

template <EscapeMode mode>
constexpr StringPlace kPlace = mode == EscapeMode::CharacterData ? StringPlace::Text : StringPlace::AttributeValue;

template <EscapeMode mode, class Sink>
[[gnu::noinline]] void write_escaped_runs(Sink& sink, std::string_view value)
{
    const char* run = value.data();
    const char* const end = run + value.size();
    for (const char* from = run;;) {
        const char* special = kernels::find_escapable<mode>(value.data(), from, end);
        if (special == end) break;
        const auto entry = table_for<mode>()[static_cast<unsigned char>(*special)];
        from = special + 1;
        if (entry == 0) continue;  // a byte the block search stops at without need: #
        if (entry == kCheckCharacter) [[unlikely]] {
            // Written unchanged when allowed (it then stays part of the run).
            const StringFault fault = forbidden_char_at(special);
            if (fault) refuse_string(fault, kPlace<mode>, value);
            continue;
        }
        if (special != run) sink.append(run, static_cast<std::size_t>(special - run));
        sink.append(reference_of(entry));
        run = from;
    }
    if (run != end) sink.append(run, static_cast<std::size_t>(end - run));
}

}  // namespace escape_detail

// Appends `value` to `sink` with the characters of `mode` replaced by their references.
// Throws ValueError at the first character XML forbids; what was appended by then stays.
template <EscapeMode mode, class Sink>
inline void write_escaped(Sink& sink, std::string_view value)
{
    if (value.size() < 16 && kernels::is_plain_short<mode>(value.data(), value.size())) [[likely]] {
        sink.append(value);
        return;
    }
    escape_detail::write_escaped_runs<mode>(sink, value);
}

}  // namespace brindle::write
