// The walk: visits the tags of a structural index in document order, checks each one, and
// hands the element it collects (the first named `collect_tag`, with everything inside it) to a
// tree sink as it reads it. Elements outside it are only checked. Over a whole document the walk
// stops as soon as that element is complete, or at the first fault; nothing after it is
// examined. Over a stream it walks on to collect every element of that name that is not inside
// another, one buffer after another.
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

// What a walk reads.
enum class WalkInput : std::uint8_t {
    // A whole document, for its first element named collect_tag.
    Document,
    // A stream, a buffer at a time, for every element named collect_tag not inside another:
    // every element inside the document is checked as if it were collected (attributes parsed,
    // text decoded), not only those collected.
    Stream,
};

struct WalkOptions {
    std::string_view collect_tag;  // an empty one matches no element
    WalkInput input = WalkInput::Document;
    // The index comes from the quote-dense builder, which leaves the '<' of a declaration
    // (other than a DOCTYPE) inside a run of character data.
    bool text_may_hide_markup = false;
    // The sink is told every piece of the collected element's character data as it comes
    // (TreeSink::character_data), so that mixed content keeps its order.
    bool report_character_data = false;
};

// The index may come whole or a window of tags at a time; the walk carries everything it
// needs from one window to the next (open elements by name, text by document range).
// A fault fills the walk's error slot. Allocation failure throws std::bad_alloc
// (read_pipeline.hpp turns it into a value).
class TreeWalk {
public:
    TreeWalk(std::string_view document, const WalkOptions& options, TreeSink& sink) noexcept
        : document_(document),
          collect_tag_(options.collect_tag),
          text_may_hide_markup_(options.text_may_hide_markup),
          report_character_data_(options.report_character_data),
          input_(options.input),
          sink_(sink)
    {}

    // Walks the tags of the next window of the index (or of the whole index). Complete once
    // the collected element is complete: over a document, later windows need no walk. Failed at
    // the first fault, which error() then holds.
    [[nodiscard]] WalkStep walk(const index::StructuralIndex& window);

    // At the end of the input. Over a document, true after a Complete walk: the sink has the
    // whole element; otherwise it fails with RootNotFound, or NeverClosed when the element
    // started and never ended. Over a stream, true unless an element is still open: it then
    // fails with NeverClosed, naming the innermost.
    [[nodiscard]] bool finish();

    const ReadError& error() const noexcept { return error_; }

    // What a stream needs to walk one buffer after another and collect one element after another.
    //
    // After a Complete step: walks the rest of the window, collecting the next element named
    // collect_tag, as walk() does.
    [[nodiscard]] WalkStep walk_rest_of_window();
    bool collecting() const noexcept { return !collect_stack_.empty(); }
    // The offset of the collected element's '<', while collecting.
    std::uint64_t collected_start() const noexcept { return collected_start_; }
    // Drops the collected element in progress (the sink drops its own part): the walk stands
    // as it stood before that element's start tag.
    void abandon_collected() noexcept;
    // Copies the names of the open elements into `store`, so that the buffer's bytes may go;
    // the next window indexes the buffer given to view_buffer. The names an earlier call kept
    // stay where they are, so a stream's cost stays linear in its depth.
    void copy_open_names_to(std::vector<char>& store);
    // The bytes the next windows index.
    void view_buffer(std::string_view buffer) noexcept { document_ = buffer; }
    // The names of the elements open outside the collected element, outermost first (while a
    // record is collected: the elements around it). They view the buffer or the kept names.
    const std::vector<std::string_view>& open_names() const noexcept { return skip_stack_; }
    // Checks a run of character data outside the collected element whose tag has not come yet,
    // as the walk checks it on reaching that tag, so that a stream may let the run's bytes go.
    [[nodiscard]] bool check_text_outside(std::uint64_t offset, std::string_view run);

private:
    struct OpenElement {
        std::string_view name;
        TextAccumulator::Mark text;
    };

    WalkStep visit(std::size_t& k);
    bool visit_open(std::size_t& k);
    bool try_add_leaf(std::size_t k);
    bool add_decoded_leaf(std::string_view name, std::string_view text, std::uint64_t offset, std::size_t first);
    void add_leaf(std::string_view name, std::string_view text, std::string_view trimmed);
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
    bool is_collect_tag(std::size_t k) const noexcept;
    // A stream's walk checks every element as if it were collected.
    bool checks_every_element() const noexcept { return input_ == WalkInput::Stream; }
    std::string_view name_of(std::size_t k) const noexcept;
    // A run of character data that the index recorded, inside the document.
    std::string_view run_of(const index::TextRange& range) const noexcept
    {
        return {document_.data() + range.start, static_cast<std::size_t>(range.end - range.start)};
    }

    const index::StructuralIndex* index_ = nullptr;  // the window being walked
    std::string_view document_;
    std::string_view collect_tag_;
    bool text_may_hide_markup_;
    bool report_character_data_;
    WalkInput input_;
    bool complete_ = false;
    ReadError error_;
    std::size_t next_tag_ = 0;     // in the window, where walk_rest_of_window() goes on
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
