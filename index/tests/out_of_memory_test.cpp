// Allocation failures: every allocation a build makes is made to fail in turn, and the
// build must report OutOfMemory (never throw, never crash); once enough allocations
// succeed, the index equals the one built without failures.
//
// The failing allocator replaces the global operator new, so this is a test program of its own.

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "failing_allocator.hpp"
#include "index/structural/structural_index.hpp"
#include "index_test_support.hpp"

namespace brindle::index {
namespace {

using testing::Builder;

struct NamedBuilder {
    const char* name;
    Builder build;
};

template <typename Array>
void append(Array& to, const Array& from)
{
    for (const auto& entry : from) to.push_back(entry);
}

// The direct index built in windows of 64 tags and joined into `out`. Besides the builder's
// own allocations (the builder, and each array of the first window) joining allocates too,
// and a failure there is reported the same way.
BuildResult build_direct_in_windows(std::string_view document, StructuralIndex& out) noexcept
{
    StructuralIndex window;
    IndexWindows windows(WindowInput{document}, window, 64);
    out = StructuralIndex{};
    out.document = document;
    BuildResult result{};
    try {
        do {
            result = windows.next();
            append(out.tag_starts, window.tag_starts);
            append(out.tag_ends, window.tag_ends);
            append(out.tag_kinds, window.tag_kinds);
            append(out.tag_names, window.tag_names);
            append(out.text_ranges, window.text_ranges);
        } while (!windows.done());
    } catch (const std::bad_alloc&) {
        return {BuildStatus::OutOfMemory, 0};
    }
    return result;
}

class OutOfMemory : public ::testing::TestWithParam<NamedBuilder> {};

TEST_P(OutOfMemory, EveryFailingAllocationIsReported)
{
    // long enough for initial capacities and growth of every array
    std::string document = "<?xml version=\"1.0\"?><r>";
    for (int i = 0; i < 400; ++i) {
        document += "<e k='" + std::to_string(i) + "'>t<![CDATA[c]]><!--x--></e>";
    }
    document += "</r>";
    StructuralIndex reference;
    ASSERT_EQ(GetParam().build(document, reference).status, BuildStatus::Ok);

    int failures = 0;
    for (long budget = 0;; ++budget) {
        StructuralIndex index;
        brindle::testing::allocations_left = budget;
        const BuildResult result = GetParam().build(document, index);
        brindle::testing::allocations_left = -1;
        if (result.status == BuildStatus::OutOfMemory) {
            ++failures;
            ASSERT_LT(result.offset, document.size()) << "budget " << budget;
            continue;
        }
        ASSERT_EQ(result.status, BuildStatus::Ok) << "budget " << budget;
        EXPECT_EQ(testing::tags_of(index), testing::tags_of(reference));
        EXPECT_EQ(testing::texts_of(index), testing::texts_of(reference));
        break;
    }
    // the initial arrays and their growth: at least one failure per array
    EXPECT_GE(failures, 7);
}

INSTANTIATE_TEST_SUITE_P(Builders, OutOfMemory,
                         ::testing::Values(NamedBuilder{"Direct", &build_direct},
                                           NamedBuilder{"DirectInWindows", &build_direct_in_windows},
                                           NamedBuilder{"QuoteDense", &build_quote_dense}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brindle::index
