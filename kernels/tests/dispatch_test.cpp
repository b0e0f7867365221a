// The dispatcher's reading of the processor: the levels it reports are the ones the compiler's
// own feature query reports (GCC's runtime, which the suites are built with), so that a build
// whose runtime answers differently still picks the level the processor runs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

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
#endif

TEST(Dispatch, TheActiveTableIsTheBestSupportedLevelOrTheOneRequested)
{
    Level best = Level::Scalar;
    for (const Level level : kLevels) {
        if (is_supported(level)) {
            best = level;
        }
    }
    Level expected = best;
    if (const char* requested = std::getenv("BRINDLE_KERNELS")) {
        for (const Level level : kLevels) {
            if (std::string_view(requested) == level_name(level) && level < best) {
                expected = level;
            }
        }
    }
    EXPECT_EQ(active().level, expected);
}

}  // namespace
}  // namespace brindle::kernels
