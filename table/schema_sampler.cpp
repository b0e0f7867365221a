#include "table/schema_sampler.hpp"

#include <charconv>

namespace brindle::table {

namespace {

std::string_view trim_ascii_space(std::string_view text) noexcept
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

template <class Number>
bool parses_as(std::string_view text) noexcept
{
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    Number value{};
    const auto [stop, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
    return fault == std::errc() && stop == text.data() + text.size();
}

}  // namespace

// The forms ColumnValues::append takes for each type.
void SchemaSampler::Field::take(std::string_view value) noexcept
{
    value = trim_ascii_space(value);
    if (value.empty()) return;
    valued = true;
    is_int = is_int && parses_as<std::int64_t>(value);
    is_float = is_float && parses_as<double>(value);
    is_bool = is_bool && (value == "true" || value == "false" || value == "1" || value == "0");
}

std::size_t SchemaSampler::field_for(const std::string& path)
{
    const auto found = index_.find(path);
    if (found != index_.end()) return found->second;
    fields_.push_back(Field{path});
    index_.emplace(path, fields_.size() - 1);
    return fields_.size() - 1;
}

reader::TreeSink& SchemaSampler::start_record()
{
    depth_ = 0;
    record_.clear();
    return *this;
}

void SchemaSampler::abandon_record() noexcept
{
    depth_ = 0;
    record_.clear();
}

void SchemaSampler::open_element(std::string_view name, reader::AttrMap& attributes)
{
    if (full()) return;  // fields first seen after the sample are not columns
    ++depth_;
    if (depth_ == 1) {
        for (const auto& attribute : attributes) {
            std::string path(1, '@');
            path.append(attribute.key);
            record_.push_back({field_for(path), std::string(attribute.value)});
        }
    } else if (depth_ == 2) {
        open_child_ = field_for(std::string(name));
        child_has_children_ = false;
    } else if (depth_ == 3) {
        child_has_children_ = true;
    }
}

void SchemaSampler::close_element(std::string_view text)
{
    if (full()) return;
    if (depth_ == 2) {
        if (child_has_children_) {
            fields_[open_child_].nested = true;
        } else {
            record_.push_back({open_child_, std::string(text)});
        }
    }
    --depth_;
}

void SchemaSampler::end_record()
{
    if (full()) return;
    // Only a whole record counts: one walked again from its start is sampled once.
    for (const Seen& seen : record_) fields_[seen.field].take(seen.value);
    record_.clear();
    ++seen_;
}

std::vector<ColumnSpec> SchemaSampler::columns() const
{
    std::vector<ColumnSpec> columns;
    for (const Field& field : fields_) {
        if (field.nested) continue;
        ColumnSpec spec;
        spec.name = field.path;
        if (field.path.front() == '@') {
            spec.path.target = PathTarget::Attribute;
            spec.path.attribute = field.path.substr(1);
        } else {
            spec.path.steps.push_back(field.path);
        }
        spec.type = !field.valued    ? ColumnType::Str
                    : field.is_int   ? ColumnType::Int64
                    : field.is_float ? ColumnType::Float64
                    : field.is_bool  ? ColumnType::Bool
                                     : ColumnType::Str;
        columns.push_back(std::move(spec));
    }
    return columns;
}

}  // namespace brindle::table
