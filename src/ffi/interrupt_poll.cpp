#include "ffi/interrupt_poll.hpp"

#include "ffi/errors.hpp"

namespace brindle::ffi {

namespace {

// Runs the handlers of the signals that arrived meanwhile (only the main thread of the main
// interpreter runs any; elsewhere this returns at once).
void run_signal_handlers()
{
    if (PyErr_CheckSignals() < 0) throw_python_error();
}

}  // namespace

void InterruptPoll::poll(std::uint64_t done)
{
    next_poll_ = done + interval_;
    run_signal_handlers();
}

void UnlockedInterruptPoll::poll(std::uint64_t done)
{
    next_poll_ = done + interval_;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_poll_ < kUnlockedPollPeriod) return;
    last_poll_ = now;
    const GilReacquire locked(unlocked_);
    run_signal_handlers();
}

}  // namespace brindle::ffi
