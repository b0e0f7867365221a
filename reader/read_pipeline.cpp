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

namespace {

// Builds the direct index a window at a time and walks each window. Once the walk has its
// element or has failed, the rest of the document is still indexed: a fault the builder finds
// anywhere in the document outranks what the walk found (replacing it in `error`), as if the
// index were built whole before the walk.
bool walk_in_windows(std::string_view document, index::StructuralIndex& window, TreeWalk& walk, ReadError& error)
{
    index::DirectWindows windows(document, window, kTagsPerWindow);
    WalkStep step = WalkStep::Continue;
    do {
        if (!check_build(windows.next(), document, error)) return false;
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
