// Property: building the direct index a window at a time records, window after window, exactly
// the entries of the whole-document build, numbers tags from the document's first one, and
// ends with the same result, on well-formed documents and on broken ones alike.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "generated_documents.hpp"
#include "index/structural/structural_index.hpp"
#include "index_test_support.hpp"

namespace brindle::index {
namespace {

struct Windowed {
    std::vector<testing::Tag> tags;
    std::vector<testing::Text> texts;
    BuildResult result;
};

// A window of 0 tags is taken as a window of 1.
Windowed build_in_windows(const std::string& document, std::size_t requested)
{
    Windowed out;
    StructuralIndex window;
    IndexWindows windows(WindowInput{document}, window, requested);
    const std::size_t tags_per_window = std::max<std::size_t>(requested, 1);
    do {
        out.result = windows.next();
        const std::vector<testing::Tag> tags = testing::tags_of(window);
        // Only the last window (the one that ends the build) may hold fewer tags.
        if (!windows.done()) {
            EXPECT_EQ(tags.size(), tags_per_window);
        }
        EXPECT_LE(tags.size(), tags_per_window);
        out.tags.insert(out.tags.end(), tags.begin(), tags.end());
        const std::vector<testing::Text> texts = testing::texts_of(window);
        out.texts.insert(out.texts.end(), texts.begin(), texts.end());
    } while (!windows.done());
    return out;
}

void expect_same_as_whole(const std::string& document, std::size_t tags_per_window)
{
    StructuralIndex whole;
    const BuildResult expected = build_direct(document, whole);
    const Windowed windowed = build_in_windows(document, tags_per_window);
    ASSERT_EQ(windowed.result.status, expected.status) << document;
    ASSERT_EQ(windowed.result.offset, expected.offset) << document;
    ASSERT_EQ(windowed.tags, testing::tags_of(whole)) << document;
    ASSERT_EQ(windowed.texts, testing::texts_of(whole)) << document;
}

// Breaks a document at a few random places: bytes dropped or replaced by markup bytes, or
// the rest of the document cut off.
std::string mutated(std::string document, std::mt19937_64& random)
{
    static const char kMarkup[] = "<>/!?-[]\"'";
    const int changes = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < changes && !document.empty(); ++i) {
        const std::size_t at = random() % document.size();
        const auto kind = random() % 3;
        if (kind == 0) {
            document.erase(at, 1 + random() % 4);
        } else if (kind == 1) {
            document.resize(at);
        } else {
            document[at] = kMarkup[random() % (sizeof kMarkup - 1)];
        }
    }
    return document;
}

class IndexWindowsMatch : public ::testing::TestWithParam<std::size_t> {};

TEST_P(IndexWindowsMatch, GeneratedDocuments)
{
    testing::DocumentGenerator generator(0xD17EC7 + GetParam());
    for (int round = 0; round < 300; ++round) {
        expect_same_as_whole(generator.document({40, 3000, round % 2 == 0}), GetParam());
    }
}

TEST_P(IndexWindowsMatch, BrokenDocuments)
{
    testing::DocumentGenerator generator(0xB40CE + GetParam());
    std::mt19937_64 random(GetParam());
    std::size_t failures = 0;
    for (int round = 0; round < 600; ++round) {
        const std::string document = mutated(generator.document({12, 800, true}), random);
        StructuralIndex whole;
        failures += build_direct(document, whole).status != BuildStatus::Ok;
        expect_same_as_whole(document, GetParam());
    }
    EXPECT_GT(failures, 50U);  // the mutations did reach the failure paths
}

INSTANTIATE_TEST_SUITE_P(TagsPerWindow, IndexWindowsMatch, ::testing::Values(1, 2, 3, 7, 64, 100000));

TEST(IndexWindows, ExactEdgeCases)
{
    for (const char* document : {"", "text only", "<", "<a>", "<a/>", "<a>x</a><b", "<!-- open", "<a><![CDATA[x]]></a>",
                                 "<a><![CDATA[x]]>", "<?pi", "<!DOCTYPE d><a>t</a>tail"}) {
        for (const std::size_t window : {0U, 1U, 2U}) {
            SCOPED_TRACE(window);
            expect_same_as_whole(document, window);
        }
    }
}

}  // namespace
}  // namespace brindle::index
