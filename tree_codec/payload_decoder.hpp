// Reading a payload (payload_format.hpp) node by node, children first, so that the caller
// makes each node as soon as it is read, from nodes it has already made: no stack at all,
// whatever the depth, and no callback, so nothing the caller throws passes through here.
//
//   PayloadDecoder decoder(payload);
//   if (!decoder.start()) ...;                       // version and node count
//   for (n = 0; n < decoder.node_count(); ++n)
//       if (!decoder.next(node)) ...; else make node n from `node`
//   if (!decoder.finish()) ...;                      // nothing left over, every node has a parent
//
// Nothing read is trusted: every count and length is checked against the bytes left before
// anything is reserved for it, so a payload cannot make the decoder take memory out of
// proportion to its own size, and every string is checked to be UTF-8 before it is handed
// out. Each step is noexcept: a failing one returns false and leaves the reason in error(),
// an allocation that fails included (OutOfMemory); the decoder is then done.
//
// Views handed out point into the payload, which must outlive them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "reader/tree/attr_map.hpp"
#include "tree_codec/decode_error.hpp"

namespace brindle::tree_codec {

// One node's fields as read. The decoder fills the same object node after node: a caller that
// keeps the attribute map moves it out.
struct DecodedNode {
    std::string_view name;
    std::optional<std::string_view> text;  // none for a node without text
    reader::AttrMap attrs;
    std::vector<std::uint64_t> children;  // the numbers of earlier nodes, in the order listed
};

class PayloadDecoder {
public:
    explicit PayloadDecoder(std::string_view payload) noexcept : payload_(payload), rest_(payload) {}

    // Reads the version and then the header of that version's format.
    [[nodiscard]] bool start() noexcept;
    // The number of nodes the payload holds, once started; at least 1.
    std::uint64_t node_count() const noexcept { return node_count_; }
    // Reads the next node (the first call node 0, then 1, ...) into `node`.
    [[nodiscard]] bool next(DecodedNode& node) noexcept;
    // After node_count() nodes: no byte is left, and every node but the last (the root) is
    // listed as a child by a later one.
    [[nodiscard]] bool finish() noexcept;

    const DecodeError& error() const noexcept { return error_; }

private:
    // The functions of one format version, listed by version in payload_decoder.cpp: a new
    // version adds its functions there, and no step branches on the version.
    struct Format {
        bool (PayloadDecoder::*read_header)();
        bool (PayloadDecoder::*read_node)(DecodedNode& node);
    };
    static const Format kFormats[];

    // Each returns false on a malformed payload and throws std::bad_alloc when memory runs out;
    // the public steps turn that into OutOfMemory.
    bool read_header_version_1();
    bool read_node_version_1(DecodedNode& node);

    // The readers of the grammar's pieces, inline in the node reader, which runs once a node.
    [[gnu::always_inline]] inline bool varint(std::uint64_t& value) noexcept;
    [[gnu::noinline]] bool long_varint(std::uint64_t& value) noexcept;
    [[gnu::always_inline]] inline bool count(std::size_t smallest_item, std::uint64_t& value) noexcept;
    [[gnu::always_inline]] inline bool bytes(std::uint64_t size, std::string_view& taken) noexcept;
    [[gnu::always_inline]] inline bool utf8(std::uint64_t size, std::string_view& text) noexcept;
    [[gnu::always_inline]] inline bool label(std::string_view& label);
    bool text(std::optional<std::string_view>& text) noexcept;
    bool attrs(reader::AttrMap& attrs);
    bool children(std::vector<std::uint64_t>& children);

    std::uint64_t offset() const noexcept { return payload_.size() - rest_.size(); }
    [[gnu::cold]] bool fail(DecodeErrorKind kind, std::uint64_t at, std::uint64_t value = 0) noexcept;

    std::string_view payload_;
    std::string_view rest_;
    const Format* format_ = nullptr;
    std::uint64_t node_count_ = 0;
    std::uint64_t number_ = 0;              // the number of the next node to read
    std::vector<std::string_view> labels_;  // views into the payload, by number
    std::vector<bool> has_parent_;          // by node number: listed as a child by a later node
    DecodeError error_;
};

}  // namespace brindle::tree_codec
