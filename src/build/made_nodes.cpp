#include "build/made_nodes.hpp"

#include <cstring>
#include <new>
#include <type_traits>

namespace brindle::build {

using namespace ffi;

// The block grows by reallocation, which moves the entries' bytes: a PyRef is one pointer and
// nothing refers to where it lies.
static_assert(sizeof(PyRef) == sizeof(PyObject*) && std::is_standard_layout_v<PyRef>);

MadeNodes::~MadeNodes()
{
    truncate(0);
    if (mapped_bytes_ != 0) {
        memory::give_back_pages({block_, mapped_bytes_});
    } else {
        PyMem_RawFree(block_);
    }
}

void MadeNodes::reserve(std::size_t count, bool untouched)
{
    if (count <= capacity_) return;
    if (count > (PY_SSIZE_T_MAX - kNodeRoom) / sizeof(PyRef)) throw std::bad_alloc();
    const std::size_t bytes = kNodeRoom + count * sizeof(PyRef);
    if (bytes >= memory::kPagedFrom) return move_to_pages(bytes, untouched);
    void* grown = PyMem_RawRealloc(block_, bytes);
    if (grown == nullptr) throw std::bad_alloc();
    block_ = static_cast<char*>(grown);
    capacity_ = count;
}

// Pages grow by remapping, which moves no bytes; the first come from the store of kept pages
// (a block up to half again as large serves) or, for a reservation mostly left untouched, fresh
// from the system.
void MadeNodes::move_to_pages(std::size_t bytes, bool untouched)
{
    memory::Pages pages{block_, mapped_bytes_};
    if (mapped_bytes_ != 0) {
        memory::grow_pages(pages, bytes);
    } else {
        pages = untouched ? memory::map_pages(bytes) : memory::take_pages(bytes, bytes + bytes / 2);
        if (block_ != nullptr) std::memcpy(pages.data, block_, kNodeRoom + size_ * sizeof(PyRef));
        PyMem_RawFree(block_);
    }
    block_ = pages.data;
    mapped_bytes_ = pages.size;
    capacity_ = (pages.size - kNodeRoom) / sizeof(PyRef);
}

void MadeNodes::truncate(std::size_t size) noexcept
{
    for (PyRef& entry : from(size)) entry.~PyRef();
    size_ = size;
}

void* MadeNodes::take_block(std::size_t extra, memory::Pages& mapped)
{
    const std::size_t size = kNodeRoom + size_ * sizeof(PyRef) + extra;
    mapped = {};
    // A few entries (a stream's small record) are copied into a block of their own: the list
    // keeps its block for the next record instead of allocating one again.
    if (size_ <= kFirstCapacity) {
        void* exact = PyMem_RawMalloc(size);
        if (exact == nullptr) throw std::bad_alloc();
        if (size_ != 0) std::memcpy(static_cast<char*>(exact) + kNodeRoom, entries(), size_ * sizeof(PyRef));
        size_ = 0;
        return exact;
    }
    if (mapped_bytes_ != 0) {
        mapped = {block_, mapped_bytes_};
        if (size > mapped_bytes_) memory::grow_pages(mapped, size);
        memory::shrink_pages(mapped, size);  // the pages past the node go back to the system
    } else {
        // Shrinking moves nothing that is mapped on its own; should it fail, the larger block
        // serves when it has the room.
        void* resized = PyMem_RawRealloc(block_, size);
        if (resized == nullptr && capacity_ * sizeof(PyRef) < size - kNodeRoom) throw std::bad_alloc();
        if (resized != nullptr) block_ = static_cast<char*>(resized);
    }
    void* block = mapped.data != nullptr ? mapped.data : block_;
    block_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    mapped_bytes_ = 0;
    return block;
}

}  // namespace brindle::build
