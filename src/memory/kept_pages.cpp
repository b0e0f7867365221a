#include "memory/kept_pages.hpp"

#include <pthread.h>
#include <sys/mman.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <new>

namespace brindle::memory {

namespace {

// Enough for the large blocks of two read trees (a tree of 64 MiB has nine chunks of pages) and
// the small buffers of writes.
constexpr std::size_t kSlots = 32;

// A kept block that no call has taken for this long is one the process's work no longer needs
// at once: it is marked free to the kernel (MADV_FREE), which may then reclaim it under memory
// pressure instead of swapping it. Marking every block as it is given back cost 12-17% of a
// read: the call itself, and then a fault-like cost of about 1.5 us per page when the next call
// writes the page again (measured on this machine's VM: 52 MB marked cost 7-9 ms, rewriting it
// 17-20 ms, against 0.1-0.2 ms unmarked), which is as much as fresh pages cost.
constexpr std::uint64_t kUnusedNanos = 1'000'000'000;

// The time, as cheaply as the system gives it (a few milliseconds coarse, no system call).
std::uint64_t coarse_now() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000 + static_cast<std::uint64_t>(now.tv_nsec);
}

// What a waiting thread does between looks at a held lock.
inline void pause() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// The calls running now (running_call.hpp). A thread also counts the calls it is inside itself
// (a stream's file object may read another document), so that a child made by fork inside a
// call starts from its own count, not from the calls of threads it does not have.
std::atomic<std::size_t> g_running{0};
thread_local std::size_t t_running = 0;

// What the store may keep while `running` calls run.
std::size_t bound_for(std::size_t running) noexcept { return kMostKeptBytes * std::max<std::size_t>(running, 1); }

// A block in the store: where it stands in the order of keeping, and whether it is marked.
struct Kept {
    Pages pages;
    std::uint64_t stamp = 0;    // when it was kept, in the order of keeping: larger is newer
    std::uint64_t kept_at = 0;  // when it was kept, in coarse_now's time
    bool marked = false;        // free to the kernel since it was kept
};

// Blocks taken out of the store to be worked on once the lock is let go: those that keeping
// another or the end of a call pushed out, returned to the system or (when part of one makes
// room enough) cut to `trimmed_to` bytes and put back; those left unused for kUnusedNanos,
// marked and put back.
// Only the first `count` entries are ever read: the rest is left unwritten, as every call that
// takes or gives back a block makes one or two of these.
struct Blocks {
    union {
        Kept blocks[kSlots];
    };
    std::size_t trimmed_to[kSlots];  // 0: returned whole
    std::size_t count = 0;

    Blocks() noexcept {}
};

class Store {
public:
    Store() noexcept { pthread_atfork(lock_for_fork, unlock_after_fork, unlock_in_child); }

    // The smallest kept block of `size` to `most` bytes, or, with `or_smaller` and no such
    // block, the largest one smaller than `size`; none when the store holds neither. Blocks
    // that no call has taken for kUnusedNanos and are not marked yet land in `unused`.
    Pages take(std::size_t size, std::size_t most, bool or_smaller, std::uint64_t now, Blocks& unused) noexcept
    {
        Guard guard(*this);
        Kept* best = nullptr;
        Kept* smaller = nullptr;
        for (Kept& slot : slots_) {
            if (slot.pages.data == nullptr) continue;
            if (slot.pages.size >= size && slot.pages.size <= most &&
                (best == nullptr || slot.pages.size < best->pages.size)) {
                best = &slot;
            } else if (slot.pages.size < size && (smaller == nullptr || slot.pages.size > smaller->pages.size)) {
                smaller = &slot;
            }
        }
        if (best == nullptr && or_smaller) best = smaller;
        const Pages taken = best == nullptr ? Pages{} : remove(*best);
        take_unused(now, unused);
        return taken;
    }

