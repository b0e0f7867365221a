// Encoding a tree (tree_encoding.hpp): one walk in post-order with a stack of its own, so depth
// costs no native recursion, and each distinct node handed once to the payload writer
// (tree_codec/), which writes the byte format straight into the bytes object that will hold it.
//
// A node that is listed twice somewhere holds two references, so a node held by one reference
// only (its parent's; nearly every node of a read tree) cannot be met again: only nodes with
// more are looked up among those already written, which keeps the walk of a tree without
// sharing free of lookups. The call holds the root alive and nodes never change, so the walk
// reads them in place.
#include <cstdint>
#include <new>
#include <span>
#include <unordered_map>
#include <vector>

#include "convert/tree_encoding.hpp"
#include "ffi/interrupt_poll.hpp"
#include "node/node.hpp"
#include "tree_codec/payload_writer.hpp"

namespace brindle::convert {

using namespace ffi;

namespace {

struct Visit {
    const node::NodeObject* node;
    std::size_t next_child;
};

// The bytes object the payload is written into, grown as the writer asks and cut to the
// payload's size at the end.
class BytesStorage final : public tree_codec::PayloadStorage {
public:
    char* grow(std::size_t capacity) noexcept override;
    PyRef take(std::size_t size) &&;

private:
    PyRef bytes_;
};

char* BytesStorage::grow(std::size_t capacity) noexcept
{
    if (!bytes_) {
        bytes_ = PyRef::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(capacity)));
    } else {
        PyObject* bytes = bytes_.release();
        // On failure the object is freed and the pointer cleared.
        _PyBytes_Resize(&bytes, static_cast<Py_ssize_t>(capacity));
        bytes_ = PyRef::steal(bytes);
    }
    if (!bytes_) {
        PyErr_Clear();  // the writer's failure is the MemoryError the caller raises
        return nullptr;
    }
    return PyBytes_AS_STRING(bytes_.get());
}

PyRef BytesStorage::take(std::size_t size) &&
{
    if (grow(size) == nullptr) throw std::bad_alloc();
    return std::move(bytes_);
}

class TreeEncoder {
public:
    TreeEncoder() : writer_(storage_) {}

    PyRef encode(PyObject* root);

private:
    void put_node(const node::NodeObject& node);
    // The number of a child already written, or nullptr for one to write now.
    const std::uint64_t* written(PyObject* child) const;

    BytesStorage storage_;
    tree_codec::PayloadWriter writer_;
    std::unordered_map<PyObject*, std::uint64_t> shared_;  // the numbers of written nodes held more than once
    std::vector<std::uint64_t> finished_;                  // numbers of written children awaiting their parent
};

PyRef TreeEncoder::encode(PyObject* root)
{
    if (!writer_.start()) throw std::bad_alloc();
    std::vector<Visit> path{{&node::node_object(root), 0}};
    InterruptPoll poll(kNodesBetweenPolls);
    while (!path.empty()) {
        Visit& visit = path.back();
        const auto children = visit.node->children();
        if (visit.next_child < children.size()) {
            PyObject* child = children[visit.next_child++].get();
            if (const std::uint64_t* number = written(child)) {
                finished_.push_back(*number);
            } else {
                poll.progress(writer_.nodes_written() + path.size());
                path.push_back({&node::node_object(child), 0});
            }
            continue;
        }
        const std::uint64_t number = writer_.nodes_written();
        put_node(*visit.node);
        auto* node = reinterpret_cast<PyObject*>(const_cast<node::NodeObject*>(visit.node));
        if (Py_REFCNT(node) > 1) shared_.emplace(node, number);
        finished_.push_back(number);
        path.pop_back();
    }
    return std::move(storage_).take(writer_.finish());
}

const std::uint64_t* TreeEncoder::written(PyObject* child) const
{
    if (Py_REFCNT(child) == 1) return nullptr;
    const auto found = shared_.find(child);
    return found == shared_.end() ? nullptr : &found->second;
}

// The node's children are the last of `finished_`, in order.
void TreeEncoder::put_node(const node::NodeObject& node)
{
    const std::size_t first = finished_.size() - node.children().size();
    const std::span<const std::uint64_t> children(finished_.data() + first, finished_.size() - first);
    if (!writer_.put_node(node.name, node.text.view(), node.attrs, children)) throw std::bad_alloc();
    finished_.resize(first);
}

}  // namespace

PyRef encode_tree(PyObject* root) { return TreeEncoder().encode(root); }

}  // namespace brindle::convert
