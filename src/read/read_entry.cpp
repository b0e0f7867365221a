// Placeholder until the reader lands: arguments are bound and converted as specified.
#include "read/read_entry.hpp"

#include "module/bind.hpp"
#include "module/convert.hpp"
#include "module/frame.hpp"

namespace brindle {

namespace {
constexpr std::string_view kStringParams[] = {"xml_string", "root_tag"};
constexpr Signature kReadString{"read_string", "", kStringParams, 2, 2};
constexpr std::string_view kFileParams[] = {"file_path", "root_tag"};
constexpr Signature kReadFile{"read_file", "", kFileParams, 2, 2};
}  // namespace

PyObject* py_read_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        auto slots = bind<2>(kReadString, args, nargs, kwnames);
        convert_arg("xml_string", [&] { return to_text(slots[0]); });
        convert_arg("root_tag", [&] { return to_text(slots[1]); });
        throw_error(PyExc_NotImplementedError, "read_string is not available yet");
    });
}

PyObject* py_read_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        auto slots = bind<2>(kReadFile, args, nargs, kwnames);
        convert_arg("file_path", [&] { return to_text(slots[0]); });
        convert_arg("root_tag", [&] { return to_text(slots[1]); });
        throw_error(PyExc_NotImplementedError, "read_file is not available yet");
    });
}

}  // namespace brindle
