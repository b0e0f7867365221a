#include "write/write_refusal.hpp"

#include <cstdio>
#include <string>

#include "ffi/errors.hpp"

namespace brindle::write {

using namespace ffi;

namespace {

const char* place_label(StringPlace place) noexcept
{
    switch (place) {
    case StringPlace::Text: return "text";
    case StringPlace::AttributeValue: return "attribute value";
    case StringPlace::ElementName: return "element name";
    case StringPlace::AttributeName: return "attribute name";
    }
    return "";
}

}  // namespace

void refuse_string(StringFault fault, StringPlace place, std::string_view string)
{
    if (fault.kind == StringFault::Kind::NotAName) {
        throw_error(PyExc_ValueError,
                    std::string(place_label(place)) + " '" + std::string(string) + "' is not an XML name");
    }
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(fault.code_point));
    throw_error(PyExc_ValueError,
                std::string("character ") + code + " is not allowed in XML (" + place_label(place) + ")");
}

}  // namespace brindle::write
