#include "reader/tree/attr_map.hpp"

#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <utility>

#include "kernels/scalar/short_copy.hpp"

namespace brindle::reader {

namespace {

struct ProcessKey {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
};

const ProcessKey& process_key() noexcept
{
    static const ProcessKey key = [] {
        ProcessKey k;
        std::uint64_t words[2] = {0, 0};
        if (getrandom(words, sizeof words, 0) != static_cast<ssize_t>(sizeof words)) {
            // No random source: fall back to something that differs between runs.
            words[0] = static_cast<std::uint64_t>(std::time(nullptr)) * 0x9E3779B97F4A7C15ull;
            words[1] = reinterpret_cast<std::uintptr_t>(&k) ^ 0xD6E8FEB86659FD93ull;
        }
        k.k0 = words[0];
        k.k1 = words[1];
        return k;
    }();
    return key;
}

inline std::uint64_t rotl(std::uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;
    void round() noexcept
    {
        // clang-format off
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
        // clang-format on
    }
    void absorb(std::uint64_t m) noexcept
    {
        v3 ^= m;
        round();
        v0 ^= m;
    }
};

}  // namespace

std::uint64_t keyed_hash(std::string_view bytes, std::uint64_t tweak) noexcept
{
    const ProcessKey& key = process_key();
    const std::uint64_t k0 = key.k0 ^ tweak;
    const std::uint64_t k1 = key.k1;
    SipState s{k0 ^ 0x736f6d6570736575ull, k1 ^ 0x646f72616e646f6dull, k0 ^ 0x6c7967656e657261ull,
               k1 ^ 0x7465646279746573ull};
    const std::size_t length = bytes.size();
    const char* data = bytes.data();
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t m;
        std::memcpy(&m, data + i, 8);
        s.absorb(m);
    }
    std::uint64_t last = static_cast<std::uint64_t>(length) << 56;
    for (std::size_t j = 0; i + j < length; ++j) {
        last |= static_cast<std::uint64_t>(static_cast<unsigned char>(data[i + j])) << (8 * j);
    }
    s.absorb(last);
    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

std::uint64_t next_map_seed() noexcept
{
    static std::atomic<std::uint64_t> counter{0};
    return (counter.fetch_add(1, std::memory_order_relaxed) + 1) * 0x9E3779B97F4A7C15ull;
}

namespace {

// Lengths are stored as unsigned LEB128: one byte below 128, as most names and values are.

unsigned char* put_length(unsigned char* at, std::size_t length) noexcept
{
    while (length >= 0x80) {
        *at++ = static_cast<unsigned char>(length | 0x80);
        length >>= 7;
    }
    *at++ = static_cast<unsigned char>(length);
    return at;
}

const unsigned char* get_length(const unsigned char* at, std::size_t& length) noexcept
{
    length = 0;
    for (unsigned shift = 0;; shift += 7) {
        const unsigned char byte = *at++;
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return at;
    }
}

std::size_t length_bytes(std::size_t length) noexcept
{
    std::size_t bytes = 1;
    for (; length >= 0x80; length >>= 7) ++bytes;
    return bytes;
}

// A record read back: its entry and where the next record starts.
struct Record {
    AttrMap::Entry entry;
    const unsigned char* next;
};

Record read_record(const unsigned char* at) noexcept
{
    std::size_t key_length;
    std::size_t value_length;
    at = get_length(at, key_length);
    at = get_length(at, value_length);
    const auto* text = reinterpret_cast<const char*>(at);
    return {{{text, key_length}, {text + key_length, value_length}}, at + key_length + value_length};
}

}  // namespace

AttrMap::Entry AttrMap::Iterator::operator*() const noexcept { return read_record(at_).entry; }

AttrMap::Iterator& AttrMap::Iterator::operator++() noexcept
{
    at_ = read_record(at_).next;
    return *this;
}

AttrMap::AttrMap(const AttrMap& other) { copy_from(other); }

AttrMap& AttrMap::operator=(const AttrMap& other)
{
    if (this != &other) {
        AttrMap copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void AttrMap::release_block() noexcept
{
    std::free(block_->room().table);
    std::free(&block_->room());
}

void AttrMap::clear_block() noexcept
{
    if (!block_->owned) {
        block_ = nullptr;
        return;
    }
    Room& room = block_->room();
    if (room.table != nullptr) {  // a later index is built anew, with a fresh seed
        std::free(room.table);
        room = Room{room.capacity, 0, 0, nullptr};
    }
    block_->count = 0;
    block_->used = 0;
}

void AttrMap::copy_from(const AttrMap& other)
{
    if (this == &other) return;
    clear();
    if (other.empty()) return;
    grow(other.block_->used);
    std::memcpy(block_->records(), other.block_->records(), other.block_->used);
    block_->used = other.block_->used;
    block_->count = other.block_->count;
    if (other.block_->table() != nullptr) {
        try {
            rebuild_index();
        } catch (...) {
            release();  // nothing is left allocated, so a constructor that throws here leaks nothing
            throw;
        }
    }
}

std::size_t AttrMap::placed_size() const noexcept
{
    if (empty() || block_->table() != nullptr) return 0;
    return sizeof(Block) + block_->used;
}

AttrMap AttrMap::placed_copy(void* memory) const noexcept
{
    AttrMap copy;
    copy.block_ = new (memory) Block{block_->count, block_->used, 0};
    std::memcpy(copy.block_->records(), block_->records(), block_->used);
    return copy;
}

AttrMap::Iterator AttrMap::begin() const noexcept { return Iterator(block_ ? block_->records() : nullptr); }

AttrMap::Iterator AttrMap::end() const noexcept
{
    return Iterator(block_ ? block_->records() + block_->used : nullptr);
}

void AttrMap::reserve(std::size_t count, std::size_t text_bytes)
{
    if (count != 0) grow(text_bytes + 2 * count);  // most lengths take one byte each
}

// Makes room for `needed` more bytes of records: at least doubling, so appends stay linear.
void AttrMap::grow(std::size_t needed)
{
    if (block_ != nullptr && !block_->owned) *this = AttrMap(*this);  // a placed map grows as a copy of its own
    const std::size_t used = block_ ? block_->used : 0;
    const std::size_t capacity = block_ ? block_->room().capacity : 0;
    if (capacity - used >= needed) return;
    const std::size_t wanted = std::max(used + needed, block_ ? capacity * 2 : 0);
    void* memory = std::realloc(block_ ? &block_->room() : nullptr, sizeof(Room) + sizeof(Block) + wanted);
    if (memory == nullptr) throw std::bad_alloc();
    auto* room = static_cast<Room*>(memory);
    if (block_ == nullptr) {
        new (room) Room{0, 0, 0, nullptr};
        new (room + 1) Block{0, 0, 1};
    }
    block_ = reinterpret_cast<Block*>(room + 1);
    room->capacity = wanted;
}

std::size_t AttrMap::find_record(std::string_view key) const noexcept
{
    if (block_ == nullptr) return kNotFound;
    const unsigned char* records = block_->records();
    const std::size_t* table = block_->table();
    if (table == nullptr) {
        for (const unsigned char* at = records; at != records + block_->used;) {
            const Record record = read_record(at);
            if (record.entry.key == key) return static_cast<std::size_t>(at - records);
            at = record.next;
        }
        return kNotFound;
    }
    const Room& room = block_->room();
    const std::size_t mask = room.table_size - 1;
    for (std::size_t slot = keyed_hash(key, room.seed) & mask;; slot = (slot + 1) & mask) {
        const std::size_t stored = table[slot];
        if (stored == 0) return kNotFound;
        if (read_record(records + stored - 1).entry.key == key) return stored - 1;
    }
}

std::optional<std::string_view> AttrMap::find(std::string_view key) const noexcept
{
    const std::size_t offset = find_record(key);
    if (offset == kNotFound) return std::nullopt;
    return read_record(block_->records() + offset).entry.value;
}

void AttrMap::index_record(std::size_t offset) noexcept
{
    Room& room = block_->room();
    const std::size_t mask = room.table_size - 1;
    std::size_t slot = keyed_hash(read_record(block_->records() + offset).entry.key, room.seed) & mask;
    while (room.table[slot] != 0) slot = (slot + 1) & mask;
    room.table[slot] = offset + 1;
}

void AttrMap::rebuild_index()
{
    Room& room = block_->room();
    if (room.seed == 0) room.seed = next_map_seed();
    std::size_t size = 16;
    while (size < block_->count * 2 + 2) size *= 2;
    auto* table = static_cast<std::size_t*>(std::calloc(size, sizeof(std::size_t)));  // all slots empty
    if (table == nullptr) throw std::bad_alloc();
    std::free(room.table);
    room.table = table;
    room.table_size = size;
    const unsigned char* records = block_->records();
    for (const unsigned char* at = records; at != records + block_->used; at = read_record(at).next) {
        index_record(static_cast<std::size_t>(at - records));
    }
}

// Appends a record for a key the map does not hold, keeping the hash index up to date.
void AttrMap::append(std::string_view key, std::string_view value)
{
    const std::size_t needed = length_bytes(key.size()) + length_bytes(value.size()) + key.size() + value.size();
    if (block_ == nullptr || !block_->owned || block_->room().capacity - block_->used < needed) grow(needed);
    unsigned char* start = block_->records() + block_->used;
    unsigned char* at = put_length(put_length(start, key.size()), value.size());
    kernels::copy_short(at, key.data(), key.size());
    kernels::copy_short(at + key.size(), value.data(), value.size());
    const std::size_t offset = block_->used;
    const std::size_t previous_count = block_->count;
    block_->used = static_cast<std::size_t>(at + key.size() + value.size() - block_->records()) & kMostUsed;
    ++block_->count;
    if (block_->table() != nullptr && block_->count * 2 + 2 <= block_->room().table_size) {
        index_record(offset);
    } else if (block_->count > kLinearLimit) {
        try {
            rebuild_index();
        } catch (...) {
            block_->used = offset & kMostUsed;  // keep the map consistent; the caller sees bad_alloc
            block_->count = previous_count;
            throw;
        }
    }
}

bool AttrMap::insert(std::string_view key, std::string_view value)
{
    if (find_record(key) != kNotFound) return false;
    append(key, value);
    return true;
}

void AttrMap::insert_or_assign(std::string_view key, std::string_view value)
{
    const std::size_t existing = find_record(key);
    if (existing == kNotFound) {
        append(key, value);
        return;
    }
    // The records after it move: rebuild the map in order with the new value in its place.
    AttrMap replaced;
    replaced.reserve(block_->count, block_->used + value.size());
    for (const Entry entry : *this) replaced.append(entry.key, entry.key == key ? value : entry.value);
    *this = std::move(replaced);
}

}  // namespace brindle::reader
