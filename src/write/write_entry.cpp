// Placeholder until the writer lands: arguments are bound and converted as specified.
#include "write/write_entry.hpp"

#include "entities/node.hpp"
#include "module/bind.hpp"
#include "module/convert.hpp"
#include "module/frame.hpp"

namespace brindle {

namespace {
constexpr std::string_view kStringParams[] = {"node", "indent", "default_xml_def"};
constexpr Signature kWriteString{"write_string", "", kStringParams, 3, 1};
constexpr std::string_view kFileParams[] = {"node", "file_path", "indent", "default_xml_def"};
constexpr Signature kWriteFile{"write_file", "", kFileParams, 4, 2};
}  // namespace

PyObject* py_write_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        auto slots = bind<3>(kWriteString, args, nargs, kwnames);
        convert_arg("node", [&] { return to_node(slots[0]); });
        convert_optional_arg("indent", slots[1], to_u64);
        convert_optional_arg("default_xml_def", slots[2], to_flag);
        throw_error(PyExc_NotImplementedError, "write_string is not available yet");
    });
}

PyObject* py_write_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        auto slots = bind<4>(kWriteFile, args, nargs, kwnames);
        convert_arg("node", [&] { return to_node(slots[0]); });
        convert_arg("file_path", [&] { return to_text(slots[1]); });
        convert_optional_arg("indent", slots[2], to_u64);
        convert_optional_arg("default_xml_def", slots[3], to_flag);
        throw_error(PyExc_NotImplementedError, "write_file is not available yet");
    });
}

}  // namespace brindle
