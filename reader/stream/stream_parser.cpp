#include "reader/stream/stream_parser.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "index/structural/builder_choice.hpp"
#include "kernels/kernels.hpp"
#include "reader/read_pipeline.hpp"
#include "reader/stream/utf8_boundary.hpp"

namespace brindle::reader {

namespace {

// The bytes read_file's builder choice looks at.
constexpr std::size_t kChoiceSample = 4096;

ReadError failure(ReadErrorKind kind, std::uint64_t offset) noexcept
{
    ReadError error;
    fail_read(error, kind, offset);
    return error;
}

}  // namespace

StreamParser::StreamParser(std::string_view tag, RecordSinks& sinks, std::size_t buffer_size,
                           std::uint64_t first_offset) noexcept
    : forwarder_(sinks), buffer_size_(std::max<std::size_t>(buffer_size, 1)), base_(first_offset)
{
    try {
        tag_.assign(tag);
    } catch (const std::bad_alloc&) {
        tag_lost_ = true;  // room() and parse() fail from the start
    }
}

StreamParser::~StreamParser()
{
    forwarder_.abandon();
    std::free(buffer_);
}

std::span<char> StreamParser::room() noexcept
{
    const std::size_t wanted = std::max(buffer_size_, filled_);
    if (tag_lost_ || filled_ > SIZE_MAX / 4) return {};
    const std::size_t needed = filled_ + wanted;
    // Grows for a long record; shrinks again after one, so the buffer stays near what it holds.
    if (capacity_ < needed || capacity_ > 2 * needed) {
        void* resized = std::realloc(buffer_, needed);
        if (resized == nullptr) {
            if (capacity_ < needed) return {};
        } else {
            buffer_ = static_cast<char*>(resized);
            capacity_ = needed;
        }
    }
    return {buffer_ + filled_, wanted};
}

StreamStep StreamParser::parse(ReadError& error) noexcept
{
    if (tag_lost_) return fail(error, failure(ReadErrorKind::OutOfMemory, 0));
    try {
        return parse_buffer(error);
    } catch (const std::bad_alloc&) {
        return fail(error, failure(ReadErrorKind::OutOfMemory, 0));
    }
}

StreamStep StreamParser::parse_buffer(ReadError& error)
{
    if (!walk_) {
        if (filled_ < kChoiceSample && !ended_) return StreamStep::NeedInput;
        quote_dense_ = index::prefers_quote_dense({buffer_, filled_});
        walk_.emplace(std::string_view(), tag_, quote_dense_, forwarder_, true);
    }
    check_utf8();
    const std::string_view walkable(buffer_, checked_);
    const bool stream_ends = ended_ && !utf8_fault_ && checked_ == filled_;
    walk_->set_document(walkable);
    index::StreamWindows windows(walkable, quote_dense_, stream_ends, index_, kTagsPerWindow);
    std::size_t carried = checked_;
    do {
        const index::BuildResult built = windows.next();
        if (built.status == index::BuildStatus::OutOfMemory) return fail(error, failure(ReadErrorKind::OutOfMemory, 0));
        WalkStep step = walk_->walk(index_);
        while (step == WalkStep::Complete) step = walk_->resume();
        if (step == WalkStep::Failed) return fail(error, walk_->error());
        if (built.status == index::BuildStatus::NeedMore) {
            carried = static_cast<std::size_t>(built.offset);
            break;
        }
        ReadError build_error;
        if (!check_build(built, walkable, build_error)) return fail(error, build_error);
    } while (!windows.done());
    if (stream_ends) {
        if (!walk_->finish_stream()) return fail(error, walk_->error());
        return StreamStep::Finished;
    }
    if (utf8_fault_) return fail(error, failure(ReadErrorKind::InvalidUtf8, checked_));
    carry_from(carried);
    return StreamStep::NeedInput;
}

// Moves checked_ past the new bytes that are whole, well-formed characters; a fault stops it
// at the fault's first byte for good.
void StreamParser::check_utf8() noexcept
{
    if (utf8_fault_) return;
    const std::string_view fresh(buffer_ + checked_, filled_ - checked_);
    const std::size_t whole = ended_ ? fresh.size() : whole_characters(fresh);
    if (kernels::is_valid_utf8(fresh.substr(0, whole))) {
        checked_ += whole;
        return;
    }
    checked_ += valid_utf8_prefix(fresh);
    utf8_fault_ = true;
}

// The walk stops at a fault; the record in progress goes, and the offset counts from the start
// of the stream.
StreamStep StreamParser::fail(ReadError& error, ReadError found) noexcept
{
    forwarder_.abandon();
    if (walk_) walk_->abandon_collected();
    error = found;
    if (error.kind != ReadErrorKind::NeverClosed) error.offset += base_;  // which has no offset
    return StreamStep::Failed;
}

// The bytes from `carried` on are scanned again with what comes next; a record still open is
// walked again from its start tag, since what was made of it views bytes that move.
void StreamParser::carry_from(std::size_t carried)
{
    if (walk_->collecting()) {
        carried = std::min(carried, static_cast<std::size_t>(walk_->collected_start()));
        walk_->abandon_collected();
        forwarder_.abandon();
    }
    walk_->keep_open_names(open_names_);
    std::memmove(buffer_, buffer_ + carried, filled_ - carried);
    filled_ -= carried;
    checked_ -= carried;
    base_ += carried;
}

}  // namespace brindle::reader
