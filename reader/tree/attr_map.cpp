#include "reader/tree/attr_map.hpp"

#include <sys/random.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <mutex>

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
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
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

AttrMap::AttrMap(const AttrMap& other)
{
    if (!other.storage_) return;
    Storage& mine = storage();
    mine.entries = other.storage_->entries;
    mine.seed = other.storage_->seed;
    if (other.storage_->table) rebuild_index();
}

AttrMap& AttrMap::operator=(const AttrMap& other)
{
    if (this != &other) {
        AttrMap copy(other);
        *this = std::move(copy);
    }
    return *this;
}

const std::vector<AttrMap::Entry>& AttrMap::entries() const noexcept
{
    static const std::vector<Entry> none;
    return storage_ ? storage_->entries : none;
}

AttrMap::Storage& AttrMap::storage()
{
    if (!storage_) storage_ = std::make_unique<Storage>();
    return *storage_;
}

std::size_t AttrMap::slot_of(std::string_view key) const noexcept
{
    return static_cast<std::size_t>(keyed_hash(key, storage_->seed)) & (storage_->table_size - 1);
}

std::size_t AttrMap::find_index(std::string_view key) const noexcept
{
    const std::vector<Entry>& all = entries();
    if (!storage_ || !storage_->table) {
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i].first == key) return i;
        }
        return all.size();
    }
    const std::size_t mask = storage_->table_size - 1;
    for (std::size_t slot = slot_of(key);; slot = (slot + 1) & mask) {
        const std::uint32_t stored = storage_->table[slot];
        if (stored == 0) return all.size();
        if (all[stored - 1].first == key) return stored - 1;
    }
}

const std::string* AttrMap::find(std::string_view key) const noexcept
{
    const std::size_t i = find_index(key);
    return i < size() ? &storage_->entries[i].second : nullptr;
}

void AttrMap::index_entry(std::uint32_t position) noexcept
{
    Storage& s = *storage_;
    std::size_t slot = slot_of(s.entries[position].first);
    while (s.table[slot] != 0) slot = (slot + 1) & (s.table_size - 1);
    s.table[slot] = position + 1;
}

void AttrMap::rebuild_index()
{
    Storage& s = storage();
    if (s.seed == 0) s.seed = next_map_seed();
    std::size_t size = 16;
    while (size < s.entries.size() * 2 + 2) size *= 2;
    s.table = std::make_unique<std::uint32_t[]>(size);  // value-initialised: all slots empty
    s.table_size = size;
    for (std::uint32_t i = 0; i < s.entries.size(); ++i) index_entry(i);
}

void AttrMap::insert_or_assign(std::string key, std::string value)
{
    const std::size_t existing = find_index(key);
    if (existing != size()) {
        storage_->entries[existing].second = std::move(value);
        return;
    }
    insert(std::move(key), std::move(value));
}

bool AttrMap::insert(std::string key, std::string value)
{
    if (find_index(key) != size()) return false;
    Storage& s = storage();
    s.entries.emplace_back(std::move(key), std::move(value));
    if (s.table && s.entries.size() * 2 + 2 <= s.table_size) {
        index_entry(static_cast<std::uint32_t>(s.entries.size() - 1));
    } else if (s.entries.size() > kLinearLimit) {
        try {
            rebuild_index();
        } catch (...) {
            s.entries.pop_back();  // keep the map consistent; the caller sees bad_alloc
            throw;
        }
    }
    return true;
}

}  // namespace brindle::reader
