// Encoding a tree (tree_encoding.hpp): one walk in post-order with a stack of its own, so depth
// costs no native recursion, and each distinct node written once.
//
// A node that is listed twice somewhere holds two references, so a node held by one reference
// only (its parent's; nearly every node of a read tree) cannot be met again: only nodes with
// more are looked up among those already written, which keeps the walk of a tree without
// sharing free of lookups. The call holds the root alive and nodes never change, so the walk
// reads them in place.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "entities/node.hpp"
#include "entities/tree_encoding.hpp"
#include "ffi/interrupt_poll.hpp"
#include "reader/tree/attr_map.hpp"

namespace brindle {

namespace {

constexpr std::size_t kMaxVarintBytes = 10;

// Writes `value` as a varint at `at`; returns the bytes written.
std::size_t put_varint_at(char* at, std::uint64_t value) noexcept
{
    std::size_t size = 0;
    for (; value >= 0x80; value >>= 7) at[size++] = static_cast<char>(value | 0x80);
    at[size++] = static_cast<char>(value);
    return size;
}

// Labels come from the tree, which may come from a crafted document: the hash is keyed, as
// attribute maps' are, so no set of names makes the lookups collide.
struct KeyedLabelHash {
    std::uint64_t seed = reader::next_map_seed();
    std::size_t operator()(std::string_view label) const noexcept { return reader::keyed_hash(label, seed); }
};

struct Visit {
    const NodeObject* node;
    std::size_t next_child;
};

// The payload, written straight into the bytes object that will hold it, which grows by
// doubling and is cut to its final size at the end.
class PayloadWriter {
public:
    PayloadWriter() : bytes_(checked(PyBytes_FromStringAndSize(nullptr, kFirstCapacity))) {}

    void put_varint(std::uint64_t value) { size_ += put_varint_at(room(kMaxVarintBytes), value); }
    void put_bytes(std::string_view bytes)
    {
        if (bytes.empty()) return;
        std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
        size_ += bytes.size();
    }
    // Overwrites kNodeCountBytes written earlier at `offset`.
    void put_count_at(std::size_t offset, std::uint64_t count) noexcept;
    PyRef finish() &&;

private:
    static constexpr std::size_t kFirstCapacity = 256;

    char* data() const noexcept { return PyBytes_AS_STRING(bytes_.get()); }
    std::size_t capacity() const noexcept { return static_cast<std::size_t>(PyBytes_GET_SIZE(bytes_.get())); }
    // Where `size` more bytes go.
    char* room(std::size_t size)
    {
        if (size > capacity() - size_) [[unlikely]]
            resize(std::max(capacity() * 2, size_ + size));
        return data() + size_;
    }
    void resize(std::size_t capacity);

    PyRef bytes_;
    std::size_t size_ = 0;
};

void PayloadWriter::resize(std::size_t capacity)
{
    PyObject* bytes = bytes_.release();
    // On failure the object is freed and the pointer cleared.
    const int status = _PyBytes_Resize(&bytes, static_cast<Py_ssize_t>(capacity));
    bytes_ = PyRef::steal(bytes);
    if (status < 0) throw_python_error();
}

void PayloadWriter::put_count_at(std::size_t offset, std::uint64_t count) noexcept
{
    for (std::size_t i = 0; i < kNodeCountBytes; ++i) data()[offset + i] = static_cast<char>(count >> (8 * i));
}

PyRef PayloadWriter::finish() &&
{
    resize(size_);
    return std::move(bytes_);
}

class TreeEncoder {
public:
    PyRef encode(PyObject* root);

private:
    void put_string(std::string_view text)
    {
        out_.put_varint(text.size());
        out_.put_bytes(text);
    }
    void put_label(std::string_view label);
    void put_node(const NodeObject& node, std::uint64_t number);
    // The number of a child already written, or nullptr for one to write now.
    const std::uint64_t* written(PyObject* child) const;

    PayloadWriter out_;
    std::unordered_map<std::string_view, std::uint64_t, KeyedLabelHash> labels_;
    std::unordered_map<PyObject*, std::uint64_t> shared_;  // the numbers of written nodes held more than once
    std::vector<std::uint64_t> finished_;                  // numbers of written children awaiting their parent
    std::uint64_t count_ = 0;
};

PyRef TreeEncoder::encode(PyObject* root)
{
    out_.put_bytes({reinterpret_cast<const char*>(&kTreeEncodingVersion), 1});
    out_.put_bytes(std::string_view("\0\0\0\0\0\0\0\0", kNodeCountBytes));  // known at the end
    std::vector<Visit> path{{&node_object(root), 0}};
    InterruptPoll poll(kNodesBetweenPolls);
    while (!path.empty()) {
        Visit& visit = path.back();
        const auto children = visit.node->children();
        if (visit.next_child < children.size()) {
            PyObject* child = children[visit.next_child++].get();
            if (const std::uint64_t* number = written(child)) {
                finished_.push_back(*number);
            } else {
                poll.progress(count_ + path.size());
                path.push_back({&node_object(child), 0});
            }
            continue;
        }
        const std::uint64_t number = count_++;
        put_node(*visit.node, number);
        auto* node = reinterpret_cast<PyObject*>(const_cast<NodeObject*>(visit.node));
        if (Py_REFCNT(node) > 1) shared_.emplace(node, number);
        finished_.push_back(number);
        path.pop_back();
    }
    out_.put_count_at(1, count_);
    return std::move(out_).finish();
}

const std::uint64_t* TreeEncoder::written(PyObject* child) const
{
    if (Py_REFCNT(child) == 1) return nullptr;
    const auto found = shared_.find(child);
    return found == shared_.end() ? nullptr : &found->second;
}

void TreeEncoder::put_label(std::string_view label)
{
    if (label.size() <= kLongestLabel) {
        const auto [entry, added] = labels_.try_emplace(label, labels_.size());
        if (!added) {
            out_.put_varint(entry->second << 1 | 1);
            return;
        }
    }
    out_.put_varint(std::uint64_t{label.size()} << 1);
    out_.put_bytes(label);
}

// The node's children are the last of `finished_`, in order.
void TreeEncoder::put_node(const NodeObject& node, std::uint64_t number)
{
    put_label(node.name);
    if (const auto text = node.text.view()) {
        out_.put_varint(std::uint64_t{text->size()} + 1);
        out_.put_bytes(*text);
    } else {
        out_.put_varint(0);
    }
    out_.put_varint(node.attrs.size());
    for (const auto& [key, value] : node.attrs) {
        put_label(key);
        put_string(value);
    }
    const std::size_t child_count = node.children().size();
    out_.put_varint(child_count);
    const std::size_t first = finished_.size() - child_count;
    for (std::size_t i = first; i < finished_.size(); ++i) out_.put_varint(number - finished_[i]);
    finished_.resize(first);
}

}  // namespace

PyRef encode_tree(PyObject* root) { return TreeEncoder().encode(root); }

}  // namespace brindle
