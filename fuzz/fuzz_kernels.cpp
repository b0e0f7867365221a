// Every kernel level the processor runs against the scalar reference, on arbitrary bytes: the
// byte search from several offsets, the markup masks of every block (the last one padded as
// the index pads it), UTF-8 validation, the ASCII prefix, the UTF-8 counts, the narrowing of
// two-byte units (the text's bytes taken in pairs) and the writer's searches; and the writer's
// inline SSE2 kernels against their scalar twins: the escape scans in both modes, the ASCII
// name check and the widening of ASCII into units of one, two and four bytes. The first input
// byte is the byte searched for; the rest is the text, read in place (or copied to a buffer of
// its exact size) so a read past its end is an AddressSanitizer report.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/expect.hpp"
#include "kernels/ascii_name.hpp"
#include "kernels/escape_scan.hpp"
#include "kernels/kernels.hpp"
#include "kernels/widen_ascii.hpp"

namespace brindle::fuzz {
namespace {

using kernels::KernelTable;
using kernels::Level;

std::size_t naive_find(const unsigned char* data, std::size_t size, std::size_t from, unsigned char value)
{
    for (std::size_t i = from; i < size; ++i) {
        if (data[i] == value) return i;
    }
    return size;
}

bool same_masks(const kernels::MarkupMasks& a, const kernels::MarkupMasks& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void check_level(const KernelTable& level, const KernelTable& reference, const unsigned char* text, std::size_t size,
                 unsigned char value)
{
    for (const std::size_t from : {std::size_t{0}, size / 3, size / 2, size - size / 5, size}) {
        for (const unsigned char searched : {value, static_cast<unsigned char>('<')}) {
            EXPECT(level.find_byte(text, size, from, searched) == reference.find_byte(text, size, from, searched),
                   "every level's find_byte finds the scalar one's byte");
        }
    }
    for (std::size_t start = 0; start < size; start += kernels::kMarkupBlock) {
        unsigned char block[kernels::kMarkupBlock] = {};
        std::memcpy(block, text + start, std::min(kernels::kMarkupBlock, size - start));
        kernels::MarkupMasks masks{};
        kernels::MarkupMasks expected{};
        level.classify_markup(block, masks);
        reference.classify_markup(block, expected);
        EXPECT(same_masks(masks, expected), "every level classifies a block as the scalar classifier does");
    }
    EXPECT(level.is_valid_utf8(text, size) == reference.is_valid_utf8(text, size),
           "every level's UTF-8 check gives the scalar verdict");
    EXPECT(level.ascii_prefix(text, size) == reference.ascii_prefix(text, size),
           "every level's ASCII prefix ends where the scalar one does");
    const kernels::Utf8Counts counts = level.count_utf8(text, size);
    const kernels::Utf8Counts expected = reference.count_utf8(text, size);
    EXPECT(counts.continuations == expected.continuations && counts.largest == expected.largest,
           "every level counts UTF-8 as the scalar counts do");

    const auto* chars = reinterpret_cast<const char*>(text);
    for (const char* at = chars; at <= chars + size; at += 1 + size / 8) {
        const auto past_hashes = [&](auto find) {  // stops at '#', which escaping passes over, aside
            const char* found = find(chars, at, chars + size);
            while (found != chars + size && *found == '#') found = find(chars, found + 1, chars + size);
            return found;
        };
        EXPECT(past_hashes(level.find_escapable_text) == past_hashes(reference.find_escapable_text) &&
                   past_hashes(level.find_escapable_attribute) == past_hashes(reference.find_escapable_attribute),
               "every level's escape searches stop where the scalar ones do, '#' aside");
        EXPECT(level.find_suspect(at, chars + size) == reference.find_suspect(at, chars + size),
               "every level's search for suspect bytes stops where the scalar one does");
    }

    std::vector<std::uint16_t> units(size / 2);
    if (!units.empty()) std::memcpy(units.data(), text, units.size() * 2);
    std::vector<unsigned char> narrowed(units.size());
    std::vector<unsigned char> narrowed_expected(units.size());
    const std::size_t kept = level.narrow_ascii(units.data(), units.size(), narrowed.data());
    const std::size_t kept_expected = reference.narrow_ascii(units.data(), units.size(), narrowed_expected.data());
    EXPECT(kept == kept_expected && std::equal(narrowed.begin(), narrowed.begin() + static_cast<std::ptrdiff_t>(kept),
                                               narrowed_expected.begin()),
           "every level narrows the same ASCII units as the scalar narrowing");
}

// The scalar narrowing: the units below 0x80 at the front, each as its byte.
void check_scalar_narrowing(const KernelTable& reference, const unsigned char* text, std::size_t size)
{
    std::vector<std::uint16_t> units(size / 2);
    if (!units.empty()) std::memcpy(units.data(), text, units.size() * 2);
    std::vector<unsigned char> narrowed(units.size());
    const std::size_t kept = reference.narrow_ascii(units.data(), units.size(), narrowed.data());
    std::size_t expected = 0;
    while (expected < units.size() && units[expected] < 0x80) ++expected;
    EXPECT(kept == expected, "the scalar narrowing stops at the first unit at or above 0x80");
    for (std::size_t i = 0; i < kept; ++i) {
        EXPECT(narrowed[i] == units[i], "the scalar narrowing keeps each unit's value");
    }
}

#if defined(__SSE2__)
template <kernels::EscapeMode mode>
void check_escape_scans(const char* begin, std::size_t size)
{
    const char* const end = begin + size;
    for (const char* at = begin; at <= end; at += 1 + size / 16) {
        const char* found = kernels::sse2::find_escapable<mode>(begin, at, end);
        while (found != end && *found == '#') {  // a stop escaping passes over
            found = kernels::sse2::find_escapable<mode>(begin, found + 1, end);
        }
        EXPECT(found == kernels::scalar::find_escapable<mode>(at, end),
               "the SSE2 escape search stops where the scalar one does, '#' aside");
        EXPECT(kernels::sse2::find_suspect_byte(at, end) == kernels::scalar::find_suspect_byte(at, end),
               "the SSE2 search for suspect bytes stops where the scalar one does");
    }
    if (size < 16) {
        const bool plain = kernels::sse2::is_plain_short<mode>(begin, size);
        EXPECT(plain == kernels::scalar::is_plain_short<mode>(begin, size) ||
                   std::string_view(begin, size).find('#') != std::string_view::npos,
               "the SSE2 short check finds a string plain as the scalar one does, '#' aside");
        EXPECT(kernels::sse2::has_suspect_byte_short(begin, size) ==
                   kernels::scalar::has_suspect_byte_short(begin, size),
               "the SSE2 short check finds suspect bytes as the scalar one does");
    }
}

// Widening from `at` with `room` units of room: where the SSE2 copy stops and what it wrote
// are the scalar copy's.
template <class Unit>
void check_widening(const unsigned char* text, std::size_t size, std::size_t room)
{
    std::vector<Unit> out(room, Unit{0x55});
    std::vector<Unit> expected(room, Unit{0x55});
    const unsigned char* at = text;
    Unit* to = out.data();
    kernels::sse2::widen_ascii_blocks(at, text + size, to, out.data() + room);
    const unsigned char* expected_at = text;
    Unit* expected_to = expected.data();
    kernels::scalar::widen_ascii_blocks(expected_at, text + size, expected_to, expected.data() + room);
    EXPECT(at == expected_at && to - out.data() == expected_to - expected.data() && out == expected,
           "the SSE2 widening copies what the scalar one copies");
}

void check_inline_kernels(const unsigned char* text, std::size_t size)
{
    const auto* chars = reinterpret_cast<const char*>(text);
    check_escape_scans<kernels::EscapeMode::CharacterData>(chars, size);
    check_escape_scans<kernels::EscapeMode::AttributeValue>(chars, size);
    for (std::size_t from = 0; from < size; from += 1 + size / 8) {
        EXPECT(kernels::sse2::all_ascii_name_bytes(chars + from, size - from) ==
                   kernels::scalar::all_ascii_name_bytes(chars + from, size - from),
               "the SSE2 ASCII name check agrees with the scalar one");
    }
    for (const std::size_t room : {size, size / 2, size + 16}) {
        check_widening<std::uint8_t>(text, size, room);
        check_widening<std::uint16_t>(text, size, room);
        check_widening<std::uint32_t>(text, size, room);
    }
}
#endif

}  // namespace
}  // namespace brindle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brindle;
    if (size == 0) {
        return 0;
    }
    const unsigned char value = data[0];
    const unsigned char* text = data + 1;
    const std::size_t length = size - 1;
    const kernels::KernelTable& reference = kernels::table_for(kernels::Level::Scalar);
    for (const std::size_t from : {std::size_t{0}, length / 2, length}) {
        EXPECT(reference.find_byte(text, length, from, value) == fuzz::naive_find(text, length, from, value),
               "the scalar find_byte finds the first equal byte");
    }
    for (const kernels::Level level : kernels::kLevels) {
        if (level != kernels::Level::Scalar && kernels::is_supported(level)) {
            fuzz::check_level(kernels::table_for(level), reference, text, length, value);
        }
    }
    fuzz::check_scalar_narrowing(reference, text, length);
#if defined(__SSE2__)
    fuzz::check_inline_kernels(text, length);
#endif
    return 0;
}
