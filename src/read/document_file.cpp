#include "read/document_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "ffi/errors.hpp"
#include "files/open_path.hpp"
#include "kernels/kernels.hpp"
#include "memory/huge_pages.hpp"

namespace brindle::read {

using namespace ffi;

namespace {

// Closes the descriptor on every path out; a read-only descriptor has nothing to flush, so a
// failing close loses nothing.
class OpenFile {
public:
    explicit OpenFile(const std::string& path) : fd_(files::open_path(path, O_RDONLY)) {}
    ~OpenFile() { ::close(fd_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int fd() const noexcept { return fd_; }

    // The size the file claims (0 for pipes and files of the kernel's own, which are read
    // to their end all the same).
    std::size_t claimed_size() const
    {
        struct stat info;
        if (::fstat(fd_, &info) != 0) throw_os_error(errno);
        return S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
    }

private:
    int fd_;
};

// On failure the buffer keeps its old bytes (and frees them when it dies).
void resize(ByteBuffer& buffer, std::size_t capacity)
{
    void* grown = std::realloc(buffer.get(), capacity);
    if (grown == nullptr) throw std::bad_alloc();
    (void)buffer.release();
    buffer.reset(static_cast<char*>(grown));
}

// Reads until the end of the file. Room for one byte more than the claimed size lets the
// read that reports the end need no extra allocation.
std::size_t read_to_end(int fd, ByteBuffer& buffer, std::size_t capacity)
{
    std::size_t filled = 0;
    while (true) {
        if (filled == capacity) {
            capacity = capacity < 4096 ? 8192 : capacity * 2;
            resize(buffer, capacity);
        }
        const ssize_t got = ::read(fd, buffer.get() + filled, capacity - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw_os_error(errno);
        }
        if (got == 0) return filled;
        filled += static_cast<std::size_t>(got);
    }
}

}  // namespace

FileBytes load_file(const std::string& path)
{
    FileBytes file;
    {
        OpenFile open_file(path);
        const std::size_t capacity = open_file.claimed_size() + 1;
        resize(file.bytes_, capacity);
        memory::advise_huge_pages(file.bytes_.get(), capacity);  // the read fills it at once
        file.size_ = read_to_end(open_file.fd(), file.bytes_, capacity);
    }
    if (!kernels::is_valid_utf8(file.view())) throw_io_error("stream did not contain valid UTF-8");
    return file;
}

}  // namespace brindle::read
