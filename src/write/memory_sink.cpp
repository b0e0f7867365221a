#include "write/memory_sink.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <tuple>
#include <utility>

#include "memory/kept_pages.hpp"
#include "write/output_limit.hpp"

namespace brindle::write {

namespace {

constexpr std::size_t kFirstCapacity = 64 * 1024;
// Growth beyond this asks the system how much memory is left.
constexpr std::size_t kCheckedGrowth = std::size_t{256} << 20;

// The most the buffer may grow to: the str made from it needs as much again, so a buffer
// larger than half of what is left could never become a result, and filling it would only
// push the machine into swapping or the out-of-memory killer.
std::uint64_t usable_capacity(std::size_t capacity) noexcept
{
    const std::uint64_t available = available_memory();
    if (available == UINT64_MAX) return UINT64_MAX;
    return (available + capacity) / 2;
}

}  // namespace

MemorySink::~MemorySink() { give_back_written(); }

void MemorySink::append_long_run(char byte, std::uint64_t count)
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
    // Doubling keeps appends amortised constant. When the doubled size is refused, a smaller
    // step may still be granted; it stays a fixed fraction of the buffer, so that a buffer
    // close to the limit does not go on growing by a few bytes per append.
    std::size_t wanted = std::min<std::uint64_t>(std::max({needed, capacity_ * 2, kFirstCapacity}), limit);
    if (wanted > kCheckedGrowth) {
        const std::uint64_t usable = usable_capacity(capacity_);
        if (needed > usable) throw_output_too_large();
        wanted = std::min<std::uint64_t>(wanted, usable);
    }
    if (move_to_kept(wanted)) return;
    memory::Pages pages{data_, capacity_};
    try {
        memory::grow_pages(pages, wanted);
    } catch (const std::bad_alloc&) {
        const std::size_t modest = std::max(needed, capacity_ + capacity_ / 8);
        if (wanted <= modest) throw;
        memory::grow_pages(pages, modest);
    }
    data_ = pages.data;
    capacity_ = pages.size;
}

bool MemorySink::move_to_kept(std::size_t wanted) noexcept
{
    const memory::Pages kept = memory::take_kept_pages(wanted);
    if (kept.data == nullptr) return false;
    if (size_ != 0) std::memcpy(kept.data, data_, size_);
    give_back_written();
    data_ = kept.data;
    capacity_ = kept.size;
    return true;
}

// The store counts what it is given, and the end of the buffer past the output was never
// written by this call (room left by doubling, or pages that an earlier call wrote into a kept
// block): it goes back to the system, so that the bound counts only the pages written. A buffer
// of the first size stays whole: cutting it, and growing it back in the next write, cost two
// system calls and made a small write_string 15-20 times slower, for 60 KiB at most.
void MemorySink::give_back_written() noexcept
{
    memory::Pages pages{data_, capacity_};
    memory::shrink_pages(pages, std::max(size_, kFirstCapacity));
    memory::give_back_pages(pages);
}

}  // namespace brindle::write
