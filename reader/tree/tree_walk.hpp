// The walk: visits the tags of a structural index in document order, checks each one, and
// hands the first element named `root_tag` (with everything inside it) to a tree sink as it
// reads it. Elements outside it are only checked. The walk stops as soon as that element is
// complete, or at the first fault; nothing after it is examined, unless a stream resumes the
// walk to collect the next element of that name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/structural/structural_index.hpp"
#include "reader/markup/start_tag_parser.hpp"
#include "reader/read_error.hpp"
#include "reader/text/text_accumulator.hpp"
#include "reader/tree/tree_sink.hpp"

namespace brindle::reader {

// What a walk (or one step of it) came to.
enum class WalkStep : std::uint8_t {
    Continue,  // more tags are needed
    Complete,  // the collected element is complete
    Failed,    // the walk's error slot says why
};

// The index may come whole or a window of tags at a time; the walk carries everything it
// needs from one window to the next (open elements by name, text by document range).
// A fault fills the walk's error slot. Allocation failure throws std::bad_alloc
// (read_pipeline.hpp turns it into a value).
class TreeWalk {
public:
    // `text_may_hide_markup`: the index comes from the quote-dense builder, which leaves the
    // '<' of a declaration (other than a DOCTYPE) inside a run of character data.
    //
    // `check_everything`: a stream's walk, which checks every element inside the document as if
    // it were collected (attributes parsed, text decoded), not only those of the collected one.
    TreeWalk(std::string_view document, std::string_view root_tag, bool text_may_hide_markup, TreeSink& sink,
             bool check_everything = false) noexcept
        : document_(document),
          root_tag_(root_tag),
          text_may_hide_markup_(text_may_hide_markup),
          check_everything_(check_everything),
          sink_(sink)
    {}

    // Walks the tags of the next window of the index (or of the whole index). Complete once
    // the collected element is complete: later windows need no walk. Failed at the first fault,
    // which error() then holds.
    [[nodiscard]] WalkStep walk(const index::StructuralIndex& window);

    // After a Complete walk, true: the sink has the whole element. Otherwise fails with
    // RootNotFound, or NeverClosed when the element started and never ended.
    [[nodiscard]] bool finish();

    const ReadError& error() const noexcept { return error_; }

    // What a stream needs to walk one buffer after another and collect one element after another.
    //
    // After a Complete step: walks on through the rest of the window, collecting the next element
    // named root_tag, as walk() does.
    [[nodiscard]] WalkStep resume();
    bool collecting() const noexcept { return !collect_stack_.empty(); }
    // The offset of the collected element's '<', while collecting.
    std::uint64_t collected_start() const noexcept { return collected_start_; }
    // Drops the collected element in progress (the sink drops its own part): the walk stands
    // as it stood before that element's start tag.
    void abandon_collected() noexcept;
    // Copies the names of the open elements into `store`, so that the document's bytes may go;
    // the next window indexes `document`. The names an earlier call kept stay where they are, so
    // a stream's cost stays linear in its depth.
    void keep_open_names(std::vector<char>& store);
    // Checks a run of character data outside the collected element whose tag has not come yet,
    // as the walk checks it on reaching that tag, so that a stream may let the run's bytes go.
    [[nodiscard]] bool check_text_outside(std::uint64_t offset, std::string_view run);
    void set_document(std::string_view document) noexcept { document_ = document; }
    // At the end of a stream: fails with NeverClosed, naming the innermost element still open.
    [[nodiscard]] bool finish_stream();

private:
    struct OpenElement {
        std::string_view name;
        TextAccumulator::Mark text;
    };

    WalkStep visit(std::size_t& k);
    bool visit_open(std::size_t& k);
    bool closes_as_leaf(std::size_t k);
    bool add_decoded_leaf(std::string_view name, std::string_view text, std::uint64_t offset, std::size_t first);
    bool skip_open(std::size_t k);
    WalkStep visit_close(std::size_t k);
    bool close_skipped(std::size_t k, std::string_view name);
    WalkStep visit_self_closing(std::size_t k);
    bool visit_cdata(std::size_t k);
    bool parse_start_tag(std::size_t k);
    void close_element(const OpenElement& element);
    // Whether a run of character data not yet taken starts before the tag; most tags follow
    // another tag directly, and this check keeps them off take_text_before's longer path.
    bool has_text_before(std::uint64_t tag_start) const noexcept
    {
        const auto& ranges = index_->text_ranges;
        return text_cursor_ < ranges.size() && ranges[text_cursor_].start < tag_start;
    }
    bool take_text_before(std::uint64_t tag_start);
    bool append_character_data(std::uint64_t offset, std::string_view run);
    bool check_character_data(std::uint64_t offset, std::string_view run);
    bool hides_markup(std::uint64_t offset, std::string_view run);
    bool is_root_tag(std::size_t k) const noexcept;
    std::string_view name_of(std::size_t k) const noexcept;
    // A run of character data that the index recorded, inside the document.
    std::string_view run_of(const index::TextRange& range) const noexcept
    {
        return {document_.data() + range.start, static_cast<std::size_t>(range.end - range.start)};
    }

    const index::StructuralIndex* index_ = nullptr;  // the window being walked
    std::string_view document_;
    std::string_view root_tag_;
    bool text_may_hide_markup_;
    bool check_everything_;
    bool complete_ = false;
    ReadError error_;
    std::size_t next_tag_ = 0;     // in the window, where resume() goes on
    std::size_t text_cursor_ = 0;  // in the window's text ranges
    std::uint64_t collected_start_ = 0;
    std::vector<std::string_view> skip_stack_;  // names of start tags open outside the collected element
    std::vector<OpenElement> collect_stack_;
    TreeSink& sink_;
    TextAccumulator text_;
    StartTagParser parser_;
    AttrMap attributes_;        // each start tag's, reused from tag to tag: the sink copies what it keeps
    std::string checked_text_;  // text outside the collected element, decoded only to check it
};

}  // namespace brindle::reader
