#include "stream/node_records.hpp"

#include <algorithm>
#include <new>
#include <utility>

namespace brindle::stream {

using namespace ffi;

namespace {

// A record's arena starts at what the record before it took, an eighth more, rounded up to 64
// bytes: records of a stream mostly look alike, so a record that is kept holds little more
// memory than its nodes need; one that needs more gets further chunks, each twice the one
// before.
constexpr std::size_t kChunkStep = 64;
constexpr std::size_t kLargestFirstChunk = std::size_t{16} << 10;

std::size_t first_chunk_after(std::size_t used) noexcept
{
    const std::size_t wanted = std::min(used + used / 8 + kChunkStep, kLargestFirstChunk);
    return wanted & ~(kChunkStep - 1);
}

}  // namespace

reader::TreeSink& NodeRecords::start_record()
{
    if (free_slots_.empty()) {
        slots_.emplace_back();
        free_slots_.push_back(slots_.size() - 1);
    }
    const std::size_t slot = free_slots_.back();
    if (!slots_[slot]) slots_[slot].emplace(first_chunk_);
    free_slots_.pop_back();
    building_ = slot;
    return *slots_[slot];
}

void NodeRecords::end_record()
{
    const std::size_t used = slots_[building_]->arena_bytes();
    complete_.push_back(building_);
    building_ = kNone;
    first_chunk_ = first_chunk_after(used);
}

void NodeRecords::abandon_record() noexcept
{
    abandoned_ = building_;
    building_ = kNone;
}

void NodeRecords::drop_unfinished() noexcept
{
    for (std::optional<build::NodeBuilder>& slot : slots_) slot.reset();
    building_ = kNone;
    abandoned_ = kNone;
    complete_.clear();
}

// A builder whose record was taken is restarted for the next one (its arena's count may change
// only with the lock held); one whose record was abandoned goes.
void NodeRecords::release(std::size_t slot, bool taken)
{
    free_slots_.reserve(slots_.size());  // first, so that the slot is never lost
    if (taken) {
        slots_[slot]->restart(first_chunk_);
    } else {
        slots_[slot].reset();  // start_record makes a builder anew
    }
    free_slots_.push_back(slot);
}

void NodeRecords::take_ready(std::vector<PyRef>& ready)
{
    if (abandoned_ != kNone) release(std::exchange(abandoned_, kNone), false);
    ready.reserve(ready.size() + complete_.size());
    for (const std::size_t slot : complete_) {
        ready.push_back(slots_[slot]->take_root());
        release(slot, true);
    }
    complete_.clear();
}

}  // namespace brindle::stream
