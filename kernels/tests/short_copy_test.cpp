// Copying a few bytes: every size the overlapping loads and stores handle, and past them, copies
// exactly the bytes asked for, whatever lies around the two ranges.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "kernels/scalar/short_copy.hpp"

namespace brindle::kernels {
namespace {

TEST(ShortCopy, CopiesExactlyTheBytesOfEverySize)
{
    for (std::size_t size = 0; size <= 40; ++size) {
        std::string from(size + 2, '\0');
        for (std::size_t i = 0; i < from.size(); ++i) from[i] = static_cast<char>('a' + i % 26);
        std::string to(size + 2, '#');
        copy_short(to.data() + 1, from.data() + 1, size);
        std::string expected(1, '#');
        expected.append(from, 1, size);
        expected.push_back('#');
        EXPECT_EQ(to, expected) << "size " << size;
    }
}

}  // namespace
}  // namespace brindle::kernels
