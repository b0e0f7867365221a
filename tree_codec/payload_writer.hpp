// Writing a payload (payload_format.hpp) node by node, children before their parents, into a
// block of bytes the caller provides and grows on request (for Python, the bytes object that
// will hold the payload, so nothing is copied at the end).
//
//   PayloadWriter writer(storage);
//   writer.start();
//   for each distinct node, children first: writer.put_node(name, text, attrs, child numbers);
//   size = writer.finish();                 // the payload is the block's first `size` bytes
//
// Each step is noexcept and returns false when memory runs out (the storage could not grow, or
// the label table could not); the writer is then done. The label table keeps views of the names
// and attribute keys handed in: they must stay alive and unchanged until finish().
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "reader/tree/attr_map.hpp"
#include "tree_codec/payload_format.hpp"

namespace brindle::tree_codec {

// The block a payload is written into.
class PayloadStorage {
public:
    // The block, grown to at least `capacity` bytes with the bytes written so far kept, or
    // nullptr when memory ran out.
    virtual char* grow(std::size_t capacity) noexcept = 0;

protected:
    ~PayloadStorage() = default;
};

// Labels may come from a crafted document: the hash is keyed, as attribute maps' are, so no set
// of names makes the lookups collide.
struct KeyedLabelHash {
    std::uint64_t seed = reader::next_map_seed();
    std::size_t operator()(std::string_view label) const noexcept { return reader::keyed_hash(label, seed); }
};

class PayloadWriter {
public:
    explicit PayloadWriter(PayloadStorage& storage) : storage_(storage) {}

    // The version and room for the node count.
    [[nodiscard]] bool start() noexcept;
    // The next node, which takes the number nodes_written() had before the call. `children`
    // are the numbers of nodes already written, in order, repeats allowed.
    [[nodiscard]] bool put_node(std::string_view name, std::optional<std::string_view> text,
                                const reader::AttrMap& attrs, std::span<const std::uint64_t> children) noexcept;
    std::uint64_t nodes_written() const noexcept { return count_; }
    // Fills in the node count; returns the payload's size.
    std::size_t finish() noexcept;

private:
    bool put_varint(std::uint64_t value) noexcept
    {
        char* at = room(kMaxVarintBytes);
        if (at == nullptr) [[unlikely]]
            return false;
        for (; value >= 0x80; value >>= 7) *at++ = static_cast<char>(value | 0x80);
        *at++ = static_cast<char>(value);
        size_ = static_cast<std::size_t>(at - data_);
        return true;
    }
    bool put_bytes(std::string_view bytes) noexcept;
    bool put_string(std::string_view text) noexcept { return put_varint(text.size()) && put_bytes(text); }
    bool put_label(std::string_view label);  // throws std::bad_alloc from the label table
    // Where `size` more bytes go, or nullptr when the storage cannot grow.
    char* room(std::size_t size) noexcept
    {
        if (size > capacity_ - size_) [[unlikely]]
            return grow(size);
        return data_ + size_;
    }
    char* grow(std::size_t size) noexcept;

    PayloadStorage& storage_;
    char* data_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::uint64_t count_ = 0;
    std::unordered_map<std::string_view, std::uint64_t, KeyedLabelHash> labels_;
};

}  // namespace brindle::tree_codec
