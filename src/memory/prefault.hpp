// Faulting fresh memory in ahead of its first write, on a thread of its own. Building a large
// tree is bounded by first touches: each 4 KiB page of fresh memory traps into the kernel,
// which finds, zeroes and maps a page (on this project's test machine 1.7 GB/s, most of the
// time a node-dense read takes). One process-wide thread takes that work off the reader: while
// the reader fills one part of its memory, the thread faults in the next, and on a machine
// with a spare core the traps cost the reader nothing (measured in C, writing 294 MiB in
// 72-byte steps: 254 ms alone, 137 ms with the thread a few MiB ahead).
//
// Faulting in never changes a byte: the kernel maps the pages the thread asks for, and a page
// already written is left as it is, so the reader and the thread may touch the same memory at
// once. The thread needs MADV_POPULATE_WRITE (Linux 5.14); where the kernel refuses it, or the
// thread cannot start, nothing is faulted ahead and the reader takes its own faults as before.
#pragma once

#include <atomic>
#include <cstddef>

namespace brindle {

// One user's requests to the thread (a read's node arena has one). A request is a range of a
// mapping the user owns, whose pages are faulted in whole (the mapping has all of them); before
// unmapping any of it the user calls `stop`, after which the thread touches none of the ranges
// asked for.
//
// The thread helps only while fewer users ask than there are cores. A user with a second lane
// (a read's list of made nodes) makes it `kSameUser`, so that the user counts once.
class PrefaultLane {
public:
    enum Counting : bool { kNewUser = true, kSameUser = false };

    explicit PrefaultLane(Counting counting = kNewUser) noexcept : counted_(counting) {}
    PrefaultLane(const PrefaultLane&) = delete;
    PrefaultLane& operator=(const PrefaultLane&) = delete;
    ~PrefaultLane() { stop(); }

    // Asks for [start, start + size) to be faulted in, after any range asked for before and not
    // yet begun when it ends at `start`, and in its place otherwise.
    void request(char* start, std::size_t size) noexcept;
    // Returns once the thread no longer touches, and will not touch, any range asked for here.
    void stop() noexcept;

private:
    friend class PrefaultThread;

    // Guarded by the thread's mutex, except that the user reads `asked_` (which only its own
    // calls change) unlocked, and the thread polls `cancelled_` between steps.
    const bool counted_;
    bool asked_ = false;            // since the last stop
    PrefaultLane* next_ = nullptr;  // in the thread's queue
    char* start_ = nullptr;         // the range not yet begun, while `queued_`
    char* end_ = nullptr;
    bool queued_ = false;                 // waiting for the thread
    bool busy_ = false;                   // the thread is faulting in a range of this lane
    std::atomic<bool> cancelled_{false};  // the thread is to give up the range it is on
};

}  // namespace brindle
