#pragma once
// Transparent huge pages for large single blocks that are filled at once (a write's result, a
// document's bytes). Fresh memory is faulted in a page at a time; writing a 25 MB result spent
// most of its time in those faults, and one 2 MiB page takes the place of 512 of them.
//
// The node arena does not ask for them: a huge page must come from a free 2 MiB block, and on a
// virtual machine whose host reclaims the guest's free blocks (free page reporting) such a
// block is often backed anew on first touch, which costs more than the faults it saves and
// serializes threads that read at once (measured: two threads reading two documents went from
// 1.4-1.9x one thread to 0.45-0.97x).

#include <cstddef>

namespace brindle::memory {

// Asks for huge pages over the whole 2 MiB pages inside [data, data + size): for a block that
// someone else allocated and this code is about to fill. Advice only; nothing fails.
void advise_huge_pages(void* data, std::size_t size) noexcept;

}  // namespace brindle::memory
