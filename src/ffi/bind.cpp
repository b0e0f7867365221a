#include "ffi/bind.hpp"

#include <optional>
#include <vector>

#include "ffi/convert.hpp"
#include "ffi/errors.hpp"

namespace brindle::ffi {

namespace {

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_name_list(const std::vector<std::string_view>& names)
{
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() == 2) {
                list += " and ";
            } else {
                list += i + 1 == names.size() ? ", and " : ", ";
            }
        }
        list += '\'';
        list += names[i];
        list += '\'';
    }
    return list;
}

[[noreturn]] void throw_surplus(const Signature& signature, std::size_t given)
{
    std::string message = signature.display_name() + " takes ";
    if (signature.required == signature.param_count) {
        message += std::to_string(signature.param_count);
    } else {
        message += "from " + std::to_string(signature.required) + " to " + std::to_string(signature.param_count);
    }
    message += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
    throw_error(PyExc_TypeError, std::move(message));
}

[[noreturn]] void throw_unknown_keyword(const Signature& signature, PyObject* keyword)
{
    const std::string shown = str_text(keyword).value_or("");
    PyErr_Clear();
    throw_error(PyExc_TypeError, signature.display_name() + " got an unexpected keyword argument '" + shown + "'");
}

void fill_keyword(const Signature& signature, PyObject* keyword, PyObject* value, PyObject** bound)
{
    const std::optional<std::string_view> name = PyUnicode_Check(keyword) ? utf8_view(keyword) : std::nullopt;
    if (!name) {
        PyErr_Clear();
        throw_unknown_keyword(signature, keyword);
    }
    for (std::size_t i = 0; i < signature.param_count; ++i) {
        if (signature.params[i] != *name) continue;
        if (bound[i] != nullptr) {
            throw_error(PyExc_TypeError,
                        signature.display_name() + " got multiple values for argument '" + std::string(*name) + "'");
        }
        bound[i] = value;
        return;
    }
    throw_unknown_keyword(signature, keyword);
}

void check_required(const Signature& signature, std::size_t positional, PyObject** bound)
{
    if (positional >= signature.required) return;
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (bound[i] == nullptr) missing.push_back(signature.params[i]);
    }
    if (missing.empty()) return;
    throw_error(PyExc_TypeError, signature.display_name() + " missing " + std::to_string(missing.size()) +
                                     " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": " +
                                     quoted_name_list(missing));
}

void place_positional(const Signature& signature, std::size_t given, PyObject** bound, PyObject* const* args)
{
    if (given > signature.param_count) throw_surplus(signature, given);
    for (std::size_t i = 0; i < given; ++i) bound[i] = args[i];
}

}  // namespace

std::string Signature::display_name() const
{
    std::string name;
    if (!class_name.empty()) {
        name += class_name;
        name += '.';
    }
    name += function;
    name += "()";
    return name;
}

void bind_fastcall(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** bound)
{
    const auto positional = static_cast<std::size_t>(PyVectorcall_NARGS(static_cast<std::size_t>(nargs)));
    place_positional(signature, positional, bound, args);
    if (kwnames != nullptr) {
        const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t i = 0; i < count; ++i) {
            fill_keyword(signature, PyTuple_GET_ITEM(kwnames, i), args[positional + static_cast<std::size_t>(i)],
                         bound);
        }
    }
    check_required(signature, positional, bound);
}

void bind_tuple_and_dict(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** bound)
{
    const auto positional = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    place_positional(signature, positional, bound, &PyTuple_GET_ITEM(args, 0));
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &value)) fill_keyword(signature, key, value, bound);
    }
    check_required(signature, positional, bound);
}

}  // namespace brindle::ffi
