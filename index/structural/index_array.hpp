#pragma once
// One array of the structural index: a contiguous, growable array of trivially copyable entries
// with the parts of std::vector's interface its readers use. Unlike a vector it lets its writer
// fill entries past its size, within its capacity, and then set the size once
// (`fill_to`): a builder that records five arrays per tag then pays one check of room and one
// count per tag, where five push_backs each check and count their own.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

namespace brindle::index {

template <class T>
class IndexArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    IndexArray() noexcept = default;
    IndexArray(std::initializer_list<T> entries) { *this = entries; }
    IndexArray(const IndexArray& other) { *this = other; }
    IndexArray(IndexArray&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0))
    {}
    IndexArray& operator=(const IndexArray& other)
    {
        if (this != &other) assign(other.begin(), other.size());
        return *this;
    }
    IndexArray& operator=(IndexArray&& other) noexcept
    {
        if (this != &other) {
            ::operator delete(data_);
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }
    IndexArray& operator=(std::initializer_list<T> entries)
    {
        assign(entries.begin(), entries.size());
        return *this;
    }
    ~IndexArray() { ::operator delete(data_); }

    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return size_ == 0; }
    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }
    T& back() noexcept { return data_[size_ - 1]; }
    const T& back() const noexcept { return data_[size_ - 1]; }
    T* begin() noexcept { return data_; }
    T* end() noexcept { return data_ + size_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + size_; }

    // Empties the array; its memory stays for the next entries.
    void clear() noexcept { size_ = 0; }
    // Room for `count` entries in all, exactly, when it has less. Throws std::bad_alloc,
    // leaving the array as it was.
    void reserve(std::size_t count)
    {
        if (count <= capacity_) return;
        if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        T* grown = static_cast<T*>(::operator new(count * sizeof(T)));
        if (size_ != 0) std::memcpy(grown, data_, size_ * sizeof(T));
        ::operator delete(data_);
        data_ = grown;
        capacity_ = count;
    }
    // Throws std::bad_alloc, leaving the array as it was.
    void push_back(const T& entry)
    {
        if (size_ == capacity_) reserve(std::max<std::size_t>(2 * capacity_, 16));
        data_[size_++] = entry;
    }
    void pop_back() noexcept { --size_; }

    // The entries before `size` (<= capacity()) are the array's: those past the old size were
    // written through data() by the caller.
    void fill_to(std::size_t size) noexcept { size_ = size; }

private:
    void assign(const T* entries, std::size_t count)
    {
        clear();
        reserve(count);
        if (count != 0) std::memcpy(data_, entries, count * sizeof(T));
        size_ = count;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace brindle::index
