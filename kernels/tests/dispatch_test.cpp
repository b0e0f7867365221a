// The dispatcher: its reading of the processor (the levels it reports are the ones the
// compiler's own feature query reports, GCC's runtime, which the suites are built with, so that
// a build whose runtime answers differently still picks the level the processor runs), the
// architecture's list of levels, and the choice of the first supported one in it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "kernels/kernels.hpp"

namespace brindle::kernels {
namespace {

#if defined(__x86_64__)
TEST(Dispatch, LevelsAgreeWithTheCompilersFeatureQuery)
{
    __builtin_cpu_init();
    EXPECT_EQ(is_supported(Level::Sse42), __builtin_cpu_supports("sse4.2") != 0);
    EXPECT_EQ(is_supported(Level::Avx2), __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ(is_supported(Level::Avx512), __builtin_cpu_supports("avx512bw") != 0);
}

TEST(Dispatch, X86PrefersTheWidestLevel)
{
    const std::span<const Level> levels = levels_by_priority();
    EXPECT_EQ(std::vector<Level>(levels.begin(), levels.end()),
              (std::vector<Level>{Level::Avx512, Level::Avx2, Level::Sse42, Level::Scalar}));
}
#endif

// Every level once at most, the scalar one last; a level outside the list is never supported.
TEST(Dispatch, EveryListEndsWithTheScalarLevel)
{
    const std::span<const Level> levels = levels_by_priority();
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.back(), Level::Scalar);
    for (const Level level : kLevels) {
        const auto count = std::count(levels.begin(), levels.end(), level);
        EXPECT_LE(count, 1) << level_name(level);
        if (count == 0) {
            EXPECT_FALSE(is_supported(level)) << level_name(level);
        }
    }
    EXPECT_TRUE(is_supported(Level::Scalar));
    EXPECT_EQ(table_for(Level::Scalar).level, Level::Scalar);
}

// The first supported level of the list, counted from the one BRINDLE_KERNELS names (the
// suites run once per level that way, index/tests/CMakeLists.txt).
TEST(Dispatch, TheActiveTableIsTheFirstSupportedLevelFromTheOneRequested)
{
    const std::span<const Level> levels = levels_by_priority();
    auto from = levels.begin();
    if (const char* requested = std::getenv("BRINDLE_KERNELS")) {
        const auto named = std::find_if(levels.begin(), levels.end(),
                                        [&](Level level) { return std::string_view(requested) == level_name(level); });
        if (named != levels.end()) from = named;
    }
    const auto expected = std::find_if(from, levels.end(), [](Level level) { return is_supported(level); });
    ASSERT_NE(expected, levels.end());
    EXPECT_EQ(active().level, *expected);
    for (const Level level : levels) {
        if (is_supported(level)) {
            EXPECT_EQ(table_for(level).level, level);
        }
    }
}

}  // namespace
}  // namespace brindle::kernels
