#include "table/column_path.hpp"

namespace brindle::table {

namespace {

constexpr std::string_view kEvery = "[*]";
constexpr std::string_view kStringValue = "string()";
// Bytes that no name holds here: XPath's own punctuation, quotes and white space.
constexpr std::string_view kNotInNames = " \t\r\n/@[]()*=|,'\"<>!$&;{}";

bool is_name(std::string_view name) noexcept
{
    if (name.empty() || name == "." || name == "..") return false;
    const char first = name.front();
    if (first == '-' || first == '.' || (first >= '0' && first <= '9')) return false;
    return name.find_first_of(kNotInNames) == std::string_view::npos;
}

std::optional<PathFault> refuse(std::string_view part, const char* reason)
{
    return PathFault{std::string(part), reason};
}

}  // namespace

std::optional<PathFault> parse_column_path(std::string_view text, ColumnPath& path)
{
    path = ColumnPath{};
    if (text.empty()) return refuse(text, "an empty path");
    if (text.size() > kEvery.size() && text.ends_with(kEvery)) {
        path.every = true;
        text.remove_suffix(kEvery.size());
    }
    if (text.front() == '/') return refuse("/", "a path is relative to the record");
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = text.find('/', start);
        const bool last = slash == std::string_view::npos;
        const std::string_view part = text.substr(start, last ? std::string_view::npos : slash - start);
        if (part.empty()) return refuse("/", "an empty step");
        if (last && part == kStringValue) {
            path.target = PathTarget::StringValue;
        } else if (last && part.front() == '@') {
            if (!is_name(part.substr(1))) return refuse(part, "not an attribute name");
            path.target = PathTarget::Attribute;
            path.attribute.assign(part.substr(1));
        } else if (is_name(part)) {
            path.steps.emplace_back(part);
        } else if (part.front() == '@' || part == kStringValue) {
            return refuse(part, "only the last step may be an attribute or string()");
        } else {
            return refuse(part, "not an element name");
        }
        if (last) break;
        start = slash + 1;
    }
    if (path.every && path.steps.empty()) return refuse(kEvery, "a list needs an element step");
    return std::nullopt;
}

}  // namespace brindle::table
