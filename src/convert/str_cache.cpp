#include "convert/str_cache.hpp"

#include "ffi/errors.hpp"
#include "ffi/py_values.hpp"

namespace brindle::convert {

using namespace ffi;

namespace {

// FNV-1a: cheap on short names. Its weakness to crafted collisions costs at most kMaxProbes
// comparisons per lookup, because the cache gives up rather than searching further.
std::size_t text_hash(std::string_view text) noexcept
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char byte : text) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ull;
    }
    return static_cast<std::size_t>(hash ^ (hash >> 29));
}

}  // namespace

StrCache::StrCache() : entries_(std::make_unique<Entry[]>(kEntries)) {}

PyRef StrCache::get(std::string_view text)
{
    if (text.size() > kMaxCachedLength) return make_str(text);
    std::size_t index = text_hash(text);
    for (std::size_t probe = 0; probe < kMaxProbes; ++probe, ++index) {
        Entry& entry = entries_[index & (kEntries - 1)];
        if (!entry.object) {
            PyRef made = make_str(text);
            entry.text = text;
            entry.object = PyRef::borrow(made.get());
            return made;
        }
        if (entry.text == text) return PyRef::borrow(entry.object.get());
    }
    return make_str(text);
}

}  // namespace brindle::convert
