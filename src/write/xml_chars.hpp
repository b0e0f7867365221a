// The characters an XML 1.0 document may hold, and those its names may be made of (fifth
// edition). The writer refuses anything else, because no conforming reader would take the
// output back.
#pragma once

namespace brindle::write {

constexpr bool is_xml_char(char32_t c) noexcept
{
    if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
    if (c <= 0xD7FF) return true;
    if (c < 0xE000) return false;  // surrogates
    if (c <= 0xFFFD) return true;
    return c >= 0x10000 && c <= 0x10FFFF;
}

constexpr bool is_name_start_char(char32_t c) noexcept
{
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

constexpr bool is_name_char(char32_t c) noexcept
{
    return is_name_start_char(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

}  // namespace brindle::write
