// read_string and read_file: the arguments are converted with the interpreter lock held, the
// whole pipeline (file included) runs without it, and once the lock is back the collected tree
// becomes Node objects, or the reader's error value becomes the ValueError.
#include "read/read_entry.hpp"

#include <optional>
#include <string>

#include "module/bind.hpp"
#include "module/convert.hpp"
#include "module/frame.hpp"
#include "entities/node.hpp"
#include "read/document_file.hpp"
#include "read/node_builder.hpp"
#include "read/read_errors.hpp"
#include "reader/read_pipeline.hpp"

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
        // Both views stay valid: the caller holds the two strings for the whole call.
        const std::string_view document = convert_arg("xml_string", [&] { return to_text(slots[0]); });
        const std::string_view root_tag = convert_arg("root_tag", [&] { return to_text(slots[1]); });
        reader::ReadTree tree;
        reader::ReadError error;
        read::NodeBuilder nodes;
        bool parsed;
        {
            GilRelease unlocked;
            parsed = reader::parse_document(document, root_tag, tree, error);
            if (parsed && kNodesWithoutLock) nodes.build(tree, document);
        }
        if (!parsed) read::throw_read_error(error);
        if (!kNodesWithoutLock) nodes.build(tree, document);
        return nodes.take_root().release();
    });
}

PyObject* py_read_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        auto slots = bind<2>(kReadFile, args, nargs, kwnames);
        const std::string path = convert_arg("file_path", [&] { return to_text_copy(slots[0]); });
        const std::string_view root_tag = convert_arg("root_tag", [&] { return to_text(slots[1]); });
        // The file's bytes outlive the walk: the collected names and texts still point into
        // them until the nodes are made.
        std::optional<read::FileBytes> file;
        reader::ReadTree tree;
        reader::ReadError error;
        read::NodeBuilder nodes;
        bool parsed;
        {
            GilRelease unlocked;
            file.emplace(read::load_file(path));
            parsed = reader::parse_document(file->view(), root_tag, tree, error);
            if (parsed && kNodesWithoutLock) nodes.build(tree, file->view());
        }
        if (!parsed) read::throw_read_error(error);  // its names may point into the file's bytes
        if (!kNodesWithoutLock) nodes.build(tree, file->view());
        return nodes.take_root().release();
    });
}

}  // namespace brindle
