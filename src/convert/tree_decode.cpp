// Decoding a tree (tree_encoding.hpp): the payload decoder (tree_codec/) reads the nodes
// children first and checks every rule of the format; here each is made as soon as it is read,
// from nodes already made, and a decoder's error value becomes the ValueError.
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "convert/tree_encoding.hpp"
#include "ffi/interrupt_poll.hpp"
#include "node/node.hpp"
#include "tree_codec/payload_decoder.hpp"

namespace brindle::convert {

using namespace ffi;

namespace {

using tree_codec::DecodeError;
using tree_codec::DecodeErrorKind;

std::string malformed_reason(const DecodeError& error)
{
    switch (error.kind) {
    case DecodeErrorKind::Truncated: return "truncated";
    case DecodeErrorKind::UnknownVersion: return "unknown format version " + std::to_string(error.value);
    case DecodeErrorKind::NoNode: return "no node";
    case DecodeErrorKind::NumberOutOfRange: return "a number out of range";
    case DecodeErrorKind::NotUtf8: return "a string that is not UTF-8";
    case DecodeErrorKind::UndefinedLabel: return "a label not yet defined";
    case DecodeErrorKind::DuplicateKey: return "two attributes with one key";
    case DecodeErrorKind::ChildNotEarlier: return "a child that is not an earlier node";
    case DecodeErrorKind::BytesAfterLastNode: return "bytes after the last node";
    case DecodeErrorKind::NodeWithoutParent: return "a node that is no node's child";
    case DecodeErrorKind::None:
    case DecodeErrorKind::OutOfMemory: break;  // no malformed payload (throw_decode_error)
    }
    return {};
}

[[noreturn]] void throw_decode_error(const DecodeError& error)
{
    if (error.kind == DecodeErrorKind::OutOfMemory) throw std::bad_alloc();
    throw_error(PyExc_ValueError, "invalid Node pickle: " + malformed_reason(error));
}

}  // namespace

PyRef decode_tree(std::string_view payload)
{
    tree_codec::PayloadDecoder decoder(payload);
    if (!decoder.start()) throw_decode_error(decoder.error());
    std::vector<PyRef> made;  // every node made so far, by number
    made.reserve(decoder.node_count());
    tree_codec::DecodedNode node;
    std::vector<PyRef> children;  // the children of the node being made
    InterruptPoll poll(kNodesBetweenPolls);
    for (std::size_t number = 0; number < decoder.node_count(); ++number) {
        poll.progress(number);
        if (!decoder.next(node)) throw_decode_error(decoder.error());
        // Each child takes a new reference, one per place it is listed.
        children.clear();
        for (const std::uint64_t child : node.children) children.push_back(PyRef::borrow(made[child].get()));
        made.push_back(node::make_node(node::NodeString(node.name), std::move(node.attrs), children,
                                       node.text ? node::NodeText(*node.text) : node::NodeText()));
    }
    if (!decoder.finish()) throw_decode_error(decoder.error());
    return std::move(made.back());
}

}  // namespace brindle::convert
