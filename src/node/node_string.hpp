// The strings a Node stores: 16 bytes each, holding up to 15 bytes inline, so the names and
// short texts of a large document cost no allocation of their own and a leaf node stays small.
// A longer string is a block of its own, or (`borrowing`) bytes that something else keeps
// alive as long as the string: a read tree's node arena.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "kernels/scalar/short_copy.hpp"

namespace brindle::node {

class NodeString {
public:
    NodeString() noexcept { set_inline_size(0); }
    // Copies; std::bad_alloc when it cannot. Inline for the short strings most names and texts
    // are, which every node of a read makes.
    [[gnu::always_inline]] explicit NodeString(std::string_view text)
    {
        if (text.size() <= kInlineCapacity) {
            kernels::copy_short(bytes_, text.data(), text.size());
            set_inline_size(text.size());
        } else {
            copy_to_block(text);
        }
    }
    // Views `text` (longer than kInlineCapacity), which must outlive the string. Made in place
    // with the tag: a string made elsewhere and moved in is read back with a wider load than its
    // bytes were stored with, which stalls.
    struct Borrowed {};
    NodeString(std::string_view text, Borrowed) noexcept { set_pointer(text, kBorrowed); }
    NodeString(NodeString&& other) noexcept
    {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.set_inline_size(0);
    }
    NodeString& operator=(NodeString&& other) noexcept
    {
        if (this != &other) {
            release();
            std::memcpy(bytes_, other.bytes_, sizeof bytes_);
            other.set_inline_size(0);
        }
        return *this;
    }
    NodeString(const NodeString&) = delete;
    NodeString& operator=(const NodeString&) = delete;
    ~NodeString() { release(); }

    std::string_view view() const noexcept
    {
        if (tag() < kInline) return {pointer(), pointer_size()};
        return {reinterpret_cast<const char*>(bytes_), static_cast<std::size_t>(tag() & kSizeMask)};
    }
    operator std::string_view() const noexcept { return view(); }
    std::size_t size() const noexcept { return view().size(); }
    const char* data() const noexcept { return view().data(); }

    friend bool operator==(const NodeString& a, std::string_view b) noexcept { return a.view() == b; }

    static constexpr std::size_t kInlineCapacity = 15;

private:
    friend class NodeText;

    // The last byte tells the form: a pointer and a size (whose top byte a string never
    // reaches) for a string held elsewhere, with 0 when the string owns that block and
    // kBorrowed when it does not; kInline | size for an inline one; kAbsent for the missing
    // text of a NodeText, the only class that can make or see that form.
    static constexpr unsigned char kBorrowed = 0x40;
    static constexpr unsigned char kInline = 0x80;
    static constexpr unsigned char kSizeMask = 0x7F;
    static constexpr unsigned char kAbsent = 0xFF;
    static constexpr std::uint64_t kPointerSizeMask = (std::uint64_t{1} << 56) - 1;

    bool is_absent() const noexcept { return tag() == kAbsent; }

    unsigned char tag() const noexcept { return bytes_[15]; }
    void set_tag(unsigned char value) noexcept { bytes_[15] = value; }
    void set_inline_size(std::size_t size) noexcept { set_tag(static_cast<unsigned char>(kInline | size)); }
    // The size is stored at bytes 8 to 15 and the tag over its top byte (byte 15), which is
    // the top byte only on a little-endian machine.
    void set_pointer(std::string_view text, unsigned char form) noexcept
    {
        const char* data = text.data();
        const std::uint64_t size = text.size();
        std::memcpy(bytes_, &data, sizeof data);
        std::memcpy(bytes_ + 8, &size, sizeof size);
        set_tag(form);
    }
    bool owns_block() const noexcept { return tag() == 0; }
    const char* pointer() const noexcept
    {
        const char* data;
        std::memcpy(&data, bytes_, sizeof data);
        return data;
    }
    std::size_t pointer_size() const noexcept
    {
        std::uint64_t size;
        std::memcpy(&size, bytes_ + 8, sizeof size);
        return static_cast<std::size_t>(size & kPointerSizeMask);
    }
    void copy_to_block(std::string_view text);
    void release() noexcept
    {
        if (owns_block()) free_block();
    }
    void free_block() noexcept;

    alignas(8) unsigned char bytes_[16];
};

static_assert(std::endian::native == std::endian::little,
              "NodeString keeps its tag in the top byte of a stored size, byte 15 only when little-endian");

// An element's text, which may be absent (unlike the empty string). The string is reached only
// through `view`, whose optional is empty for an absent text, so no caller can read the bytes
// of a text that is not there.
class NodeText {
public:
    NodeText() noexcept { string_.set_tag(NodeString::kAbsent); }  // in place, as a borrowed string is
    explicit NodeText(std::string_view text) : string_(text) {}
    // As NodeString's: `text` (longer than kInlineCapacity) must outlive the text.
    NodeText(std::string_view text, NodeString::Borrowed borrowed) noexcept : string_(text, borrowed) {}

    bool has_value() const noexcept { return !string_.is_absent(); }
    explicit operator bool() const noexcept { return has_value(); }
    std::optional<std::string_view> view() const noexcept
    {
        if (!has_value()) return std::nullopt;
        return string_.view();
    }

private:
    NodeString string_;
};

static_assert(sizeof(NodeString) == 16 && sizeof(NodeText) == 16);

}  // namespace brindle::node
