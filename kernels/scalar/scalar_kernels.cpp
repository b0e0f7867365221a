#include "kernels/scalar/scalar_kernels.hpp"

#include <cstdint>
#include <string_view>

#include "kernels/scalar/escape_scan.hpp"
#include "kernels/scalar/find_byte.hpp"

namespace brindle::kernels::scalar {

std::size_t find_byte(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value) noexcept
{
    return find_byte(std::string_view(reinterpret_cast<const char*>(data), size), from, value);
}

// One byte at a time: the reference for the vector classifiers, not a fast path.
void classify_markup(const unsigned char* block, MarkupMasks& masks) noexcept
{
    MarkupMasks found{};
    for (unsigned i = 0; i < kMarkupBlock; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        switch (block[i]) {
        case '<': found.less |= bit; break;
        case '>': found.greater |= bit; break;
        case '/': found.slash |= bit; break;
        case '?': found.question |= bit; break;
        case '"': found.double_quote |= bit; break;
        case '\'': found.apostrophe |= bit; break;
        default: found.tag_space |= is_tag_space(block[i]) ? bit : 0; break;
        }
    }
    masks = found;
}

Utf8Counts count_utf8(const unsigned char* data, std::size_t size) noexcept
{
    Utf8Counts counts{0, 0};
    for (std::size_t i = 0; i < size; ++i) {
        counts.continuations += (data[i] & 0xC0) == 0x80 ? 1 : 0;
        counts.largest = data[i] > counts.largest ? data[i] : counts.largest;
    }
    return counts;
}

std::size_t narrow_ascii(const std::uint16_t* units, std::size_t count, unsigned char* out) noexcept
{
    std::size_t at = 0;
    for (; at < count && units[at] < 0x80; ++at) out[at] = static_cast<unsigned char>(units[at]);
    return at;
}

const char* find_escapable_text(const char*, const char* at, const char* end) noexcept
{
    return find_escapable<EscapeMode::CharacterData>(at, end);
}

const char* find_escapable_attribute(const char*, const char* at, const char* end) noexcept
{
    return find_escapable<EscapeMode::AttributeValue>(at, end);
}

const char* find_suspect(const char* at, const char* end) noexcept { return find_suspect_byte(at, end); }

const KernelTable kTable = {
    Level::Scalar, find_byte,           classify_markup,          is_valid_utf8, ascii_prefix, count_utf8,
    narrow_ascii,  find_escapable_text, find_escapable_attribute, find_suspect};

}  // namespace brindle::kernels::scalar
