#include "table/record_range.hpp"

#include <cstring>

#include "kernels/kernels.hpp"

namespace brindle::table {

reader::TreeSink& RecordRange::start_record()
{
    const std::uint64_t offset = parser_ != nullptr ? parser_->record_offset() : 0;
    passing_over_ = reached_end_ || offset >= end_ || records_ == nullptr;
    if (!passing_over_) return records_->start_record();
    if (!reached_end_ && offset >= end_) {
        const std::span<const std::string_view> names = parser_ != nullptr ? parser_->open_names()
                                                                           : std::span<const std::string_view>();
        next_ancestors_.assign(names.begin(), names.end());
        next_record_ = offset;
        reached_end_ = true;
    }
    return discard_;
}

void RecordRange::end_record()
{
    if (!passing_over_) records_->end_record();
}

void RecordRange::abandon_record() noexcept
{
    if (!passing_over_) records_->abandon_record();
}

std::size_t find_record_candidate(std::string_view bytes, std::string_view tag) noexcept
{
    const std::size_t length = tag.size() + 1;  // '<' and the name
    std::size_t at = 0;
    while (at + length < bytes.size()) {
        const void* found = std::memchr(bytes.data() + at, '<', bytes.size() - length - at);
        if (found == nullptr) return std::string_view::npos;
        at = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
        const auto after = static_cast<unsigned char>(bytes[at + length]);
        if (bytes.compare(at + 1, tag.size(), tag) == 0 &&
            (kernels::is_tag_space(after) || after == '/' || after == '>')) {
            return at;
        }
        ++at;
    }
    return std::string_view::npos;
}

}  // namespace brindle::table
