#include "read/document_text.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "ffi/convert.hpp"
#include "kernels/kernels.hpp"

namespace brindle::read {

using namespace ffi;

namespace {

// Units looked at before a run of non-ASCII text goes back to the kernel: an ASCII unit or two
// between its words (spaces, punctuation) are cheaper copied in place.
constexpr std::ptrdiff_t kAsciiBlock = 16;

// The bits of a word of units that are set only in units from U+0080 up.
template <class Unit>
constexpr std::uint64_t kNonAsciiBits = sizeof(Unit) == 1   ? 0x8080808080808080ULL
                                        : sizeof(Unit) == 2 ? 0xFF80FF80FF80FF80ULL
                                                            : 0xFFFFFF80FFFFFF80ULL;

// Whether a whole block is ASCII: its words ORed together.
template <class Unit>
bool block_is_ascii(const Unit* in) noexcept
{
    constexpr std::size_t kWords = sizeof(Unit) * kAsciiBlock / sizeof(std::uint64_t);
    std::uint64_t words[kWords];
    std::memcpy(words, in, sizeof words);
    std::uint64_t bits = 0;
    for (const std::uint64_t word : words) bits |= word;
    return (bits & kNonAsciiBits<Unit>) == 0;
}

// Copies the ASCII units at the front of in[0, count) to `out` as bytes; returns how many.
std::size_t copy_ascii(const kernels::KernelTable& kernels, const Py_UCS1* in, std::size_t count, char* out) noexcept
{
    const std::size_t ascii = kernels.ascii_prefix(in, count);
    std::memcpy(out, in, ascii);
    return ascii;
}
std::size_t copy_ascii(const kernels::KernelTable& kernels, const Py_UCS2* in, std::size_t count, char* out) noexcept
{
    static_assert(sizeof(Py_UCS2) == sizeof(std::uint16_t));
    return kernels.narrow_ascii(in, count, reinterpret_cast<unsigned char*>(out));
}
std::size_t copy_ascii(const kernels::KernelTable&, const Py_UCS4* in, std::size_t count, char* out) noexcept
{
    std::size_t ascii = 0;
    for (; ascii < count && in[ascii] < 0x80; ++ascii) out[ascii] = static_cast<char>(in[ascii]);
    return ascii;
}

// The UTF-8 of one code point from U+0080 up, or null for a surrogate; returns the end.
inline char* encode_non_ascii(std::uint32_t code, char* out) noexcept
{
    if (code < 0x800) {
        *out++ = static_cast<char>(0xC0 | (code >> 6));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        if (code >= 0xD800 && code <= 0xDFFF) return nullptr;
        *out++ = static_cast<char>(0xE0 | (code >> 12));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (code >> 18));
        *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

// Encodes `count` code units of one width; returns the end of the output, or null at a
// surrogate. `out` has room for the longest encoding (as many bytes per unit as UTF-8 may
// need for that width: 2, 3 or 4).
template <class Unit>
char* encode_units(const kernels::KernelTable& kernels, const Unit* in, std::size_t count, char* out) noexcept
{
    const Unit* const end = in + count;
    while (in != end) {
        // Runs of ASCII, the bulk of most documents, by the kernel.
        const std::size_t ascii = copy_ascii(kernels, in, static_cast<std::size_t>(end - in), out);
        in += ascii;
        out += ascii;
        // Then unit by unit: a run of non-ASCII text with what stands between its words, until a
        // block of ASCII begins, and every unit of the last short stretch.
        while (in != end) {
            const std::uint32_t code = *in;
            if (code < 0x80) {
                if (end - in >= kAsciiBlock && block_is_ascii(in)) break;
                *out++ = static_cast<char>(code);
                ++in;
                continue;
            }
            ++in;
            out = encode_non_ascii(code, out);
            if (out == nullptr) return nullptr;
        }
    }
    return out;
}

}  // namespace

char* encode_utf8(const void* units, int kind, std::size_t count, char* out) noexcept
{
    const kernels::KernelTable& kernels = kernels::active();
    switch (kind) {
    case PyUnicode_1BYTE_KIND: return encode_units(kernels, static_cast<const Py_UCS1*>(units), count, out);
    case PyUnicode_2BYTE_KIND: return encode_units(kernels, static_cast<const Py_UCS2*>(units), count, out);
    default: return encode_units(kernels, static_cast<const Py_UCS4*>(units), count, out);
    }
}

DocumentText::DocumentText(PyObject* text) : text_(text)
{
    if (!PyUnicode_Check(text)) throw_type_mismatch(text, "str");
#if PY_VERSION_HEX < 0x030C0000
    if (PyUnicode_READY(text) < 0) throw_python_error();  // a str made by the legacy calls
#endif
    if (PyUnicode_IS_ASCII(text)) {
        view_ = {static_cast<const char*>(PyUnicode_DATA(text)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(text))};
    }
}

// The pages past the encoding were never written (room for the longest form): they go back to
// the system, so that the store keeps and counts only what the encoding wrote.
DocumentText::~DocumentText()
{
    memory::shrink_pages(encoded_, view_.empty() ? 1 : view_.size());
    memory::give_back_pages(encoded_);
}

// A buffer of `most` bytes in encoded_, for an encoding of at least `least` bytes: the
// smallest kept block that may hold the whole encoding, grown by remapping, or fresh pages. Only
// the pages written become resident, so room for the longest form costs nothing more; and the
// kept block that fits the encoding best is the one the last read of this document left, not
// a larger one that another buffer of the read is about to ask for.
void DocumentText::make_room(std::size_t least, std::size_t most)
{
    if (encoded_.size >= most) return;
    memory::give_back_pages(std::exchange(encoded_, memory::Pages{}));
    encoded_ = memory::take_kept_pages(least);
    memory::grow_pages(encoded_, most);
}

bool DocumentText::encode()
{
    if (PyUnicode_IS_ASCII(text_)) return true;
    const auto count = static_cast<std::size_t>(PyUnicode_GET_LENGTH(text_));
    const int kind = PyUnicode_KIND(text_);
    const std::size_t most = count * (kind == PyUnicode_1BYTE_KIND ? 2 : kind == PyUnicode_2BYTE_KIND ? 3 : 4);
    make_room(count == 0 ? 1 : count, most == 0 ? 1 : most);
    char* const end = encode_utf8(PyUnicode_DATA(text_), kind, count, encoded_.data);
    if (end == nullptr) return false;
    view_ = {encoded_.data, static_cast<std::size_t>(end - encoded_.data)};
    return true;
}

void DocumentText::throw_unencodable() const
{
    if (utf8_view(text_)) throw_internal("a str without a UTF-8 form was encoded");
    throw_pending_with_note("xml_string");
}

}  // namespace brindle::read
