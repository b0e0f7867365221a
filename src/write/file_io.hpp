// The POSIX calls the file sink writes and closes with, each retried when a signal interrupts
// it (files/open_path.hpp opens the file).
// None of them touches Python: they run with the interpreter lock released.
#pragma once

#include <cstddef>

namespace brindle::write {

// Closes the descriptor; a failure to close is of no use to anyone here and is ignored.
void close_quietly(int fd) noexcept;

struct WriteOutcome {
    std::size_t written = 0;  // bytes that reached the file, from the front
    int error = 0;            // 0: all written; kZeroWrite: the system wrote nothing; else errno

    static constexpr int kZeroWrite = -1;
    bool complete() const noexcept { return error == 0; }
};

// Writes all `count` bytes with as many calls as it takes, stopping at the first failure.
WriteOutcome write_fully(int fd, const char* bytes, std::size_t count) noexcept;

}  // namespace brindle::write
