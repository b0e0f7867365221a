// The walk: visits the tags of a structural index in document order, checks each one, and
// collects the first element named `root_tag` (with everything inside it) into a detached
// tree. Elements outside it are only checked. The walk stops as soon as that element is
// complete; nothing after it is examined.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "index/structural/structural_index.hpp"
#include "read/read_tree.hpp"
#include "read/start_tag_parser.hpp"
#include "read/text_accumulator.hpp"

namespace brindle::read {

// The index may come whole or a window of tags at a time; the walk carries everything it
// needs from one window to the next (open elements by name, text by document range).
class TreeWalk {
public:
    // `text_may_hide_markup`: the index comes from the quote-dense builder, which leaves the
    // '<' of a declaration (other than a DOCTYPE) inside a run of character data.
    TreeWalk(std::string_view document, std::string_view root_tag, bool text_may_hide_markup) noexcept
        : document_(document), root_tag_(root_tag), text_may_hide_markup_(text_may_hide_markup)
    {}

    // Walks the tags of the next window of the index (or of the whole index). True once the
    // collected element is complete: later windows need no walk. Throws the first read error.
    bool walk(const index::StructuralIndex& window);

    // The collected tree, its ranges pointing into the document; RootNotFound or NeverClosed
    // when the element never started or never ended.
    ReadTree finish();

private:
    struct OpenElement {
        std::size_t node;  // in tree_
        TextAccumulator::Mark text;
    };

    bool collecting() const noexcept { return !collect_stack_.empty(); }
    bool visit(std::size_t k);
    void visit_open(std::size_t k);
    bool visit_close(std::size_t k);
    void close_skipped(std::size_t k, std::string_view name);
    bool visit_self_closing(std::size_t k);
    void visit_cdata(std::size_t k);
    std::size_t add_element(std::size_t k);
    void keep_text(const OpenElement& element);
    std::string_view name_of_element(std::size_t node) const noexcept;
    void take_text_before(std::uint64_t tag_start);
    void append_character_data(std::uint64_t offset, std::string_view run);
    bool is_root_tag(std::size_t k) const noexcept;
    std::string_view name_of(std::size_t k) const noexcept;

    const index::StructuralIndex* index_ = nullptr;  // the window being walked
    std::string_view document_;
    std::string_view root_tag_;
    bool text_may_hide_markup_;
    bool complete_ = false;
    std::size_t text_cursor_ = 0;                // in the window's text ranges
    std::vector<std::string_view> skip_stack_;   // names of start tags open outside the collected element
    std::vector<OpenElement> collect_stack_;
    ReadTree tree_;
    TextAccumulator text_;
    StartTagParser parser_;
};

}  // namespace brindle::read
