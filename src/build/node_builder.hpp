// Node objects made as the reader walks the collected element, without the interpreter lock:
// threads that read at once make their trees side by side, and only the last step needs the
// lock. An element becomes a node at its end tag, when its children are all made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "build/made_nodes.hpp"
#include "ffi/py_ref.hpp"
#include "reader/tree/tree_sink.hpp"

namespace brindle::node {
class NodeArena;
}  // namespace brindle::node

namespace brindle::build {

class NodeBuilder final : public reader::TreeSink {
public:
    // Throws std::bad_alloc. `first_chunk`: the size of the arena's first chunk (0: the default).
    explicit NodeBuilder(std::size_t first_chunk = 0);
    NodeBuilder(const NodeBuilder&) = delete;
    NodeBuilder& operator=(const NodeBuilder&) = delete;
    // Runs with the lock held (declare the builder outside the unlocked scope): pays what the
    // nodes made so far owe their class, then releases them and its hold on their arena.
    ~NodeBuilder();

    // With or without the lock; each may throw std::bad_alloc, leaving what was made here.
    void open_element(std::string_view name, reader::AttrMap& attributes) override;
    void close_element(std::string_view text) override;
    void add_leaf(std::string_view name, reader::AttrMap& attributes, std::string_view text) override;

    // Before the walk: makes room at once for as many made nodes as a document of `bytes` can
    // hold unclaimed (a root's children), so that the list is never copied as it grows. Only
    // address space: pages are touched as the list fills them.
    void expect_document(std::size_t bytes) noexcept;

    // The bytes the nodes made so far take in the arena.
    std::size_t arena_bytes() const noexcept;

    // With the lock held, once the reader has succeeded: the collected element's node, its
    // whole tree ready for Python code.
    ffi::PyRef take_root();

    // With the lock held, after take_root: ready to collect another element, into an arena of its
    // own (a stream's next record), made at its first use.
    void restart(std::size_t first_chunk) noexcept;

private:
    struct OpenElement {
        OpenElement(std::string_view element_name, reader::AttrMap&& element_attributes, std::size_t first) noexcept
            : name(element_name), attributes(std::move(element_attributes)), first_child(first)
        {}
        std::string_view name;
        reader::AttrMap attributes;
        std::size_t first_child;  // in made_
    };

    void settle() noexcept;
    [[gnu::noinline]] void open_collected_element(std::string_view name, const reader::AttrMap& attributes);
    [[gnu::noinline]] void open_with_attributes(std::string_view name, reader::AttrMap& attributes);
    reader::AttrMap kept_attributes(reader::AttrMap& attributes);
    void close_collected_element(std::string_view text);

    std::vector<OpenElement> open_;
    reader::AttrMap collected_attributes_;  // the collected element's, until its node is made
    MadeNodes made_;
    ffi::PyRef root_;       // the collected element's node, once made
    std::size_t owed_ = 0;  // nodes made whose class reference is not yet paid
    node::NodeArena& arena();

    node::NodeArena* arena_ = nullptr;  // the memory of every node made here, made at its first use
    std::size_t first_chunk_;           // of the arena to make
};

}  // namespace brindle::build
