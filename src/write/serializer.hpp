// The XML text of a detached tree, appended to an output sink.
//
// The sink is a template parameter (MemorySink or FileSink), so the loop that visits the
// elements makes no virtual calls. The walk keeps its own stack of open elements instead of
// recursing, so a tree a million levels deep is written like any other; the stack's height is
// the nesting depth of the element being written.
//
// Layout: every element that follows another tag starts on a new line indented by
// indent × depth spaces, except that an element that follows its parent's text continues that
// line. The end tag of an element with children goes on its own line; the end tag of an
// element with text only follows the text. The document has no final line break.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "entities/plain_tree.hpp"
#include "write/escape.hpp"
#include "write/output_limit.hpp"

namespace brindle {

template <class Sink>
class TreeWriter {
public:
    TreeWriter(Sink& sink, std::uint64_t indent) noexcept : sink_(sink), indent_(indent) {}

    void write(const PlainTree& tree)
    {
        if (tree.empty()) return;
        std::size_t current = 0;
        for (;;) {
            const PlainNode& node = tree[current];
            if (write_start(node)) {
                open_.push_back(current);
                current = node.first_child;
                continue;
            }
            // `current` is complete: close every ancestor it was the last child of.
            while (tree[current].next_sibling == PlainTree::kNone) {
                if (open_.empty()) return;
                current = open_.back();
                open_.pop_back();
                write_end(tree[current]);
            }
            current = tree[current].next_sibling;
        }
    }

private:
    // Writes the start tag and the text; returns whether the element stays open for children.
    bool write_start(const PlainNode& node)
    {
        break_line();
        newline_pending_ = true;
        sink_.append_char('<');
        sink_.append(node.name);
        for (const auto& [key, value] : node.attrs) write_attribute(key, value);
        const bool has_children = node.first_child != PlainTree::kNone;
        if (!has_children && !node.text) {
            sink_.append(std::string_view("/>"));
            return false;
        }
        sink_.append_char('>');
        if (node.text) {
            write_escaped<EscapeMode::CharacterData>(sink_, *node.text);
            newline_pending_ = false;
        }
        if (has_children) return true;
        write_end(node);
        return false;
    }

    void write_attribute(std::string_view key, std::string_view value)
    {
        sink_.append_char(' ');
        sink_.append(key);
        sink_.append(std::string_view("=\""));
        write_escaped<EscapeMode::AttributeValue>(sink_, value);
        sink_.append_char('"');
    }

    // The depth of the element being closed is the number of its open ancestors.
    void write_end(const PlainNode& node)
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
    bool newline_pending_ = false;
    std::vector<std::size_t> open_;  // elements whose end tag is still to come, outermost first
};

// Appends the tree's root element with everything below it.
template <class Sink>
void write_tree(Sink& sink, const PlainTree& tree, std::uint64_t indent)
{
    TreeWriter<Sink>(sink, indent).write(tree);
}

}  // namespace brindle
