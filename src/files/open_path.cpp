#include "files/open_path.hpp"

#include <fcntl.h>

#include <cerrno>

#include "ffi/errors.hpp"

namespace brindle::files {

using namespace ffi;

int open_path(const std::string& path, int flags, mode_t mode)
{
    if (path.find('\0') != std::string::npos) throw_io_error("file name contained an unexpected NUL byte");
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw_os_error(errno);
    return fd;
}

}  // namespace brindle::files
