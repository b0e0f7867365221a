#include "read/read_pipeline.hpp"

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

}  // namespace

ReadTree parse_document(std::string_view document, std::string_view root_tag)
{
    const bool quote_dense = index::prefers_quote_dense(document);
    index::StructuralIndex structure;
    check_build(quote_dense ? index::build_quote_dense(document, structure)
                            : index::build_direct(document, structure),
                document);
    if (structure.tag_count() == 0) fail_root_not_found(root_tag);
    return collect(structure, root_tag, quote_dense);
}

}  // namespace brindle::read
