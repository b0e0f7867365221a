// Loading a whole file into memory for reading, without the interpreter lock.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace brindle::read {

struct FreeBytes {
    void operator()(char* bytes) const noexcept { std::free(bytes); }
};
using ByteBuffer = std::unique_ptr<char, FreeBytes>;

// The bytes of one file, held once.
class FileBytes {
public:
    std::string_view view() const noexcept { return {bytes_.get(), size_}; }

private:
    friend FileBytes load_file(const std::string& path);
    ByteBuffer bytes_;
    std::size_t size_ = 0;
};

// Reads the whole file at `path` (opened as given, relative to the working directory).
// Throws the OSError for the system's error, or OSError "file name contained an unexpected
// NUL byte" for a path holding a NUL, or "stream did not contain valid UTF-8".
FileBytes load_file(const std::string& path);

}  // namespace brindle::read
