// The arguments are converted, and a path opened, at the call; the iterator does the rest.
#include "stream/stream_entry.hpp"

#include <cstddef>
#include <optional>
#include <string>

#include "ffi/convert.hpp"
#include "ffi/errors.hpp"
#include "ffi/frame.hpp"
#include "memory/running_call.hpp"
#include "stream/record_iterator.hpp"
#include "stream/stream_source.hpp"

namespace brindle::stream {

using namespace ffi;

namespace {

// 32 KiB at a time: the records of one buffer are made before any is yielded, and with a
// buffer this small they are still in the cache when the caller takes them. On a 100 MiB
// OpenStreetMap-like file (one core) 32 KiB took 0.85 s of CPU, 256 KiB 1.2 s, 1 MiB 1.75 s,
// and read_file of the whole document 0.88 s.
constexpr std::size_t kDefaultBufferSize = std::size_t{32} << 10;

}  // namespace

std::size_t buffer_size_arg(PyObject* value)
{
    if (is_absent(value)) return kDefaultBufferSize;
    const std::uint64_t size = convert_arg("buffer_size", [&] { return to_u64(value); });
    if (size == 0) throw_error(PyExc_ValueError, "buffer_size must be at least 1");
    return static_cast<std::size_t>(std::min<std::uint64_t>(size, SIZE_MAX / 8));
}

// A str, bytes or os.PathLike names a file.
std::optional<std::string> source_path(PyObject* source)
{
    const bool is_path = PyUnicode_Check(source) || PyBytes_Check(source) ||
                         PyObject_HasAttrString(reinterpret_cast<PyObject*>(Py_TYPE(source)), "__fspath__");
    if (!is_path) return std::nullopt;
    PyRef path = checked(PyOS_FSPath(source));
    if (PyBytes_Check(path.get())) return std::string(PyBytes_AS_STRING(path.get()), PyBytes_GET_SIZE(path.get()));
    return convert_arg("source", [&] { return to_text_copy(path.get()); });
}

// Anything that names no file must be a binary file object.
std::unique_ptr<StreamSource> source_arg(PyObject* source)
{
    if (std::optional<std::string> path = source_path(source)) return open_path_source(*path);
    return convert_arg("source", [&] { return file_object_source(source); });
}

namespace {

constexpr std::string_view kFileParams[] = {"source", "tag", "buffer_size"};
constexpr Signature kIterFile{"iter_file", "", kFileParams, 3, 2};
constexpr std::string_view kStringParams[] = {"xml_string", "tag", "buffer_size"};
constexpr Signature kIterString{"iter_string", "", kStringParams, 3, 2};

}  // namespace

PyObject* py_iter_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const memory::RunningCall running;
        auto bound = bind<3>(kIterFile, args, nargs, kwnames);
        const std::string_view tag = convert_arg("tag", [&] { return to_text(bound[1]); });
        const std::size_t buffer_size = buffer_size_arg(bound[2]);
        return make_record_iterator(source_arg(bound[0]), tag, buffer_size);
    });
}

PyObject* py_iter_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const memory::RunningCall running;
        auto bound = bind<3>(kIterString, args, nargs, kwnames);
        auto source = convert_arg("xml_string", [&] { return str_source(bound[0]); });
        const std::string_view tag = convert_arg("tag", [&] { return to_text(bound[1]); });
        return make_record_iterator(std::move(source), tag, buffer_size_arg(bound[2]));
    });
}

}  // namespace brindle::stream
