// The human-readable listing of a node: str(), __to_string(spacing) and repr().
//
// The listing is produced by one walk with an explicit stack, run twice: the first run only
// measures (length, and whether every byte is ASCII), the second writes into a buffer of exactly
// that size. An ASCII listing is written straight into the new str; otherwise it goes through
// one UTF-8 buffer and one decode. Shared children can make a listing endless in practice, so
// both runs let Ctrl-C stop them, polling by the bytes listed so far: a node's share of the
// work is the size of its lines.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "ffi/bind.hpp"
#include "ffi/convert.hpp"
#include "ffi/frame.hpp"
#include "ffi/interrupt_poll.hpp"
#include "ffi/py_values.hpp"
#include "node/node.hpp"
#include "node/node_methods.hpp"

namespace brindle::node {

using namespace ffi;

namespace {

constexpr std::string_view kParams[] = {"spacing"};
constexpr Signature kSignature{"__to_string", "Node", kParams, 1, 0};

// Counts the bytes of the listing and remembers whether any of them is outside ASCII.
class MeasuringSink {
public:
    void text(std::string_view piece) noexcept
    {
        length_ += piece.size();
        for (const char byte : piece) high_bits_ |= static_cast<unsigned char>(byte);
    }
    void spaces(std::size_t count) noexcept { length_ += count; }
    std::size_t length() const noexcept { return length_; }
    bool ascii() const noexcept { return high_bits_ < 0x80; }

private:
    std::size_t length_ = 0;
    unsigned char high_bits_ = 0;
};

// Writes the listing into a buffer measured beforehand.
class WritingSink {
public:
    explicit WritingSink(char* buffer) noexcept : start_(buffer), cursor_(buffer) {}
    void text(std::string_view piece) noexcept
    {
        std::memcpy(cursor_, piece.data(), piece.size());
        cursor_ += piece.size();
    }
    void spaces(std::size_t count) noexcept
    {
        std::memset(cursor_, ' ', count);
        cursor_ += count;
    }
    std::size_t length() const noexcept { return static_cast<std::size_t>(cursor_ - start_); }

private:
    char* const start_;
    char* cursor_;
};

// Everything of a node's listing that comes before its first child. Inlined into the walk: the
// call cost more per node than the walk's interrupt poll.
template <class Sink>
[[gnu::always_inline]] inline void render_head(const NodeObject& node, std::size_t width, Sink& sink)
{
    sink.spaces(width);
    sink.text("Name: ");
    sink.text(node.name);
    if (!node.attrs.empty()) {
        sink.text("\n");
        sink.spaces(width);
        sink.text("Attributes:");
        for (const auto& [key, value] : node.attrs) {
            sink.text("\n");
            sink.spaces(width);
            sink.text(key);
            sink.text(": ");
            sink.text(value);
        }
    }
    if (const std::optional<std::string_view> text = node.text.view()) {
        sink.text("\n");
        sink.spaces(width);
        sink.text("Text: ");
        sink.text(*text);
    }
    if (!node.children().empty()) {
        sink.text("\n");
        sink.spaces(width);
        sink.text("Children:");
    }
}

// A child's listing is pasted whole after a line break and its parent's indent, and followed by
// a line break. So a child's "Name:" line carries the parent's indent before its own, and
// consecutive children are separated by an empty line. Widths are 8-bit: past 255 they wrap.
template <class Sink>
void render_tree(const NodeObject& root, std::uint8_t root_width, Sink& sink)
{
    struct Open {
        const NodeObject* node;
        std::uint8_t width;
        std::size_t next_child;
    };
    std::vector<Open> open{{&root, root_width, 0}};
    InterruptPoll poll(kBytesBetweenPolls);
    render_head(root, root_width, sink);
    while (!open.empty()) {
        Open& parent = open.back();
        if (parent.next_child == parent.node->children().size()) {
            open.pop_back();
            if (!open.empty()) sink.text("\n");  // closes this child inside its parent's listing
            continue;
        }
        const NodeObject& child = node_object(parent.node->children()[parent.next_child++].get());
        const auto child_width = static_cast<std::uint8_t>(parent.width + 2);
        sink.text("\n");
        sink.spaces(parent.width);
        render_head(child, child_width, sink);
        poll.progress(sink.length());
        open.push_back({&child, child_width, 0});  // may move `parent`: not used after this
    }
}

PyRef render(const NodeObject& root, std::uint8_t width)
{
    MeasuringSink measure;
    render_tree(root, width, measure);
    const auto length = static_cast<Py_ssize_t>(measure.length());
    if (measure.ascii()) {
        PyRef listing = checked(PyUnicode_New(length, 127));
        WritingSink sink(reinterpret_cast<char*>(PyUnicode_1BYTE_DATA(listing.get())));
        render_tree(root, width, sink);
        return listing;
    }
    std::string buffer(measure.length(), '\0');
    WritingSink sink(buffer.data());
    render_tree(root, width, sink);
    return make_str(buffer);
}

}  // namespace

PyObject* node_to_string(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const auto bound = bind<1>(kSignature, args, nargs, kwnames);
        const auto spacing = convert_optional_arg("spacing", bound[0], to_u8);
        return render(node_object(self), spacing.value_or(0)).release();
    });
}

PyObject* node_str(PyObject* self)
{
    return call_frame([&] { return render(node_object(self), 0).release(); });
}

PyObject* node_repr(PyObject* self)
{
    return call_frame([&] { return make_str("Node(" + std::string(node_object(self).name.view()) + ")").release(); });
}

}  // namespace brindle::node
