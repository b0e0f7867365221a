#pragma once
// Appends entries to a StructuralIndex; shared by both builders. Internal to the index.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "index/structural/structural_index.hpp"

namespace brindle::index::detail {

class IndexRecorder {
public:
    explicit IndexRecorder(StructuralIndex& out) noexcept : out_(out) {}

    // Empties the index, borrows the document and sizes the arrays from its length: per-tag
    // arrays get length / 128 entries from 128 bytes on, text_ranges length / 256 above 255
    // bytes. Throws std::bad_alloc.
    void start(std::string_view document) {
        out_ = StructuralIndex{};
        out_.document = document;
        const std::size_t length = document.size();
        if (length >= 128) {
            reserve_tags(length / 128);
        }
        if (length > 255) {
            out_.text_ranges.reserve(length / 256);
        }
    }

    // Records one tag and returns its index. Depths are kept modulo 65536.
    std::int32_t add_tag(std::uint64_t start, std::uint64_t end, TagKind kind, NameRange name,
                         std::uint64_t depth, std::int32_t parent) {
        const auto index = static_cast<std::int32_t>(out_.tag_starts.size());
        out_.tag_starts.push_back(start);
        out_.tag_ends.push_back(end);
        out_.tag_kinds.push_back(kind);
        out_.tag_names.push_back(name);
        out_.depths.push_back(static_cast<std::uint16_t>(depth));
        out_.parents.push_back(parent);
        return index;
    }

    // Records the character data [start, end) when it is not empty.
    void add_text(std::uint64_t start, std::uint64_t end, std::int32_t parent) {
        if (start < end) {
            out_.text_ranges.push_back(TextRange{start, end, parent});
        }
    }

    std::int32_t parent_of(std::int32_t tag) const noexcept {
        return out_.parents[static_cast<std::size_t>(tag)];
    }

private:
    void reserve_tags(std::size_t count) {
        out_.tag_starts.reserve(count);
        out_.tag_ends.reserve(count);
        out_.tag_kinds.reserve(count);
        out_.tag_names.reserve(count);
        out_.depths.reserve(count);
        out_.parents.reserve(count);
    }

    StructuralIndex& out_;
};

// The name [start, end) as a NameRange, with its full length.
inline NameRange name_between(std::uint64_t start, std::uint64_t end) noexcept {
    return NameRange{start, end - start};
}

}  // namespace brindle::index::detail
