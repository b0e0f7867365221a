// A piece of a file read on its own: the records whose start tag begins before a byte offset
// go on to the sink given; the first record from that offset on is only noted (its offset and
// the names of the elements around it), and it and every record after it are passed over, so
// the stream can stop there. Several pieces of one file, each read by another process, meet
// exactly where one piece's first record is the record the piece before it noted.
//
// Also the first candidate for a record start in a range of bytes: `<tag` followed by a byte
// that ends a start tag's name. Every record starts at one; a candidate inside a comment, a
// CDATA section, a processing instruction or an attribute value is no record.
//
// Touches no Python object. May throw std::bad_alloc inside the walk's calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reader/stream/record_sinks.hpp"
#include "reader/stream/stream_parser.hpp"

namespace brindle::table {

class RecordRange final : public reader::RecordSinks {
public:
    // The records that start before `end` go to `records` (none with no sink given).
    RecordRange(reader::RecordSinks* records, std::uint64_t end) noexcept : records_(records), end_(end) {}

    // The parser whose records this receives, asked for each record's offset and ancestors.
    void watch(const reader::StreamParser& parser) noexcept { parser_ = &parser; }

    // Whether the first record from `end` on was seen: nothing after it is the piece's.
    bool reached_end() const noexcept { return reached_end_; }
    // Once reached_end(): that record's offset, and the names of the elements around it.
    std::uint64_t next_record() const noexcept { return next_record_; }
    const std::vector<std::string>& next_ancestors() const noexcept { return next_ancestors_; }

    reader::TreeSink& start_record() override;
    void end_record() override;
    void abandon_record() noexcept override;
    bool wants_character_data() const noexcept override
    {
        return records_ != nullptr && records_->wants_character_data();
    }

private:
    // Takes everything a passed-over record holds, and keeps none of it.
    class Discard final : public reader::TreeSink {
    public:
        void open_element(std::string_view, reader::AttrMap&) override {}
        void close_element(std::string_view) override {}
        void add_leaf(std::string_view, reader::AttrMap&, std::string_view) override {}
    };

    reader::RecordSinks* records_;
    std::uint64_t end_;
    const reader::StreamParser* parser_ = nullptr;
    bool passing_over_ = false;  // the record being read is not the piece's
    bool reached_end_ = false;
    std::uint64_t next_record_ = 0;
    std::vector<std::string> next_ancestors_;
    Discard discard_;
};

// The offset in `bytes` of the first `<tag` followed by tag white space, '/' or '>'; npos when
// there is none (a candidate cut by the end of `bytes` is not found: scan on from an overlap).
std::size_t find_record_candidate(std::string_view bytes, std::string_view tag) noexcept;

}  // namespace brindle::table
