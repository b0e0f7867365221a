// The tree codec's byte format: an arbitrary payload, read node by node.
//
// Whatever the input, decoding ends in the nodes or in one error value whose offset lies within
// the payload, with no crash, hang or sanitizer report. A payload that decodes is written again
// from its nodes: that payload decodes to the same nodes, and writing those gives the same
// bytes again (the writer's form is stable).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/expect.hpp"
#include "tree_codec/payload_decoder.hpp"
#include "tree_codec/payload_writer.hpp"

namespace brindle::fuzz {
namespace {

struct Node {
    std::string name;
    std::optional<std::string> text;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::vector<std::uint64_t> children;
    bool operator==(const Node&) const = default;
};

// The nodes of `payload`, or nullopt when it is malformed.
std::optional<std::vector<Node>> decode(std::string_view payload)
{
    tree_codec::PayloadDecoder decoder(payload);
    std::vector<Node> nodes;
    tree_codec::DecodedNode node;
    bool ok = decoder.start();
    for (std::uint64_t number = 0; ok && number < decoder.node_count(); ++number) {
        ok = decoder.next(node);
        if (!ok) break;
        Node& kept = nodes.emplace_back(Node{std::string(node.name), {}, {}, node.children});
        if (node.text) kept.text = std::string(*node.text);
        for (const auto& [key, value] : node.attrs) kept.attrs.emplace_back(key, value);
        for (const std::uint64_t child : node.children) EXPECT(child < number, "children are earlier nodes");
    }
    ok = ok && decoder.finish();
    const tree_codec::DecodeError& error = decoder.error();
    EXPECT(ok != error.failed(), "a step fails exactly when it leaves an error");
    EXPECT(error.offset <= payload.size(), "the fault lies within the payload");
    EXPECT(error.kind != tree_codec::DecodeErrorKind::OutOfMemory, "small payloads take little memory");
    if (!ok) return std::nullopt;
    return nodes;
}

class StringStorage final : public tree_codec::PayloadStorage {
public:
    char* grow(std::size_t capacity) noexcept override
    {
        bytes.resize(capacity);
        return bytes.data();
    }
    std::string bytes;
};

std::string encode(const std::vector<Node>& nodes)
{
    StringStorage storage;
    tree_codec::PayloadWriter writer(storage);
    EXPECT(writer.start(), "the header fits");
    std::vector<reader::AttrMap> maps(nodes.size());  // alive while the writer keeps views of keys
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const Node& node = nodes[i];
        reader::AttrMap& attrs = maps[i];
        for (const auto& [key, value] : node.attrs) EXPECT(attrs.insert(key, value), "decoded keys are distinct");
        EXPECT(writer.put_node(node.name, node.text, attrs, node.children), "small trees fit");
    }
    storage.bytes.resize(writer.finish());
    return storage.bytes;
}

}  // namespace
}  // namespace brindle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto nodes = brindle::fuzz::decode({reinterpret_cast<const char*>(data), size});
    if (!nodes) return 0;
    const std::string written = brindle::fuzz::encode(*nodes);
    const auto again = brindle::fuzz::decode(written);
    EXPECT(again && *again == *nodes, "what the writer writes decodes to the nodes it was given");
    EXPECT(brindle::fuzz::encode(*again) == written, "writing the same nodes gives the same bytes");
    return 0;
}
