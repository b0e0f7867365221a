#include "read/made_nodes.hpp"

#include <cstring>
#include <new>
#include <type_traits>

namespace brindle::read {

// The block grows by reallocation, which moves the entries' bytes: a PyRef is one pointer and
// nothing refers to where it lies.
static_assert(sizeof(PyRef) == sizeof(PyObject*) && std::is_standard_layout_v<PyRef>);

MadeNodes::~MadeNodes()
{
    truncate(0);
    PyMem_RawFree(block_);
}

void MadeNodes::reserve(std::size_t count)
{
    if (count <= capacity_) return;
    if (count > (PY_SSIZE_T_MAX - kNodeRoom) / sizeof(PyRef)) throw std::bad_alloc();
    void* grown = PyMem_RawRealloc(block_, kNodeRoom + count * sizeof(PyRef));
    if (grown == nullptr) throw std::bad_alloc();
    block_ = static_cast<char*>(grown);
    capacity_ = count;
}

void MadeNodes::truncate(std::size_t size) noexcept
{
    for (PyRef& entry : from(size)) entry.~PyRef();
    size_ = size;
}

void* MadeNodes::take_block(std::size_t extra)
{
    const std::size_t size = kNodeRoom + size_ * sizeof(PyRef) + extra;
    // A few entries (a stream's small record) are copied into a block of their own: the list
    // keeps its block for the next record instead of allocating one again.
    if (size_ <= kFirstCapacity) {
        void* exact = PyMem_RawMalloc(size);
        if (exact == nullptr) throw std::bad_alloc();
        if (size_ != 0) std::memcpy(static_cast<char*>(exact) + kNodeRoom, entries(), size_ * sizeof(PyRef));
        size_ = 0;
        return exact;
    }
    // Shrinking moves nothing that is mapped on its own; should it fail, the larger block serves
    // when it has the room.
    void* resized = PyMem_RawRealloc(block_, size);
    if (resized == nullptr && capacity_ * sizeof(PyRef) < size - kNodeRoom) throw std::bad_alloc();
    void* block = resized != nullptr ? resized : block_;
    block_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    return block;
}

}  // namespace brindle::read
