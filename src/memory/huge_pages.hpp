#pragma once
// Transparent huge pages for large blocks that are filled at once. Fresh memory is faulted
// in a page at a time; a read or a write that fills tens of megabytes front to back spent a
// third of its time in those faults, and one 2 MiB page takes the place of 512 of them.

#include <cstddef>

namespace brindle {

inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Maps `size` bytes (rounded up to whole 2 MiB pages, the rounded size stored back) on a 2 MiB
// boundary, asking for huge pages. Release with munmap(pointer, size). Throws std::bad_alloc.
void* map_huge_pages(std::size_t& size);

// Asks for huge pages over the whole 2 MiB pages inside [data, data + size): for a block that
// someone else allocated and this code is about to fill. Advice only; nothing fails.
void advise_huge_pages(void* data, std::size_t size) noexcept;

}  // namespace brindle
