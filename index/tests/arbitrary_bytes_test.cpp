// Property: any byte string gives either an index that satisfies the index's invariants or
// a failure that names a '<' (UnclosedTag) or the end of the document (UnexpectedEnd), and
// nothing is ever read outside the document: each document is copied into an allocation of
// exactly its size, so the sanitizer build catches a read past its end.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "generated_documents.hpp"
#include "index/structural/structural_index.hpp"
#include "index_test_support.hpp"

namespace brindle::index {
namespace {

using testing::Builder;

class ExactCopy {
public:
    explicit ExactCopy(const std::string& bytes) : storage_(new char[bytes.size()]), size_(bytes.size())
    {
        std::memcpy(storage_.get(), bytes.data(), bytes.size());
    }
    std::string_view view() const { return {storage_.get(), size_}; }

private:
    std::unique_ptr<char[]> storage_;
    std::size_t size_;
};

// The invariants every successful build satisfies, whichever builder made it. Text runs
// follow each other without overlap, except after the quote-dense builder, where the run
// before a declaration is recorded again as the start of the run that goes on past the
// declaration (a declaration leaves the start of text where it was): there starts never
// fall and ends always rise.
void expect_sound_index(const StructuralIndex& index, std::string_view document, bool runs_may_restart)
{
    const std::uint64_t size = document.size();
    ASSERT_EQ(index.document.data(), document.data());
    ASSERT_EQ(index.tag_ends.size(), index.tag_count());
    ASSERT_EQ(index.tag_kinds.size(), index.tag_count());
    ASSERT_EQ(index.tag_names.size(), index.tag_count());
    for (std::size_t k = 0; k < index.tag_count(); ++k) {
        const std::uint64_t start = index.tag_starts[k];
        ASSERT_LT(start, size);
        ASSERT_EQ(document[start], '<') << "tag " << k;
        if (k > 0) {
            ASSERT_GT(start, index.tag_starts[k - 1]) << "tag " << k;
        }
        ASSERT_GT(index.tag_ends[k], start) << "tag " << k;
        ASSERT_LE(index.tag_ends[k], size) << "tag " << k;
        const NameRange name = index.tag_names[k];
        ASSERT_LE(name.start, size);
        ASSERT_LE(name.length, size - name.start);
        const TagKind kind = index.tag_kinds[k];
        ASSERT_LE(static_cast<int>(kind), static_cast<int>(TagKind::ProcessingInstruction));
        if (kind == TagKind::Comment || kind == TagKind::CData) {
            ASSERT_EQ(name.start, 0U);
            ASSERT_EQ(name.length, 0U);
        } else {
            ASSERT_EQ(name.start, start + (kind == TagKind::Open || kind == TagKind::SelfClosing ? 1 : 2));
        }
        if (kind == TagKind::Open || kind == TagKind::Close || kind == TagKind::SelfClosing) {
            ASSERT_EQ(document[index.tag_ends[k]], '>') << "tag " << k;
        }
    }
    std::uint64_t previous_start = 0;
    std::uint64_t previous_end = 0;
    for (const TextRange& text : index.text_ranges) {
        ASSERT_LT(text.start, text.end);
        ASSERT_LE(text.end, size);
        if (runs_may_restart) {
            ASSERT_GE(text.start, previous_start);
            ASSERT_GT(text.end, previous_end);
        } else {
            ASSERT_GE(text.start, previous_end);
        }
        previous_start = text.start;
        previous_end = text.end;
    }
}

struct NamedBuilder {
    const char* name;
    Builder build;
    bool direct;  // may end unexpectedly; text runs never restart
};

void check_bytes(const NamedBuilder& builder, const std::string& bytes)
{
    const ExactCopy copy(bytes);
    const std::string_view document = copy.view();
    StructuralIndex index;
    const BuildResult result = builder.build(document, index);
    switch (result.status) {
    case BuildStatus::Ok: expect_sound_index(index, document, !builder.direct); break;
    case BuildStatus::UnclosedTag:
        ASSERT_LT(result.offset, document.size());
        ASSERT_EQ(document[result.offset], '<');
        break;
    case BuildStatus::UnexpectedEnd:
        ASSERT_TRUE(builder.direct);
        ASSERT_EQ(result.offset, document.size());
        break;
    case BuildStatus::OutOfMemory: FAIL() << "out of memory on " << document.size() << " bytes";
    case BuildStatus::NeedMore: FAIL() << "a whole document needs more";
    }
}

class ArbitraryBytes : public ::testing::TestWithParam<NamedBuilder> {};

TEST_P(ArbitraryBytes, RandomByteStrings)
{
    testing::DocumentGenerator generator(1234);
    for (int round = 0; round < 20000; ++round) {
        const std::string bytes = generator.random_bytes(generator.below(200));
        ASSERT_NO_FATAL_FAILURE(check_bytes(GetParam(), bytes)) << ::testing::PrintToString(bytes);
    }
}

TEST_P(ArbitraryBytes, MutatedDocuments)
{
    testing::DocumentGenerator generator(99);
    for (int round = 0; round < 5000; ++round) {
        const testing::GeneratorOptions options{40, 1 + generator.below(400), generator.below(2) == 1};
        const std::string bytes = generator.mutate(generator.document(options));
        ASSERT_NO_FATAL_FAILURE(check_bytes(GetParam(), bytes)) << ::testing::PrintToString(bytes);
    }
}

// Every prefix of a document that holds every kind of markup: each construct cut at each
// of its bytes.
TEST_P(ArbitraryBytes, EveryPrefix)
{
    const std::string document =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r>\n<r a='1' b=\"x>y\"><!-- c -- d --><![CDATA[<z>]]>"
        "it's<e/><f g='/>'/></r  ><?pi data?><a b='>";
    for (std::size_t length = 0; length <= document.size(); ++length) {
        ASSERT_NO_FATAL_FAILURE(check_bytes(GetParam(), document.substr(0, length))) << length;
    }
}

INSTANTIATE_TEST_SUITE_P(Builders, ArbitraryBytes,
                         ::testing::Values(NamedBuilder{"Direct", &build_direct, true},
                                           NamedBuilder{"QuoteDense", &build_quote_dense, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brindle::index
