#include "write/string_check.hpp"

namespace brindle::write {

namespace {

// The character that begins at `at` in valid UTF-8; `at` moves past it.
char32_t decode_utf8(const unsigned char*& at) noexcept
{
    const unsigned char lead = *at++;
    if (lead < 0x80) return lead;
    int continuation = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t code_point = lead & (0x3F >> continuation);
    for (; continuation > 0; --continuation) code_point = (code_point << 6) | (*at++ & 0x3F);
    return code_point;
}

}  // namespace

StringFault forbidden_char_at(const char* at) noexcept
{
    // A suspect byte always begins a character: a control, or the lead byte 0xEF.
    const auto* character = reinterpret_cast<const unsigned char*>(at);
    const char32_t code_point = decode_utf8(character);
    if (is_xml_char(code_point)) return {};
    return {StringFault::Kind::ForbiddenChar, code_point};
}

StringFault string_check_detail::find_forbidden_char(const char* at, const char* end) noexcept
{
    for (; at != end; at = kernels::find_suspect_byte(at + 1, end)) {
        if (const StringFault fault = forbidden_char_at(at)) return fault;
    }
    return {};
}

StringFault string_check_detail::check_name_fully(std::string_view name) noexcept
{
    if (const StringFault forbidden = check_text(name)) return forbidden;
    const auto* at = reinterpret_cast<const unsigned char*>(name.data());
    const auto* const end = at + name.size();
    if (at == end || !is_name_start_char(decode_utf8(at))) return {StringFault::Kind::NotAName};
    while (at != end) {
        if (!is_name_char(decode_utf8(at))) return {StringFault::Kind::NotAName};
    }
    return {};
}

}  // namespace brindle::write
