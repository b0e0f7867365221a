// Copying the ASCII at the front of UTF-8 into units of one, two and four bytes: the scalar copy
// against a model (whole blocks, no further than the first byte at or above 0x80, the input's end
// or the room), writing nothing past where it stops; and the SSE2 copy against the scalar one at
// every length, room and position of the first high byte, against an inaccessible page.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kernels/tests/guarded_bytes.hpp"
#include "kernels/widen_ascii.hpp"

namespace brindle::kernels {
namespace {

using testing::GuardedBytes;

constexpr std::uint32_t kUntouched = 0xA5A5A5A5u;

template <class Unit>
struct Copy {
    std::size_t copied;
    std::vector<Unit> out;
};

// Runs `widen` and checks that it moved both positions by the same count.
template <class Unit, class Widen>
Copy<Unit> run(Widen widen, const unsigned char* data, std::size_t size, std::size_t room)
{
    std::vector<Unit> out(room + 1, static_cast<Unit>(kUntouched));
    const unsigned char* at = data;
    Unit* to = out.data();
    widen(at, data + size, to, out.data() + room);
    EXPECT_EQ(static_cast<std::size_t>(at - data), static_cast<std::size_t>(to - out.data()));
    return {static_cast<std::size_t>(at - data), std::move(out)};
}

template <class Unit>
void expect_levels_agree(const unsigned char* data, std::size_t size, std::size_t room, std::size_t first_high)
{
    const auto scalar_copy = [](const unsigned char*& at, const unsigned char* end, Unit*& out, const Unit* out_end) {
        scalar::widen_ascii_blocks(at, end, out, out_end);
    };
    const Copy<Unit> reference = run<Unit>(scalar_copy, data, size, room);
    const std::size_t expected = std::min({first_high, size, room}) / kAsciiBlock * kAsciiBlock;
    ASSERT_EQ(reference.copied, expected) << "size " << size << " room " << room << " high at " << first_high;
    for (std::size_t i = 0; i <= room; ++i) {
        const Unit want = i < expected ? static_cast<Unit>(data[i]) : static_cast<Unit>(kUntouched);
        ASSERT_EQ(reference.out[i], want) << "unit " << i << " size " << size << " room " << room;
    }
    const auto in_use = [](const unsigned char*& at, const unsigned char* end, Unit*& out, const Unit* out_end) {
        widen_ascii_blocks(at, end, out, out_end);
    };
    const Copy<Unit> used = run<Unit>(in_use, data, size, room);
    ASSERT_EQ(used.copied, reference.copied) << "size " << size << " room " << room << " high at " << first_high;
    ASSERT_EQ(used.out, reference.out) << "size " << size << " room " << room << " high at " << first_high;
}

template <class Unit>
class WidenAscii : public ::testing::Test {};
using Units = ::testing::Types<std::uint8_t, std::uint16_t, std::uint32_t>;
TYPED_TEST_SUITE(WidenAscii, Units);

TYPED_TEST(WidenAscii, EveryLengthRoomAndFirstHighByte)
{
    GuardedBytes guarded;
    for (std::size_t size = 0; size <= 70; ++size) {
        for (std::size_t first_high = 0; first_high <= size; ++first_high) {
            for (const unsigned char high : {0x80, 0xC3, 0xFF}) {
                std::string text(size, '\0');
                for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 37 + 1) % 0x80);
                if (first_high < size) text[first_high] = static_cast<char>(high);
                for (const auto against : {GuardedBytes::Against::End, GuardedBytes::Against::Start}) {
                    const unsigned char* data = guarded.place(text, against);
                    for (const std::size_t room : {size, size / 2, size + 16, std::size_t{0}, std::size_t{17}}) {
                        expect_levels_agree<TypeParam>(data, size, room, first_high);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace brindle::kernels
