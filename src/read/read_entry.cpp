// read_string and read_file: the arguments are converted with the interpreter lock held, the
// whole pipeline (file included) runs without it, and the detached tree becomes Node objects
// once the lock is back.
#include "read/read_entry.hpp"

#include <string>

#include "entities/plain_convert.hpp"
#include "module/bind.hpp"
#include "module/convert.hpp"
#include "module/frame.hpp"
#include "read/document_file.hpp"
#include "read/read_pipeline.hpp"

namespace brindle {

namespace {

constexpr std::string_view kStringParams[] = {"xml_string", "root_tag"};
constexpr Signature kReadString{"read_string", "", kStringParams, 2, 2};
constexpr std::string_view kFileParams[] = {"file_path", "root_tag"};
constexpr Signature kReadFile{"read_file", "", kFileParams, 2, 2};

PyObject* to_nodes(PlainTree&& tree) { return from_plain(std::move(tree)).release(); }

}  // namespace

PyObject* py_read_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        auto slots = bind<2>(kReadString, args, nargs, kwnames);
        // Both views stay valid: the caller holds the two strings for the whole call.
        const std::string_view document = convert_arg("xml_string", [&] { return to_text(slots[0]); });
        const std::string_view root_tag = convert_arg("root_tag", [&] { return to_text(slots[1]); });
        PlainTree tree;
        {
            GilRelease unlocked;
            tree = read::parse_document(document, root_tag);
        }
        return to_nodes(std::move(tree));
    });
}

PyObject* py_read_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        auto slots = bind<2>(kReadFile, args, nargs, kwnames);
        std::string path = convert_arg("file_path", [&] { return to_text_copy(slots[0]); });
        const std::string_view root_tag = convert_arg("root_tag", [&] { return to_text(slots[1]); });
        PlainTree tree;
        {
            GilRelease unlocked;
            // The file's bytes are freed here, before the nodes are made.
            const read::FileBytes file = read::load_file(path);
            tree = read::parse_document(file.view(), root_tag);
        }
        return to_nodes(std::move(tree));
    });
}

}  // namespace brindle
