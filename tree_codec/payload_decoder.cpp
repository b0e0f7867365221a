// Reading a payload (payload_decoder.hpp). The steps dispatch to the functions of the
// payload's format version; the helpers below them read the grammar's pieces, each checking
// what it reads against the bytes left.
#include "tree_codec/payload_decoder.hpp"

#include <new>

#include "kernels/kernels.hpp"
#include "tree_codec/payload_format.hpp"

namespace brindle::tree_codec {

// By version, from version 1.
const PayloadDecoder::Format PayloadDecoder::kFormats[] = {
    {&PayloadDecoder::read_header_version_1, &PayloadDecoder::read_node_version_1},
};

bool PayloadDecoder::start() noexcept
{
    std::string_view version;
    if (!bytes(1, version)) return false;
    const auto number = static_cast<unsigned char>(version[0]);
    if (number == 0 || number > std::size(kFormats)) return fail(DecodeErrorKind::UnknownVersion, 0, number);
    format_ = &kFormats[number - 1];
    try {
        return (this->*format_->read_header)();
    } catch (const std::bad_alloc&) {
        return fail(DecodeErrorKind::OutOfMemory, offset());
    }
}

bool PayloadDecoder::next(DecodedNode& node) noexcept
{
    try {
        if (!(this->*format_->read_node)(node)) return false;
    } catch (const std::bad_alloc&) {
        return fail(DecodeErrorKind::OutOfMemory, offset());
    }
    ++number_;
    return true;
}

bool PayloadDecoder::finish() noexcept
{
    if (!rest_.empty()) return fail(DecodeErrorKind::BytesAfterLastNode, offset());
    for (std::uint64_t number = 0; number + 1 < node_count_; ++number) {
        if (!has_parent_[number]) return fail(DecodeErrorKind::NodeWithoutParent, offset(), number);
    }
    return true;
}

// The node count, fixed-size, checked against the bytes left as count() does.
bool PayloadDecoder::read_header_version_1()
{
    std::string_view field;
    if (!bytes(kNodeCountBytes, field)) return false;
    std::uint64_t value = 0;
    for (std::size_t i = kNodeCountBytes; i-- > 0;) value = value << 8 | static_cast<unsigned char>(field[i]);
    if (value > rest_.size() / kSmallestEncodedNode)
        return fail(DecodeErrorKind::Truncated, offset() - kNodeCountBytes);
    if (value == 0) return fail(DecodeErrorKind::NoNode, offset() - kNodeCountBytes);
    node_count_ = value;
    has_parent_.assign(value, false);
    return true;
}

bool PayloadDecoder::read_node_version_1(DecodedNode& node)
{
    return label(node.name) && text(node.text) && attrs(node.attrs) && children(node.children);
}

// Most numbers in a payload take one byte: those are read inline, the rest out of line.
bool PayloadDecoder::varint(std::uint64_t& value) noexcept
{
    if (!rest_.empty() && static_cast<unsigned char>(rest_[0]) < 0x80) [[likely]] {
        value = static_cast<unsigned char>(rest_[0]);
        rest_.remove_prefix(1);
        return true;
    }
    return long_varint(value);
}

bool PayloadDecoder::long_varint(std::uint64_t& value) noexcept
{
    const std::uint64_t start = offset();
    value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (rest_.empty()) return fail(DecodeErrorKind::Truncated, offset());
        const auto byte = static_cast<unsigned char>(rest_[0]);
        rest_.remove_prefix(1);
        const std::uint64_t group = byte & 0x7F;
        if ((group << shift >> shift) != group) return fail(DecodeErrorKind::NumberOutOfRange, start);
        value |= group << shift;
        if ((byte & 0x80) == 0) return true;
    }
    return fail(DecodeErrorKind::NumberOutOfRange, start);
}

// A count of items that take at least `smallest_item` bytes each, checked against the bytes left.
bool PayloadDecoder::count(std::size_t smallest_item, std::uint64_t& value) noexcept
{
    const std::uint64_t start = offset();
    if (!varint(value)) return false;
    return value <= rest_.size() / smallest_item || fail(DecodeErrorKind::Truncated, start);
}

bool PayloadDecoder::bytes(std::uint64_t size, std::string_view& taken) noexcept
{
    if (size > rest_.size()) return fail(DecodeErrorKind::Truncated, offset());
    taken = rest_.substr(0, size);
    rest_.remove_prefix(size);
    return true;
}

bool PayloadDecoder::utf8(std::uint64_t size, std::string_view& text) noexcept
{
    const std::uint64_t start = offset();
    if (!bytes(size, text)) return false;
    return kernels::is_valid_utf8(text) || fail(DecodeErrorKind::NotUtf8, start);
}

bool PayloadDecoder::label(std::string_view& label)
{
    const std::uint64_t start = offset();
    std::uint64_t value;
    if (!varint(value)) return false;
    if ((value & 1) == 0) {
        if (!utf8(value >> 1, label)) return false;
        if (label.size() <= kLongestLabel) labels_.push_back(label);
        return true;
    }
    if ((value >> 1) >= labels_.size()) return fail(DecodeErrorKind::UndefinedLabel, start);
    label = labels_[value >> 1];
    return true;
}

bool PayloadDecoder::text(std::optional<std::string_view>& text) noexcept
{
    std::uint64_t value;
    if (!varint(value)) return false;
    text.reset();
    if (value == 0) return true;
    std::string_view bytes_read;
    if (!utf8(value - 1, bytes_read)) return false;
    text = bytes_read;
    return true;
}

bool PayloadDecoder::attrs(reader::AttrMap& attrs)
{
    attrs.clear();
    std::uint64_t left;
    if (!count(2, left)) return false;  // a key and a value take a byte each at least
    for (; left != 0; --left) {
        const std::uint64_t start = offset();
        std::string_view key, value;
        std::uint64_t size;
        if (!label(key) || !varint(size) || !utf8(size, value)) return false;
        if (!attrs.insert(key, value)) return fail(DecodeErrorKind::DuplicateKey, start, number_);
    }
    return true;
}

bool PayloadDecoder::children(std::vector<std::uint64_t>& children)
{
    children.clear();
    std::uint64_t left;
    if (!count(1, left)) return false;
    for (; left != 0; --left) {
        const std::uint64_t start = offset();
        std::uint64_t gap;
        if (!varint(gap)) return false;
        if (gap == 0 || gap > number_) return fail(DecodeErrorKind::ChildNotEarlier, start, number_);
        children.push_back(number_ - gap);
        has_parent_[number_ - gap] = true;
    }
    return true;
}

bool PayloadDecoder::fail(DecodeErrorKind kind, std::uint64_t at, std::uint64_t value) noexcept
{
    error_ = {kind, at, value};
    return false;
}

}  // namespace brindle::tree_codec
