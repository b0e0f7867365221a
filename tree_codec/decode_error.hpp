// How decoding a payload fails, as a value: the kind, the byte offset where the fault was
// found, and the number its message needs. The decoder never throws; only the Python-facing
// entry point (src/convert/tree_decode.cpp) turns the value into text and an exception.
#pragma once

#include <cstdint>

namespace brindle::tree_codec {

enum class DecodeErrorKind : std::uint8_t {
    None,                // no failure
    Truncated,           // a field runs past the end, or a count claims more than the bytes left
    UnknownVersion,      // value: the version byte; offset 0
    NoNode,              // the node count is zero
    NumberOutOfRange,    // a varint of more than 64 bits; offset: its first byte
    NotUtf8,             // offset: the string's first byte
    UndefinedLabel,      // a label reference beyond the labels defined; offset: its first byte
    DuplicateKey,        // value: the node's number; offset: the repeated key's label
    ChildNotEarlier,     // a gap of 0 or beyond the first node; value: the node's number
    BytesAfterLastNode,  // offset: the first byte after the last node
    NodeWithoutParent,   // value: the number of a node no later node lists; offset: the end
    OutOfMemory,         // an allocation failed
};

struct DecodeError {
    DecodeErrorKind kind = DecodeErrorKind::None;
    std::uint64_t offset = 0;
    std::uint64_t value = 0;

    bool failed() const noexcept { return kind != DecodeErrorKind::None; }
};

}  // namespace brindle::tree_codec
