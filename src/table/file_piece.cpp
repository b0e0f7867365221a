#include "table/file_piece.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <span>

#include "ffi/errors.hpp"
#include "ffi/frame.hpp"
#include "files/open_path.hpp"
#include "index/structural/builder_choice.hpp"
#include "reader/stream/stream_parser.hpp"
#include "stream/stream_buffer.hpp"
#include "table/record_range.hpp"

namespace brindle::tables {

using namespace ffi;

namespace {

constexpr std::size_t kChoiceSample = 4096;               // the bytes the builder choice looks at
constexpr std::size_t kScanChunk = std::size_t{1} << 16;  // read at a time to find a candidate
constexpr std::uint64_t kNoJump = UINT64_MAX;

// The file's bytes, read without the lock at offsets of their own: the head, [0, head_end),
// then the file from `from` on.
class PieceSource final : public stream::StreamSource {
public:
    explicit PieceSource(const std::string& path) : fd_(files::open_path(path, O_RDONLY)) {}
    ~PieceSource() override { close(); }

    // Reads again from the start: the head, then the bytes from `from` on.
    void follow_head_with(std::uint64_t head_end, std::uint64_t from) noexcept
    {
        at_ = 0;
        head_end_ = head_end;
        from_ = from;
    }

    std::size_t read(std::span<char> room) override
    {
        if (at_ == head_end_) at_ = from_;
        std::size_t size = room.size();
        if (at_ < head_end_) size = static_cast<std::size_t>(std::min<std::uint64_t>(size, head_end_ - at_));
        const std::size_t got = read_at(room.first(size), at_);
        at_ += got;
        return got;
    }

    bool reads_unlocked() const noexcept override { return true; }

    // A read-only descriptor has nothing to flush, so a failing close loses nothing.
    void close() noexcept override
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    std::size_t read_at(std::span<char> room, std::uint64_t offset)
    {
        while (true) {
            const ssize_t got = ::pread(fd_, room.data(), room.size(), static_cast<off_t>(offset));
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) throw_os_error(errno);
        }
    }

    // The first candidate for a record start in [start, end), or kNoJump. Consecutive chunks
    // overlap by a candidate's length, so none is cut.
    std::uint64_t find_candidate(std::string_view tag, std::uint64_t start, std::uint64_t end)
    {
        const std::size_t overlap = tag.size() + 1;
        std::string chunk(std::max(kScanChunk, 4 * overlap), '\0');
        for (std::uint64_t at = start; at < end;) {
            const std::size_t got = fill_at(chunk, at);
            const std::size_t found = table::find_record_candidate({chunk.data(), got}, tag);
            if (found != std::string_view::npos) return at + found < end ? at + found : kNoJump;
            if (got < chunk.size()) break;  // the end of the file
            at += got - overlap;
        }
        return kNoJump;
    }

    // Fills `chunk` from `offset` on, unless the file ends first; returns the bytes read.
    std::size_t fill_at(std::string& chunk, std::uint64_t offset)
    {
        std::size_t filled = 0;
        while (filled < chunk.size()) {
            const std::size_t got = read_at(std::span<char>(chunk).subspan(filled), offset + filled);
            if (got == 0) break;
            filled += got;
        }
        return filled;
    }

private:
    int fd_;
    std::uint64_t at_ = 0;
    std::uint64_t head_end_ = kNoJump;
    std::uint64_t from_ = kNoJump;
};

// Reads the file from its start to its first record; false when the file has none (or fails
// before it): `plan` then names no head.
bool read_head(PieceSource& source, std::string_view tag, std::size_t buffer_size, PiecePlan& plan)
{
    std::string sample(kChoiceSample, '\0');
    sample.resize(source.fill_at(sample, 0));
    plan.quote_dense = index::prefers_quote_dense(sample);
    table::RecordRange range(nullptr, 0);
    reader::StreamParser parser(tag, range, buffer_size, 0, stream::stream_buffer_blocks());
    range.watch(parser);
    reader::StreamStep step = reader::StreamStep::NeedInput;
    while (step == reader::StreamStep::NeedInput && !range.reached_end()) {
        const std::span<char> room = parser.room();
        if (room.empty()) throw std::bad_alloc();
        std::size_t filled = 0;
        while (filled < room.size()) {
            const std::size_t got = source.read(room.subspan(filled));
            if (got == 0) {
                parser.end();
                break;
            }
            filled += got;
        }
        parser.commit(filled);
        reader::ReadError error;  // a fault before the first record is the first piece's to raise
        step = parser.parse(error);
    }
    if (!range.reached_end()) return false;
    plan.head_end = range.next_record();
    plan.ancestors = range.next_ancestors();
    return true;
}

}  // namespace

std::unique_ptr<stream::StreamSource> open_piece(const std::string& path, std::string_view tag, std::uint64_t start,
                                                 std::uint64_t end, std::size_t buffer_size, PiecePlan& plan)
{
    auto source = std::make_unique<PieceSource>(path);
    GilRelease released;
    plan.end = end;
    if (!read_head(*source, tag, buffer_size, plan)) {
        // No record at all: the first piece reads the whole file, to check it; the others hold nothing.
        plan.empty = start != 0;
        plan.head_end = kNoJump;
    } else if (start <= plan.head_end) {
        // The piece starts at the file's start: no jump.
        if (plan.head_end < end) plan.first = plan.head_end;
    } else {
        const std::uint64_t candidate = source->find_candidate(tag, start, end);
        if (candidate == kNoJump) {
            plan.empty = true;
        } else {
            plan.first = candidate;
        }
    }
    const std::uint64_t from = plan.first.value_or(plan.head_end);
    source->follow_head_with(plan.head_end, from);
    return source;
}

}  // namespace brindle::tables
