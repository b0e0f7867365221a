// Dismantling nodes without recursion: a chain a million nodes long must not need a million
// native stack frames to drop.
#include <algorithm>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "entities/node.hpp"
#include "entities/node_arena.hpp"
#include "entities/node_methods.hpp"
#include "ffi/frame.hpp"

namespace brindle {

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

// Releases what a node's fields hold; its children are released or handed over already, or are
// released here.
void release_fields(NodeObject& node) noexcept
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
// given back together for each run of nodes of one arena (a dying tree's nodes mostly share
// one): a count instead of two releases per node.
class HeldReferences {
public:
    HeldReferences() = default;
    HeldReferences(const HeldReferences&) = delete;
    HeldReferences& operator=(const HeldReferences&) = delete;
    ~HeldReferences() { give_back(); }

    void add(NodeArena* arena) noexcept
    {
        if (arena != arena_) {
            give_back();
            arena_ = arena;
        }
        ++count_;
    }

private:
    void give_back() noexcept
    {
        if (count_ == 0) return;
        PyTypeObject* type = node_type();
        Py_SET_REFCNT(type, Py_REFCNT(type) - static_cast<Py_ssize_t>(count_ - 1));  // the class outlives its nodes
        Py_DECREF(type);
        NodeArena::release(arena_, count_);
        count_ = 0;
    }

    NodeArena* arena_ = nullptr;
    std::size_t count_ = 0;
};

// A read node that the walk holds the last reference to, its children all taken already:
// released here instead of through the interpreter, which would only call back into
// node_dealloc for a node with nothing left to release. Only where read nodes are made without
// the interpreter's bookkeeping, which then never counted them as made and need not see them go.
bool released_in_place([[maybe_unused]] PyRef& dying, [[maybe_unused]] HeldReferences& held) noexcept
{
#ifdef BRINDLE_NODES_WITHOUT_LOCK
    auto& node = *reinterpret_cast<NodeObject*>(dying.get());
    if (node.arena == nullptr) return false;
    held.add(node.arena);
    release_fields(node);
    dying.release();
    return true;
#else
    return false;
#endif
}

// The children of one node, taken from the last to the first: the node's child count always
// says how many it still holds, so a node left half taken is a consistent node. Read trees are
// made children first, each subtree in one stretch of its arena just before its root; taking
// the last child first meets their nodes from the newest to the oldest, in falling address
// order, which the processor fetches ahead instead of missing node after node.
PyRef take_last_child(NodeObject& node) noexcept
{
    const auto count = static_cast<std::size_t>(Py_SIZE(&node));
    PyRef* children = node.child_refs();
    PyRef child = std::move(children[count - 1]);
    children[count - 1].~PyRef();
    Py_SET_SIZE(&node, static_cast<Py_ssize_t>(count - 1));
    return child;
}

// Releases a dying node whose children are all taken, counting those of the raw allocator.
void release_childless(PyRef node, HeldReferences& held, std::size_t& dismantled) noexcept
{
    dismantled += reinterpret_cast<NodeObject*>(node.get())->arena == nullptr;  // an arena's memory goes back whole
    released_in_place(node, held);  // or through the interpreter, as `node` goes
}

}  // namespace

void node_dealloc(PyObject* self)
{
    // Depth first without recursion: the stack holds the dying descendants being dismantled,
    // each the last reference to its node, one per level of the tree. A child that someone else
    // still holds only loses a reference, and a dying leaf goes at once; a dismantled node has
    // no children left when it is released, so releasing it never cascades into further
    // deallocations.
    auto& root = *reinterpret_cast<NodeObject*>(self);
    std::size_t dismantled = 0;
    call_frame_destructor(self, [&] {
        HeldReferences held;  // given back after the stack is gone
        std::vector<PyRef> dying;
        NodeObject* parent = &root;
        while (true) {
            while (Py_SIZE(parent) > 0) {
                const PyObject* next = parent->child_refs()[Py_SIZE(parent) - 1].get();
                const bool last_reference = Py_REFCNT(next) == 1;
                if (last_reference && Py_SIZE(next) > 0) {
                    if (dying.size() == dying.capacity()) dying.reserve(std::max<std::size_t>(16, 2 * dying.size()));
                    dying.push_back(take_last_child(*parent));  // cannot fail: the room is there
                    parent = reinterpret_cast<NodeObject*>(dying.back().get());
                } else if (last_reference) {
                    release_childless(take_last_child(*parent), held, dismantled);
                } else {
                    take_last_child(*parent);  // drops a reference that others share
                }
            }
            if (dying.empty()) break;
            PyRef finished = std::move(dying.back());
            dying.pop_back();
            release_childless(std::move(finished), held, dismantled);
            parent = dying.empty() ? &root : reinterpret_cast<NodeObject*>(dying.back().get());
        }
    });
    free_node_memory(root);
    if (dismantled >= kReturnMemoryAfterNodes) return_free_memory();
}

}  // namespace brindle
