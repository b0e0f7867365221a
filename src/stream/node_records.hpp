// The records of a stream made into Node objects: each record is built by a node builder of its
// own, into an arena of its own, so a record the caller keeps holds its own memory and nothing
// of the stream. The builders work without the interpreter lock; their roots are taken, and
// what they leave is released, once it is held again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "build/node_builder.hpp"
#include "ffi/py_ref.hpp"
#include "reader/stream/record_sinks.hpp"

namespace brindle::stream {

class NodeRecords final : public reader::RecordSinks {
public:
    reader::TreeSink& start_record() override;
    void end_record() override;
    void abandon_record() noexcept override;

    // With the lock held: appends the node of every record completed since the last call to
    // `ready`, and releases the record abandoned meanwhile.
    void take_ready(std::vector<ffi::PyRef>& ready);
    // With the lock held, once the stream has stopped: releases every record not yet taken.
    void drop_unfinished() noexcept;

private:
    static constexpr std::size_t kNone = SIZE_MAX;

    void release(std::size_t slot, bool taken);

    std::size_t first_chunk_ = 1024;  // of the next record's arena
    // The builders live in slots, and collect one record after another, each into an arena of
    // its own: making a builder for every small record cost a tenth of reading it. A deque never
    // moves what it holds.
    std::deque<std::optional<build::NodeBuilder>> slots_;
    std::vector<std::size_t> free_slots_;
    std::size_t building_ = kNone;
    std::vector<std::size_t> complete_;
    // A stream abandons at most one record per buffer, and the lock is taken before the next.
    std::size_t abandoned_ = kNone;
};

}  // namespace brindle::stream
