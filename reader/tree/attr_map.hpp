// An insertion-ordered map of attribute names to values.
//
// Small maps (the common case) are searched linearly; past a handful of entries a hash index
// is built whose hash is keyed from the operating system's random source once per process and
// varied per map, so a crafted document cannot force quadratic work. Iteration always gives
// the insertion order, so every reading and every copy of a map agree.
//
// An empty map is a single null pointer: every Node holds a map, most have no attributes, and
// the size of a Node decides how much memory a large document's tree touches.
//
// It lives in the reader core, which fills one per element with attributes, and Node keeps the
// same map. Like a standard container it throws std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brindle::reader {

class AttrMap {
public:
    using Entry = std::pair<std::string, std::string>;

    AttrMap() = default;
    AttrMap(const AttrMap& other);
    AttrMap& operator=(const AttrMap& other);
    AttrMap(AttrMap&&) noexcept = default;
    AttrMap& operator=(AttrMap&&) noexcept = default;

    void reserve(std::size_t count)
    {
        if (count != 0) storage().entries.reserve(count);
    }

    // Adds the pair unless the key is already present; returns whether it was added.
    bool insert(std::string key, std::string value);

    // Adds the pair, or replaces the value of a key already present (its position stays).
    void insert_or_assign(std::string key, std::string value);

    const std::string* find(std::string_view key) const noexcept;
    bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }

    std::size_t size() const noexcept { return entries().size(); }
    bool empty() const noexcept { return entries().empty(); }
    auto begin() const noexcept { return entries().begin(); }
    auto end() const noexcept { return entries().end(); }

private:
    static constexpr std::size_t kLinearLimit = 8;

    std::size_t slot_of(std::string_view key) const noexcept;
    std::size_t find_index(std::string_view key) const noexcept;
    void rebuild_index();
    void index_entry(std::uint32_t position) noexcept;

    struct Storage {
        std::vector<Entry> entries;
        // Open-addressing table of entry positions + 1 (0 marks an empty slot); empty while
        // the map is small. Its size is a power of two, at least twice the entry count.
        std::unique_ptr<std::uint32_t[]> table;
        std::size_t table_size = 0;
        std::uint64_t seed = 0;
    };

    const std::vector<Entry>& entries() const noexcept;
    Storage& storage();

    std::unique_ptr<Storage> storage_;  // null while the map has never held an entry
};

// A keyed 64-bit hash of a byte string (SipHash-1-3 with the process key and the given tweak).
std::uint64_t keyed_hash(std::string_view bytes, std::uint64_t tweak) noexcept;

// A fresh per-map tweak: each map hashes differently from the last.
std::uint64_t next_map_seed() noexcept;

}  // namespace brindle::reader
