// Columns inferred from a stream's first records, as Spark's XML source infers them for a row
// tag: the record's attributes and the text of its childless children, each typed as the
// narrowest of int64, float64, bool and str that every sampled value takes (an empty value
// takes any; a field never seen with a value is str). A column is named by its path: "@id",
// "Title". Fields are in the order first seen.
//
// A sink of the stream parser's walk; touches no Python object. May throw std::bad_alloc.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "reader/stream/record_sinks.hpp"
#include "table/record_extractor.hpp"

namespace brindle::table {

class SchemaSampler final : public reader::RecordSinks, reader::TreeSink {
public:
    explicit SchemaSampler(std::size_t records) noexcept : wanted_(records) {}

    // Whether the sample holds as many records as it wants.
    bool full() const noexcept { return seen_ >= wanted_; }
    std::size_t records() const noexcept { return seen_; }
    // The columns of the fields sampled.
    std::vector<ColumnSpec> columns() const;

    reader::TreeSink& start_record() override;
    void end_record() override;
    void abandon_record() noexcept override;

private:
    struct Field {
        std::string path;
        bool valued = false;  // some sampled value was not empty
        bool is_int = true, is_float = true, is_bool = true;
        bool nested = false;  // a child element that had children of its own
        void take(std::string_view value) noexcept;
    };
    struct Seen {  // a field of the record being read, until the record ends
        std::size_t field;
        std::string value;
    };

    void open_element(std::string_view name, reader::AttrMap& attributes) override;
    void close_element(std::string_view text) override;
    std::size_t field_for(const std::string& path);

    std::size_t wanted_;
    std::size_t seen_ = 0;
    std::vector<Field> fields_;
    std::unordered_map<std::string, std::size_t> index_;
    std::size_t depth_ = 0;
    std::vector<Seen> record_;    // what the record being read showed
    std::size_t open_child_ = 0;  // the field of the open child (depth 2)
    bool child_has_children_ = false;
};

}  // namespace brindle::table
