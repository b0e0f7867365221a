// Property: on well-formed documents (quotes and apostrophes in text, comments, CDATA
// sections, instructions and a DOCTYPE included) the two builders record the same index,
// except that the direct builder forgets parents deeper than 32 open elements.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "generated_documents.hpp"
#include "index/structural/structural_index.hpp"
#include "index_test_support.hpp"

namespace brindle::index {
namespace {

// The parents the direct builder keeps, derived from the quote-dense index: a tag meeting
// more than 32 open elements (depth > 32), or a text run inside an element at depth 32 or
// deeper, has parent -1.
StructuralIndex with_direct_parents(StructuralIndex index) {
    for (std::size_t k = 0; k < index.tag_count(); ++k) {
        if (index.depths[k] > 32) {
            index.parents[k] = -1;
        }
    }
    for (TextRange& text : index.text_ranges) {
        if (text.parent >= 0 && index.depths[static_cast<std::size_t>(text.parent)] >= 32) {
            text.parent = -1;
        }
    }
    return index;
}

struct Shape {
    const char* name;
    testing::GeneratorOptions options;
    int documents;
};

class BuildersAgree : public ::testing::TestWithParam<Shape> {};

TEST_P(BuildersAgree, OnWellFormedDocuments) {
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
        const StructuralIndex expected = with_direct_parents(dense);
        ASSERT_EQ(testing::tags_of(direct), testing::tags_of(expected)) << document;
        ASSERT_EQ(testing::texts_of(direct), testing::texts_of(expected)) << document;
        for (const std::uint16_t depth : dense.depths) {
            deepest = std::max<std::size_t>(deepest, depth);
        }
    }
    // the generator did reach the depths this shape is about
    EXPECT_GE(deepest, shape.options.max_depth - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, BuildersAgree,
    ::testing::Values(Shape{"Shallow", {4, 600, true}, 3000}, Shape{"WithinTheStack", {30, 2500, true}, 800},
                      Shape{"BeyondTheStack", {45, 6000, true}, 200}),
    [](const ::testing::TestParamInfo<Shape>& info) { return info.param.name; });

}  // namespace
}  // namespace brindle::index
