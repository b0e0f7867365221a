#pragma once
// The kernel levels this processor runs, for parametrized suites: every SIMD level is compared
// with the scalar reference.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernels/kernels.hpp"

namespace brindle::kernels::testing {

inline std::vector<Level> supported_levels()
{
    std::vector<Level> levels;
    for (const Level level : kLevels) {
        if (is_supported(level)) {
            levels.push_back(level);
        }
    }
    return levels;
}

inline std::string level_test_name(const ::testing::TestParamInfo<Level>& info) { return level_name(info.param); }

}  // namespace brindle::kernels::testing
