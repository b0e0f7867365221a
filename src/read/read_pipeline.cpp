#include "read/read_pipeline.hpp"

#include <cstddef>
#include <exception>
#include <new>

#include "index/structural/builder_choice.hpp"
#include "index/structural/structural_index.hpp"
#include "read/read_errors.hpp"
#include "read/tree_walk.hpp"

namespace brindle::read {

namespace {

void check_build(const index::BuildResult& result, std::string_view document)
{
    switch (result.status) {
    case index::BuildStatus::Ok: return;
    case index::BuildStatus::UnclosedTag: fail_unclosed_tag(result.offset);
    case index::BuildStatus::UnexpectedEnd: fail_malformed(document.size(), message::kUnexpectedEnd);
    case index::BuildStatus::OutOfMemory: throw std::bad_alloc();
    }
}

// Tags per window of the direct index: about 640 KiB of tag entries and up to 400 KiB of
// text runs, so a window is still in the cache when the walk reads it, and the index of a
// large document never takes more memory than this.
constexpr std::size_t kTagsPerWindow = 16384;

// Builds the direct index a window at a time and walks each window. Once the walk has its
// element or has failed, the rest of the document is still indexed: a fault the builder finds
// anywhere in the document outranks what the walk found, as if the index were built whole
// before the walk.
void walk_in_windows(std::string_view document, index::StructuralIndex& window, TreeWalk& walk)
{
    index::DirectWindows windows(document, window, kTagsPerWindow);
    std::exception_ptr walk_failure;
    bool walking = true;
    do {
        check_build(windows.next(), document);
        if (!walking) continue;
        try {
            walking = !walk.walk(window);
        } catch (...) {
            walk_failure = std::current_exception();
            walking = false;
        }
    } while (!windows.done());
    if (walk_failure) std::rethrow_exception(walk_failure);
}

}  // namespace

ReadTree parse_document(std::string_view document, std::string_view root_tag)
{
    const bool quote_dense = index::prefers_quote_dense(document);
    TreeWalk walk(document, root_tag, quote_dense);
    index::StructuralIndex structure;
    if (quote_dense) {
        check_build(index::build_quote_dense(document, structure), document);
        walk.walk(structure);
    } else {
        walk_in_windows(document, structure, walk);
    }
    return walk.finish();
}

}  // namespace brindle::read
