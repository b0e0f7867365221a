// The dictionary form of a node, shared by to_dict and from_dict.
//
// A node's dictionary has the keys "name", "attrs", "children" and "text". Every value in it is
// one of four kinds, tried in this order when a Python value is classified and named in this
// order in messages.
#pragma once

#include <cstdint>
#include <string_view>

namespace brindle {

enum class HashmapKind : std::uint8_t { String, Vec, NullableString, Map };

inline constexpr std::string_view kHashmapKindNames[] = {"String", "Vec", "NullableString", "Map"};

// The keys of a node's dictionary, in the order to_dict emits them.
enum class NodeKey : std::uint8_t { Name, Attrs, Children, Text };
inline constexpr std::string_view kNodeKeyNames[] = {"name", "attrs", "children", "text"};
inline constexpr std::size_t kNodeKeyCount = 4;

}  // namespace brindle
