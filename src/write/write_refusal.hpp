// Refusing a string the writer cannot put into XML that reads back, as ValueError.
#pragma once

#include <string_view>

#include "write/string_check.hpp"

namespace brindle::write {

enum class StringPlace { Text, AttributeValue, ElementName, AttributeName };

// Throws ValueError (a PendingError, so the interpreter lock may be released):
//   "character U+0001 is not allowed in XML (text)", or with "attribute value",
//   "element name", "attribute name" in place of "text";
//   "element name 'a b' is not an XML name", or the same with "attribute name".
[[noreturn, gnu::cold]] void refuse_string(StringFault fault, StringPlace place, std::string_view string);

inline void check_name_in(std::string_view name, StringPlace place)
{
    if (const StringFault fault = check_name(name)) [[unlikely]]
        refuse_string(fault, place, name);
}

inline void check_text_in(std::string_view text, StringPlace place)
{
    if (const StringFault fault = check_text(text)) [[unlikely]]
        refuse_string(fault, place, text);
}

}  // namespace brindle::write
