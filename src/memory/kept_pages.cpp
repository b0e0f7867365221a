#include "memory/kept_pages.hpp"

#include <pthread.h>
#include <sys/mman.h>

#include <atomic>
#include <new>

namespace brindle {

namespace {

// Enough for a few large blocks and the small buffers of writes.
constexpr std::size_t kSlots = 16;

// What a waiting thread does between looks at a held lock.
inline void pause() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// The blocks that keeping another pushed out, to be returned to the system once the lock is
// let go.
struct Evicted {
    Pages blocks[kSlots];
    std::size_t count = 0;
};

class Store {
public:
    Store() noexcept { pthread_atfork(lock_for_fork, unlock_after_fork, unlock_after_fork); }

    Pages take(std::size_t size, std::size_t most) noexcept
    {
        Guard guard(*this);
        Slot* best = nullptr;
        for (Slot& slot : slots_) {
            if (slot.pages.data != nullptr && slot.pages.size >= size && slot.pages.size <= most &&
                (best == nullptr || slot.pages.size < best->pages.size)) {
                best = &slot;
            }
        }
        if (best == nullptr) return {};
        return remove(*best);
    }

    // Keeps a block of at most kMostKeptBytes. The newest blocks are the ones worth keeping (the
    // next call most likely repeats the last), so the oldest go out until it fits; they land
    // in `evicted`.
    void keep(Pages pages, Evicted& evicted) noexcept
    {
        Guard guard(*this);
        Slot* slot;
        while ((slot = free_slot()) == nullptr || pages.size > kMostKeptBytes - total()) {
            evicted.blocks[evicted.count++] = remove(*oldest_slot());  // a block fits an empty store
        }
        slot->pages = pages;
        slot->stamp = ++stamps_;
        total_.store(total() + pages.size, std::memory_order_relaxed);
    }

    std::size_t total() const noexcept { return total_.load(std::memory_order_relaxed); }

private:
    // Held for a few dozen instructions at a time, never across a system call: waiting spins.
    class Guard {
    public:
        explicit Guard(Store& store) noexcept : store_(store) { store_.lock(); }
        ~Guard() { store_.unlock(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        Store& store_;
    };

    void lock() noexcept
    {
        while (locked_.test_and_set(std::memory_order_acquire)) pause();
    }
    void unlock() noexcept { locked_.clear(std::memory_order_release); }

    // A fork takes the lock first, so that the child's copy of the store is whole and unlocked.
    static void lock_for_fork() noexcept;
    static void unlock_after_fork() noexcept;

    struct Slot {
        Pages pages;
        std::uint64_t stamp = 0;  // when it was kept: larger is newer
    };

    Slot* free_slot() noexcept
    {
        for (Slot& slot : slots_) {
            if (slot.pages.data == nullptr) return &slot;
        }
        return nullptr;
    }

    // The slot kept longest ago; the store holds at least one block.
    Slot* oldest_slot() noexcept
    {
        Slot* oldest = nullptr;
        for (Slot& slot : slots_) {
            if (slot.pages.data != nullptr && (oldest == nullptr || slot.stamp < oldest->stamp)) oldest = &slot;
        }
        return oldest;
    }

    Pages remove(Slot& slot) noexcept
    {
        const Pages removed = slot.pages;
        slot.pages = {};
        total_.store(total_.load(std::memory_order_relaxed) - removed.size, std::memory_order_relaxed);
        return removed;
    }

    std::atomic_flag locked_ = ATOMIC_FLAG_INIT;
    std::atomic<std::size_t> total_{0};  // written under the lock; read without it by kept_bytes
    std::uint64_t stamps_ = 0;
    Slot slots_[kSlots] = {};
};

Store g_store;

void Store::lock_for_fork() noexcept { g_store.lock(); }
void Store::unlock_after_fork() noexcept { g_store.unlock(); }

void unmap(Pages pages) noexcept
{
    if (pages.data != nullptr) munmap(pages.data, pages.size);
}

}  // namespace

std::size_t whole_pages(std::size_t bytes)
{
    if (bytes > SIZE_MAX / 2) throw std::bad_alloc();
    return (bytes + kPageBytes - 1) & ~(kPageBytes - 1);
}

Pages take_kept_pages(std::size_t size, std::size_t most) noexcept
{
    if (size > kMostKeptBytes) return {};
    return g_store.take(whole_pages(size), most);
}

Pages take_pages(std::size_t size, std::size_t most)
{
    const Pages kept = g_store.take(whole_pages(size == 0 ? 1 : size), most);
    if (kept.data != nullptr) return kept;
    return map_pages(size);
}

Pages map_pages(std::size_t size)
{
    size = whole_pages(size == 0 ? 1 : size);
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    return {static_cast<char*>(memory), size};
}

void shrink_pages(Pages& pages, std::size_t size) noexcept
{
    size = (size + kPageBytes - 1) & ~(kPageBytes - 1);
    if (size == 0 || size >= pages.size) return;
    if (mremap(pages.data, pages.size, size, 0) == MAP_FAILED) return;
    pages.size = size;
}

void grow_pages(Pages& pages, std::size_t size)
{
    if (size <= pages.size) return;
    if (pages.data == nullptr) {
        pages = take_pages(size);
        return;
    }
    size = whole_pages(size);
    // Remapping moves the pages themselves, not their bytes.
    void* moved = mremap(pages.data, pages.size, size, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) throw std::bad_alloc();
    pages = {static_cast<char*>(moved), size};
}

void give_back_pages(Pages pages) noexcept
{
    if (pages.data == nullptr) return;
    if (pages.size > kMostKeptBytes) return unmap(pages);
    // Marked before it is shown to other threads: one that took it must find its writes intact.
#ifdef MADV_FREE
    madvise(pages.data, pages.size, MADV_FREE);
#endif
    Evicted evicted;
    g_store.keep(pages, evicted);
    for (std::size_t i = 0; i < evicted.count; ++i) unmap(evicted.blocks[i]);
}

std::size_t kept_bytes() noexcept { return g_store.total(); }

}  // namespace brindle
