// The check that a name is made of ASCII name bytes: the scalar check against the bytes XML names
// may hold, and the SSE2 check against the scalar one on names of every length to 80, with one
// byte of every value at every position, at every alignment and against an inaccessible page.

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>

#include "kernels/ascii_name.hpp"
#include "kernels/tests/guarded_bytes.hpp"

namespace brindle::kernels {
namespace {

using testing::GuardedBytes;

bool is_listed_name_byte(int byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == ':' || byte == '_';
}

// Every byte value at every position of names of 1 to 40 bytes: the scalar check finds a name
// plain exactly when that byte is a name byte, and the check in use agrees with it.
TEST(AsciiName, OneByteOfEveryValueAtEveryPosition)
{
    GuardedBytes guarded;
    for (std::size_t size = 1; size <= 40; ++size) {
        for (std::size_t position = 0; position < size; ++position) {
            for (int byte = 0; byte < 256; ++byte) {
                std::string name(size, 'n');
                name[position] = static_cast<char>(byte);
                for (const auto against : {GuardedBytes::Against::End, GuardedBytes::Against::Start}) {
                    const auto* at = reinterpret_cast<const char*>(guarded.place(name, against));
                    ASSERT_EQ(scalar::all_ascii_name_bytes(at, size), is_listed_name_byte(byte))
                        << "size " << size << " byte " << byte << " at " << position;
                    ASSERT_EQ(all_ascii_name_bytes(at, size), is_listed_name_byte(byte))
                        << "size " << size << " byte " << byte << " at " << position;
                }
            }
        }
    }
}

#if defined(__SSE2__)
// Random names of the bytes at the edges of the ranges the vector check compares with, from
// every offset of a buffer, so that every length and alignment is seen.
TEST(AsciiName, Sse2EqualsScalarOnRandomNames)
{
    static constexpr unsigned char kBytes[] = {'a',  'z',  'A',  'Z',  '`',  '{',  '@', '[', '0',  '9',
                                               '/',  ':',  ';',  '-',  '.',  ',',  '_', '^', 0x7F, 0x80,
                                               0xC1, 0xE1, 0xFA, 0xDA, 0x00, 0x20, 'm', 'M', '5'};
    std::mt19937_64 random(17);
    GuardedBytes guarded;
    for (int round = 0; round < 200; ++round) {
        std::string text(96, 'x');
        const unsigned density = 1 + static_cast<unsigned>(random() % 60);
        for (char& byte : text) {
            if (random() % density == 0) byte = static_cast<char>(kBytes[random() % sizeof kBytes]);
        }
        const auto* base = reinterpret_cast<const char*>(
            guarded.place(text, round % 2 == 0 ? GuardedBytes::Against::End : GuardedBytes::Against::Start));
        for (std::size_t from = 0; from < text.size(); ++from) {
            for (std::size_t size = 1; from + size <= text.size(); ++size) {
                ASSERT_EQ(sse2::all_ascii_name_bytes(base + from, size),
                          scalar::all_ascii_name_bytes(base + from, size))
                    << "round " << round << " from " << from << " size " << size;
            }
        }
    }
}
#endif

}  // namespace
}  // namespace brindle::kernels
