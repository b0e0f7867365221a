// prefers_quote_dense: more than five '"' per '<' in the first 4096 bytes.

#include <gtest/gtest.h>

#include <string>

#include "index/structural/builder_choice.hpp"

namespace brindle::index {
namespace {

struct ChoiceCase {
    const char* name;
    std::string document;
    bool quote_dense;
};

class BuilderChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(BuilderChoice, FollowsTheQuoteRatio)
{
    EXPECT_EQ(prefers_quote_dense(GetParam().document), GetParam().quote_dense);
}

std::string repeat(const std::string& piece, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, BuilderChoice,
    ::testing::Values(ChoiceCase{"Empty", "", false}, ChoiceCase{"NoMarkup", "plain text", false},
                      ChoiceCase{"FiveQuotesPerTagIsNotEnough", "<a " + std::string(5, '"'), false},
                      ChoiceCase{"SixQuotesPerTag", "<a " + std::string(6, '"'), true},
                      ChoiceCase{"QuotesWithoutTagsCountAgainstOne", std::string(6, '"'), true},
                      ChoiceCase{"ApostrophesDoNotCount", "<a " + std::string(60, '\''), false},
                      ChoiceCase{"EleventhQuoteForTwoTags", "<<" + std::string(11, '"'), true},
                      ChoiceCase{"TenQuotesForTwoTags", "<<" + std::string(10, '"'), false},
                      // quotes after the first 4096 bytes are not seen
                      ChoiceCase{"QuotesPastTheSample", repeat("<a>", 1365) + "x" + std::string(10000, '"'), false},
                      // the sample ends exactly at byte 4096: one '<' and 4095 quotes inside it, 5000 '<' after
                      ChoiceCase{"SampleBoundary", "<" + std::string(4095, '"') + repeat("<", 5000), true}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace brindle::index