    // Keeps a block of at most kMostKeptBytes, not marked. The newest blocks are the ones worth
    // keeping (the next call most likely repeats the last), so the oldest go out as trim says,
    // or whole while no slot is free. Blocks left unused land in `unused`, as in take.
    void keep(Pages pages, std::uint64_t now, Blocks& evicted, Blocks& unused) noexcept
    {
        Guard guard(*this);
        take_unused(now, unused);
        Kept* slot;
        while ((slot = free_slot()) == nullptr) push_out(*oldest_slot(), 0, evicted);
        put(*slot, {pages, ++stamps_, now, false});
        trim_locked(evicted);
    }

    // Pushes out the oldest blocks until the store is within the bound of the calls running now;
    // they land in `evicted`, whole, or, when the end of the oldest makes room enough, to lose
    // only that end (the block goes on serving, the rest of it as fresh pages).
    void trim(Blocks& evicted) noexcept
    {
        Guard guard(*this);
        trim_locked(evicted);
    }

    // Puts back a block that trim or take_unused took out, in its old place in the order of
    // keeping; false, leaving the store as it is, when it no longer fits beside what was kept
    // since (a newer block is worth more) or a call has ended meanwhile.
    bool put_back(const Kept& kept) noexcept
    {
        Guard guard(*this);
        Kept* slot = free_slot();
        if (slot == nullptr) return false;
        put(*slot, kept);
        if (total() <= bound_for(g_running.load())) return true;
        remove(*slot);
        return false;
    }

    // Sequentially consistent, as the count of running calls is: a call that ends reads the
    // total after its count went down, and the store reads the count after its total went up,
    // so one of the two sees the other and trims.
    std::size_t total() const noexcept { return total_.load(); }

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
    static void unlock_in_child() noexcept;

    // Takes out the blocks kept since before `now - kUnusedNanos` and not marked yet: a block
    // is marked only while it is out of the store, so that no thread writes it meanwhile (a
    // write that the marking overtook could be lost to the kernel).
    void take_unused(std::uint64_t now, Blocks& unused) noexcept
    {
        if (oldest_unmarked_ > now || now - oldest_unmarked_ < kUnusedNanos) return;  // the common case
        std::uint64_t oldest = UINT64_MAX;
        for (Kept& slot : slots_) {
            if (slot.pages.data == nullptr || slot.marked) continue;
            if (now - slot.kept_at >= kUnusedNanos) {
                add(unused, slot);
                remove(slot);
            } else if (slot.kept_at < oldest) {
                oldest = slot.kept_at;
            }
        }
        oldest_unmarked_ = oldest;
    }

    static void add(Blocks& blocks, const Kept& slot) noexcept
    {
        blocks.trimmed_to[blocks.count] = 0;
        new (&blocks.blocks[blocks.count++]) Kept(slot);
    }

    // The store has just grown (or a call ended): the count is read after the total changed.
    void trim_locked(Blocks& evicted) noexcept
    {
        const std::size_t bound = bound_for(g_running.load());
        while (total() > bound) {
            Kept& oldest = *oldest_slot();  // the newest block alone is within any bound
            const std::size_t missing = total() - bound;
            push_out(oldest, missing < oldest.pages.size ? oldest.pages.size - missing : 0, evicted);
        }
    }

    // Moves `slot` to `evicted`, to be cut to `trimmed_to` bytes and put back, or (0) returned.
    void push_out(Kept& slot, std::size_t trimmed_to, Blocks& evicted) noexcept
    {
        add(evicted, slot);
        evicted.trimmed_to[evicted.count - 1] = trimmed_to;
        remove(slot);
    }

    void put(Kept& slot, const Kept& kept) noexcept
    {
        slot = kept;
        if (!kept.marked && kept.kept_at < oldest_unmarked_) oldest_unmarked_ = kept.kept_at;
        total_.store(total() + kept.pages.size);
    }

    Kept* free_slot() noexcept
    {
        for (Kept& slot : slots_) {
            if (slot.pages.data == nullptr) return &slot;
        }
        return nullptr;
    }

    // The slot kept longest ago; the store holds at least one block.
    Kept* oldest_slot() noexcept
    {
        Kept* oldest = nullptr;
        for (Kept& slot : slots_) {
            if (slot.pages.data != nullptr && (oldest == nullptr || slot.stamp < oldest->stamp)) oldest = &slot;
        }
        return oldest;
    }

