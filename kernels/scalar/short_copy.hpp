#pragma once
// Copying a few bytes: most names, values and short texts of a document are a handful of bytes
// long, which two overlapping loads and stores move at less than the cost of a call to memcpy.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brindle::kernels {

// Copies `size` bytes from `from` to `to` (which must not overlap), reading and writing no byte
// outside either range.
[[gnu::always_inline]] inline void copy_short(void* to, const void* from, std::size_t size) noexcept
{
    auto* out = static_cast<unsigned char*>(to);
    const auto* in = static_cast<const unsigned char*>(from);
    if (size >= 8 && size <= 16) {
        std::uint64_t first, last;
        std::memcpy(&first, in, 8);
        std::memcpy(&last, in + size - 8, 8);
        std::memcpy(out, &first, 8);
        std::memcpy(out + size - 8, &last, 8);
    } else if (size >= 4 && size < 8) {
        std::uint32_t first, last;
        std::memcpy(&first, in, 4);
        std::memcpy(&last, in + size - 4, 4);
        std::memcpy(out, &first, 4);
        std::memcpy(out + size - 4, &last, 4);
    } else if (size < 4) {
        // The first, middle and last bytes cover one to three. (A loop here becomes a call to
        // memcpy: the compiler knows the idiom.)
        if (size != 0) {
            out[0] = in[0];
            out[size / 2] = in[size / 2];
            out[size - 1] = in[size - 1];
        }
    } else {
        std::memcpy(out, in, size);
    }
}

}  // namespace brindle::kernels
