#include "build/node_builder.hpp"

#include <algorithm>
#include <new>
#include <span>
#include <utility>

#include "ffi/errors.hpp"
#include "node/node.hpp"
#include "node/node_arena.hpp"

namespace brindle::build {

using namespace ffi;

NodeBuilder::NodeBuilder(std::size_t first_chunk) : first_chunk_(first_chunk) {}

// Made when a node first needs it: an element that is all a stream's record, with no children,
// needs none.
node::NodeArena& NodeBuilder::arena()
{
    if (arena_ == nullptr) arena_ = node::NodeArena::create(first_chunk_);
    return *arena_;
}

std::size_t NodeBuilder::arena_bytes() const noexcept { return arena_ != nullptr ? arena_->bytes_used() : 0; }

void NodeBuilder::restart(std::size_t first_chunk) noexcept
{
    if (arena_ != nullptr) node::NodeArena::release(std::exchange(arena_, nullptr));
    first_chunk_ = first_chunk;
}

NodeBuilder::~NodeBuilder()
{
    settle();
    made_.truncate(0);
    root_.reset();
    open_.clear();                                            // their attribute tables may lie in the arena
    if (arena_ != nullptr) node::NodeArena::release(arena_);  // frees it unless a node made here lives on
}

void NodeBuilder::expect_document(std::size_t bytes) noexcept
{
    // The shortest element, <a/>, takes four bytes. Past the cap the list grows as it needs.
    constexpr std::size_t kShortestElement = 4;
    constexpr std::size_t kMostReserved = std::size_t{64} << 20;
    try {
        made_.reserve(std::min(bytes / kShortestElement, kMostReserved), true);
    } catch (const std::bad_alloc&) {
        // Address space is short: the list grows as it needs, and fails only if that fails.
    }
}

void NodeBuilder::settle() noexcept
{
    node::pay_type_references(owed_);
    owed_ = 0;
}

void NodeBuilder::open_element(std::string_view name, reader::AttrMap& attributes)
{
    if (open_.empty()) return open_collected_element(name, attributes);
    // Most elements: a child without attributes, which takes nothing of the walk's map (its
    // block stays the walk's). Made in place: a whole element built on the stack and copied in
    // stalls on the copy.
    if (attributes.empty()) [[likely]] {
        open_.emplace_back(name, reader::AttrMap(), made_.size());
        return;
    }
    open_with_attributes(name, attributes);
}

// The collected element's node lives outside the arena and may outlive it: its table is kept
// here (in a block reused from element to element) until the node is made.
void NodeBuilder::open_collected_element(std::string_view name, const reader::AttrMap& attributes)
{
    collected_attributes_.copy_from(attributes);
    open_.emplace_back(name, reader::AttrMap(), made_.size());
}

void NodeBuilder::open_with_attributes(std::string_view name, reader::AttrMap& attributes)
{
    open_.emplace_back(name, kept_attributes(attributes), made_.size());
}

// The table goes straight into the arena, where the node will use it: no block of its own to
// allocate and free per element. A hashed table keeps its own blocks, and moves.
reader::AttrMap NodeBuilder::kept_attributes(reader::AttrMap& attributes)
{
    const std::size_t table = attributes.placed_size();
    return table != 0 ? attributes.placed_copy(arena().allocate(table)) : std::move(attributes);
}

void NodeBuilder::close_element(std::string_view text)
{
    if (open_.size() == 1) return close_collected_element(text);
    // Room for the node in the list first: once made, the node must not be dropped without
    // the lock, as a failure to grow the list would.
    made_.make_room_for_one();
    // Its children are the nodes made since it opened; they move into it only on success.
    OpenElement& element = open_.back();
    PyRef node = node::make_arena_node(arena(), element.name, std::move(element.attributes),
                                       made_.from(element.first_child), text);
    ++owed_;
    made_.forget_taken(element.first_child);
    open_.pop_back();
    made_.push_back(std::move(node));
}

// A child without children, made at once: never opened, so nothing of it is kept in between.
// Never the collected element, which the walk opens and closes.
void NodeBuilder::add_leaf(std::string_view name, reader::AttrMap& attributes, std::string_view text)
{
    made_.make_room_for_one();  // first, as in close_element
    PyRef node = node::make_arena_node(arena(), name,
                                       attributes.empty() ? reader::AttrMap() : kept_attributes(attributes), {}, text);
    ++owed_;
    made_.push_back(std::move(node));
}

// The tree is whole: the collected element takes every made node, in place.
void NodeBuilder::close_collected_element(std::string_view text)
{
    OpenElement& element = open_.back();
    // What may fail comes first, while the children are still the list's, which releases them
    // with the lock held.
    const std::size_t child_count = made_.size();
    // A block of pages goes back with the arena, which the node then holds.
    node::NodeArena* holder = made_.holds_pages() ? &arena() : nullptr;
    memory::Pages mapped;
    void* block = made_.take_block(node::bytes_after_children(collected_attributes_, element.name, text), mapped);
    if (mapped.data != nullptr) {
        holder->adopt(mapped);
        holder->add_reference();
    } else {
        holder = nullptr;
    }
    root_ = node::make_node_around_children(block, holder, child_count, element.name, collected_attributes_, text);
    ++owed_;
    open_.pop_back();
    if (arena_ != nullptr) arena_->finish_filling();
}

PyRef NodeBuilder::take_root()
{
    settle();
    if (!root_ || made_.size() != 0 || !open_.empty()) {
        throw_internal("the reader did not hand over exactly one element");
    }
    return std::move(root_);
}

}  // namespace brindle::build
