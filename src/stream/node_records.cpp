#include "stream/node_records.hpp"

#include <utility>

namespace brindle {

reader::TreeSink& NodeRecords::start_record()
{
    building_ = std::make_unique<read::NodeBuilder>();
    return *building_;
}

void NodeRecords::end_record() { complete_.push_back(std::move(building_)); }

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
