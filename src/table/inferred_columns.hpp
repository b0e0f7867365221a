// read_table without columns: the columns inferred from the stream's first records. The bytes
// read for the sample are kept and read again, ahead of the rest of the source, by the table's
// own stream, so a file object that cannot seek back is read once.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "stream/stream_source.hpp"
#include "table/record_extractor.hpp"

namespace brindle::tables {

// With the lock held. Reads `source` until `records` records are sampled (or the stream ends or
// fails: its error is then the table stream's to raise, at its place), and replaces `source`
// with one that gives the bytes read so far and then the rest. ValueError when the sample shows
// no column.
std::vector<table::ColumnSpec> infer_columns(std::unique_ptr<stream::StreamSource>& source, std::string_view tag,
                                             std::size_t buffer_size, std::size_t records);

}  // namespace brindle::tables
