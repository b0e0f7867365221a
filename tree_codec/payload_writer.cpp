// Writing a payload (payload_writer.hpp): varints, labels numbered on first use, and the block
// grown by doubling.
#include "tree_codec/payload_writer.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "tree_codec/payload_format.hpp"

namespace brindle::tree_codec {

namespace {

constexpr std::size_t kFirstCapacity = 256;

}  // namespace

bool PayloadWriter::start() noexcept
{
    char* at = room(1 + kNodeCountBytes);
    if (at == nullptr) return false;
    at[0] = static_cast<char>(kFormatVersion);
    std::memset(at + 1, 0, kNodeCountBytes);  // known at the end
    size_ += 1 + kNodeCountBytes;
    return true;
}

bool PayloadWriter::put_node(std::string_view name, std::optional<std::string_view> text, const reader::AttrMap& attrs,
                             std::span<const std::uint64_t> children) noexcept
{
    try {
        if (!put_label(name)) return false;
        if (!(text ? put_varint(std::uint64_t{text->size()} + 1) && put_bytes(*text) : put_varint(0))) return false;
        if (!put_varint(attrs.size())) return false;
        for (const auto& [key, value] : attrs) {
            if (!put_label(key) || !put_string(value)) return false;
        }
        if (!put_varint(children.size())) return false;
        for (const std::uint64_t child : children) {
            if (!put_varint(count_ - child)) return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    ++count_;
    return true;
}

std::size_t PayloadWriter::finish() noexcept
{
    for (std::size_t i = 0; i < kNodeCountBytes; ++i) data_[1 + i] = static_cast<char>(count_ >> (8 * i));
    return size_;
}

bool PayloadWriter::put_bytes(std::string_view bytes) noexcept
{
    if (bytes.empty()) return true;
    char* at = room(bytes.size());
    if (at == nullptr) return false;
    std::memcpy(at, bytes.data(), bytes.size());
    size_ += bytes.size();
    return true;
}

bool PayloadWriter::put_label(std::string_view label)
{
    if (label.size() <= kLongestLabel) {
        const auto [entry, added] = labels_.try_emplace(label, labels_.size());
        if (!added) return put_varint(entry->second << 1 | 1);
    }
    return put_varint(std::uint64_t{label.size()} << 1) && put_bytes(label);
}

char* PayloadWriter::grow(std::size_t size) noexcept
{
    const std::size_t capacity = std::max({capacity_ * 2, size_ + size, kFirstCapacity});
    data_ = storage_.grow(capacity);
    if (data_ == nullptr) return nullptr;
    capacity_ = capacity;
    return data_ + size_;
}

}  // namespace brindle::tree_codec
