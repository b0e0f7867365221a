#include "write/str_from_utf8.hpp"

#include <cstdint>
#include <cstring>

#include "ffi/errors.hpp"
#include "kernels/kernels.hpp"
#include "kernels/widen_ascii.hpp"
#include "memory/huge_pages.hpp"

namespace brindle::write {

using namespace ffi;

namespace {

constexpr unsigned char kContinuationLow = 0x80;  // 10xxxxxx
constexpr unsigned char kLatin1Limit = 0xC4;      // leads below it stay within U+00FF
constexpr unsigned char kFourByteLead = 0xF0;     // leads from here on go beyond U+FFFF

bool is_continuation(unsigned char byte) noexcept { return (byte & 0xC0) == kContinuationLow; }

Py_UCS4 storage_for(unsigned char largest_byte) noexcept
{
    if (largest_byte < 0x80) return 0x7F;
    if (largest_byte < kLatin1Limit) return 0xFF;
    if (largest_byte < kFourByteLead) return 0xFFFF;
    return 0x10FFFF;
}

Py_UCS4 storage_for_code_point(Py_UCS4 code_point) noexcept
{
    if (code_point < 0x80) return 0x7F;
    if (code_point < 0x100) return 0xFF;
    if (code_point < 0x10000) return 0xFFFF;
    return 0x10FFFF;
}

[[noreturn, gnu::cold]] void throw_invalid_output()
{
    throw_internal("invariant: the XML writer only emits valid UTF-8");
}

// Decodes one multi-byte sequence at `at`; false when it is cut short or is no sequence.
bool decode_sequence(const unsigned char*& at, const unsigned char* end, Py_UCS4& code_point) noexcept
{
    const unsigned char lead = *at;
    std::size_t length = 0;
    if (lead >= 0xC0 && lead < 0xE0) {
        length = 2;
        code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
        code_point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF8) {
        length = 4;
        code_point = lead & 0x07;
    } else {
        return false;
    }
    if (static_cast<std::size_t>(end - at) < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
        if (!is_continuation(at[i])) return false;
        code_point = (code_point << 6) | (at[i] & 0x3F);
    }
    at += length;
    return true;
}

// Fills exactly `count` units; false when the bytes do not decode to that many code points,
// or when their largest code point does not need exactly the storage `max_char` names (a str
// must use the narrowest storage that holds it).
template <class Unit>
bool decode_into(const unsigned char* at, const unsigned char* end, Unit* out, std::size_t count,
                 Py_UCS4 max_char) noexcept
{
    constexpr Py_UCS4 kLargest = sizeof(Unit) == 1 ? 0xFF : sizeof(Unit) == 2 ? 0xFFFF : 0x10FFFF;
    const Unit* const out_end = out + count;
    Py_UCS4 largest = 0;
    while (at != end) {
        kernels::widen_ascii_blocks(at, end, out, out_end);
        if (at == end) break;
        if (out == out_end) return false;
        Py_UCS4 code_point = *at;
        if (code_point < 0x80) {
            ++at;
        } else if (!decode_sequence(at, end, code_point) || code_point > kLargest) {
            return false;
        }
        largest = code_point > largest ? code_point : largest;
        *out++ = static_cast<Unit>(code_point);
    }
    return out == out_end && storage_for_code_point(largest) == max_char;
}

}  // namespace

Utf8Measure measure_utf8(std::string_view utf8) noexcept
{
    const kernels::Utf8Counts counts = kernels::count_utf8(utf8);
    return {utf8.size() - counts.continuations, storage_for(counts.largest)};
}

PyRef str_from_utf8(std::string_view utf8, const Utf8Measure& measure)
{
    PyRef text = checked(PyUnicode_New(static_cast<Py_ssize_t>(measure.code_points), measure.max_char));
    // A large result is written front to back once, into memory no one has touched yet.
    memory::advise_huge_pages(PyUnicode_DATA(text.get()), measure.code_points * PyUnicode_KIND(text.get()));
    const auto* at = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = at + utf8.size();
    void* data = PyUnicode_DATA(text.get());
    bool complete = false;
    switch (PyUnicode_KIND(text.get())) {
    case PyUnicode_1BYTE_KIND:
        complete = decode_into(at, end, static_cast<Py_UCS1*>(data), measure.code_points, measure.max_char);
        break;
    case PyUnicode_2BYTE_KIND:
        complete = decode_into(at, end, static_cast<Py_UCS2*>(data), measure.code_points, measure.max_char);
        break;
    default: complete = decode_into(at, end, static_cast<Py_UCS4*>(data), measure.code_points, measure.max_char); break;
    }
    if (!complete) throw_invalid_output();
    return text;
}

}  // namespace brindle::write
