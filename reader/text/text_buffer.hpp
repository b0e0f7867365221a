// A growable run of bytes for element text, appended to piece by piece. Text between inline
// elements comes in pieces of a few words: each is copied in place (kernels::copy_short) after
// one inline check of the room left, where std::string::append costs a call, its own checks and
// a call to memcpy per piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "kernels/scalar/short_copy.hpp"

namespace brindle::reader {

class TextBuffer {
public:
    TextBuffer() noexcept = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    ~TextBuffer() { std::free(data_); }

    std::size_t size() const noexcept { return size_; }
    // The bytes from `from` on, valid until the next append.
    std::string_view view(std::size_t from = 0) const noexcept { return {data_ + from, size_ - from}; }

    // Room for `size` bytes in all. Throws std::bad_alloc.
    void reserve(std::size_t size)
    {
        if (size > capacity_) grow_to(size);
    }

    // Throws std::bad_alloc, leaving the buffer as it was.
    [[gnu::always_inline]] void append(const char* bytes, std::size_t count)
    {
        if (capacity_ - size_ < count) [[unlikely]]
            grow_to(grown_capacity(count));
        if (count <= 16) {
            kernels::copy_short(data_ + size_, bytes, count);
        } else {
            std::memcpy(data_ + size_, bytes, count);
        }
        size_ += count;
    }
    [[gnu::always_inline]] void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
    void push_back(char byte) { append(&byte, 1); }

    // Drops the bytes from `size` on (size <= size()).
    void truncate(std::size_t size) noexcept { size_ = size; }

private:
    // At least double, so that a long text costs a number of copies logarithmic in its length.
    std::size_t grown_capacity(std::size_t count) const
    {
        if (count > SIZE_MAX / 2 - size_) throw std::bad_alloc();
        const std::size_t needed = size_ + count;
        return needed < 2 * capacity_ ? 2 * capacity_ : needed < 256 ? 256 : needed;
    }

    [[gnu::noinline]] void grow_to(std::size_t capacity)
    {
        void* grown = std::realloc(data_, capacity);
        if (grown == nullptr) throw std::bad_alloc();
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
    }

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace brindle::reader
