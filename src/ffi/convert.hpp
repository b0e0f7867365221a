// Conversions from bound Python arguments to native values. Each throws the failure the
// interpreter user sees; `convert_arg` adds the note naming the argument.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ffi/errors.hpp"

namespace brindle::ffi {

// The UTF-8 bytes of a str (or subclass), valid while the object lives.
std::string_view to_text(PyObject* value);
inline std::string to_text_copy(PyObject* value) { return std::string(to_text(value)); }

// The same without throwing, for callers that report failures in a form of their own: the
// UTF-8 bytes of `str`, which must be a str, or nullopt with the interpreter's exception set
// (a lone surrogate has no UTF-8 form).
std::optional<std::string_view> utf8_view(PyObject* str) noexcept;

// str(object) as UTF-8, or nullopt with the interpreter's exception set. Throws std::bad_alloc.
std::optional<std::string> str_text(PyObject* object);

// A class's __qualname__, or nullopt when it has none that is a str (the interpreter's exception
// is then set if the lookup itself failed). Throws std::bad_alloc.
std::optional<std::string> qualname_text(PyObject* type);

// What messages show for a class whose name cannot be had.
inline constexpr const char kUnknownTypeName[] = "<failed to extract type name>";

// An absent argument and None are the same.
inline bool is_absent(PyObject* value) noexcept { return value == nullptr || value == Py_None; }

std::uint8_t to_u8(PyObject* value);
std::int32_t to_i32(PyObject* value);
std::uint64_t to_u64(PyObject* value);
bool to_flag(PyObject* value);

// Adds the note "while processing '<name>'" to the interpreter's pending exception (dropping
// any failure to add it) and throws PythonError: the failure of argument `parameter`.
[[noreturn]] void throw_pending_with_note(std::string_view parameter);

// The same for the C++ exception being handled (call only inside a catch) ...
[[noreturn]] void rethrow_with_note(std::string_view parameter);
// ... and for an error of the module's own.
[[noreturn]] void throw_with_note(const PendingError& error, std::string_view parameter);

template <class Conversion>
auto convert_arg(std::string_view parameter, Conversion&& conversion) -> decltype(conversion())
{
    try {
        return conversion();
    } catch (...) {
        rethrow_with_note(parameter);
    }
}

// The common optional case: absent/None gives nullopt, anything else goes through `inner`.
template <class Conversion>
auto convert_optional_arg(std::string_view parameter, PyObject* value, Conversion&& inner)
    -> std::optional<decltype(inner(value))>
{
    if (is_absent(value)) return std::nullopt;
    return convert_arg(parameter, [&] { return inner(value); });
}

}  // namespace brindle::ffi
