// Reading a stream of any length a buffer at a time: the structural index and the walk of
// read_file, over a buffer that slides along the stream. The walk visits only tags that the
// buffer holds whole; the bytes from the first unfinished tag on (or from the start tag of a
// record not yet complete) move to the front of the buffer and are scanned again once more
// bytes have come, so the index and the walk see exactly what they would see over the whole
// stream. The walk collects every element named as the stream's tag that is not inside another
// (a record), hands each to a sink of its own (record_sinks.hpp), and checks the whole stream
// with read_file's checks. Offsets in errors count from the start of the stream.
//
// Touches no Python object. Throws nothing: failures are ReadError values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "index/structural/structural_index.hpp"
#include "reader/read_error.hpp"
#include "reader/stream/buffer_blocks.hpp"
#include "reader/stream/record_sinks.hpp"
#include "reader/tree/tree_walk.hpp"

namespace brindle::reader {

enum class StreamStep : std::uint8_t {
    NeedInput,  // walked all it could: fill room() and parse again, or end()
    Finished,   // the stream ended and all of it checked out
    Failed,     // the error says why; the parser is done
};

class StreamParser {
public:
    // The builder is chosen from the first 4096 bytes, as read_file chooses. `buffer_size`: the
    // bytes that room() asks for at least. `first_offset`: the stream offset of the first byte.
    // `blocks`: where the buffer's memory comes from and goes back to.
    StreamParser(std::string_view tag, RecordSinks& sinks, std::size_t buffer_size, std::uint64_t first_offset = 0,
                 BufferBlocks& blocks = allocated_blocks()) noexcept;
    ~StreamParser();
    StreamParser(const StreamParser&) = delete;
    StreamParser& operator=(const StreamParser&) = delete;

    // Where the next bytes of the stream go: room for at least buffer_size bytes, and for as
    // many as the buffer carries over (so a long record is walked again at most once per
    // doubling). Fill it (wholly, unless the stream ends) before parse(). Empty when the buffer
    // cannot grow.
    std::span<char> room() noexcept;
    void commit(std::size_t bytes) noexcept { filled_ += bytes; }
    // The stream has no more bytes.
    void end() noexcept { ended_ = true; }

    // Walks what the committed bytes allow, handing every record completed to the sinks.
    [[nodiscard]] StreamStep parse(ReadError& error) noexcept;

    // While a sink is called for a record: the stream offset of the record's '<'.
    std::uint64_t record_offset() const noexcept;
    // While a sink is called for a record: the names of the elements around it, outermost first.
    std::span<const std::string_view> open_names() const noexcept;

    // For a stream that is a piece of a document read after the document's head (its bytes up
    // to a record's start tag), before the first parse():
    // - the builder that the whole document's first bytes chose;
    void choose_builder(bool quote_dense) noexcept;
    // - the stream's bytes from stream offset `at` on are the document's from `offset` on, and
    //   every offset from there on (records, errors) is counted as the document's.
    void continue_at(std::uint64_t at, std::uint64_t offset) noexcept;

private:
    StreamStep parse_buffer(ReadError& error);
    void check_utf8() noexcept;
    StreamStep fail(ReadError& error, ReadError found) noexcept;
    bool carry_from(std::size_t carried, ReadError& error);
    bool let_go_outside_records(std::size_t& carried, ReadError& error);
    static std::size_t settled_text(std::string_view text) noexcept;
    void shorten_unended_markup(std::size_t start) noexcept;
    std::uint64_t stream_offset(std::uint64_t at) const noexcept;

    bool move_buffer(std::size_t size) noexcept;

    std::string tag_;
    RecordForwarder forwarder_;
    BufferBlocks& blocks_;
    std::size_t buffer_size_;
    std::uint64_t base_;  // the stream offset of buffer_[0]
    // The bytes taken out of the middle of a long comment, CDATA section or processing
    // instruction, which the buffer held from hole_at_ on.
    std::size_t hole_at_ = 0;
    std::uint64_t hole_bytes_ = 0;
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t filled_ = 0;
    std::size_t checked_ = 0;  // the bytes known to be whole characters of UTF-8
    bool utf8_fault_ = false;  // at checked_
    bool ended_ = false;
    bool tag_lost_ = false;  // copying the tag ran out of memory
    bool quote_dense_ = false;
    bool builder_chosen_ = false;         // by choose_builder()
    std::uint64_t jump_at_ = UINT64_MAX;  // continue_at()
    std::uint64_t jump_by_ = 0;
    std::optional<TreeWalk> walk_;  // once the builder is chosen
    index::StructuralIndex index_;
    std::vector<char> open_names_;  // the names of the open elements, once their bytes may go
};

}  // namespace brindle::reader
