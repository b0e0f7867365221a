// Property: a read never throws. Every allocation it makes is made to fail in turn (the index's,
// the walk's, the tree's and the attribute maps'), and the read must end in the OutOfMemory
// value; once enough allocations succeed, the tree equals the one read without failures.
//
// The failing allocator replaces the global operator new, so this is a test program of its own.

#include <gtest/gtest.h>

#include <string>

#include "index/tests/failing_allocator.hpp"
#include "reader_test_support.hpp"

namespace brindle::reader {
namespace {

using testing::Builder;

class OutOfMemory : public ::testing::TestWithParam<Builder> {};

TEST_P(OutOfMemory, EveryFailingAllocationIsAValue)
{
    // Decoded texts, attribute maps past their hash index, tree segments past the first.
    std::string document = "<r>";
    for (int i = 0; i < 150; ++i) {
        document += "<e k='" + std::to_string(i) + "' a='&amp;'>t&lt;<![CDATA[c]]><b/></e>";
    }
    document += "<m";
    for (int i = 0; i < 12; ++i) document += " a" + std::to_string(i) + "='v'";
    document += "/>x &amp; y</r>";
    const testing::Placed placed = testing::in_builder(document, GetParam());
    testing::Read reference(placed.document, "r");
    ASSERT_TRUE(reference.ok) << reference.error;

    int failures = 0;
    for (long budget = 0;; ++budget) {
        ReadTree tree;
        ReadError error;
        brindle::testing::allocations_left = budget;
        const bool ok = parse_document(placed.document, "r", tree, error);
        brindle::testing::allocations_left = -1;
        if (!ok) {
            ASSERT_EQ(error.kind, ReadErrorKind::OutOfMemory) << "budget " << budget << " " << error;
            ++failures;
            continue;
        }
        std::size_t root = 0;
        EXPECT_EQ(testing::describe(tree, placed.document, root), testing::describe(reference));
        break;
    }
    EXPECT_GE(failures, 20);
}

INSTANTIATE_TEST_SUITE_P(Builders, OutOfMemory, testing::kBothBuilders, testing::builder_name);

}  // namespace
}  // namespace brindle::reader
