#include "write/file_sink.hpp"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

#include "ffi/errors.hpp"
#include "files/open_path.hpp"
#include "write/file_io.hpp"

namespace brindle::write {

using namespace ffi;

namespace {

[[noreturn, gnu::cold]] void throw_write_failure(int error, const char* nothing_written_message)
{
    if (error == WriteOutcome::kZeroWrite) throw_io_error(nothing_written_message);
    throw_os_error(error);
}

}  // namespace

// Created with 0666 less the umask, or truncated.
FileSink::FileSink(const std::string& path) : fd_(files::open_path(path, O_WRONLY | O_CREAT | O_TRUNC, 0666)) {}

FileSink::~FileSink()
{
    // Only an earlier failure leaves bytes here; this last attempt may fail as well, and the
    // call already reports the first failure.
    if (buffered_ > 0) (void)write_out_buffer();
    close_quietly(fd_);
}

void FileSink::append_repeated(char byte, std::uint64_t count)
{
    while (count > 0) {
        if (buffered_ == kCapacity) flush();
        const std::size_t room = std::min<std::uint64_t>(count, kCapacity - buffered_);
        std::memset(buffer_ + buffered_, byte, room);
        buffered_ += room;
        count -= room;
    }
}

void FileSink::append_past_buffer(const char* bytes, std::size_t count)
{
    if (count > kCapacity - buffered_) flush();
    if (count < kCapacity) {
        std::memcpy(buffer_ + buffered_, bytes, count);
        buffered_ += count;
        return;
    }
    const WriteOutcome outcome = write_fully(fd_, bytes, count);
    written_ += outcome.written;
    if (!outcome.complete()) throw_write_failure(outcome.error, "failed to write whole buffer");
}

void FileSink::flush()
{
    const int error = write_out_buffer();
    if (error != 0) throw_write_failure(error, "failed to write the buffered data");
}

int FileSink::write_out_buffer() noexcept
{
    const WriteOutcome outcome = write_fully(fd_, buffer_, buffered_);
    written_ += outcome.written;
    std::memmove(buffer_, buffer_ + outcome.written, buffered_ - outcome.written);
    buffered_ -= outcome.written;
    return outcome.error;
}

}  // namespace brindle::write
