// Dismantling nodes without recursion: a chain a million nodes long must not need a million
// native stack frames to drop.
#include <algorithm>
#include <cstdint>
#include <new>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "ffi/frame.hpp"
#include "node/node.hpp"
#include "node/node_arena.hpp"
#include "node/node_methods.hpp"

namespace brindle::node {

using namespace ffi;

namespace {

// A large tree's memory is freed block by block into the C allocator's free lists, where it
// stays, wedged between blocks still in use, so the process would keep its peak size for good.
// Once a tree of at least this many nodes is gone, the free whole pages go back to the system.
// Measured on trees of about half a million constructed nodes (from_dict): made and dropped on the main
// thread, glibc gives the memory back by itself; made on any other thread, its per-thread heap
// kept all 59 MiB after the tree died without this call, and none with it, which costs about
// 10 ms against the 90 ms that dropping such a tree takes. A read tree never gets here: its
// arena gives its memory back whole.
constexpr std::size_t kReturnMemoryAfterNodes = std::size_t{1} << 16;

void return_free_memory() noexcept
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// The helpers of the walk are forced inline (always_inline): called once or twice per node, out
// of line they cost more than the work they do.

// Releases what a node's fields hold; its children are released or handed over already, or are
// released here. Frees nothing through the interpreter: without the lock too.
[[gnu::always_inline]] inline void release_fields(NodeObject& node) noexcept
{
    PyRef* children = node.child_refs();
    for (Py_ssize_t i = 0; i < Py_SIZE(&node); ++i) children[i].~PyRef();
    node.attrs.~AttrMap();
    node.text.~NodeText();
    node.name.~NodeString();
}

void free_node_memory(NodeObject& node) noexcept
{
    PyTypeObject* type = Py_TYPE(&node);
    NodeArena* arena = node.arena;
    release_fields(node);
    if (arena != nullptr) {
        NodeArena::release(arena);
    } else {
        PyMem_RawFree(&node);
    }
    Py_DECREF(type);  // instances of a heap type hold a reference to it
}

// The references that read nodes released in place held to their arena and to their class,
// given back together for each arena (a dying tree's nodes mostly share one): a count instead
// of two releases per node. Both counts change only with the interpreter lock held: while the
// lock is let go, the references are only counted here, for a few arenas at most.
class HeldReferences {
public:
    HeldReferences() = default;
    HeldReferences(const HeldReferences&) = delete;
    HeldReferences& operator=(const HeldReferences&) = delete;
    ~HeldReferences() { give_back(); }  // with the lock held

    // Whether a reference to `arena` can be counted without giving any back (so without the
    // lock): true when the arena has its place already or one is free.
    [[gnu::always_inline]] inline bool has_room_for(NodeArena* arena) noexcept { return place(arena) != nullptr; }

    // With the lock held, or after has_room_for(arena) said yes.
    [[gnu::always_inline]] inline void add(NodeArena* arena) noexcept
    {
        Held* held = place(arena);
        if (held == nullptr) {
            give_back();
            held = place(arena);
        }
        ++held->count;
    }

    // With the lock held.
    void give_back() noexcept
    {
        std::size_t count = 0;
        for (Held& held : held_) count += held.count;
        if (count == 0) return;
        PyTypeObject* type = node_type();
        Py_SET_REFCNT(type, Py_REFCNT(type) - static_cast<Py_ssize_t>(count - 1));  // the class outlives its nodes
        Py_DECREF(type);
        for (Held& held : held_) {
            if (held.count != 0) NodeArena::release(held.arena, held.count);
            held = {};
        }
    }

private:
    struct Held {
        NodeArena* arena = nullptr;
        std::size_t count = 0;
    };

    // The place of `arena`, found or newly taken; null when every place holds another.
    [[gnu::always_inline]] inline Held* place(NodeArena* arena) noexcept
    {
        if (last_->arena == arena) [[likely]]
            return last_;
        return find_place(arena);
    }

    [[gnu::noinline]] Held* find_place(NodeArena* arena) noexcept
    {
        Held* free = nullptr;
        for (Held& held : held_) {
            if (held.arena == arena) return last_ = &held;
            if (held.arena == nullptr && free == nullptr) free = &held;
        }
        if (free == nullptr) return nullptr;
        free->arena = arena;
        return last_ = free;
    }

