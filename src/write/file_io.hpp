// The few POSIX file calls the file sink needs, each retried when a signal interrupts it.
// None of them touches Python: they run with the interpreter lock released.
#pragma once

#include <cstddef>
#include <string>

namespace brindle {

// Opens `path` write-only, created (0666 less the umask) or truncated, close-on-exec.
// Returns the descriptor, or -1 with errno set.
int open_for_writing(const std::string& path) noexcept;

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

}  // namespace brindle
