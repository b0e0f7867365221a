#pragma once
// The searches for sequences and single bytes the builders share.
// Internal to the index: included by the builders only.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "kernels/kernels.hpp"

namespace brindle::index::detail {

// Offset of the first occurrence of `pattern` starting at or after `from`, or the document
// size. Each candidate is found by the kernel's search for the pattern's first byte,
// so "--->" still finds the "-->" that starts at its second byte.
inline std::size_t find_sequence(std::string_view document, std::size_t from, std::string_view pattern) noexcept
{
    const std::size_t size = document.size();
    const auto first = static_cast<unsigned char>(pattern.front());
    for (std::size_t at = kernels::find_byte(document, from, first); at < size;
         at = kernels::find_byte(document, at + 1, first)) {
        if (size - at < pattern.size()) {
            return size;
        }
        if (std::memcmp(document.data() + at, pattern.data(), pattern.size()) == 0) {
            return at;
        }
    }
    return size;
}

// True when `pattern` lies in the document at `at` (false when it would run past the end).
inline bool starts_with_at(std::string_view document, std::size_t at, std::string_view pattern) noexcept
{
    return at <= document.size() && document.size() - at >= pattern.size() &&
           std::memcmp(document.data() + at, pattern.data(), pattern.size()) == 0;
}

// A forward search for one byte that remembers its last answer: the first match at or after
// any offset from where that search started up to the match it found is that same match. So
// markup that never closes costs one search to the end, not one from every '<' before it.
class RememberedSearch {
public:
    explicit RememberedSearch(unsigned char value) noexcept : value_(value) {}

    std::size_t find(std::string_view document, std::size_t from) noexcept
    {
        if (from < from_ || from > found_) {
            from_ = from;
            found_ = kernels::find_byte(document, from, value_);
        }
        return found_;
    }

private:
    unsigned char value_;
    std::size_t from_ = 1;  // with found_ < from_, nothing is remembered yet
    std::size_t found_ = 0;
};

}  // namespace brindle::index::detail
