#include "write/memory_sink.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "write/output_limit.hpp"

namespace brindle {

namespace {
constexpr std::size_t kFirstCapacity = 64 * 1024;
}

MemorySink::~MemorySink() { std::free(data_); }

void MemorySink::append_repeated(char byte, std::uint64_t count)
{
    if (count > capacity_ - size_) grow(count);
    std::memset(data_ + size_, byte, count);
    size_ += count;
}

void MemorySink::grow(std::uint64_t extra)
{
    const std::uint64_t limit = largest_output();
    if (extra > limit || size_ > limit - extra) throw_output_too_large();
    const std::size_t needed = size_ + extra;
    // Doubling keeps appends amortised constant; when the doubled size is refused, the exact
    // size may still be granted.
    std::size_t wanted = std::min<std::uint64_t>(std::max({needed, capacity_ * 2, kFirstCapacity}), limit);
    void* grown = std::realloc(data_, wanted);
    if (grown == nullptr && wanted > needed) {
        wanted = needed;
        grown = std::realloc(data_, wanted);
    }
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(grown);
    capacity_ = wanted;
}

}  // namespace brindle
