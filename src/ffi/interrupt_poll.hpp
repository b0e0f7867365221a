// Letting Ctrl-C stop a long walk.
//
// A tree of shared children can describe 2**40 occurrences with a few dozen nodes, so a walk
// over it (search, rendering, to_dict, from_dict, writing) can run for hours. The interpreter
// runs signal handlers only when native code asks it to, so a walk asks now and then. When a
// handler raised (KeyboardInterrupt, or whatever a handler of the user's raises), the walk ends
// as PythonError and everything it built is released on the way out, like any other failure.
//
// A walk reports its progress as a running total in a unit of its own (nodes visited, bytes
// produced or checked), chosen so that the work between two polls stays bounded. Reporting
// costs one compare per step; the poll itself happens once per interval of progress.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <chrono>
#include <cstdint>

#include "ffi/frame.hpp"

namespace brindle::ffi {

// Intervals that cost well under 1% of the walk yet react within a few milliseconds.
inline constexpr std::uint64_t kNodesBetweenPolls = 4096;
inline constexpr std::uint64_t kBytesBetweenPolls = std::uint64_t{1} << 20;

// For a walk that holds the interpreter lock.
class InterruptPoll {
public:
    explicit InterruptPoll(std::uint64_t interval) noexcept : interval_(interval), next_poll_(interval) {}

    // `done`: the walk's progress so far; it never decreases.
    void progress(std::uint64_t done)
    {
        if (done >= next_poll_) [[unlikely]]
            poll(done);
    }

private:
    [[gnu::cold, gnu::noinline]] void poll(std::uint64_t done);

    const std::uint64_t interval_;
    std::uint64_t next_poll_;
};

// For a walk that runs with the interpreter lock released (the writer). Taking the lock back
// waits for whichever thread holds it, up to the interpreter's switch interval (5 ms by default),
// so besides the interval of progress, polls are at least kUnlockedPollPeriod apart: a writer
// running beside a busy Python thread loses at most a few percent, and a short write never
// touches the lock at all.
class UnlockedInterruptPoll {
public:
    static constexpr std::chrono::milliseconds kUnlockedPollPeriod{100};

    UnlockedInterruptPoll(GilRelease& unlocked, std::uint64_t interval) noexcept
        : unlocked_(unlocked), interval_(interval), next_poll_(interval), last_poll_(std::chrono::steady_clock::now())
    {}

    // `done`: the walk's progress so far; it never decreases.
    void progress(std::uint64_t done)
    {
        if (done >= next_poll_) [[unlikely]]
            poll(done);
    }

private:
    [[gnu::cold, gnu::noinline]] void poll(std::uint64_t done);

    GilRelease& unlocked_;
    const std::uint64_t interval_;
    std::uint64_t next_poll_;
    std::chrono::steady_clock::time_point last_poll_;
};

}  // namespace brindle::ffi
