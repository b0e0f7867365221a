#include "memory/prefault.hpp"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older headers lack the name, older kernels refuse it
#endif

namespace brindle {

namespace {

// A step small enough that a stopping helper lets go soon.
constexpr std::size_t kStep = std::size_t{256} << 10;

std::atomic<std::size_t> g_asking{0};    // reads between their first request and their stop
std::atomic<bool> g_unsupported{false};  // the kernel refused the advice once

std::size_t usable_cores() noexcept
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<std::size_t>(CPU_COUNT(&set));
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<std::size_t>(online) : 1;
}

// Whether a core is free of reads: only then is a helper's work not taken from another read.
bool core_to_spare() noexcept
{
    static const std::size_t cores = usable_cores();
    return g_asking.load(std::memory_order_relaxed) < cores;
}

char* page_of(char* address) noexcept
{
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    return reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(address) & ~(page - 1));
}

}  // namespace

void Prefaulter::request(Range range, char* start, std::size_t size) noexcept
{
    if (stopped_ || g_unsupported.load(std::memory_order_relaxed)) return;
    if (!asking_) {
        asking_ = true;
        g_asking.fetch_add(1, std::memory_order_relaxed);
    }
    if (!helper_.joinable()) {
        if (!core_to_spare()) return;
        try {
            helper_ = std::thread(&Prefaulter::serve, this);
        } catch (...) {
            stopped_ = true;  // no thread: the read takes its own faults
            return;
        }
    }
    {
        std::lock_guard lock(mutex_);
        if (starts_[range] == nullptr || ends_[range] != start) starts_[range] = start;
        ends_[range] = start + size;
    }
    work_.notify_one();
}

char* Prefaulter::keep_ahead(Range range, char* at, char* end, std::size_t ahead, std::size_t step) noexcept
{
    char*& asked_to = asked_to_[range];
    if (asked_to < at || asked_to > end) asked_to = at;  // a region not seen before
    char* const wanted = at + std::min(ahead, static_cast<std::size_t>(end - at));
    if (wanted > asked_to) {
        request(range, asked_to, static_cast<std::size_t>(wanted - asked_to));
        asked_to = wanted;
    }
    return at + std::min(step, static_cast<std::size_t>(end - at));
}

void Prefaulter::stop() noexcept
{
    if (asking_) {
        asking_ = false;
        g_asking.fetch_sub(1, std::memory_order_relaxed);
    }
    stopped_ = true;
    if (!helper_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_.store(true, std::memory_order_relaxed);
    }
    work_.notify_one();
    helper_.join();
}

void Prefaulter::serve() noexcept
{
    pthread_setname_np(pthread_self(), "brindle-fault");  // how tools such as top name it
    std::unique_lock lock(mutex_);
    for (;;) {
        char* start = nullptr;
        char* end = nullptr;
        work_.wait(lock, [&] { return stopping_.load(std::memory_order_relaxed) || take_pending(start, end); });
        if (stopping_.load(std::memory_order_relaxed)) return;
        lock.unlock();
        fault_in(start, end);
        lock.lock();
    }
}

// The arena's range first: the read fills it fastest.
bool Prefaulter::take_pending(char*& start, char*& end) noexcept
{
    for (unsigned range = 0; range < kRanges; ++range) {
        if (starts_[range] == nullptr) continue;
        start = starts_[range];
        end = ends_[range];
        starts_[range] = nullptr;
        return true;
    }
    return false;
}

// Faults in the pages over [start, end) a step at a time, until done, stopped, or every core
// is reading.
void Prefaulter::fault_in(char* start, char* end) noexcept
{
    for (char* at = page_of(start); at < end; at += kStep) {
        if (stopping_.load(std::memory_order_relaxed) || !core_to_spare()) return;
        const std::size_t size = static_cast<std::size_t>(end - at) < kStep ? static_cast<std::size_t>(end - at)
                                                                            : kStep;
        if (madvise(at, size, MADV_POPULATE_WRITE) != 0 && errno == EINVAL) {
            g_unsupported.store(true, std::memory_order_relaxed);
            return;
        }
    }
}

}  // namespace brindle
