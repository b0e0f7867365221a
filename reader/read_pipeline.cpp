#include "reader/read_pipeline.hpp"

#include <cstddef>
#include <new>

#include "index/structural/builder_choice.hpp"
#include "index/structural/structural_index.hpp"
#include "reader/tree/tree_walk.hpp"

namespace brindle::reader {

bool check_build(const index::BuildResult& result, std::string_view document, ReadError& error) noexcept
{
    switch (result.status) {
    case index::BuildStatus::Ok: return true;
    case index::BuildStatus::UnclosedTag: return fail_read(error, ReadErrorKind::UnclosedTag, result.offset);
    case index::BuildStatus::UnexpectedEnd:
        return fail_malformed(error, document.size(), MalformedMessage::UnexpectedEnd);
    case index::BuildStatus::OutOfMemory:
    case index::BuildStatus::NeedMore: break;  // never: the builders are given the whole document
    }
    return fail_read(error, ReadErrorKind::OutOfMemory, result.offset);
}

index::BuildResult next_window(index::IndexWindows& windows, index::StructuralIndex& window, FaultOrder order) noexcept
{
    const index::BuildResult built = windows.next();
    if (order == FaultOrder::IndexFirst || built.status == index::BuildStatus::Ok ||
        built.status == index::BuildStatus::NeedMore) {
        return built;
    }
    // A failing builder may have recorded the faulty tag itself, running to the end of the
    // bytes; the tags before it are what the walk still visits.
    while (!window.tag_ends.empty() && window.tag_ends.back() >= window.document.size()) {
        window.tag_starts.pop_back();
        window.tag_ends.pop_back();
        window.tag_kinds.pop_back();
        window.tag_names.pop_back();
    }
    return built;
}

namespace {

// Builds the direct index a window at a time and walks each window. Once the walk has its
// element or has failed, the rest of the document is still indexed, for FaultOrder::IndexFirst.
bool walk_in_windows(std::string_view document, index::StructuralIndex& window, TreeWalk& walk, ReadError& error)
{
    index::IndexWindows windows(index::WindowInput{document}, window, kTagsPerWindow);
    WalkStep step = WalkStep::Continue;
    do {
        if (!check_build(next_window(windows, window, FaultOrder::IndexFirst), document, error)) return false;
        if (step == WalkStep::Continue) step = walk.walk(window);
    } while (!windows.done());
    if (step == WalkStep::Failed) error = walk.error();
    return step != WalkStep::Failed;
}

bool walk_document(std::string_view document, std::string_view root_tag, TreeSink& sink, ReadError& error)
{
    const bool quote_dense = index::prefers_quote_dense(document);
    TreeWalk walk(document, WalkOptions{root_tag, WalkInput::Document, quote_dense}, sink);
    index::StructuralIndex structure;
    if (quote_dense) {
        if (!check_build(index::build_quote_dense(document, structure), document, error)) return false;
        if (walk.walk(structure) == WalkStep::Failed) {
            error = walk.error();
            return false;
        }
    } else if (!walk_in_windows(document, structure, walk, error)) {
        return false;
    }
    if (walk.finish()) return true;
    error = walk.error();
    return false;
}

}  // namespace

bool parse_document(std::string_view document, std::string_view root_tag, TreeSink& sink, ReadError& error) noexcept
{
    try {
        return walk_document(document, root_tag, sink, error);
    } catch (const std::bad_alloc&) {
        return fail_read(error, ReadErrorKind::OutOfMemory, 0);
    }
}

bool parse_document(std::string_view document, std::string_view root_tag, ReadTree& tree, ReadError& error) noexcept
{
    ReadTreeSink sink(tree, document);
    if (parse_document(document, root_tag, sink, error)) return true;
    tree = ReadTree();
    return false;
}

}  // namespace brindle::reader
