#include "reader/stream/stream_parser.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

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
                           std::uint64_t first_offset, BufferBlocks& blocks) noexcept
    : forwarder_(sinks), blocks_(blocks), buffer_size_(std::max<std::size_t>(buffer_size, 1)), base_(first_offset)
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
    if (buffer_ != nullptr) blocks_.give_back(buffer_, capacity_);
}

std::span<char> StreamParser::room() noexcept
{
    const std::size_t wanted = std::max(buffer_size_, filled_);
    if (tag_lost_ || filled_ > SIZE_MAX / 4) return {};
    const std::size_t needed = filled_ + wanted;
    // Grows for a long record; shrinks again after one, so the buffer stays near what it holds.
    if ((capacity_ < needed || capacity_ > 2 * needed) && !move_buffer(needed) && capacity_ < needed) return {};
    return {buffer_ + filled_, wanted};
}

// Into a block of at least `size` bytes, with the bytes filled so far; false, with the buffer
// unchanged, when memory runs out.
bool StreamParser::move_buffer(std::size_t size) noexcept
{
    char* const block = blocks_.take(size);
    if (block == nullptr) return false;
    if (filled_ != 0) std::memcpy(block, buffer_, filled_);
    if (buffer_ != nullptr) blocks_.give_back(buffer_, capacity_);
    buffer_ = block;
    capacity_ = size;
    return true;
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
        if (!builder_chosen_) {
            if (filled_ < kChoiceSample && !ended_) return StreamStep::NeedInput;
            quote_dense_ = index::prefers_quote_dense({buffer_, filled_});
        }
        walk_.emplace(std::string_view(),
                      WalkOptions{tag_, WalkInput::Stream, quote_dense_, forwarder_.wants_character_data()},
                      forwarder_);
    }
    check_utf8();
    const std::string_view walkable(buffer_, checked_);
    const bool stream_ends = ended_ && !utf8_fault_ && checked_ == filled_;
    walk_->view_buffer(walkable);
    index::IndexWindows windows(index::WindowInput{walkable, quote_dense_, !stream_ends}, index_, kTagsPerWindow);
    std::size_t carried = checked_;
    do {
        const index::BuildResult built = next_window(windows, index_, FaultOrder::StreamOrder);
        if (built.status == index::BuildStatus::OutOfMemory) return fail(error, failure(ReadErrorKind::OutOfMemory, 0));
        WalkStep step = walk_->walk(index_);
        while (step == WalkStep::Complete) step = walk_->walk_rest_of_window();
        if (step == WalkStep::Failed) return fail(error, walk_->error());
        if (built.status == index::BuildStatus::NeedMore) {
            carried = static_cast<std::size_t>(built.offset);
            break;
        }
        ReadError build_error;
        if (!check_build(built, walkable, build_error)) return fail(error, build_error);
    } while (!windows.done());
    if (stream_ends) {
        if (!walk_->finish()) return fail(error, walk_->error());
        return StreamStep::Finished;
    }
    if (utf8_fault_) return fail(error, failure(ReadErrorKind::InvalidUtf8, checked_));
    if (!carry_from(carried, error)) return StreamStep::Failed;
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
    if (error.kind != ReadErrorKind::NeverClosed) error.offset = stream_offset(error.offset);  // which has no offset
    return StreamStep::Failed;
}

// The bytes from `carried` on are scanned again with what comes next. A record still open is
// walked again from its start tag, since what was made of it views bytes that move; outside
// records, what the walk is done with goes (let_go_outside_records).
bool StreamParser::carry_from(std::size_t carried, ReadError& error)
{
    if (walk_->collecting()) {
        carried = std::min(carried, static_cast<std::size_t>(walk_->collected_start()));
        walk_->abandon_collected();
        forwarder_.abandon();
    } else if (!let_go_outside_records(carried, error)) {
        return false;
    }
    walk_->copy_open_names_to(open_names_);
    std::memmove(buffer_, buffer_ + carried, filled_ - carried);
    filled_ -= carried;
    checked_ -= carried;
    if (hole_bytes_ != 0 && carried > hole_at_) {
        base_ += std::exchange(hole_bytes_, 0);
    } else {
        hole_at_ -= std::min(hole_at_, carried);
    }
    base_ += carried;
    return true;
}

// Outside records a stream holds nothing it is done with, however long a run of text or a
// comment: character data before the first unfinished tag is checked now and let go (up to a
// reference that has not ended), and of a long comment, CDATA section or processing instruction
// not yet ended, only the first and last bytes stay, which are all that its scan and its checks
// look at. Moves `carried` past what went.
bool StreamParser::let_go_outside_records(std::size_t& carried, ReadError& error)
{
    const std::string_view rest(buffer_ + carried, checked_ - carried);
    const std::size_t markup = std::min(rest.find('<'), rest.size());
    const std::size_t settled = settled_text(rest.substr(0, markup));
    if (settled != 0) {
        if (!walk_->check_text_outside(carried, rest.substr(0, settled))) {
            fail(error, walk_->error());
            return false;
        }
        carried += settled;
    }
    if (settled == markup && markup != rest.size()) shorten_unended_markup(carried);
    return true;
}

// The bytes of a run of character data that can be checked without what follows: a reference
// runs from its '&' to the next ';', so the run stops at the first '&' after its last ';'.
std::size_t StreamParser::settled_text(std::string_view text) noexcept
{
    const std::size_t semicolon = text.rfind(';');
    const std::size_t amp = text.find('&', semicolon == std::string_view::npos ? 0 : semicolon + 1);
    return amp == std::string_view::npos ? text.size() : amp;
}

// The middle of a long comment, CDATA section or processing instruction at `start` that the
// buffer does not end: the scan looks only for its terminator, which the middle does not hold,
// and the walk checks only its first and last bytes. Offsets after the hole count its bytes.
void StreamParser::shorten_unended_markup(std::size_t start) noexcept
{
    constexpr std::size_t kKept = 64;  // at each end: more than any opening or terminator
    const std::string_view markup(buffer_ + start, checked_ - start);
    if (markup.size() <= 4 * kKept) return;
    if (!markup.starts_with("<!--") && !markup.starts_with("<![CDATA[") && !markup.starts_with("<?")) return;
    const std::size_t hole = start + kKept;
    const std::size_t dropped = checked_ - kKept - hole;
    std::memmove(buffer_ + hole, buffer_ + hole + dropped, filled_ - hole - dropped);
    filled_ -= dropped;
    checked_ -= dropped;
    hole_at_ = hole;  // where an earlier hole in the same markup lies too
    hole_bytes_ += dropped;
}

std::uint64_t StreamParser::record_offset() const noexcept
{
    return walk_ ? stream_offset(walk_->collected_start()) : 0;
}

std::span<const std::string_view> StreamParser::open_names() const noexcept
{
    if (!walk_) return {};
    return walk_->open_names();
}

void StreamParser::choose_builder(bool quote_dense) noexcept
{
    quote_dense_ = quote_dense;
    builder_chosen_ = true;
}

void StreamParser::continue_at(std::uint64_t at, std::uint64_t offset) noexcept
{
    jump_at_ = at;
    jump_by_ = offset - at;
}

// The stream offset of a byte of the buffer. (A piece's jump lies between whole tags, so no
// hole spans it.)
std::uint64_t StreamParser::stream_offset(std::uint64_t at) const noexcept
{
    const std::uint64_t offset = base_ + at + (hole_bytes_ != 0 && at >= hole_at_ ? hole_bytes_ : 0);
    return offset >= jump_at_ ? offset + jump_by_ : offset;
}

}  // namespace brindle::reader
