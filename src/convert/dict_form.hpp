// The dictionary form of a node, shared by to_dict and from_dict.
//
// A node's dictionary has the keys "name", "attrs", "children" and "text". Every value in it is
// one variant of the enum that messages call HashmapTypes, tried in the order below when a
// Python value is classified and named in that order in messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brindle::convert {

enum class HashmapTypes : std::uint8_t { String, Vec, NullableString, Map };

inline constexpr std::string_view kHashmapVariantNames[] = {"String", "Vec", "NullableString", "Map"};

// The keys of a node's dictionary, in the order to_dict emits them.
enum class NodeKey : std::uint8_t { Name, Attrs, Children, Text };
inline constexpr std::string_view kNodeKeyNames[] = {"name", "attrs", "children", "text"};
inline constexpr std::size_t kNodeKeyCount = 4;

constexpr std::size_t index_of(NodeKey key) noexcept { return static_cast<std::size_t>(key); }

}  // namespace brindle::convert
