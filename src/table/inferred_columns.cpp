#include "table/inferred_columns.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "ffi/errors.hpp"
#include "ffi/frame.hpp"
#include "reader/stream/stream_parser.hpp"
#include "stream/stream_buffer.hpp"
#include "table/schema_sampler.hpp"

namespace brindle::tables {

using namespace ffi;

namespace {

// The bytes read for the sample, then the rest of the source.
class ReplaySource final : public stream::StreamSource {
public:
    ReplaySource(std::string read, std::unique_ptr<stream::StreamSource> rest)
        : read_(std::move(read)), rest_(std::move(rest))
    {}

    std::size_t read(std::span<char> room) override
    {
        if (at_ == read_.size()) return rest_->read(room);
        const std::size_t count = std::min(room.size(), read_.size() - at_);
        std::memcpy(room.data(), read_.data() + at_, count);
        at_ += count;
        if (at_ == read_.size()) std::string().swap(read_), at_ = 0;  // let the sample's bytes go
        return count;
    }
    bool reads_unlocked() const noexcept override { return rest_->reads_unlocked(); }
    void close() noexcept override { rest_->close(); }
    int traverse(visitproc visit, void* arg) noexcept override { return rest_->traverse(visit, arg); }

private:
    std::string read_;
    std::size_t at_ = 0;
    std::unique_ptr<stream::StreamSource> rest_;
};

}  // namespace

std::vector<table::ColumnSpec> infer_columns(std::unique_ptr<stream::StreamSource>& source, std::string_view tag,
                                             std::size_t buffer_size, std::size_t records)
{
    table::SchemaSampler sampler(records);
    std::string read;
    {
        reader::StreamParser parser(tag, sampler, buffer_size, 0, stream::stream_buffer_blocks());
        reader::StreamStep step = reader::StreamStep::NeedInput;
        while (step == reader::StreamStep::NeedInput && !sampler.full()) {
            const std::span<char> room = parser.room();
            if (room.empty()) throw std::bad_alloc();
            std::size_t filled = 0;
            {
                std::optional<GilRelease> released;
                if (source->reads_unlocked()) released.emplace();
                while (filled < room.size()) {
                    const std::size_t got = source->read(room.subspan(filled));
                    if (got == 0) {
                        parser.end();
                        break;
                    }
                    filled += got;
                }
            }
            read.append(room.data(), filled);
            parser.commit(filled);
            reader::ReadError error;
            GilRelease released;
            step = parser.parse(error);
        }
    }
    std::vector<table::ColumnSpec> columns = sampler.columns();
    if (columns.empty()) {
        throw_error(PyExc_ValueError, "no columns to infer: the first records named '" + std::string(tag) +
                                          "' have no attributes and no children without children; name the columns");
    }
    source = std::make_unique<ReplaySource>(std::move(read), std::move(source));
    return columns;
}

}  // namespace brindle::tables
