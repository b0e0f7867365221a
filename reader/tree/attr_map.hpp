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

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "kernels/scalar/short_copy.hpp"

namespace brindle::reader {

// The whole map is one allocation: a header, then each entry as a record (the key's length and
// the value's length as variable-length integers, then the key's and the value's bytes), in
// insertion order. Past a handful of entries a table of record offsets makes lookups hashed.
// Large documents hold millions of these, so one block per map instead of a block per string
// is what keeps a read tree small.
class AttrMap {
public:
    struct Entry {
        std::string_view key;
        std::string_view value;
    };

    class Iterator {
    public:
        explicit Iterator(const unsigned char* at) noexcept : at_(at) {}
        Entry operator*() const noexcept;
        Iterator& operator++() noexcept;
        bool operator==(const Iterator&) const noexcept = default;

    private:
        const unsigned char* at_;
    };

    AttrMap() noexcept = default;
    AttrMap(const AttrMap& other);
    AttrMap& operator=(const AttrMap& other);
    AttrMap(AttrMap&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    AttrMap& operator=(AttrMap&& other) noexcept
    {
        if (this != &other) {
            release();
            block_ = std::exchange(other.block_, nullptr);
        }
        return *this;
    }
    ~AttrMap() { release(); }

    // Room for `count` entries whose keys and values hold `text_bytes` bytes together.
    void reserve(std::size_t count, std::size_t text_bytes);

    // Adds the pair unless the key is already present; returns whether it was added.
    bool insert(std::string_view key, std::string_view value);

    // Adds a pair whose key the caller has checked is not present.
    void add_absent(std::string_view key, std::string_view value)
    {
        if (!append_short(key, value)) append(key, value);
    }

    // Makes this map a copy of `other` (with a hash index of its own when `other` has one), in
    // the block this map already has when it is large enough. Throws std::bad_alloc, leaving
    // this map empty.
    void copy_from(const AttrMap& other);

    // Empties the map, keeping its block for the next entries (a placed map lets go of its
    // memory instead): the reader fills one map per tag and copies it where the element lives.
    // Inline for most tags' map, empty already (an empty owned block has no records and no index).
    void clear() noexcept
    {
        if (block_ != nullptr && (block_->count != 0 || !block_->owned)) clear_block();
    }

    // Adds the pair, or replaces the value of a key already present (its position stays).
    void insert_or_assign(std::string_view key, std::string_view value);

    // Bytes that a placed copy of this map takes, or 0 when it cannot be placed (an empty map,
    // or one searched through a hash index, which keeps its own blocks).
    std::size_t placed_size() const noexcept;
    // A copy of this map in `memory` (placed_size() bytes, 8-aligned), which must outlive the
    // copy and which the copy never frees. A read tree's maps live in its node arena this way.
    AttrMap placed_copy(void* memory) const noexcept;

    std::optional<std::string_view> find(std::string_view key) const noexcept;
    bool contains(std::string_view key) const noexcept { return find(key).has_value(); }

    std::size_t size() const noexcept { return block_ != nullptr ? block_->count : 0; }
    bool empty() const noexcept { return size() == 0; }
    Iterator begin() const noexcept;
    Iterator end() const noexcept;

private:
    // What a map that owns its block keeps besides its records: in the same allocation, just
    // before the block's header, so that a placed copy (one per element with attributes in a read
    // tree) carries only the header's two words.
    struct Room {
        std::size_t capacity;    // bytes of room for records
        std::size_t table_size;  // slots of `table` (a power of two), 0 while the map is small
        std::uint64_t seed;      // this map's hash tweak, 0 until its table is first built
        std::size_t* table;      // record offsets + 1 (0 marks an empty slot), or null
    };
    // A block's record bytes fit in 63 bits, as any allocation's size does.
    static constexpr std::size_t kMostUsed = ~std::size_t{0} >> 1;
    struct Block {
        std::size_t count;      // entries
        std::size_t used : 63;  // bytes of records
        std::size_t owned : 1;  // 0 for a placed copy: the block is someone else's memory, with no Room

        unsigned char* records() noexcept { return reinterpret_cast<unsigned char*>(this + 1); }
        Room& room() noexcept { return *(reinterpret_cast<Room*>(this) - 1); }  // an owned block's only
        std::size_t* table() noexcept { return owned ? room().table : nullptr; }
    };
    static constexpr std::size_t kLinearLimit = 8;
    static constexpr std::size_t kNotFound = ~std::size_t{0};

    std::size_t find_record(std::string_view key) const noexcept;  // its offset, or kNotFound
    void append(std::string_view key, std::string_view value);
    // Appends inline what most tags hold: a pair of short strings into an owned block with room,
    // not yet searched through a hash index. Returns false, changing nothing, for anything else.
    bool append_short(std::string_view key, std::string_view value) noexcept
    {
        constexpr std::size_t kShort = 0x80;  // lengths that take one byte (see the records)
        if (block_ == nullptr || !block_->owned || block_->count >= kLinearLimit) return false;
        if (key.size() >= kShort || value.size() >= kShort) return false;
        const Room& room = block_->room();
        const std::size_t needed = 2 + key.size() + value.size();
        if (room.table != nullptr || room.capacity - block_->used < needed) return false;
        unsigned char* at = block_->records() + block_->used;
        at[0] = static_cast<unsigned char>(key.size());
        at[1] = static_cast<unsigned char>(value.size());
        kernels::copy_short(at + 2, key.data(), key.size());
        kernels::copy_short(at + 2 + key.size(), value.data(), value.size());
        block_->used = (block_->used + needed) & kMostUsed;
        ++block_->count;
        return true;
    }
    void grow(std::size_t needed);
    void index_record(std::size_t offset) noexcept;
    void rebuild_index();
    // Inline for the common empty map, which every element without attributes moves and drops,
    // and for the placed maps of a dying read tree, which free nothing.
    void release() noexcept
    {
        if (block_ != nullptr && block_->owned) release_block();
        block_ = nullptr;
    }
    void release_block() noexcept;  // an owned block's memory
    void clear_block() noexcept;

    Block* block_ = nullptr;  // null while the map has never held an entry
};

// A keyed 64-bit hash of a byte string (SipHash-1-3 with the process key and the given tweak).
std::uint64_t keyed_hash(std::string_view bytes, std::uint64_t tweak) noexcept;

// A fresh per-map tweak: each map hashes differently from the last.
std::uint64_t next_map_seed() noexcept;

}  // namespace brindle::reader
