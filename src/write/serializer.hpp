// The XML text of a Node tree, appended to an output sink.
//
// The walk reads the nodes' native fields in place and runs without the interpreter lock: a
// node never changes after it is made, each node is kept alive by its parent, and the caller
// holds a reference to the root for the whole walk, so nothing it reads can change or go away.
// It touches no reference count and calls nothing in the interpreter.
//
// The sink is a template parameter (MemorySink or FileSink), so the loop that visits the
// elements makes no virtual calls. The walk keeps its own stack of open elements instead of
// recursing, so a tree a million levels deep is written like any other; the stack's height is
// the nesting depth of the element being written.
//
// Interrupts: shared children can make the output endless in practice, so before each start
// or end tag the walk reports the bytes appended so far to an UnlockedInterruptPoll, which takes
// the lock back now and then to let Ctrl-C stop the write. Every tag appends a few bytes at
// least and the work for a tag grows with what it appends (indentation included), so bytes
// bound the time between polls.
//
// Checking: every name is checked just before it is written and every text and attribute
// value while it is escaped, so a tree whose XML would not read back ends in ValueError at its
// first problem (write_refusal.hpp), and the strings are read once, while they are in the
// cache. A caller that must not have written anything by then checks the tree first
// (tree_check.hpp), in the same order.
//
// Layout: every element that follows another tag starts on a new line indented by
// indent × depth spaces, except that an element that follows its parent's text continues that
// line. The end tag of an element with children goes on its own line; the end tag of an
// element with text only follows the text. The document has no final line break.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "ffi/interrupt_poll.hpp"
#include "node/node.hpp"
#include "write/escape.hpp"
#include "write/output_limit.hpp"
#include "write/write_refusal.hpp"

namespace brindle::write {

template <class Sink>
class TreeWriter {
public:
    TreeWriter(Sink& sink, std::uint64_t indent, ffi::UnlockedInterruptPoll& poll) noexcept
        : sink_(sink), indent_(indent), poll_(poll)
    {}

    void write(const node::NodeObject& root)
    {
        if (write_start(root)) open_.push_back({&root, 0});
        while (!open_.empty()) {
            poll_.progress(sink_.appended());
            OpenElement& parent = open_.back();
            if (parent.next_child == parent.node->children().size()) {
                const node::NodeObject& finished = *parent.node;
                open_.pop_back();
                write_end(finished);
                continue;
            }
            const node::NodeObject& child = node::node_object(parent.node->children()[parent.next_child++].get());
            if (write_start(child)) open_.push_back({&child, 0});
        }
    }

private:
    // Writes the start tag and the text; returns whether the element stays open for children.
    // Inlined into the walk: the call cost more per element than the walk's interrupt poll.
    [[gnu::always_inline]] bool write_start(const node::NodeObject& node)
    {
        check_name_in(node.name, StringPlace::ElementName);
        break_line();
        newline_pending_ = true;
        sink_.append_char('<');
        sink_.append(node.name);
        for (const auto& [key, value] : node.attrs) write_attribute(key, value);
        const bool has_children = !node.children().empty();
        if (!has_children && !node.text) {
            sink_.append(std::string_view("/>"));
            return false;
        }
        sink_.append_char('>');
        if (const std::optional<std::string_view> text = node.text.view()) {
            write_escaped<EscapeMode::CharacterData>(sink_, *text);
            newline_pending_ = false;
        }
        if (has_children) return true;
        write_end(node);
        return false;
    }

    void write_attribute(std::string_view key, std::string_view value)
    {
        check_name_in(key, StringPlace::AttributeName);
        sink_.append_char(' ');
        sink_.append(key);
        sink_.append(std::string_view("=\""));
        write_escaped<EscapeMode::AttributeValue>(sink_, value);
        sink_.append_char('"');
    }

    // The depth of the element being closed is the number of its open ancestors.
    void write_end(const node::NodeObject& node)
    {
        break_line();
        newline_pending_ = true;
        sink_.append(std::string_view("</"));
        sink_.append(node.name);
        sink_.append_char('>');
    }

    void break_line()
    {
        if (!newline_pending_) return;
        sink_.append_char('\n');
        const std::uint64_t width = indentation_width(indent_, open_.size());
        if (width != 0) sink_.append_repeated(' ', width);
    }

    Sink& sink_;
    const std::uint64_t indent_;
    ffi::UnlockedInterruptPoll& poll_;
    bool newline_pending_ = false;
    struct OpenElement {
        const node::NodeObject* node;
        std::size_t next_child;  // index of the child to write next
    };
    std::vector<OpenElement> open_;  // elements whose end tag is still to come, outermost first
};

// Appends the root element with everything below it. A child that occurs several times in
// the tree is written once per occurrence.
template <class Sink>
void write_tree(Sink& sink, const node::NodeObject& root, std::uint64_t indent, ffi::UnlockedInterruptPoll& poll)
{
    TreeWriter<Sink>(sink, indent, poll).write(root);
}

}  // namespace brindle::write
