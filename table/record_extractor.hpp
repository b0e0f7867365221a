// The records of a stream into table rows: a sink of the stream parser's walk that follows the
// columns' paths through each record's elements in document order and writes each value
// straight into its column's Arrow buffers (no object per cell). Rows gather into batches of
// at most batch_rows rows, handed out as Arrow struct arrays.
//
// Touches no Python object. Allocation failure throws std::bad_alloc inside the walk's calls
// (which the stream parser turns into its out-of-memory error); a value that does not convert
// to its column's type stops the extraction with a ConversionFault value, or is null in a
// column whose caller asked for that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "nanoarrow/nanoarrow.h"
#include "reader/stream/record_sinks.hpp"
#include "reader/stream/stream_parser.hpp"
#include "table/column_path.hpp"
#include "table/column_values.hpp"

namespace brindle::table {

struct ColumnSpec {
    std::string name;
    ColumnPath path;
    ColumnType type = ColumnType::Str;
    bool null_on_fault = false;  // a value that does not convert is null, not a ConversionFault
};

// A value that does not convert: the record's byte offset (of its '<'), the column, the text.
struct ConversionFault {
    std::uint64_t record_offset = 0;
    std::size_t column = 0;
    std::string value;
};

class RecordExtractor final : public reader::RecordSinks, reader::TreeSink {
public:
    // May throw std::bad_alloc.
    RecordExtractor(std::vector<ColumnSpec> columns, std::size_t batch_rows);

    // The parser whose records this receives, asked for each record's offset.
    void watch(const reader::StreamParser& parser) noexcept { parser_ = &parser; }

    const std::vector<ColumnSpec>& columns() const noexcept { return columns_; }
    // The schema of every batch: a struct of the columns, in order. A nanoarrow error code.
    ArrowErrorCode schema(ArrowSchema* out) const;

    // Batches of batch_rows rows, complete, waiting to be taken.
    bool has_batch() const noexcept { return !batches_.empty(); }
    // Moves the oldest waiting batch into `out` (which the caller then owns).
    void take_batch(ArrowArray* out) noexcept;
    // The stream ended (or stopped at a fault): the rows of a batch not yet full become a
    // batch too. A nanoarrow error code.
    ArrowErrorCode flush();
    std::int64_t rows_pending() const noexcept { return rows_; }

    // A value that did not convert; the rows of its record and after are not taken.
    bool failed() const noexcept { return failed_; }
    const ConversionFault& fault() const noexcept { return fault_; }

    ~RecordExtractor();

    // The stream parser's side (reader::RecordSinks).
    reader::TreeSink& start_record() override;
    void end_record() override;
    void abandon_record() noexcept override;
    bool wants_character_data() const noexcept override { return wants_text_; }

private:
    // One step of the paths: a child name, matched for its first element or (for [*]) every one.
    struct Step {
        std::string name;
        bool every = false;
        std::vector<std::uint32_t> children;
        std::vector<std::uint32_t> columns;  // whose paths end here
    };
    struct Frame {
        std::uint32_t active_begin;  // in active_: the steps this element matches
        std::uint32_t taken_begin;   // in taken_: the first-match steps its children matched
    };

    // reader::TreeSink
    void open_element(std::string_view name, reader::AttrMap& attributes) override;
    void close_element(std::string_view text) override;
    void character_data(std::string_view piece) override;

    std::uint32_t step_for(std::uint32_t parent, const std::string& name, bool every);
    void put(std::size_t column, std::string_view value, bool null = false);
    void end_batch();
    void restart_record() noexcept;

    std::vector<ColumnSpec> columns_;
    std::vector<ColumnValues> values_;
    std::vector<Step> steps_;  // [0]: the record itself
    std::size_t batch_rows_;
    bool wants_text_ = false;
    const reader::StreamParser* parser_ = nullptr;

    // The record being read.
    std::vector<Frame> frames_;
    std::vector<std::uint32_t> active_;
    std::vector<std::uint32_t> taken_;
    std::vector<std::uint8_t> filled_;       // per column: a value this row (single-value columns)
    std::vector<std::uint32_t> gathering_;   // string() columns whose element is open
    std::vector<std::string> gathered_;      // per column: its string() so far
    std::vector<ColumnValues::Mark> marks_;  // per column, at the record's start
    std::uint64_t record_offset_ = 0;

    std::int64_t rows_ = 0;  // in the batch being built
    std::deque<ArrowArray> batches_;
    bool failed_ = false;
    ConversionFault fault_;
};

}  // namespace brindle::table
