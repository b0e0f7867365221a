// The tree codec's byte format: what the writer writes the decoder reads back, node for node
// (sharing, labels, long names, texts and attributes), and every malformed payload ends in its
// error value, with the offset of the fault.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tree_codec/payload_decoder.hpp"
#include "tree_codec/payload_writer.hpp"

namespace brindle::tree_codec {
namespace {

class StringStorage final : public PayloadStorage {
public:
    char* grow(std::size_t capacity) noexcept override
    {
        bytes.resize(capacity);
        return bytes.data();
    }
    std::string bytes;
};

// A node as its fields, attributes written "key=value;".
struct Node {
    std::string name;
    std::optional<std::string> text;
    std::string attrs;
    std::vector<std::uint64_t> children;
    bool operator==(const Node&) const = default;
};

std::string encode(const std::vector<Node>& nodes)
{
    StringStorage storage;
    PayloadWriter writer(storage);
    EXPECT_TRUE(writer.start());
    std::vector<reader::AttrMap> maps(nodes.size());  // alive while the writer keeps views of keys
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const Node& node = nodes[i];
        reader::AttrMap& attrs = maps[i];
        for (std::size_t at = 0; at < node.attrs.size();) {
            const std::size_t equals = node.attrs.find('=', at), end = node.attrs.find(';', at);
            attrs.insert(std::string_view(node.attrs).substr(at, equals - at),
                         std::string_view(node.attrs).substr(equals + 1, end - equals - 1));
            at = end + 1;
        }
        EXPECT_TRUE(writer.put_node(node.name, node.text, attrs, node.children));
    }
    storage.bytes.resize(writer.finish());
    return storage.bytes;
}

// The nodes of a payload, or its error.
std::vector<Node> decode(std::string_view payload, DecodeError& error)
{
    PayloadDecoder decoder(payload);
    std::vector<Node> nodes;
    DecodedNode node;
    bool ok = decoder.start();
    for (std::uint64_t n = 0; ok && n < decoder.node_count(); ++n) {
        if (!(ok = decoder.next(node))) break;
        std::string attrs;
        for (const auto& [key, value] : node.attrs) attrs += std::string(key) + "=" + std::string(value) + ";";
        nodes.push_back({std::string(node.name), node.text ? std::optional<std::string>(*node.text) : std::nullopt,
                         attrs, node.children});
    }
    ok = ok && decoder.finish();
    error = decoder.error();
    EXPECT_EQ(ok, !error.failed());
    return nodes;
}

TEST(Payload, DecodesWhatWasWritten)
{
    const std::string long_name(65, 'n');
    const std::vector<Node> nodes = {
        {"leaf", "", "k=v;", {}},     {long_name, std::nullopt, long_name + "=1;a=\xc3\xa9;", {}},
        {long_name, "text", "", {0}}, {"leaf", std::nullopt, "k=w;z=;", {0, 1, 0, 2}},
        {"r", "t", "", {3, 0}},
    };
    const std::string payload = encode(nodes);
    DecodeError error;
    EXPECT_EQ(decode(payload, error), nodes);
    EXPECT_FALSE(error.failed());
}

// A header claiming `count` nodes (version 1), then `nodes`.
std::string payload(std::string_view nodes, std::uint64_t count, char version = 1)
{
    std::string out(1, version);
    for (int i = 0; i < 8; ++i) out += static_cast<char>(count >> (8 * i));
    return out + std::string(nodes);
}

const std::string kLeaf("\x02\x61\x00\x00\x00", 5);  // name "a", no text, no attributes, no children

struct Malformed {
    const char* what;
    std::string payload;
    DecodeErrorKind kind;
    std::uint64_t offset;
    std::uint64_t value;
};

class MalformedPayload : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedPayload, IsItsErrorValue)
{
    DecodeError error;
    decode(GetParam().payload, error);
    EXPECT_EQ(static_cast<int>(error.kind), static_cast<int>(GetParam().kind)) << GetParam().what;
    EXPECT_EQ(error.offset, GetParam().offset) << GetParam().what;
    EXPECT_EQ(error.value, GetParam().value) << GetParam().what;
}

using K = DecodeErrorKind;
INSTANTIATE_TEST_SUITE_P(
    Kinds, MalformedPayload,
    ::testing::Values(
        Malformed{"empty", "", K::Truncated, 0, 0},
        Malformed{"version 2", payload(kLeaf, 1, 2), K::UnknownVersion, 0, 2},
        Malformed{"no node", payload("", 0), K::NoNode, 1, 0},
        Malformed{"count beyond the bytes", payload(kLeaf, 2), K::Truncated, 1, 0},
        Malformed{"label not defined", payload(std::string("\x01\0\0\0", 4), 1), K::UndefinedLabel, 9, 0},
        Malformed{"not UTF-8", payload(std::string("\x02\xff\0\0\0", 5), 1), K::NotUtf8, 10, 0},
        Malformed{"number beyond 64 bits", payload(std::string(9, '\xff') + "\x02", 1), K::NumberOutOfRange, 9, 0},
        Malformed{"key twice", payload(std::string("\x02\x61\x00\x02\x02\x6b\x00\x03\x00\x00", 10), 1), K::DuplicateKey,
                  16, 0},
        Malformed{"child not earlier", payload(kLeaf + std::string("\x01\x00\x00\x01\x02", 5), 2), K::ChildNotEarlier,
                  18, 1},
        Malformed{"bytes after", payload(kLeaf + "x", 1), K::BytesAfterLastNode, 14, 0},
        Malformed{"no parent", payload(kLeaf + std::string("\x01\0\0\0", 4), 2), K::NodeWithoutParent, 18, 0}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

}  // namespace
}  // namespace brindle::tree_codec
