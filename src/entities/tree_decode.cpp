// Decoding a tree (tree_encoding.hpp): the nodes come children first, so each is made as soon as
// it is read, from nodes already made; no stack at all, whatever the depth.
//
// Nothing read is trusted: every count and length is checked against the bytes left before
// anything is reserved for it, so a payload cannot make the decoder take memory out of
// proportion to its own size, and every string is checked to be UTF-8 before a node holds it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "entities/node.hpp"
#include "entities/tree_encoding.hpp"
#include "ffi/interrupt_poll.hpp"
#include "kernels/kernels.hpp"

namespace brindle {

namespace {

[[noreturn]] void throw_malformed(const std::string& reason)
{
    throw_error(PyExc_ValueError, "invalid Node pickle: " + reason);
}

class TreeDecoder {
public:
    explicit TreeDecoder(std::string_view payload) noexcept : rest_(payload) {}

    PyRef decode();

private:
    std::uint64_t varint();
    std::uint64_t count(std::size_t smallest_item);
    std::uint64_t fixed_count();
    std::string_view bytes(std::uint64_t size);
    std::string_view utf8(std::uint64_t size);
    std::string_view label();
    NodeText text();
    AttrMap attrs();
    void read_children(std::size_t number);
    PyRef node(std::size_t number);
    void check_every_node_has_a_parent() const;

    std::string_view rest_;
    std::vector<std::string_view> labels_;  // views into the payload
    std::vector<PyRef> made_;               // every node made so far, by number
    std::vector<PyRef> children_;           // the children of the node being made
};

PyRef TreeDecoder::decode()
{
    const auto version = static_cast<unsigned char>(bytes(1)[0]);
    if (version != kTreeEncodingVersion) throw_malformed("unknown format version " + std::to_string(version));
    const std::uint64_t node_count = fixed_count();
    if (node_count == 0) throw_malformed("no node");
    made_.reserve(node_count);
    InterruptPoll poll(kNodesBetweenPolls);
    for (std::size_t number = 0; number < node_count; ++number) {
        poll.progress(number);
        made_.push_back(node(number));
    }
    if (!rest_.empty()) throw_malformed("bytes after the last node");
    check_every_node_has_a_parent();
    return std::move(made_.back());
}

std::uint64_t TreeDecoder::varint()
{
    std::uint64_t value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes(1)[0]);
        const std::uint64_t group = byte & 0x7F;
        if ((group << shift >> shift) != group) throw_malformed("a number out of range");
        value |= group << shift;
        if ((byte & 0x80) == 0) return value;
    }
    throw_malformed("a number out of range");
}

// A count of items that take at least `smallest_item` bytes each, checked against the bytes left.
std::uint64_t TreeDecoder::count(std::size_t smallest_item)
{
    const std::uint64_t value = varint();
    if (value > rest_.size() / smallest_item) throw_malformed("truncated");
    return value;
}

// The node count, checked against the bytes left as count() does.
std::uint64_t TreeDecoder::fixed_count()
{
    const std::string_view field = bytes(kNodeCountBytes);
    std::uint64_t value = 0;
    for (std::size_t i = kNodeCountBytes; i-- > 0;) value = value << 8 | static_cast<unsigned char>(field[i]);
    if (value > rest_.size() / kSmallestEncodedNode) throw_malformed("truncated");
    return value;
}

std::string_view TreeDecoder::bytes(std::uint64_t size)
{
    if (size > rest_.size()) throw_malformed("truncated");
    const std::string_view taken = rest_.substr(0, size);
    rest_.remove_prefix(size);
    return taken;
}

std::string_view TreeDecoder::utf8(std::uint64_t size)
{
    const std::string_view text = bytes(size);
    if (!kernels::is_valid_utf8(text)) throw_malformed("a string that is not UTF-8");
    return text;
}

std::string_view TreeDecoder::label()
{
    const std::uint64_t value = varint();
    if ((value & 1) == 0) {
        const std::string_view label = utf8(value >> 1);
        if (label.size() <= kLongestLabel) labels_.push_back(label);
        return label;
    }
    if ((value >> 1) >= labels_.size()) throw_malformed("a label not yet defined");
    return labels_[value >> 1];
}

NodeText TreeDecoder::text()
{
    const std::uint64_t value = varint();
    if (value == 0) return NodeText();
    return NodeText(utf8(value - 1));
}

AttrMap TreeDecoder::attrs()
{
    AttrMap attrs;
    // A key and a value take a byte each at least.
    for (std::uint64_t left = count(2); left != 0; --left) {
        const std::string_view key = label();
        const std::string_view value = utf8(varint());
        if (!attrs.insert(key, value)) throw_malformed("two attributes with one key");
    }
    return attrs;
}

// Each child takes a new reference, one per place it is listed.
void TreeDecoder::read_children(std::size_t number)
{
    children_.clear();
    for (std::uint64_t left = count(1); left != 0; --left) {
        const std::uint64_t gap = varint();
        if (gap == 0 || gap > number) throw_malformed("a child that is not an earlier node");
        children_.push_back(PyRef::borrow(made_[number - gap].get()));
    }
}

PyRef TreeDecoder::node(std::size_t number)
{
    NodeString name(label());
    NodeText node_text = text();
    AttrMap node_attrs = attrs();
    read_children(number);
    return make_node(std::move(name), std::move(node_attrs), children_, std::move(node_text));
}

// Made nodes are seen by no one else yet, so a reference count of one is the decoder's own: a
// node that no later node lists as a child.
void TreeDecoder::check_every_node_has_a_parent() const
{
    for (std::size_t i = 0; i + 1 < made_.size(); ++i) {
        if (Py_REFCNT(made_[i].get()) == 1) throw_malformed("a node that is no node's child");
    }
}

}  // namespace

PyRef decode_tree(std::string_view payload) { return TreeDecoder(payload).decode(); }

}  // namespace brindle
