#include "read/read_errors.hpp"

#include <string>

#include "module/errors.hpp"

namespace brindle::read {

namespace {

// Joins the pieces of a message; cold, so it may allocate freely.
template <class... Pieces>
std::string join(const Pieces&... pieces)
{
    std::string text;
    (text.append(pieces), ...);
    return text;
}

[[noreturn]] [[gnu::cold]] void fail_value(std::string text)
{
    throw_error(PyExc_ValueError, std::move(text));
}

}  // namespace

void fail_unclosed_tag(std::uint64_t offset)
{
    fail_value(join("malformed XML: Unclosed tag at byte ", std::to_string(offset)));
}

void fail_malformed(std::uint64_t offset, std::string_view message)
{
    fail_value(join("malformed XML at byte ", std::to_string(offset), ": ", message));
}

void fail_malformed_end_tag(std::uint64_t offset, std::string_view name)
{
    fail_malformed(offset, join("malformed end tag </", name, ">"));
}

void fail_unexpected_end_tag(std::uint64_t offset, std::string_view name)
{
    fail_malformed(offset, join("unexpected end tag </", name, ">"));
}

void fail_mismatched_end_tag(std::uint64_t offset, std::string_view open_name, std::string_view end_name)
{
    fail_malformed(offset, join("expected </", open_name, ">, found </", end_name, ">"));
}

void fail_attribute_without_value(std::uint64_t offset, std::string_view name)
{
    fail_malformed(offset, join("attribute '", name, "' has no value"));
}

void fail_unquoted_value(std::uint64_t offset, std::string_view name)
{
    fail_malformed(offset, join("value of attribute '", name, "' is not quoted"));
}

void fail_duplicate_attribute(std::uint64_t offset, std::string_view name)
{
    fail_malformed(offset, join("duplicate attribute '", name, "'"));
}

void fail_invalid_char_reference(std::uint64_t offset, std::string_view name)
{
    fail_malformed(offset, join("invalid character reference '&", name, ";'"));
}

void fail_unknown_entity(std::uint64_t offset, std::string_view name)
{
    fail_value(join("unknown entity reference '&", name, ";' at byte ", std::to_string(offset)));
}

void fail_root_not_found(std::string_view root_tag)
{
    fail_value(join("root tag <", root_tag, "> not found in document"));
}

void fail_never_closed(std::string_view name)
{
    fail_value(join("unexpected end of document: <", name, "> is never closed"));
}

}  // namespace brindle::read
