// Faulting fresh memory in ahead of its first write, on a helper thread. Building a large tree
// is bounded by first touches: each 4 KiB page of fresh memory traps into the kernel, which
// finds, zeroes and maps a page (on this project's test machine 1.7 GB/s, most of the time a
// node-dense read takes). A read that fills much fresh memory starts a helper for as long as
// it fills: while the read fills one part of its memory, the helper faults in the next, and on
// a machine with a spare core the traps cost the read nothing (measured in C, writing 294 MiB
// in 72-byte steps: 254 ms alone, 137 ms with a helper a few MiB ahead).
//
// Faulting in never changes a byte: the kernel maps the pages asked for, and a page already
// written is left as it is, so the read and its helper may touch the same memory at once. The
// helper needs MADV_POPULATE_WRITE (Linux 5.14); where the kernel refuses it, or no thread can
// start, nothing is faulted ahead and the read takes its own faults.
//
// Helpers run only while fewer reads ask for one than the process may use cores: when every
// core is reading, faulting in for one read would only take time from another.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace brindle {

class Prefaulter {
public:
    // The two kinds of memory a read fills: its node arena and its list of made nodes.
    enum Range : unsigned { kArena, kMadeNodes, kRanges };

    Prefaulter() = default;
    Prefaulter(const Prefaulter&) = delete;
    Prefaulter& operator=(const Prefaulter&) = delete;
    ~Prefaulter() { stop(); }

    // Asks for the pages over [start, start + size), in a mapping the caller keeps until `stop`,
    // to be faulted in: after the range of the same kind asked for before when this one
    // continues it, in its place otherwise. Starts the helper at need.
    void request(Range range, char* start, std::size_t size) noexcept;

    // For a region filled front to back, now filled up to `at` of [at, end): asks for what lies
    // up to `ahead` bytes past `at` and was not asked for yet (from `at` on when the region is
    // new), and returns where to call again, `step` bytes on (at most `end`).
    char* keep_ahead(Range range, char* at, char* end, std::size_t ahead, std::size_t step) noexcept;

    // Ends the helper's work for good: returns once it touches no memory, and ignores every
    // later request. Only the read's own thread calls `request` and `stop`.
    void stop() noexcept;

private:
    void serve() noexcept;
    bool take_pending(char*& start, char*& end) noexcept;  // with mutex_ held
    void fault_in(char* start, char* end) noexcept;

    std::mutex mutex_;
    std::condition_variable work_;
    char* starts_[kRanges] = {};  // what is asked for and not yet begun, guarded by mutex_
    char* ends_[kRanges] = {};
    std::atomic<bool> stopping_{false};
    std::thread helper_;
    char* asked_to_[kRanges] = {};  // the end of what keep_ahead asked for; only the read's thread
    bool asking_ = false;           // counted among the reads that ask for help
    bool stopped_ = false;          // `stop` has run
};

}  // namespace brindle
