#pragma once
// Bytes placed against an inaccessible page, so that a kernel reading one byte outside them
// crashes instead of reading a neighbour's memory: each buffer is one readable page between
// two PROT_NONE pages, the bytes either ending at the last readable byte or starting at the
// first.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace brindle::kernels::testing {

class GuardedBytes {
public:
    enum class Against { End, Start };

    GuardedBytes() : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE)))
    {
        void* mapping = mmap(nullptr, 3 * page_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) {
            throw std::runtime_error("mmap failed");
        }
        base_ = static_cast<unsigned char*>(mapping);
        if (mprotect(base_ + page_, page_, PROT_READ | PROT_WRITE) != 0) {
            munmap(base_, 3 * page_);
            throw std::runtime_error("mprotect failed");
        }
    }
    ~GuardedBytes() { munmap(base_, 3 * page_); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    std::size_t capacity() const { return page_; }

    // A copy of `bytes` against the guard page on one side; valid until the next place().
    const unsigned char* place(std::string_view bytes, Against against)
    {
        unsigned char* const readable = base_ + page_;
        unsigned char* const at = against == Against::End ? readable + page_ - bytes.size() : readable;
        std::memcpy(at, bytes.data(), bytes.size());
        return at;
    }

private:
    std::size_t page_;
    unsigned char* base_ = nullptr;
};

}  // namespace brindle::kernels::testing
