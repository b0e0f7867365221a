// Differential: on well-formed documents from the grammar (attributes in both kinds of quote
// holding '<', '>' and the other quote; quotes and apostrophes in text, comments, CDATA
// sections and instructions; a DOCTYPE with literals and an internal subset) both builders
// succeed and record what the grammar's model says: every tag's start, end, kind and name, and
// every run of character data.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "common/document_grammar.hpp"
#include "common/expect.hpp"
#include "index/structural/structural_index.hpp"

namespace brindle::fuzz {
namespace {

struct Recorded {
    std::vector<ExpectedTag> tags;
    std::vector<TextEntry> texts;
    friend bool operator==(const Recorded&, const Recorded&) = default;
};

Recorded recorded_by(const index::StructuralIndex& built)
{
    Recorded recorded;
    for (std::size_t k = 0; k < built.tag_count(); ++k) {
        const index::NameRange name = built.tag_names[k];
        recorded.tags.push_back({built.tag_starts[k], built.tag_ends[k], built.tag_kinds[k],
                                 std::string(built.document.substr(name.start, name.length))});
    }
    recorded.texts = entries_of(built).texts;
    return recorded;
}

void print_difference(const char* builder, const Recorded& got, const Recorded& want)
{
    std::fprintf(stderr, "%s: %zu tags, %zu texts; the model: %zu tags, %zu texts\n", builder, got.tags.size(),
                 got.texts.size(), want.tags.size(), want.texts.size());
    for (std::size_t k = 0; k < std::min(got.tags.size(), want.tags.size()); ++k) {
        const ExpectedTag& g = got.tags[k];
        const ExpectedTag& w = want.tags[k];
        if (g == w) continue;
        std::fprintf(stderr, "tag %zu: got %llu..%llu kind %d '%s'; model %llu..%llu kind %d '%s'\n", k,
                     (unsigned long long)g.start, (unsigned long long)g.end, int(g.kind), g.name.c_str(),
                     (unsigned long long)w.start, (unsigned long long)w.end, int(w.kind), w.name.c_str());
        return;
    }
    for (std::size_t k = 0; k < std::min(got.texts.size(), want.texts.size()); ++k) {
        const TextEntry& g = got.texts[k];
        const TextEntry& w = want.texts[k];
        if (g == w) continue;
        std::fprintf(stderr, "text %zu: got %llu..%llu; model %llu..%llu\n", k, (unsigned long long)g.start,
                     (unsigned long long)g.end, (unsigned long long)w.start, (unsigned long long)w.end);
        return;
    }
}

void expect_as_model(const char* builder, const index::StructuralIndex& built, index::BuildResult result,
                     const Recorded& model)
{
    EXPECT(result.status == index::BuildStatus::Ok, "a well-formed document builds");
    const Recorded recorded = recorded_by(built);
    if (recorded == model) return;
    std::fprintf(stderr, "document: %s\n", std::string(built.document).c_str());
    print_difference(builder, recorded, model);
    EXPECT(recorded == model, "the builder records what the grammar wrote");
}

}  // namespace
}  // namespace brindle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brindle;
    const fuzz::GeneratedDocument document = fuzz::generate_document({data, size}, {.less_than_in_values = true});
    const fuzz::Recorded model{document.tags, document.texts};

    index::StructuralIndex dense;
    fuzz::expect_as_model("quote-dense", dense, index::build_quote_dense(document.bytes, dense), model);

    index::StructuralIndex direct;
    fuzz::expect_as_model("direct", direct, index::build_direct(document.bytes, direct), model);
    return 0;
}
