#include "stream/node_records.hpp"

#include <algorithm>
#include <utility>

namespace brindle {

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
    building_ = std::make_unique<read::NodeBuilder>(first_chunk_);
    return *building_;
}

void NodeRecords::end_record()
{
    const std::size_t used = building_->arena_bytes();
    complete_.push_back(std::move(building_));
    first_chunk_ = first_chunk_after(used);
}

void NodeRecords::abandon_record() noexcept { abandoned_ = std::move(building_); }

void NodeRecords::drop_unfinished() noexcept
{
    building_.reset();
    abandoned_.reset();
    complete_.clear();
}

void NodeRecords::take_ready(std::vector<PyRef>& ready)
{
    abandoned_.reset();
    ready.reserve(ready.size() + complete_.size());
    for (std::unique_ptr<read::NodeBuilder>& record : complete_) {
        ready.push_back(record->take_root());
        record.reset();
    }
    complete_.clear();
}

}  // namespace brindle
