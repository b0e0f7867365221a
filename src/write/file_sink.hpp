// The output sink of write_file: an open file behind an 8192-byte buffer.
//
// Small appends collect in the buffer; an append that does not fit first writes the buffer
// out, and an append of 8192 bytes or more then goes straight to the file. Failures are
// thrown as the error to raise (PendingError), which needs no interpreter lock. Whatever is
// still buffered when the sink dies is written out on a best-effort basis and the file is
// closed, so every path out of a write leaves no descriptor behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace brindle::write {

class FileSink {
public:
    static constexpr std::size_t kCapacity = 8192;

    // Creates or truncates the file. Throws the open's error; a path holding a NUL byte is
    // refused before anything is opened.
    explicit FileSink(const std::string& path);
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void append(const char* bytes, std::size_t count)
    {
        if (count < kCapacity - buffered_) [[likely]] {
            std::memcpy(buffer_ + buffered_, bytes, count);
            buffered_ += count;
            return;
        }
        append_past_buffer(bytes, count);
    }
    void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
    void append_char(char byte) { append(&byte, 1); }

    // The same bytes, and the same writes to the file, as `count` appends of one byte.
    void append_repeated(char byte, std::uint64_t count);

    // Writes out the buffer; the document is complete on disk when this returns.
    void finish() { flush(); }

    // Bytes appended so far, written out or still buffered.
    std::uint64_t appended() const noexcept { return written_ + buffered_; }

private:
    [[gnu::noinline]] void append_past_buffer(const char* bytes, std::size_t count);
    void flush();
    // Writes as much of the buffer as the file takes; what was written leaves the buffer.
    int write_out_buffer() noexcept;

    int fd_ = -1;
    std::uint64_t written_ = 0;  // bytes that reached the file
    std::size_t buffered_ = 0;
    char buffer_[kCapacity];
};

}  // namespace brindle::write