    Held held_[4];
    Held* last_ = held_;  // the place found last (a dying tree's nodes mostly share one arena)
};

// A read node that the walk holds the last reference to (`dying`, taken over when this says
// true), its children all taken already: released here instead of through the interpreter, which would only call back
// into node_dealloc for a node with nothing left to release. Only where read nodes are made without the interpreter's
// bookkeeping, which then never counted them as made and need not see them go.
[[gnu::always_inline]] inline bool released_in_place([[maybe_unused]] PyObject* dying,
                                                     [[maybe_unused]] HeldReferences& held) noexcept
{
#ifdef BRINDLE_NODES_WITHOUT_LOCK
    auto& node = *reinterpret_cast<NodeObject*>(dying);
    if (node.arena == nullptr) return false;
    held.add(node.arena);
    release_fields(node);
    return true;
#else
    return false;
#endif
}

// The children of one node, taken from the last to the first (the reference is the caller's): the node's child count
// always says how many it still holds, so a node left half taken is a consistent node. Read trees are made children
// first, each subtree in one stretch of its arena just before its root; taking the last child first meets their nodes
// from the newest to the oldest, in falling address order, which the processor fetches ahead instead of missing node
// after node.
[[gnu::always_inline]] inline PyObject* take_last_child(NodeObject& node) noexcept
{
    const auto count = static_cast<std::size_t>(Py_SIZE(&node));
    PyObject* child = node.child_refs()[count - 1].release();  // an empty PyRef, left as one
    Py_SET_SIZE(&node, static_cast<Py_ssize_t>(count - 1));
    return child;
}

// Whether the interpreter lock is held while nodes are taken apart.
enum class Lock { held, let_go };

// How far a stretch of dismantling went.
enum class Stretch {
    finished,
    paused,  // the budget of nodes is spent
    stuck,   // without the lock: no room to hold one more node
};

// A stack of owned references whose pushes cannot fail once room_for_one said yes: without the
// lock nothing may throw, as a failure would release references unlocked. Each entry is a
// reference the stack owns (held as a bare pointer, so that the walk moves no handles); the
// entries left are released (with the lock held) when it dies.
class RefStack {
public:
    RefStack() = default;
    RefStack(const RefStack&) = delete;
    RefStack& operator=(const RefStack&) = delete;
    ~RefStack()
    {
        while (size_ != 0) PyRef::steal(pop());
        PyMem_RawFree(entries_);
    }

    bool empty() const noexcept { return size_ == 0; }
    PyObject* back() const noexcept { return entries_[size_ - 1]; }

    [[gnu::always_inline]] bool room_for_one() noexcept { return size_ < capacity_ || grow(); }
    // After room_for_one said yes; the stack takes the reference over.
    [[gnu::always_inline]] void push(PyObject* entry) noexcept { entries_[size_++] = entry; }
    // The reference is the caller's.
    [[gnu::always_inline]] PyObject* pop() noexcept { return entries_[--size_]; }

private:
    [[gnu::noinline]] bool grow() noexcept
    {
        const std::size_t capacity = std::max<std::size_t>(16, 2 * capacity_);
        void* grown = PyMem_RawRealloc(entries_, capacity * sizeof(PyObject*));
        if (grown == nullptr) return false;
        entries_ = static_cast<PyObject**>(grown);
        capacity_ = capacity;
        return true;
    }

    PyObject** entries_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// A dying tree taken apart, depth first without recursion: the stack holds the dying
// descendants being dismantled, each the last reference to its node, one per level of the
// tree. A child that someone else still holds only loses a reference, and a dying leaf goes at
// once; a dismantled node has no children left when it is released, so releasing it never
// cascades into further deallocations.
//
// Without the lock (only where read nodes are made without it), a node whose count is 1 is
// reachable only through its dying parent, so no other thread can see it: a read node of that
// kind is taken apart and released in place as under the lock, its references to its arena and
// class only counted. Any other node (shared with someone, whose count other threads may change
// under the lock meanwhile, or one that the interpreter must release) is not touched: its
// reference is set aside, and dropped once the lock is back, as the lock's holder would have.
class Dismantling {
public:
    explicit Dismantling(NodeObject& root) noexcept : root_(&root) {}
    Dismantling(const Dismantling&) = delete;
    Dismantling& operator=(const Dismantling&) = delete;
    ~Dismantling() = default;  // with the lock held

    std::size_t dismantled() const noexcept { return dismantled_; }

    // Takes apart until the tree is gone or `budget` nodes are taken. Throws std::bad_alloc
    // under the lock; never without it.
    template <Lock lock>
    Stretch take_apart(std::size_t budget);

