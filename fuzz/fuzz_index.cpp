// Both index builders, and the direct builder a window at a time, on arbitrary bytes: no
// crash, no read outside the document, and every recorded entry within the document and
// consistent with the tags around it. The windows taken together equal the whole build.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/expect.hpp"
#include "common/index_entries.hpp"
#include "index/structural/structural_index.hpp"

namespace brindle::fuzz {
namespace {

using index::BuildResult;
using index::BuildStatus;
using index::TagKind;

struct BuilderTraits {
    bool tags_may_touch;  // a tag may start at the byte that ended the one before
};

// The quote-dense builder records an unterminated section as ending two bytes before the
// document's end and scans on from that byte.
constexpr BuilderTraits kDirect{false};
constexpr BuilderTraits kQuoteDense{true};

void expect_result_in_bounds(std::string_view document, BuildResult result)
{
    switch (result.status) {
    case BuildStatus::Ok: return;
    case BuildStatus::UnclosedTag:
        EXPECT(result.offset < document.size() && document[result.offset] == '<',
               "an unclosed tag is named by its '<'");
        return;
    case BuildStatus::UnexpectedEnd:
        EXPECT(result.offset == document.size(), "an unexpected end is at the end");
        return;
    case BuildStatus::OutOfMemory: EXPECT(false, "inputs this small never run out of memory");
    case BuildStatus::NeedMore: EXPECT(false, "a whole document never needs more");
    }
    EXPECT(false, "a known build status");
}

void expect_parallel_arrays(const index::StructuralIndex& built)
{
    const std::size_t count = built.tag_count();
    EXPECT(built.tag_ends.size() == count && built.tag_kinds.size() == count && built.tag_names.size() == count,
           "one entry per tag in every per-tag array");
}

// Each tag lies inside the document after the one before, with its name inside it.
void expect_tags_in_bounds(std::string_view document, const IndexEntries& entries, bool ok, BuilderTraits traits)
{
    const std::uint64_t size = document.size();
    std::uint64_t previous_end = 0;
    for (std::size_t k = 0; k < entries.tags.size(); ++k) {
        const TagEntry& tag = entries.tags[k];
        EXPECT(tag.start < size && document[tag.start] == '<', "a tag starts at a '<' of the document");
        EXPECT(tag.end > tag.start, "a tag ends after its '<'");
        EXPECT(ok ? tag.end < size : tag.end <= size, "a tag ends inside the document (at its end on failure)");
        if (k > 0) {
            EXPECT(traits.tags_may_touch ? tag.start >= previous_end : tag.start > previous_end,
                   "a '<' inside a recorded tag never starts another");
        }
        previous_end = tag.end;
        EXPECT(static_cast<std::uint8_t>(tag.kind) <= static_cast<std::uint8_t>(TagKind::ProcessingInstruction),
               "a known tag kind");
        if (tag.kind == TagKind::Comment || tag.kind == TagKind::CData) {
            EXPECT(tag.name_start == 0 && tag.name_length == 0, "comments and CDATA sections have no name");
            continue;
        }
        EXPECT(tag.name_start > tag.start && tag.name_start <= tag.end, "a name starts inside its tag");
        EXPECT(tag.name_length <= tag.end - tag.name_start, "a name ends before its tag's last byte");
    }
}

// Runs of character data are non-empty, in order, and overlap no tag but the CDATA section
// whose contents they are.
void expect_texts_in_bounds(const IndexEntries& entries, std::uint64_t size)
{
    std::uint64_t previous_end = 0;
    std::size_t tag = 0;
    for (const TextEntry& text : entries.texts) {
        EXPECT(text.start < text.end && text.end <= size, "a text run is non-empty and inside the document");
        EXPECT(text.start >= previous_end, "text runs in document order, not overlapping");
        previous_end = text.end;
        while (tag < entries.tags.size() && entries.tags[tag].end < text.start) ++tag;
        if (tag == entries.tags.size()) continue;
        const TagEntry& next = entries.tags[tag];
        const bool before_tag = text.end <= next.start;
        const bool inside_cdata = next.kind == TagKind::CData && next.start < text.start && text.end < next.end;
        EXPECT(before_tag || inside_cdata, "text overlaps no tag except as a CDATA section's contents");
    }
}

void expect_consistent(std::string_view document, const index::StructuralIndex& built, BuildResult result,
                       BuilderTraits traits)
{
    EXPECT(built.document.data() == document.data() && built.document.size() == document.size(),
           "the index borrows the document");
    expect_result_in_bounds(document, result);
    expect_parallel_arrays(built);
    const IndexEntries entries = entries_of(built);
    expect_tags_in_bounds(document, entries, result.status == BuildStatus::Ok, traits);
    expect_texts_in_bounds(entries, document.size());
}

// The direct build, window after window, with `tags_per_window` tags in all but the last.
void expect_windows_equal_whole(std::string_view document, const IndexEntries& whole, BuildResult whole_result,
                                std::size_t tags_per_window)
{
    index::StructuralIndex window;
    index::IndexWindows windows(index::WindowInput{document}, window, tags_per_window);
    IndexEntries joined;
    BuildResult result{};
    do {
        result = windows.next();
        expect_parallel_arrays(window);
        EXPECT(window.tag_count() <= tags_per_window, "a window holds at most its share of tags");
        EXPECT(windows.done() || window.tag_count() == tags_per_window, "only the last window holds fewer");
        joined.append(window);
    } while (!windows.done());
    EXPECT(result.status == whole_result.status && result.offset == whole_result.offset,
           "the windows end the way the whole build does");
    EXPECT(joined == whole, "the windows together hold exactly the whole build's entries");
}

}  // namespace
}  // namespace brindle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brindle;
    const std::string_view document(reinterpret_cast<const char*>(data), size);

    index::StructuralIndex direct;
    const index::BuildResult direct_result = index::build_direct(document, direct);
    fuzz::expect_consistent(document, direct, direct_result, fuzz::kDirect);

    index::StructuralIndex dense;
    const index::BuildResult dense_result = index::build_quote_dense(document, dense);
    fuzz::expect_consistent(document, dense, dense_result, fuzz::kQuoteDense);

    // Window sizes from 1 to 4 tags, so windows break at every kind of tag.
    const std::size_t tags_per_window = 1 + size % 4;
    fuzz::expect_windows_equal_whole(document, fuzz::entries_of(direct), direct_result, tags_per_window);
    return 0;
}
