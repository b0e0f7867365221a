// A call that takes or keeps pages of the store of kept memory (a read, a step of a stream, a
// write), counted for its lifetime: while calls run at once, the store keeps up to
// kMostKeptBytes for each of them, so that threads reading side by side do not push out each
// other's blocks (kept_pages.hpp). The count comes down whichever way the call ends, an error
// or an interrupt included, and the store then trims to the bound of the calls left.
//
// The first object of an entry point's body, so that it outlives everything the call gives
// back: what is given back while the call runs counts against its bound.
#pragma once

#include "memory/kept_pages.hpp"

namespace brindle::memory {

class RunningCall {
public:
    RunningCall() noexcept { call_started(); }
    ~RunningCall() { call_ended(); }
    RunningCall(const RunningCall&) = delete;
    RunningCall& operator=(const RunningCall&) = delete;
};

}  // namespace brindle::memory