    // With the lock held, after a stretch without it: gives back what was counted and drops
    // the references set aside, taking apart those that turn out to be the last ones.
    void settle()
    {
        held_.give_back();
        while (!set_aside_.empty()) {
            PyRef node = PyRef::steal(set_aside_.pop());
            if (Py_REFCNT(node.get()) == 1 && Py_SIZE(node.get()) > 0) {
                if (!dying_.room_for_one()) throw std::bad_alloc();
                dying_.push(node.release());
                take_apart<Lock::held>(SIZE_MAX);
            }  // else `node` only loses a reference here
        }
    }

private:
    // Releases a dying node (the reference is taken over) whose children are all taken,
    // counting those of the raw allocator.
    [[gnu::always_inline]] void release_childless(PyObject* node) noexcept
    {
        dismantled_ += reinterpret_cast<NodeObject*>(node)->arena == nullptr;  // an arena's memory goes back whole
        if (!released_in_place(node, held_)) PyRef::steal(node);               // through the interpreter
    }

    // Without the lock: whether `node`, the last reference to it, can be released in place.
    [[gnu::always_inline]] bool releasable_unlocked(const PyObject* node) noexcept
    {
        NodeArena* arena = reinterpret_cast<const NodeObject*>(node)->arena;
        return kNodesWithoutLock && arena != nullptr && held_.has_room_for(arena);
    }

    NodeObject* root_;  // whose children are taken when the stack is empty; null once done
    RefStack dying_;
    RefStack set_aside_;   // taken without the lock, to be dropped with it
    HeldReferences held_;  // given back before the stacks go (declared after them)
    std::size_t dismantled_ = 0;
};

template <Lock lock>
Stretch Dismantling::take_apart(std::size_t budget)
{
    NodeObject* parent = dying_.empty() ? root_ : reinterpret_cast<NodeObject*>(dying_.back());
    while (parent != nullptr) {
        if (Py_SIZE(parent) > 0) {
            if (budget == 0) return Stretch::paused;
            --budget;
            const PyObject* next = parent->child_refs()[Py_SIZE(parent) - 1].get();
            const bool last_reference = Py_REFCNT(next) == 1;  // unlocked: stays 1, or is not 1
            if (lock == Lock::let_go && !(last_reference && releasable_unlocked(next))) {
                if (!set_aside_.room_for_one()) return Stretch::stuck;
                set_aside_.push(take_last_child(*parent));
            } else if (last_reference && Py_SIZE(next) > 0) {
                if (!dying_.room_for_one()) {
                    if (lock == Lock::let_go) return Stretch::stuck;
                    throw std::bad_alloc();
                }
                dying_.push(take_last_child(*parent));
                parent = reinterpret_cast<NodeObject*>(dying_.back());
            } else if (last_reference) {
                release_childless(take_last_child(*parent));
            } else {
                PyRef::steal(take_last_child(*parent));  // drops a reference that others share
            }
            continue;
        }
        if (dying_.empty()) {
            root_ = nullptr;  // the root is its caller's to free
            return Stretch::finished;
        }
        if (lock == Lock::let_go && !releasable_unlocked(dying_.back())) {
            if (!set_aside_.room_for_one()) return Stretch::stuck;
            set_aside_.push(dying_.pop());  // childless now: released with the lock
        } else {
            release_childless(dying_.pop());
        }
        parent = dying_.empty() ? root_ : reinterpret_cast<NodeObject*>(dying_.back());
    }
    return Stretch::finished;
}

// The nodes taken apart under the lock before it is let go for the rest of a tree: dropping a
// tree of read nodes costs about 25 ns a node, so a tree smaller than this (a document under
// half a megabyte or so) is gone in about 0.2 ms, too soon for letting go of the lock and taking
// it back to pay, and only larger trees let other threads run while they are taken apart.
constexpr std::size_t kNodesUnderLock = std::size_t{1} << 13;

}  // namespace

void node_dealloc(PyObject* self)
{
    auto& root = *reinterpret_cast<NodeObject*>(self);
    std::size_t dismantled = 0;
    call_frame_destructor(self, [&] {
        Dismantling dismantling(root);
        Stretch stretch = dismantling.take_apart<Lock::held>(kNodesWithoutLock ? kNodesUnderLock : SIZE_MAX);
        if (stretch == Stretch::paused) {
            {
                GilRelease unlocked;
                stretch = dismantling.take_apart<Lock::let_go>(SIZE_MAX);
            }
            dismantling.settle();
            if (stretch == Stretch::stuck) dismantling.take_apart<Lock::held>(SIZE_MAX);  // the rest
        }
        dismantled = dismantling.dismantled();
    });
    free_node_memory(root);
    if (dismantled >= kReturnMemoryAfterNodes) return_free_memory();
}

}  // namespace brindle::node
