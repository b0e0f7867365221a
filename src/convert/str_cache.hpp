// Reusing one str object for text that repeats within a single conversion: element names and
// attribute names recur on nearly every node of a document, and making (and later hashing) a
// fresh str for each occurrence dominates building large results. Strings are immutable, so
// sharing one among many places is invisible except through `is`, as with the interpreter's
// own interning.
//
// The cache is bounded in size and in probe length, so no input (however many distinct or
// colliding names it holds) makes a lookup cost more than a few comparisons: text that does
// not fit simply gets a fresh str.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <memory>
#include <string_view>

#include "ffi/py_ref.hpp"

namespace brindle::convert {

class StrCache {
public:
    StrCache();

    // A new reference to a str equal to `text`. The bytes `text` views must outlive the cache
    // (to_dict passes the fields of nodes that the call holds alive).
    ffi::PyRef get(std::string_view text);

private:
    static constexpr std::size_t kEntries = 1024;  // a power of two
    static constexpr std::size_t kMaxProbes = 8;
    static constexpr std::size_t kMaxCachedLength = 64;  // longer text is rarely repeated

    struct Entry {
        std::string_view text;  // the caller's bytes, alive for the cache's lifetime
        ffi::PyRef object;
    };

    std::unique_ptr<Entry[]> entries_;
};

}  // namespace brindle::convert
