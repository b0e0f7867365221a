// Searching a subtree by element name, attribute name or text.
//
// The walk visits nodes in pre-order from an explicit stack, so a tree of any depth is searched
// without native recursion. It runs no Python code, so borrowed pointers to the nodes stay valid:
// the starting node holds every node below it alive and none of them can change.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "entities/node.hpp"
#include "entities/node_methods.hpp"
#include "module/bind.hpp"
#include "module/convert.hpp"
#include "module/frame.hpp"
#include "module/search_type.hpp"

namespace brindle {

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
    static bool test(const NodeData& node, std::string_view query) noexcept { return node.name == query; }
};

struct AttrMatch {
    static bool test(const NodeData& node, std::string_view query) noexcept
    {
        return node.attrs.contains(query);
    }
};

struct TextMatch {
    static bool test(const NodeData& node, std::string_view query) noexcept
    {
        return node.text && *node.text == query;
    }
};

// Pushes the children so that the first one is popped first: pre-order, siblings in order.
template <class Entry, class MakeEntry>
void push_children(std::vector<Entry>& pending, const NodeData& node, MakeEntry&& make_entry)
{
    const auto& children = node.children;
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        pending.push_back(make_entry(child->get()));
    }
}

// The whole subtree: no depth bookkeeping at all on the common path.
template <class Match>
void collect_unlimited(PyObject* start, std::string_view query, std::vector<PyObject*>& found)
{
    std::vector<PyObject*> pending{start};
    while (!pending.empty()) {
        PyObject* node = pending.back();
        pending.pop_back();
        const NodeData& data = node_data(node);
        if (Match::test(data, query)) found.push_back(node);
        push_children(pending, data, [](PyObject* child) { return child; });
    }
}

// Levels 0 to `depth` below the starting node (depth >= 0).
template <class Match>
void collect_limited(PyObject* start, std::string_view query, std::int32_t depth, std::vector<PyObject*>& found)
{
    struct Pending {
        PyObject* node;
        std::int32_t remaining;  // levels still allowed below this node
    };
    std::vector<Pending> pending{{start, depth}};
    while (!pending.empty()) {
        const Pending entry = pending.back();
        pending.pop_back();
        const NodeData& data = node_data(entry.node);
        if (Match::test(data, query)) found.push_back(entry.node);
        if (entry.remaining == 0) continue;
        const std::int32_t below = entry.remaining - 1;  // remaining > 0 here: no overflow
        push_children(pending, data, [below](PyObject* child) { return Pending{child, below}; });
    }
}

// A negative depth only moves further from zero as the walk descends, so it never stops the
// walk: it is the same as no limit, and no arithmetic on it is needed.
template <class Match>
std::vector<PyObject*> collect_matches(PyObject* start, std::string_view query, std::optional<std::int32_t> depth)
{
    std::vector<PyObject*> found;
    if (depth && *depth >= 0) {
        collect_limited<Match>(start, query, *depth, found);
    } else {
        collect_unlimited<Match>(start, query, found);
    }
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

PyRef search_kind(PyObject* start, SearchKind kind, std::string_view query, std::optional<std::int32_t> depth)
{
    switch (kind) {
    case SearchKind::Tag: return to_list(collect_matches<NameMatch>(start, query, depth));
    case SearchKind::Attr: return to_list(collect_matches<AttrMatch>(start, query, depth));
    case SearchKind::Text: return to_list(collect_matches<TextMatch>(start, query, depth));
    }
    throw_internal("invariant: a SearchType member is Tag, Attr or Text");
}

// The three single-kind methods: the query, then the depth.
PyObject* search_one_kind(const Signature& signature, SearchKind kind, PyObject* self, PyObject* const* args,
                          Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const auto slots = bind<2>(signature, args, nargs, kwnames);
        const std::string_view query = convert_arg(signature.params[0], [&] { return to_text(slots[0]); });
        const auto depth = convert_optional_arg("depth", slots[1], to_i32);
        return search_kind(self, kind, query, depth).release();
    });
}

}  // namespace

PyObject* node_search_by_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return search_one_kind(kNameSignature, SearchKind::Tag, self, args, nargs, kwnames);
}

PyObject* node_search_by_attr(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return search_one_kind(kAttrSignature, SearchKind::Attr, self, args, nargs, kwnames);
}

PyObject* node_search_by_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return search_one_kind(kTextSignature, SearchKind::Text, self, args, nargs, kwnames);
}

// `by` is checked before the query is converted, and the query before the depth.
PyObject* node_search(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const auto slots = bind<3>(kSearchSignature, args, nargs, kwnames);
        const SearchKind kind = convert_arg("by", [&] { return to_search_kind(slots[0]); });
        const std::string_view query = convert_arg("value", [&] { return to_text(slots[1]); });
        const auto depth = convert_optional_arg("depth", slots[2], to_i32);
        return search_kind(self, kind, query, depth).release();
    });
}

}  // namespace brindle
