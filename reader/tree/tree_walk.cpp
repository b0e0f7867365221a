#include "reader/tree/tree_walk.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "reader/markup/tag_checks.hpp"
#include "reader/text/references.hpp"
#include "reader/text/unicode_space.hpp"

namespace brindle::reader {

using index::TagKind;

namespace {

// Whether two strings of one size, from one to two words long, are equal: compared as their
// first and their last word, which overlap when the size is under two words.
template <class Word>
[[gnu::always_inline]] inline bool same_first_and_last_word(std::string_view a, std::string_view b) noexcept
{
    Word a_first, a_last, b_first, b_last;
    std::memcpy(&a_first, a.data(), sizeof(Word));
    std::memcpy(&b_first, b.data(), sizeof(Word));
    std::memcpy(&a_last, a.data() + a.size() - sizeof(Word), sizeof(Word));
    std::memcpy(&b_last, b.data() + b.size() - sizeof(Word), sizeof(Word));
    return ((a_first ^ b_first) | (a_last ^ b_last)) == 0;
}

// Whether an end tag's name is its start tag's: names are mostly short, and two words compared
// in place cost less than a call to memcmp.
[[gnu::always_inline]] inline bool same_name(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    if (a.size() > 16) return a == b;
    if (a.size() >= 8) return same_first_and_last_word<std::uint64_t>(a, b);
    if (a.size() >= 4) return same_first_and_last_word<std::uint32_t>(a, b);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

}  // namespace

WalkStep TreeWalk::walk(const index::StructuralIndex& window)
{
    index_ = &window;
    text_cursor_ = 0;
    next_tag_ = 0;
    return walk_rest_of_window();
}

WalkStep TreeWalk::walk_rest_of_window()
{
    const index::StructuralIndex& window = *index_;
    const std::size_t count = window.tag_count();
    for (std::size_t k = next_tag_; k < count; ++k) {
        if (!check_inside_document(window, k, error_)) return WalkStep::Failed;
        if (has_text_before(window.tag_starts[k]) && !take_text_before(window.tag_starts[k])) return WalkStep::Failed;
        const WalkStep step = visit(k);
        if (step == WalkStep::Continue) [[likely]]
            continue;
        complete_ = step == WalkStep::Complete;
        next_tag_ = k + 1;
        return step;
    }
    next_tag_ = count;
    return WalkStep::Continue;
}

void TreeWalk::abandon_collected() noexcept
{
    collect_stack_.clear();
    text_.release(text_.open_at_bottom());
}

void TreeWalk::copy_open_names_to(std::vector<char>& store)
{
    // The names kept by an earlier call lie at the bottom of the stack, in the store; only those
    // above them still view the document.
    const auto in_store = [&](std::string_view name) {
        return !store.empty() && name.data() >= store.data() && name.data() < store.data() + store.size();
    };
    std::size_t first_new = skip_stack_.size();
    while (first_new > 0 && !in_store(skip_stack_[first_new - 1])) --first_new;
    std::size_t used = first_new == 0 ? 0
                                      : static_cast<std::size_t>(skip_stack_[first_new - 1].data() - store.data()) +
                                            skip_stack_[first_new - 1].size();
    std::size_t bytes = used;
    for (std::size_t i = first_new; i < skip_stack_.size(); ++i) bytes += skip_stack_[i].size();
    if (bytes > store.size()) {
        // Grows by doubling, and the kept names move with it: each byte moves a bounded number
        // of times over the stream, so the cost stays linear at any depth.
        std::vector<char> larger(std::max(bytes, 2 * store.size()));
        if (used != 0) std::memcpy(larger.data(), store.data(), used);
        for (std::size_t i = 0; i < first_new; ++i) {
            std::string_view& name = skip_stack_[i];
            name = std::string_view(larger.data() + (name.data() - store.data()), name.size());
        }
        store = std::move(larger);  // moves the block the names now view
    }
    for (std::size_t i = first_new; i < skip_stack_.size(); ++i) {
        std::string_view& name = skip_stack_[i];
        std::memcpy(store.data() + used, name.data(), name.size());
        name = std::string_view(store.data() + used, name.size());
        used += name.size();
    }
}

bool TreeWalk::check_text_outside(std::uint64_t offset, std::string_view run)
{
    if (!checks_every_element() || skip_stack_.empty()) return true;  // outside the document element
    return check_character_data(offset, run);
}

bool TreeWalk::finish()
{
    if (collecting()) return fail_read(error_, ReadErrorKind::NeverClosed, 0, collect_stack_.back().name);
    if (input_ == WalkInput::Stream) {
        return skip_stack_.empty() || fail_read(error_, ReadErrorKind::NeverClosed, 0, skip_stack_.back());
    }
    return complete_ || fail_read(error_, ReadErrorKind::RootNotFound, 0, collect_tag_);
}

// Handles tag k, and the tags after it that it reads too (k is then the last of them).
WalkStep TreeWalk::visit(std::size_t& k)
{
    switch (index_->tag_kinds[k]) {
    case TagKind::Open: return visit_open(k) ? WalkStep::Continue : WalkStep::Failed;
    case TagKind::Close: return visit_close(k);
    case TagKind::SelfClosing: return visit_self_closing(k);
    case TagKind::CData: return visit_cdata(k) ? WalkStep::Continue : WalkStep::Failed;
    default:  // comments and processing instructions
        return check_terminated(*index_, k, error_) ? WalkStep::Continue : WalkStep::Failed;
    }
}

bool TreeWalk::visit_open(std::size_t& k)
{
    const bool child = collecting();
    if (!child) {
        if (!is_collect_tag(k)) return skip_open(k);
        collected_start_ = index_->tag_starts[k];
    }
    if (!parse_start_tag(k)) return false;
    if (child && try_add_leaf(k)) {
        ++k;  // its end tag is read
        return true;
    }
    sink_.open_element(name_of(k), attributes_);
    collect_stack_.push_back({name_of(k), text_.open()});
    return true;
}

// Most elements hold nothing but a little text: when the next tag is the element's end tag,
// the element is added to the sink whole, without being opened, stacked and closed. False, with
// nothing done, wherever the general path must look: another tag first, text to search for
// markup, or text or an end tag that it would fail on (it then fails there, with the same error).
bool TreeWalk::try_add_leaf(std::size_t k)
{
    const index::StructuralIndex& window = *index_;
    const std::size_t end_tag = k + 1;
    if (end_tag >= window.tag_count() || window.tag_kinds[end_tag] != TagKind::Close ||
        window.tag_ends[end_tag] >= document_.size() || text_may_hide_markup_) {
        return false;
    }
    std::string_view text;
    std::uint64_t text_start = 0;
    const bool has_text = has_text_before(window.tag_starts[end_tag]);
    if (has_text) {
        // One run, unless a declaration the index skipped split it: the general path joins them.
        const auto& ranges = window.text_ranges;
        const bool split = text_cursor_ + 1 < ranges.size() &&
                           ranges[text_cursor_ + 1].start < window.tag_starts[end_tag];
        if (split) return false;
        text_start = ranges[text_cursor_].start;
        text = run_of(ranges[text_cursor_]);
    }
    std::string_view end_name;
    const std::string_view name = name_of(k);
    if (!check_end_tag(window, end_tag, end_name, error_) || !same_name(end_name, name)) return false;
    const std::size_t first = first_to_decode(text, TextMode::CharacterData);
    if (first == text.size()) {
        add_leaf(name, text, trim_unicode_space(text));
    } else if (!add_decoded_leaf(name, text, text_start, first)) {
        return false;
    }
    text_cursor_ += has_text;
    return true;
}

// A leaf whose text has references: decoded above the open elements' text, for this call only.
bool TreeWalk::add_decoded_leaf(std::string_view name, std::string_view text, std::uint64_t offset, std::size_t first)
{
    TextAccumulator::Mark mark = text_.open();
    if (!append_decoded(text_.buffer_for(mark), text, offset, TextMode::CharacterData, first, error_)) {
        text_.release(mark);
        return false;
    }
    add_leaf(name, text_.text_of(mark), text_.trimmed(mark));
    text_.release(mark);
    return true;
}

// A leaf to the sink whole; a sink told of character data gets its text untrimmed in between.
void TreeWalk::add_leaf(std::string_view name, std::string_view text, std::string_view trimmed)
{
    if (!report_character_data_) {
        sink_.add_leaf(name, attributes_, trimmed);
        return;
    }
    sink_.open_element(name, attributes_);
    if (!text.empty()) sink_.character_data(text);
    sink_.close_element(trimmed);
}

// A start tag outside the collected element: checked, and its name kept until its end tag.
bool TreeWalk::skip_open(std::size_t k)
{
    if (checks_every_element()) {
        attributes_.clear();
        if (!parser_.parse(*index_, k, attributes_, error_)) return false;
        skip_stack_.push_back(name_of(k));
        return true;
    }
    StartTagParts parts;
    if (!tag_name(*index_, k, parts, error_)) return false;
    skip_stack_.push_back(parts.name);
    return true;
}

WalkStep TreeWalk::visit_close(std::size_t k)
{
    std::string_view name;
    if (!check_end_tag(*index_, k, name, error_)) return WalkStep::Failed;
    if (!collecting()) return close_skipped(k, name) ? WalkStep::Continue : WalkStep::Failed;
    const OpenElement innermost = collect_stack_.back();
    if (!same_name(name, innermost.name)) {
        fail_malformed(error_, index_->tag_starts[k], MalformedMessage::MismatchedEndTag, innermost.name, name);
        return WalkStep::Failed;
    }
    close_element(innermost);
    collect_stack_.pop_back();
    return collect_stack_.empty() ? WalkStep::Complete : WalkStep::Continue;
}

bool TreeWalk::close_skipped(std::size_t k, std::string_view name)
{
    if (skip_stack_.empty()) {
        return fail_malformed(error_, index_->tag_starts[k], MalformedMessage::UnexpectedEndTag, name);
    }
    const std::string_view open_name = skip_stack_.back();
    if (name != open_name) {
        return fail_malformed(error_, index_->tag_starts[k], MalformedMessage::MismatchedEndTag, open_name, name);
    }
    skip_stack_.pop_back();
    return true;
}

WalkStep TreeWalk::visit_self_closing(std::size_t k)
{
    if (collecting()) {
        if (!parse_start_tag(k)) return WalkStep::Failed;
        sink_.add_leaf(name_of(k), attributes_, {});
        return WalkStep::Continue;
    }
    if (is_collect_tag(k)) {
        collected_start_ = index_->tag_starts[k];
        if (!parse_start_tag(k)) return WalkStep::Failed;
        sink_.open_element(name_of(k), attributes_);
        sink_.close_element({});
        return WalkStep::Complete;
    }
    attributes_.clear();  // attributes are checked even outside the collected element
    return parser_.parse(*index_, k, attributes_, error_) ? WalkStep::Continue : WalkStep::Failed;
}

bool TreeWalk::visit_cdata(std::size_t k)
{
    if (!check_terminated(*index_, k, error_)) return false;
    if (collecting()) {
        const std::string_view contents = cdata_contents(*index_, k);
        if (report_character_data_ && !contents.empty()) sink_.character_data(contents);
        text_.append_lasting(collect_stack_.back().text, contents);
    }
    // The section's contents were recorded as a run of character data: consume it.
    const std::uint64_t end = index_->tag_ends[k];
    const auto& ranges = index_->text_ranges;
    while (text_cursor_ < ranges.size() && ranges[text_cursor_].start < end) ++text_cursor_;
    return true;
}

// The attributes of start tag k, into the walk's map, for the sink to take.
bool TreeWalk::parse_start_tag(std::size_t k)
{
    attributes_.clear();
    return parser_.parse(*index_, k, attributes_, error_);
}

// The element is closed in the sink with its text, trimmed; its pieces leave the accumulator.
void TreeWalk::close_element(const OpenElement& element)
{
    const std::string_view text = text_.trimmed(element.text);
    sink_.close_element(text);
    text_.release(element.text);
}

bool TreeWalk::take_text_before(std::uint64_t tag_start)
{
    const auto& ranges = index_->text_ranges;
    if (!collecting()) {
        const bool check = checks_every_element() && !skip_stack_.empty();  // inside the document element
        for (; text_cursor_ < ranges.size() && ranges[text_cursor_].start < tag_start; ++text_cursor_) {
            const index::TextRange& range = ranges[text_cursor_];
            if (check && !check_character_data(range.start, run_of(range))) {
                return false;
            }
        }
        return true;
    }
    while (text_cursor_ < ranges.size() && ranges[text_cursor_].start < tag_start) {
        const index::TextRange& range = ranges[text_cursor_++];
        if (!append_character_data(range.start, run_of(range))) return false;
    }
    return true;
}

// With the quote-dense index, a run may hold the '<' of a declaration: the walk's fault.
bool TreeWalk::hides_markup(std::uint64_t offset, std::string_view run)
{
    if (!text_may_hide_markup_) return false;
    const void* less_than = std::memchr(run.data(), '<', run.size());
    if (less_than == nullptr) return false;
    fail_malformed(error_, offset + static_cast<std::uint64_t>(static_cast<const char*>(less_than) - run.data()),
                   MalformedMessage::UnexpectedLessThan);
    return true;
}

bool TreeWalk::check_character_data(std::uint64_t offset, std::string_view run)
{
    if (hides_markup(offset, run)) return false;
    const std::size_t first = first_to_decode(run, TextMode::CharacterData);
    if (first == run.size()) return true;
    checked_text_.clear();
    return append_decoded(checked_text_, run, offset, TextMode::CharacterData, first, error_);
}

bool TreeWalk::append_character_data(std::uint64_t offset, std::string_view run)
{
    TextAccumulator::Mark& mark = collect_stack_.back().text;
    // White space before anything else of an element's text is trimmed from it in the end, and
    // most runs between tags are such indentation: nothing to keep of them.
    if (text_.holds_nothing(mark) && is_all_unicode_space(run)) {
        if (report_character_data_) sink_.character_data(run);
        return true;
    }
    if (hides_markup(offset, run)) return false;
    const std::size_t first = first_to_decode(run, TextMode::CharacterData);
    if (first == run.size()) {
        if (report_character_data_) sink_.character_data(run);
        text_.append_lasting(mark, run);
        return true;
    }
    TextBuffer& buffer = text_.buffer_for(mark);
    const std::size_t before = buffer.size();
    if (!append_decoded(buffer, run, offset, TextMode::CharacterData, first, error_)) return false;
    if (report_character_data_) sink_.character_data(buffer.view(before));
    return true;
}

// An empty collect_tag matches no element.
bool TreeWalk::is_collect_tag(std::size_t k) const noexcept
{
    return !collect_tag_.empty() && same_name(name_of(k), collect_tag_);
}

std::string_view TreeWalk::name_of(std::size_t k) const noexcept
{
    const index::NameRange range = index_->tag_names[k];
    return {document_.data() + range.start, static_cast<std::size_t>(range.length)};  // inside the document
}

}  // namespace brindle::reader
