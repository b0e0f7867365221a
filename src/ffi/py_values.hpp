// Building Python values from native ones. Each returns a new reference or throws the
// interpreter's error (normally MemoryError).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string_view>

#include "ffi/errors.hpp"

namespace brindle::ffi {

inline PyRef make_str(std::string_view text)
{
    return checked(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr));
}

// A str, or None for an absent value.
inline PyRef optional_str(std::optional<std::string_view> text)
{
    return text ? make_str(*text) : PyRef::borrow(Py_None);
}

}  // namespace brindle::ffi
