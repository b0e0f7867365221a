// The paths that choose a table's columns, relative to each record, in a small subset of XPath
// written the same way:
//   @a               the record's attribute a
//   A/B              the trimmed text of the first B child of the first A child (null
//                    when it has none, as Node.text is None)
//   A/@a             an attribute of that first match
//   A/string()       all character data of the first match and its descendants, in document
//                    order, untrimmed; string() alone is the record's own
//   A/B/C[*]         every match (every A, every B in each, every C in each), in document order
// Names are matched as written, prefix included. Anything else is refused, naming the part.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::table {

enum class PathTarget : std::uint8_t {
    Text,         // the element's text, trimmed (as a tree's Node.text)
    Attribute,    // one attribute of the element
    StringValue,  // string(): all character data inside the element, in order
};

struct ColumnPath {
    std::vector<std::string> steps;  // child names, from the record down
    PathTarget target = PathTarget::Text;
    std::string attribute;  // Attribute only
    bool every = false;     // [*]: a list of every match
};

// Why a path was refused: the part it does not accept, and what is wrong with it.
struct PathFault {
    std::string part;
    std::string reason;
};

// Fills `path` from `text`, or says what it refuses. May throw std::bad_alloc.
std::optional<PathFault> parse_column_path(std::string_view text, ColumnPath& path);

}  // namespace brindle::table
