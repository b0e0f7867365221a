#include "write/file_io.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace brindle::write {

void close_quietly(int fd) noexcept
{
    // Not retried on EINTR: on Linux the descriptor is gone either way, and a retry could close
    // a descriptor another thread has just been given.
    (void)::close(fd);
}

WriteOutcome write_fully(int fd, const char* bytes, std::size_t count) noexcept
{
    WriteOutcome outcome;
    while (outcome.written < count) {
        const std::size_t chunk = std::min<std::size_t>(count - outcome.written, SSIZE_MAX);
        const ssize_t result = ::write(fd, bytes + outcome.written, chunk);
        if (result > 0) {
            outcome.written += static_cast<std::size_t>(result);
        } else if (result == 0) {
            outcome.error = WriteOutcome::kZeroWrite;
            break;
        } else if (errno != EINTR) {
            outcome.error = errno;
            break;
        }
    }
    return outcome;
}

}  // namespace brindle::write
