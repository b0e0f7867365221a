// Searching a subtree by element name, attribute name or text.
//
// The walk visits nodes in pre-order from an explicit stack, so a tree of any depth is searched
// without native recursion. Borrowed pointers to the nodes stay valid: the starting node holds
// every node below it alive and none of them can change, not even while a signal handler runs.
// Shared children can make the walk endless in practice, so it lets Ctrl-C stop it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "ffi/bind.hpp"
#include "ffi/convert.hpp"
#include "ffi/frame.hpp"
#include "ffi/interrupt_poll.hpp"
#include "node/node.hpp"
#include "node/node_methods.hpp"
#include "node/search_type.hpp"

namespace brindle::node {

using namespace ffi;

namespace {

constexpr std::string_view kNameParams[] = {"name", "depth"};
constexpr std::string_view kAttrParams[] = {"key", "depth"};
constexpr std::string_view kTextParams[] = {"text", "depth"};
constexpr std::string_view kSearchParams[] = {"by", "value", "depth"};
constexpr Signature kNameSignature{"search_by_name", "Node", kNameParams, 2, 1};
constexpr Signature kAttrSignature{"search_by_attr", "Node", kAttrParams, 2, 1};
constexpr Signature kTextSignature{"search_by_text", "Node", kTextParams, 2, 1};
constexpr Signature kSearchSignature{"search", "Node", kSearchParams, 3, 2};

struct NameMatch {
    static bool test(const NodeObject& node, std::string_view query) noexcept { return node.name == query; }
};

struct AttrMatch {
    static bool test(const NodeObject& node, std::string_view query) noexcept { return node.attrs.contains(query); }
};

struct TextMatch {
    static bool test(const NodeObject& node, std::string_view query) noexcept
    {
        return node.text.view() == query;  // an absent text equals no query
    }
};

// Pre-order with a stack of sibling ranges, one per open level: a node is tested when its range
// reaches it, and its own children open the next level only while the depth allows it.
template <class Match>
void collect_matches(PyObject* start, std::string_view query, std::size_t max_level, std::vector<PyObject*>& found)
{
    struct Siblings {
        const PyRef* next;
        const PyRef* end;
    };
    std::vector<Siblings> open;
    // Progress is counted per level opened, not per node, to keep the test of each node tight.
    InterruptPoll poll(kNodesBetweenPolls);
    std::uint64_t opened = 0;  // nodes in the sibling ranges opened so far
    // Inlined into the loop (its size with the poll would keep it out otherwise): the loop is
    // the whole cost of a search.
    auto visit = [&](PyObject* node) __attribute__((always_inline)) {
        const NodeObject& data = node_object(node);
        if (Match::test(data, query)) found.push_back(node);
        // `open.size()` is the level of `node`; its children are one level further down.
        const auto children = data.children();
        if (open.size() < max_level && !children.empty()) {
            poll.progress(opened += children.size());
            open.push_back({children.data(), children.data() + children.size()});
        }
    };
    visit(start);
    while (!open.empty()) {
        Siblings& top = open.back();
        if (top.next == top.end) {
            open.pop_back();
            continue;
        }
        visit((top.next++)->get());  // may grow `open`: `top` is not used after this
    }
}

// The deepest level a search may test. A negative depth only moves further from zero as the walk
// descends, so it never stops the walk: the same as no depth at all, with no arithmetic on it.
std::size_t deepest_level(std::optional<std::int32_t> depth) noexcept
{
    if (!depth || *depth < 0) return SIZE_MAX;
    return static_cast<std::size_t>(*depth);
}

template <class Match>
std::vector<PyObject*> collect_matches(PyObject* start, std::string_view query, std::optional<std::int32_t> depth)
{
    std::vector<PyObject*> found;
    collect_matches<Match>(start, query, deepest_level(depth), found);
    return found;
}

// The one Python list of the results, created with its final length.
PyRef to_list(const std::vector<PyObject*>& found)
{
    PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(found.size())));
    for (std::size_t i = 0; i < found.size(); ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), PyRef::borrow(found[i]).release());
    }
    return list;
}

PyRef search_by_type(PyObject* start, SearchType kind, std::string_view query, std::optional<std::int32_t> depth)
{
    switch (kind) {
    case SearchType::Tag: return to_list(collect_matches<NameMatch>(start, query, depth));
    case SearchType::Attr: return to_list(collect_matches<AttrMatch>(start, query, depth));
    case SearchType::Text: return to_list(collect_matches<TextMatch>(start, query, depth));
    }
    throw_internal("invariant: a SearchType member is Tag, Attr or Text");
}

// The three methods that search by one SearchType: the query, then the depth.
PyObject* search_one_type(const Signature& signature, SearchType kind, PyObject* self, PyObject* const* args,
                          Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const auto bound = bind<2>(signature, args, nargs, kwnames);
        const std::string_view query = convert_arg(signature.params[0], [&] { return to_text(bound[0]); });
        const auto depth = convert_optional_arg("depth", bound[1], to_i32);
        return search_by_type(self, kind, query, depth).release();
    });
}

}  // namespace

PyObject* node_search_by_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return search_one_type(kNameSignature, SearchType::Tag, self, args, nargs, kwnames);
}

PyObject* node_search_by_attr(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return search_one_type(kAttrSignature, SearchType::Attr, self, args, nargs, kwnames);
}

PyObject* node_search_by_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return search_one_type(kTextSignature, SearchType::Text, self, args, nargs, kwnames);
}

// `by` is checked before the query is converted, and the query before the depth.
PyObject* node_search(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const auto bound = bind<3>(kSearchSignature, args, nargs, kwnames);
        const SearchType kind = convert_arg("by", [&] { return to_search_type(bound[0]); });
        const std::string_view query = convert_arg("value", [&] { return to_text(bound[1]); });
        const auto depth = convert_optional_arg("depth", bound[2], to_i32);
        return search_by_type(self, kind, query, depth).release();
    });
}

}  // namespace brindle::node
