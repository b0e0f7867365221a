#include "read/tree_walk.hpp"

#include <cstring>

#include "read/markup_scanner.hpp"
#include "read/read_errors.hpp"
#include "read/references.hpp"

namespace brindle::read {

using index::TagKind;

bool TreeWalk::walk(const index::StructuralIndex& window)
{
    index_ = &window;
    text_cursor_ = 0;
    const std::size_t count = window.tag_count();
    for (std::size_t k = 0; k < count; ++k) {
        check_inside_document(window, k);
        take_text_before(window.tag_starts[k]);
        if (visit(k)) {
            complete_ = true;
            return true;
        }
    }
    return false;
}

ReadTree TreeWalk::finish()
{
    if (complete_) return std::move(tree_);
    if (collect_stack_.empty()) fail_root_not_found(root_tag_);
    fail_never_closed(name_of_element(collect_stack_.back().node));
}

// Handles tag k; true when it completed the collected element.
bool TreeWalk::visit(std::size_t k)
{
    switch (index_->tag_kinds[k]) {
    case TagKind::Open:
        visit_open(k);
        return false;
    case TagKind::Close:
        return visit_close(k);
    case TagKind::SelfClosing:
        return visit_self_closing(k);
    case TagKind::CData:
        visit_cdata(k);
        return false;
    default:  // comments and processing instructions
        check_terminated(*index_, k);
        return false;
    }
}

void TreeWalk::visit_open(std::size_t k)
{
    if (!collecting() && !is_root_tag(k)) {
        skip_stack_.push_back(tag_name(*index_, k).name);
        return;
    }
    const std::size_t node = add_element(k);
    collect_stack_.push_back({node, text_.open()});
}

bool TreeWalk::visit_close(std::size_t k)
{
    const std::string_view name = check_end_tag(*index_, k);
    if (!collecting()) {
        close_skipped(k, name);
        return false;
    }
    const OpenElement innermost = collect_stack_.back();
    const std::string_view open_name = name_of_element(innermost.node);
    if (name != open_name) fail_mismatched_end_tag(index_->tag_starts[k], open_name, name);
    keep_text(innermost);
    collect_stack_.pop_back();
    return collect_stack_.empty();
}

void TreeWalk::close_skipped(std::size_t k, std::string_view name)
{
    if (skip_stack_.empty()) fail_unexpected_end_tag(index_->tag_starts[k], name);
    const std::string_view open_name = skip_stack_.back();
    if (name != open_name) fail_mismatched_end_tag(index_->tag_starts[k], open_name, name);
    skip_stack_.pop_back();
}

bool TreeWalk::visit_self_closing(std::size_t k)
{
    if (collecting() || is_root_tag(k)) {
        const bool completes = !collecting();
        add_element(k);
        return completes;
    }
    AttrMap discarded;  // attributes are checked even outside the collected element
    parser_.parse(*index_, k, discarded);
    return false;
}

void TreeWalk::visit_cdata(std::size_t k)
{
    check_terminated(*index_, k);
    if (collecting()) text_.append_lasting(collect_stack_.back().text, cdata_contents(*index_, k));
    // The section's contents were recorded as a run of character data: consume it.
    const std::uint64_t end = index_->tag_ends[k];
    const auto& ranges = index_->text_ranges;
    while (text_cursor_ < ranges.size() && ranges[text_cursor_].start < end) ++text_cursor_;
}

// A new element from start tag k: the root of the tree, or the last child of the innermost
// open element.
std::size_t TreeWalk::add_element(std::size_t k)
{
    AttrMap attributes;
    const std::string_view name = parser_.parse(*index_, k, attributes);
    const std::size_t parent = collecting() ? collect_stack_.back().node : ReadTree::kNoParent;
    const std::size_t node = tree_.add(parent, name, document_);
    if (!attributes.empty()) tree_.set_attributes(node, std::move(attributes));
    return node;
}

// The element's text, trimmed, goes into the tree; its pieces leave the accumulator.
void TreeWalk::keep_text(const OpenElement& element)
{
    const std::string_view text = text_.trimmed(element.text);
    if (!text.empty()) {
        if (element.text.pending.empty()) {
            tree_.set_text_in_arena(element.node, text);
        } else {
            tree_.set_text_in_document(element.node, text, document_);
        }
    }
    text_.release(element.text);
}

std::string_view TreeWalk::name_of_element(std::size_t node) const noexcept
{
    const ReadElement& element = tree_[node];
    return document_.substr(element.name_start, element.name_length);
}

void TreeWalk::take_text_before(std::uint64_t tag_start)
{
    const auto& ranges = index_->text_ranges;
    if (!collecting()) {
        while (text_cursor_ < ranges.size() && ranges[text_cursor_].start < tag_start) ++text_cursor_;
        return;
    }
    while (text_cursor_ < ranges.size() && ranges[text_cursor_].start < tag_start) {
        const index::TextRange& range = ranges[text_cursor_++];
        append_character_data(range.start, document_.substr(range.start, range.end - range.start));
    }
}

void TreeWalk::append_character_data(std::uint64_t offset, std::string_view run)
{
    if (text_may_hide_markup_) {
        if (const void* less_than = std::memchr(run.data(), '<', run.size())) {
            fail_malformed(offset + static_cast<std::uint64_t>(static_cast<const char*>(less_than) - run.data()),
                           message::kUnexpectedLessThan);
        }
    }
    TextAccumulator::Mark& mark = collect_stack_.back().text;
    const std::size_t first = first_to_decode(run, TextMode::CharacterData);
    if (first == run.size()) {
        text_.append_lasting(mark, run);
    } else {
        append_decoded(text_.buffer_for(mark), run, offset, TextMode::CharacterData, first);
    }
}

// An empty root_tag matches no element.
bool TreeWalk::is_root_tag(std::size_t k) const noexcept
{
    return !root_tag_.empty() && name_of(k) == root_tag_;
}

std::string_view TreeWalk::name_of(std::size_t k) const noexcept
{
    const index::NameRange range = index_->tag_names[k];
    return document_.substr(range.start, range.length);
}

}  // namespace brindle::read
