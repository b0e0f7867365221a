// The output sink of write_string: one growable byte buffer.
//
// The buffer is whole pages, taken from and given back to the memory kept between calls
// (memory/kept_pages.hpp), so that a write's output lands in memory that an earlier call already
// mapped: fresh memory costs the system a page fault per 4 KiB, which for a large document
// took about as long as writing it. Only the pages that hold the output are given back to be
// kept; the rest of the buffer goes back to the system.
//
// Appends never fail except for memory: growth that the system refuses, or that would pass
// what the output may ever hold (output_limit.hpp), throws std::bad_alloc. Growth is a remap
// rather than a copy, and nothing is ever zero-filled before it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace brindle::write {

class MemorySink {
public:
    MemorySink() noexcept = default;
    ~MemorySink();
    MemorySink(const MemorySink&) = delete;
    MemorySink& operator=(const MemorySink&) = delete;

    void append(const char* bytes, std::size_t count)
    {
        if (count > capacity_ - size_) [[unlikely]]
            grow(count);
        std::memcpy(data_ + size_, bytes, count);
        size_ += count;
    }
    void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }

    void append_char(char byte)
    {
        if (size_ == capacity_) [[unlikely]]
            grow(1);
        data_[size_++] = byte;
    }

    // Indentation is mostly a few spaces per line: those take one fixed-size store (which may
    // write a little past the end, into capacity that later appends overwrite).
    void append_repeated(char byte, std::uint64_t count)
    {
        if (count <= kShortRun && capacity_ - size_ >= kShortRun) [[likely]] {
            std::memset(data_ + size_, byte, kShortRun);
            size_ += count;
            return;
        }
        append_long_run(byte, count);
    }

    std::string_view contents() const noexcept { return {data_, size_}; }
    // Bytes appended so far.
    std::uint64_t appended() const noexcept { return size_; }

private:
    static constexpr std::size_t kShortRun = 16;

    [[gnu::noinline]] void append_long_run(char byte, std::uint64_t count);
    // Makes room for `extra` more bytes.
    [[gnu::noinline]] void grow(std::uint64_t extra);
    // Moves the contents into a kept block of at least `wanted` bytes, when the store holds one.
    bool move_to_kept(std::size_t wanted) noexcept;
    // Gives the pages holding the output back to the store, and the rest to the system.
    void give_back_written() noexcept;

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace brindle::write