    Pages remove(Kept& slot) noexcept
    {
        const Pages removed = slot.pages;
        slot.pages = {};
        total_.store(total() - removed.size);
        return removed;
    }

    std::atomic_flag locked_ = ATOMIC_FLAG_INIT;
    std::atomic<std::size_t> total_{0};  // written under the lock; read without it by call_ended
    std::uint64_t stamps_ = 0;
    // No later than the kept_at of every unmarked block (UINT64_MAX for none): a bound that
    // spares take and keep the look at every slot.
    std::uint64_t oldest_unmarked_ = UINT64_MAX;
    Kept slots_[kSlots] = {};
};

Store g_store;

void Store::lock_for_fork() noexcept { g_store.lock(); }
void Store::unlock_after_fork() noexcept { g_store.unlock(); }
void Store::unlock_in_child() noexcept
{
    g_running.store(t_running);  // the forking thread is the child's only one
    g_store.unlock();
}

void unmap(Pages pages) noexcept
{
    if (pages.data != nullptr) munmap(pages.data, pages.size);
}

// Marks the blocks that the store found unused and puts them back; those that no longer fit go
// back to the system.
void mark_unused(Blocks& unused) noexcept
{
    for (std::size_t i = 0; i < unused.count; ++i) {
        Kept& kept = unused.blocks[i];
#ifdef MADV_FREE
        madvise(kept.pages.data, kept.pages.size, MADV_FREE);
#endif
        kept.marked = true;
        if (!g_store.put_back(kept)) unmap(kept.pages);
    }
}

// Returns the evicted blocks to the system, or their ends only, putting the rest back.
void evict(Blocks& evicted) noexcept
{
    for (std::size_t i = 0; i < evicted.count; ++i) {
        Kept& kept = evicted.blocks[i];
        if (evicted.trimmed_to[i] != 0 &&
            mremap(kept.pages.data, kept.pages.size, evicted.trimmed_to[i], 0) != MAP_FAILED) {
            kept.pages.size = evicted.trimmed_to[i];
            if (g_store.put_back(kept)) continue;
        }
        unmap(kept.pages);
    }
}

Pages take_from_store(std::size_t size, std::size_t most, bool or_smaller) noexcept
{
    Blocks unused;
    const Pages taken = g_store.take(size, most, or_smaller, coarse_now(), unused);
    mark_unused(unused);
    return taken;
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
    return take_from_store(whole_pages(size), most, false);
}

Pages take_pages(std::size_t size, std::size_t most)
{
    size = whole_pages(size == 0 ? 1 : size);
    Pages kept = take_from_store(size, most, true);
    if (kept.data == nullptr) return map_pages(size);
    if (kept.size < size) {
        // A smaller kept block, grown by remapping: its written pages serve the start, and the
        // pages added cost a fault each only where the caller writes.
        void* grown = mremap(kept.data, kept.size, size, MREMAP_MAYMOVE);
        if (grown == MAP_FAILED) {
            give_back_pages(kept);
            return map_pages(size);
        }
        kept = {static_cast<char*>(grown), size};
    }
    return kept;
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
    // Kept as written: the next call most likely takes it at once (see kUnusedNanos).
    Blocks evicted;
    Blocks unused;
    g_store.keep(pages, coarse_now(), evicted, unused);
    evict(evicted);
    mark_unused(unused);
}

std::size_t kept_bytes() noexcept { return g_store.total(); }

void call_started() noexcept
{
    ++t_running;
    g_running.fetch_add(1, std::memory_order_relaxed);
}

void call_ended() noexcept
{
    --t_running;
    const std::size_t running = g_running.fetch_sub(1) - 1;
    if (g_store.total() <= bound_for(running)) return;  // the common case: no lock
    Blocks evicted;
    g_store.trim(evicted);
    evict(evicted);
}

std::size_t calls_running() noexcept { return g_running.load(std::memory_order_relaxed); }

}  // namespace brindle::memory
