#include "memory/prefault.hpp"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older headers lack the name, older kernels refuse it
#endif

namespace brindle {

// The process's one prefault thread and its queue of lanes. Started on the first request; it
// waits for work for the rest of the process and never runs Python code, so it needs no
// stopping at exit.
class PrefaultThread {
public:
    static PrefaultThread& instance()
    {
        // Never destroyed (the thread may still wait on it while the process exits), and made
        // in static storage, so that first use cannot fail.
        alignas(PrefaultThread) static unsigned char storage[sizeof(PrefaultThread)];
        static PrefaultThread* const thread = new (storage) PrefaultThread();
        return *thread;
    }

    void request(PrefaultLane& lane, char* start, std::size_t size) noexcept
    {
        std::lock_guard lock(mutex_);
        if (!lane.asked_) {
            lane.asked_ = true;
            if (lane.counted_) ++users_;
        }
        // With as many users as cores, each core is busy with its own work, and faulting in for
        // one of them would only take time from another.
        if (users_ >= cores_ || !usable_locked()) return;
        if (lane.queued_ && lane.end_ == start) {
            lane.end_ = start + size;  // the range asked for before and this one, as one
        } else {
            lane.start_ = start;
            lane.end_ = start + size;
        }
        if (!lane.queued_) push(lane);
        work_.notify_one();
    }

    void stop(PrefaultLane& lane) noexcept
    {
        std::unique_lock lock(mutex_);
        if (lane.queued_) remove(lane);
        if (lane.busy_) {
            lane.cancelled_.store(true, std::memory_order_relaxed);
            idle_.wait(lock, [&] { return !lane.busy_; });
        }
        lane.cancelled_.store(false, std::memory_order_relaxed);
        lane.asked_ = false;
        if (lane.counted_) --users_;
    }

private:
    // A step small enough that a cancelled lane waits little for the thread to let go.
    static constexpr std::size_t kStep = std::size_t{256} << 10;

    PrefaultThread() : cores_(usable_cores()) { pthread_atfork(lock_for_fork, unlock_after_fork, reset_in_child); }

    static std::size_t usable_cores() noexcept
    {
        cpu_set_t set;
        if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<std::size_t>(CPU_COUNT(&set));
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        return online > 0 ? static_cast<std::size_t>(online) : 1;
    }

    // Whether requests can be served, starting the thread on first use.
    bool usable_locked() noexcept
    {
        if (refused_) return false;
        if (!started_) {
            try {
                std::thread(&PrefaultThread::serve, this).detach();
                started_ = true;
            } catch (...) {
                refused_ = true;  // no thread: readers take their own faults
            }
        }
        return !refused_;
    }

    void serve() noexcept
    {
        pthread_setname_np(pthread_self(), "brindle-fault");  // how tools such as top name it
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [&] { return first_ != nullptr; });
            PrefaultLane& lane = *first_;
            remove(lane);
            lane.busy_ = true;
            current_ = &lane;
            char* const start = lane.start_;
            char* const end = lane.end_;
            lock.unlock();
            const bool supported = fault_in(lane, start, end);
            lock.lock();
            if (!supported) refused_ = true;
            lane.busy_ = false;
            current_ = nullptr;
            idle_.notify_all();
        }
    }

    static char* page_of(char* address) noexcept
    {
        static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        return reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(address) & ~(page - 1));
    }

    // The queue is a list through the lanes themselves, so queueing allocates nothing.
    void push(PrefaultLane& lane) noexcept
    {
        PrefaultLane** link = &first_;
        while (*link != nullptr) link = &(*link)->next_;
        *link = &lane;
        lane.next_ = nullptr;
        lane.queued_ = true;
    }

    void remove(PrefaultLane& lane) noexcept
    {
        PrefaultLane** link = &first_;
        while (*link != &lane) link = &(*link)->next_;
        *link = lane.next_;
        lane.queued_ = false;
    }

    // Faults in the pages over [start, end) a step at a time, until done or cancelled; false when
    // the kernel does not know the advice.
    static bool fault_in(PrefaultLane& lane, char* start, char* end) noexcept
    {
        for (char* at = page_of(start); at < end; at += kStep) {
            if (lane.cancelled_.load(std::memory_order_relaxed)) return true;
            const std::size_t size = static_cast<std::size_t>(end - at) < kStep ? end - at : kStep;
            if (madvise(at, size, MADV_POPULATE_WRITE) != 0 && errno == EINVAL) return false;
        }
        return true;
    }

    // A fork copies only the forking thread: the child has no prefault thread, and the lanes
    // the parent's thread held are nobody's work there.
    static void lock_for_fork() { instance().mutex_.lock(); }
    static void unlock_after_fork() { instance().mutex_.unlock(); }
    static void reset_in_child()
    {
        PrefaultThread& thread = instance();
        while (thread.first_ != nullptr) thread.remove(*thread.first_);
        if (thread.current_ != nullptr) thread.current_->busy_ = false;
        thread.current_ = nullptr;
        thread.started_ = false;
        thread.users_ = 0;  // their threads are not in the child
        // The parent's thread may have been waiting on these; the child's copies must not count it.
        new (&thread.work_) std::condition_variable();
        new (&thread.idle_) std::condition_variable();
        thread.mutex_.unlock();
    }

    std::mutex mutex_;
    std::condition_variable work_;   // a lane was queued
    std::condition_variable idle_;   // the thread let go of a lane
    PrefaultLane* first_ = nullptr;  // the queue's oldest lane
    PrefaultLane* current_ = nullptr;
    std::size_t users_ = 0;  // lanes asked since their last stop: reads filling their arenas
    const std::size_t cores_;
    bool started_ = false;
    bool refused_ = false;
};

void PrefaultLane::request(char* start, std::size_t size) noexcept
{
    PrefaultThread::instance().request(*this, start, size);
}

void PrefaultLane::stop() noexcept
{
    if (!asked_) return;
    PrefaultThread::instance().stop(*this);
}

}  // namespace brindle
