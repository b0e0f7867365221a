// SearchType: an enumeration of what a search compares, with three shared members.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace brindle {

enum class SearchKind : std::uint8_t { Tag = 0, Attr = 1, Text = 2 };

// The class, created with its members on first use and shared by every module object.
PyTypeObject* search_type();

// The `SearchType` conversion of arguments: the member, or the instance-check TypeError.
SearchKind to_search_kind(PyObject* value);

}  // namespace brindle
