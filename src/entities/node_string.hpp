// The strings a Node stores: 16 bytes each, holding up to 15 bytes inline, so the names and
// short texts of a large document cost no allocation of their own and a leaf node stays small.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace brindle {

class NodeString {
public:
    NodeString() noexcept { set_inline_size(0); }
    explicit NodeString(std::string_view text);  // copies; std::bad_alloc when it cannot
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
        if (is_heap()) return {heap_pointer(), heap_size()};
        return {reinterpret_cast<const char*>(bytes_), static_cast<std::size_t>(tag() & kSizeMask)};
    }
    operator std::string_view() const noexcept { return view(); }
    std::size_t size() const noexcept { return view().size(); }
    const char* data() const noexcept { return view().data(); }

    friend bool operator==(const NodeString& a, std::string_view b) noexcept { return a.view() == b; }

protected:
    // The last byte tells the form: 0 for a heap string (whose 64-bit size never reaches the
    // top byte), kInline | size for an inline one, kAbsent for a missing optional text.
    static constexpr unsigned char kInline = 0x80;
    static constexpr unsigned char kSizeMask = 0x7F;
    static constexpr unsigned char kAbsent = 0xFF;
    static constexpr std::size_t kInlineCapacity = 15;

    unsigned char tag() const noexcept { return bytes_[15]; }
    void set_tag(unsigned char value) noexcept { bytes_[15] = value; }
    void set_inline_size(std::size_t size) noexcept { set_tag(static_cast<unsigned char>(kInline | size)); }

private:
    bool is_heap() const noexcept { return tag() == 0; }
    const char* heap_pointer() const noexcept
    {
        const char* pointer;
        std::memcpy(&pointer, bytes_, sizeof pointer);
        return pointer;
    }
    std::size_t heap_size() const noexcept
    {
        std::uint64_t size;
        std::memcpy(&size, bytes_ + 8, sizeof size);
        return static_cast<std::size_t>(size);
    }
    void release() noexcept;

    alignas(8) unsigned char bytes_[16];
};

// An element's text: absent differs from the empty string.
class NodeText : public NodeString {
public:
    NodeText() noexcept { set_tag(kAbsent); }
    explicit NodeText(std::string_view text) : NodeString(text) {}

    explicit operator bool() const noexcept { return tag() != kAbsent; }
    std::string_view operator*() const noexcept { return view(); }
};

static_assert(sizeof(NodeString) == 16 && sizeof(NodeText) == 16);

}  // namespace brindle
