// SearchType: an enumeration of what a search compares, with three shared members.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace brindle::node {

// The value of each member, as int(member) gives it; the class (search_type()) has one object per value.
enum class SearchType : std::uint8_t { Tag = 0, Attr = 1, Text = 2 };

// The class, created with its members on first use and shared by every module object.
PyTypeObject* search_type();

// The `SearchType` conversion of arguments: the member, or the instance-check TypeError.
SearchType to_search_type(PyObject* value);

}  // namespace brindle::node
