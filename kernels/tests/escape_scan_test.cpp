// The writer's SSE2 scans against the scalar ones, in both escaping modes, on strings of every
// length to 300 made mostly of the bytes the scans single out (and of bytes that differ from
// them in one bit), searched from every offset, at every alignment and against an
// inaccessible page; the searches of every level's kernel table against the scalar ones; and
// the scalar tables against the bytes escaping must stop at.

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

#include "kernels/escape_scan.hpp"
#include "kernels/tests/guarded_bytes.hpp"
#include "kernels/tests/levels.hpp"

namespace brindle::kernels {
namespace {

using testing::GuardedBytes;

using testing::level_test_name;
using testing::supported_levels;

TEST(EscapeTables, StopAtReferencesAndSuspectBytesOnly)
{
    for (int byte = 0; byte < 256; ++byte) {
        const bool control = byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
        const bool suspect = control || byte == 0xEF;
        EXPECT_EQ(forbidden_detail::kSuspect[byte], suspect) << byte;
        const bool replaced = byte == '&' || byte == '<' || byte == '>' || byte == '"' || byte == '\'' || byte == '\r';
        const bool in_text = replaced || suspect;
        EXPECT_EQ(escape_detail::table_for<EscapeMode::CharacterData>()[byte] != 0, in_text) << byte;
        EXPECT_EQ(escape_detail::table_for<EscapeMode::AttributeValue>()[byte] != 0,
                  in_text || byte == '\t' || byte == '\n')
            << byte;
    }
}

std::string random_text(std::mt19937_64& random, std::size_t length)
{
    // The special bytes, their one-bit neighbours (# ( ) . = ? among them), bytes near the
    // control range, the noncharacter lead and its neighbours, and plain letters.
    static constexpr unsigned char kBytes[] = {'&',  '<',  '>',  '"',  '\'', '\r', '\t', '\n', '#',  '$',
                                               '%',  '=',  '?',  '.',  '(',  ')',  ' ',  0x00, 0x01, 0x0B,
                                               0x1F, 0x7F, 0xEF, 0xEE, 0xF0, 0xBF, 0x80, 'a',  'b',  'c'};
    std::string text(length, 'x');
    const unsigned density = 1 + static_cast<unsigned>(random() % 40);
    for (char& byte : text) {
        if (random() % density == 0) {
            byte = static_cast<char>(kBytes[random() % sizeof kBytes]);
        }
    }
    return text;
}

// A level's search may stop at '#' too, which escaping passes over; past those stops it must
// reach the scalar search's byte.
template <class Find>
const char* find_past_hashes(Find find, const char* begin, const char* at, const char* end)
{
    const char* found = find(begin, at, end);
    while (found != end && *found == '#') {
        found = find(begin, found + 1, end);
    }
    return found;
}

class EscapeSearchLevels : public ::testing::TestWithParam<Level> {};

TEST_P(EscapeSearchLevels, EqualScalarAtEveryLengthOffsetAndEnd)
{
    const KernelTable& table = table_for(GetParam());
    std::mt19937_64 random(7);
    GuardedBytes guarded;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t length = 0; length <= 200; ++length) {
            const std::string text = random_text(random, length);
            for (const auto against : {GuardedBytes::Against::End, GuardedBytes::Against::Start}) {
                const auto* begin = reinterpret_cast<const char*>(guarded.place(text, against));
                const char* const end = begin + length;
                for (const char* at = begin; at <= end; ++at) {
                    ASSERT_EQ(find_past_hashes(table.find_escapable_text, begin, at, end),
                              scalar::find_escapable<EscapeMode::CharacterData>(at, end))
                        << "size " << length << " from " << (at - begin);
                    ASSERT_EQ(find_past_hashes(table.find_escapable_attribute, begin, at, end),
                              scalar::find_escapable<EscapeMode::AttributeValue>(at, end))
                        << "size " << length << " from " << (at - begin);
                    ASSERT_EQ(table.find_suspect(at, end), scalar::find_suspect_byte(at, end))
                        << "size " << length << " from " << (at - begin);
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, EscapeSearchLevels, ::testing::ValuesIn(supported_levels()), level_test_name);

#if defined(__SSE2__)

// The SSE2 search may also stop at '#', which shares its comparison with '"' '&' and '\'' and
// which escaping passes over; past those stops it must reach the scalar search's byte.
template <EscapeMode mode>
const char* sse2_find_past_hashes(const char* begin, const char* at, const char* end)
{
    const char* found = sse2::find_escapable<mode>(begin, at, end);
    while (found != end && *found == '#') {
        found = sse2::find_escapable<mode>(begin, found + 1, end);
    }
    return found;
}

// A short string is plain for the SSE2 check exactly when it is for the scalar one, except
// that a '#' may make the SSE2 check send a plain string to the full escaping.
template <EscapeMode mode>
bool plain_checks_agree(const char* at, std::size_t size)
{
    const bool sse2_plain = sse2::is_plain_short<mode>(at, size);
    const bool scalar_plain = scalar::is_plain_short<mode>(at, size);
    return sse2_plain == scalar_plain ||
           (scalar_plain && std::string_view(at, size).find('#') != std::string_view::npos);
}

template <EscapeMode mode>
void expect_scans_agree(const char* begin, std::size_t size)
{
    const char* const end = begin + size;
    for (const char* at = begin; at <= end; ++at) {
        ASSERT_EQ(sse2_find_past_hashes<mode>(begin, at, end), scalar::find_escapable<mode>(at, end))
            << "size " << size << " from " << (at - begin);
        ASSERT_EQ(sse2::find_suspect_byte(at, end), scalar::find_suspect_byte(at, end))
            << "size " << size << " from " << (at - begin);
    }
    if (size < 16) {
        ASSERT_TRUE(plain_checks_agree<mode>(begin, size)) << size;
        ASSERT_EQ(sse2::has_suspect_byte_short(begin, size), scalar::has_suspect_byte_short(begin, size)) << size;
    }
}

TEST(EscapeScans, Sse2EqualsScalarAtEveryLengthOffsetAndEnd)
{
    std::mt19937_64 random(99);
    GuardedBytes guarded;
    for (int round = 0; round < 6; ++round) {
        for (std::size_t length = 0; length <= 300; ++length) {
            const std::string text = random_text(random, length);
            for (const auto against : {GuardedBytes::Against::End, GuardedBytes::Against::Start}) {
                const auto* begin = reinterpret_cast<const char*>(guarded.place(text, against));
                expect_scans_agree<EscapeMode::CharacterData>(begin, length);
                expect_scans_agree<EscapeMode::AttributeValue>(begin, length);
            }
        }
    }
}

// Short strings holding exactly one byte of each value, at each position: the short checks
// see every byte whichever way they load the string.
TEST(EscapeScans, ShortChecksSeeEveryByte)
{
    GuardedBytes guarded;
    for (std::size_t size = 1; size < 16; ++size) {
        for (std::size_t position = 0; position < size; ++position) {
            for (int byte = 0; byte < 256; ++byte) {
                std::string text(size, 'q');
                text[position] = static_cast<char>(byte);
                const auto* at = reinterpret_cast<const char*>(guarded.place(text, GuardedBytes::Against::End));
                ASSERT_TRUE(plain_checks_agree<EscapeMode::CharacterData>(at, size))
                    << "size " << size << " byte " << byte << " at " << position;
                ASSERT_TRUE(plain_checks_agree<EscapeMode::AttributeValue>(at, size))
                    << "size " << size << " byte " << byte << " at " << position;
                ASSERT_EQ(sse2::has_suspect_byte_short(at, size), scalar::has_suspect_byte_short(at, size))
                    << "size " << size << " byte " << byte << " at " << position;
            }
        }
    }
}

#endif

}  // namespace
}  // namespace brindle::kernels
