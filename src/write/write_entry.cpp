// The two write entry points: convert the arguments, then release the interpreter lock for
// everything else (checking the tree, serialising, and opening and writing the file) and take
// it back only to build the result or raise. A tree that would not read back as XML is
// refused before a file is opened, so a refusal never costs the caller the file it replaces.
// The tree is read in place, not copied: nodes never change, and the reference held on the
// root keeps every node of the tree alive meanwhile (serializer.hpp). The check and the
// serialisation take the lock back now and then to let Ctrl-C stop them: write_string then
// frees its buffer, and write_file raises with the prefix written so far in the file.
#include "write/write_entry.hpp"

#include <cstdint>
#include <string>
#include <string_view>

#include "ffi/bind.hpp"
#include "ffi/convert.hpp"
#include "ffi/frame.hpp"
#include "ffi/interrupt_poll.hpp"
#include "memory/running_call.hpp"
#include "node/node.hpp"
#include "write/file_sink.hpp"
#include "write/memory_sink.hpp"
#include "write/serializer.hpp"
#include "write/str_from_utf8.hpp"
#include "write/tree_check.hpp"

namespace brindle::write {

using namespace ffi;

namespace {

constexpr std::string_view kStringParams[] = {"node", "indent", "default_xml_def"};
constexpr Signature kWriteString{"write_string", "", kStringParams, 3, 1};
constexpr std::string_view kFileParams[] = {"node", "file_path", "indent", "default_xml_def"};
constexpr Signature kWriteFile{"write_file", "", kFileParams, 4, 2};

constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
static_assert(kXmlDeclaration.size() == 39);

constexpr std::uint64_t kDefaultIndent = 4;

struct WriteOptions {
    std::uint64_t indent = kDefaultIndent;
    bool declaration = true;
};

WriteOptions convert_options(PyObject* indent, PyObject* default_xml_def)
{
    WriteOptions options;
    options.indent = convert_optional_arg("indent", indent, to_u64).value_or(kDefaultIndent);
    options.declaration = convert_optional_arg("default_xml_def", default_xml_def, to_flag).value_or(true);
    return options;
}

// Runs without the interpreter lock.
template <class Sink>
void write_document(Sink& sink, const node::NodeObject& root, const WriteOptions& options, UnlockedInterruptPoll& poll)
{
    if (options.declaration) sink.append(kXmlDeclaration);
    write_tree(sink, root, options.indent, poll);
}

}  // namespace

PyObject* py_write_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        const memory::RunningCall running;  // the output buffer
        auto bound = bind<3>(kWriteString, args, nargs, kwnames);
        PyObject* node = convert_arg("node", [&] { return node::to_node(bound[0]); });
        const WriteOptions options = convert_options(bound[1], bound[2]);
        const PyRef root = PyRef::borrow(node);
        MemorySink sink;
        Utf8Measure measure;
        {
            GilRelease unlocked;
            UnlockedInterruptPoll poll(unlocked, kBytesBetweenPolls);
            write_document(sink, node::node_object(root.get()), options, poll);
            measure = measure_utf8(sink.contents());
        }
        return str_from_utf8(sink.contents(), measure).release();
    });
}

PyObject* py_write_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&]() -> PyObject* {
        auto bound = bind<4>(kWriteFile, args, nargs, kwnames);
        PyObject* node = convert_arg("node", [&] { return node::to_node(bound[0]); });
        std::string path = convert_arg("file_path", [&] { return to_text_copy(bound[1]); });
        const WriteOptions options = convert_options(bound[2], bound[3]);
        const PyRef root = PyRef::borrow(node);
        {
            GilRelease unlocked;
            UnlockedInterruptPoll check_poll(unlocked, kBytesBetweenPolls);
            check_tree(node::node_object(root.get()), check_poll);
            FileSink sink(path);
            UnlockedInterruptPoll write_poll(unlocked, kBytesBetweenPolls);  // counts output, not checks
            write_document(sink, node::node_object(root.get()), options, write_poll);
            sink.finish();
        }
        return Py_NewRef(Py_None);
    });
}

}  // namespace brindle::write
