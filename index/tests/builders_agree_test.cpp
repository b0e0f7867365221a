// Property: on well-formed documents (quotes and apostrophes in text, comments, CDATA
// sections, instructions and a DOCTYPE included) the two builders record the same index.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "generated_documents.hpp"
#include "index/structural/structural_index.hpp"
#include "index_test_support.hpp"

namespace brindle::index {
namespace {

// How many elements are open at most, counted from the tag kinds.
std::size_t deepest_nesting(const StructuralIndex& index)
{
    std::size_t open = 0;
    std::size_t deepest = 0;
    for (const TagKind kind : index.tag_kinds) {
        if (kind == TagKind::Open) {
            deepest = std::max(deepest, ++open);
        } else if (kind == TagKind::Close && open > 0) {
            --open;
        }
    }
    return deepest;
}

struct Shape {
    const char* name;
    testing::GeneratorOptions options;
    int documents;
};

class BuildersAgree : public ::testing::TestWithParam<Shape> {};

TEST_P(BuildersAgree, OnWellFormedDocuments)
{
    const Shape& shape = GetParam();
    testing::DocumentGenerator generator(0xB21D1E + shape.options.max_depth);
    std::size_t deepest = 0;
    for (int round = 0; round < shape.documents; ++round) {
        const std::string document = generator.document(shape.options);
        StructuralIndex direct;
        StructuralIndex dense;
        const BuildResult direct_result = build_direct(document, direct);
        const BuildResult dense_result = build_quote_dense(document, dense);
        ASSERT_EQ(direct_result.status, BuildStatus::Ok) << document;
        ASSERT_EQ(dense_result.status, BuildStatus::Ok) << document;
        ASSERT_EQ(testing::tags_of(direct), testing::tags_of(dense)) << document;
        ASSERT_EQ(testing::texts_of(direct), testing::texts_of(dense)) << document;
        deepest = std::max(deepest, deepest_nesting(dense));
    }
    // the generator did reach the depths this shape is about
    EXPECT_GE(deepest, shape.options.max_depth);
}

INSTANTIATE_TEST_SUITE_P(Shapes, BuildersAgree,
                         ::testing::Values(Shape{"Shallow", {4, 600, true}, 3000},
                                           Shape{"Nested", {30, 2500, true}, 800},
                                           Shape{"DeeplyNested", {45, 6000, true}, 200}),
                         [](const ::testing::TestParamInfo<Shape>& info) { return info.param.name; });

}  // namespace
}  // namespace brindle::index
