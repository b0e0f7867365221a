// read_string and read_file: the arguments are converted with the interpreter lock held, the
// whole pipeline (file included) runs without it, and once the lock is back the collected tree
// becomes Node objects, or the reader's error value becomes the ValueError.
#include "read/read_entry.hpp"

#include <optional>
#include <string>

#include "build/node_builder.hpp"
#include "ffi/bind.hpp"
#include "ffi/convert.hpp"
#include "ffi/frame.hpp"
#include "memory/running_call.hpp"
#include "node/node.hpp"
#include "read/document_file.hpp"
#include "read/document_text.hpp"
#include "read/read_errors.hpp"
#include "reader/read_pipeline.hpp"

namespace brindle::read {

using namespace ffi;

namespace {

constexpr std::string_view kStringParams[] = {"xml_string", "root_tag"};
constexpr Signature kReadString{"read_string", "", kStringParams, 2, 2};
constexpr std::string_view kFileParams[] = {"file_path", "root_tag"};
constexpr Signature kReadFile{"read_file", "", kFileParams, 2, 2};

// Runs `load` (reading the file, encoding the str) without the lock, then `parse`, which makes
// the Node objects as it walks: without the lock too where the interpreter allows objects to be
// made so, else with the lock held. Loading never holds it: a file may be a pipe that another
// Python thread is writing.
template <class Load, class Parse>
void load_then_parse(Load&& load, Parse&& parse)
{
    std::optional<GilRelease> released(std::in_place);
    load();
    if (!node::kNodesWithoutLock) released.reset();
    parse();
}

// Whether the value converts as a str argument; the conversion's error is not kept.
bool converts_to_text(PyObject* value) noexcept
{
    if (PyUnicode_Check(value) && utf8_view(value)) return true;
    PyErr_Clear();
    return false;
}

// The root tag's bytes. A document that has no UTF-8 form is the first fault, as it is when
// the root tag is fine, even though it is found only when the document is encoded (which the
// read does unlocked, so only a faulty root tag makes it happen here).
std::string_view root_tag_after(read::DocumentText& document, PyObject* root_tag)
{
    if (!converts_to_text(root_tag) && !document.encode()) document.throw_unencodable();
    return convert_arg("root_tag", [&] { return to_text(root_tag); });
}

}  // namespace

PyObject* py_read_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        const memory::RunningCall running;
        auto bound = bind<2>(kReadString, args, nargs, kwnames);
        // The caller holds both strings for the whole call, so what views them stays valid.
        read::DocumentText document = convert_arg("xml_string", [&] { return read::DocumentText(bound[0]); });
        const std::string_view root_tag = root_tag_after(document, bound[1]);
        build::NodeBuilder nodes;
        reader::ReadError error;
        bool encoded;
        bool parsed = false;
        load_then_parse([&] { encoded = document.encode(); },
                        [&] {
                            if (!encoded) return;
                            nodes.expect_document(document.view().size());
                            parsed = reader::parse_document(document.view(), root_tag, nodes, error);
                        });
        if (!encoded) document.throw_unencodable();
        if (!parsed) read::throw_read_error(error);
        return nodes.take_root().release();
    });
}

PyObject* py_read_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        const memory::RunningCall running;
        auto bound = bind<2>(kReadFile, args, nargs, kwnames);
        const std::string path = convert_arg("file_path", [&] { return to_text_copy(bound[0]); });
        const std::string_view root_tag = convert_arg("root_tag", [&] { return to_text(bound[1]); });
        build::NodeBuilder nodes;
        std::optional<read::FileBytes> file;  // outlives the error, whose names may point into it
        reader::ReadError error;
        bool parsed = false;
        load_then_parse([&] { file.emplace(read::load_file(path)); },
                        [&] {
                            nodes.expect_document(file->view().size());
                            parsed = reader::parse_document(file->view(), root_tag, nodes, error);
                        });
        if (!parsed) read::throw_read_error(error);
        return nodes.take_root().release();
    });
}

}  // namespace brindle::read
