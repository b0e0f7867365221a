// The Node class: its members in the order they are declared to the interpreter.
#include "node/node.hpp"

#include <cstring>
#include <new>
#include <span>

#include "ffi/bind.hpp"
#include "ffi/errors.hpp"
#include "node/node_arena.hpp"
#include "node/node_methods.hpp"

namespace brindle::node {

using namespace ffi;

namespace {

constexpr const char kNodeDoc[] = "Node(name, attrs=None, children=None, text=None)\n--\n\n";

PyGetSetDef node_getset[] = {
    {"name", node_get_name, nullptr, nullptr, nullptr},
    {"attrs", node_get_attrs, nullptr, nullptr, nullptr},
    {"text", node_get_text, nullptr, nullptr, nullptr},
    {"children", node_get_children, nullptr, "Children are shared references to the same nodes, not copies.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef node_methods[] = {
    fastcall_method("__to_string", node_to_string, "__to_string($self, spacing=None)\n--\n\n"),
    fastcall_method("search_by_name", node_search_by_name, "search_by_name($self, name, depth=None)\n--\n\n"),
    fastcall_method("search_by_attr", node_search_by_attr, "search_by_attr($self, key, depth=None)\n--\n\n"),
    fastcall_method("search_by_text", node_search_by_text, "search_by_text($self, text, depth=None)\n--\n\n"),
    fastcall_method("search", node_search, "search($self, by, value, depth=None)\n--\n\n"),
    fastcall_method("from_dict", convert::node_from_dict, "from_dict($cls, dict_)\n--\n\n", METH_CLASS),
    {"to_dict", convert::node_to_dict, METH_NOARGS, "to_dict($self)\n--\n\n"},
    {"__reduce__", convert::node_reduce, METH_NOARGS, nullptr},
    {"__copy__", convert::node_copy, METH_NOARGS, nullptr},
    {"__deepcopy__", convert::node_deepcopy, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot node_slots[] = {
    {Py_tp_doc, const_cast<char*>(kNodeDoc)},
    {Py_tp_getset, node_getset},
    {Py_tp_methods, node_methods},
    {Py_tp_new, reinterpret_cast<void*>(node_new)},
    {Py_tp_str, reinterpret_cast<void*>(node_str)},
    {Py_tp_repr, reinterpret_cast<void*>(node_repr)},
    {Py_tp_dealloc, reinterpret_cast<void*>(node_dealloc)},
    {0, nullptr},
};

// Children follow the fixed fields, one reference each.
PyType_Spec node_spec = {"builtins.Node", static_cast<int>(sizeof(NodeObject)), static_cast<int>(sizeof(PyRef)),
                         Py_TPFLAGS_DEFAULT, node_slots};

}  // namespace

PyTypeObject* create_node_type()
{
    // Created under the interpreter lock by the first caller (normally the module's execution
    // step); creation runs no Python code, so no other thread can interleave.
    if (g_node_type == nullptr) {
        PyObject* type = PyType_FromSpec(&node_spec);
        if (type == nullptr) throw_internal_from_python("failed to create type object for `Node`");
        g_node_type = reinterpret_cast<PyTypeObject*>(type);
    }
    return g_node_type;
}

namespace {

#ifdef BRINDLE_NODES_WITHOUT_LOCK
static_assert(sizeof(PyObject) == 2 * sizeof(void*) && offsetof(PyVarObject, ob_size) == sizeof(PyObject),
              "the object header these nodes are made with: a count word, the class, the size");
#endif

// What PyObject_InitVar does in a release build of the interpreters it was checked against,
// without the reference to the class (owed until the maker holds the lock) and without telling
// tracemalloc, which cannot be called unlocked. Every field is written: the memory may hold an
// earlier read's bytes.
void init_unlocked_header([[maybe_unused]] PyVarObject* object, [[maybe_unused]] PyTypeObject* type,
                          [[maybe_unused]] Py_ssize_t size) noexcept
{
#ifdef BRINDLE_NODES_WITHOUT_LOCK
#if PY_VERSION_HEX >= 0x030E0000 && SIZEOF_VOID_P > 4
    object->ob_base.ob_refcnt_full = 1;  // the count 1, and the flags and overflow beside it clear
#else
    object->ob_base.ob_refcnt = 1;  // the whole word
#endif
    object->ob_base.ob_type = type;
    object->ob_size = size;
#endif
}

// A node's header in fresh memory with room for `child_count` children; the caller puts the
// children in and constructs the other fields in place.
NodeObject* init_node_header(void* memory, NodeArena* arena, std::size_t child_count, bool unlocked) noexcept
{
    PyTypeObject* type = node_type();
    auto* object = static_cast<PyVarObject*>(memory);
    if (unlocked) {
        init_unlocked_header(object, type, static_cast<Py_ssize_t>(child_count));
    } else {
        PyObject_InitVar(object, type, static_cast<Py_ssize_t>(child_count));  // takes a reference to the type
    }
    auto* node = reinterpret_cast<NodeObject*>(object);
    node->arena = arena;
    return node;
}

// As init_node_header, with the children's references moved in.
NodeObject* init_node_frame(void* memory, NodeArena* arena, std::span<PyRef> children, bool unlocked) noexcept
{
    NodeObject* node = init_node_header(memory, arena, children.size(), unlocked);
    PyRef* refs = node->child_refs();
    const std::size_t count = children.size();
    for (std::size_t i = 0; i < count; ++i) {
        new (&refs[i]) PyRef(std::move(children[i]));
    }
    return node;
}

// Moves fields that own their memory into a node whose header is made: the node is whole.
PyRef move_fields_in(NodeObject* node, NodeString&& name, AttrMap&& attrs, NodeText&& text) noexcept
{
    new (&node->name) NodeString(std::move(name));
    new (&node->text) NodeText(std::move(text));
    new (&node->attrs) AttrMap(std::move(attrs));
    return PyRef::steal(reinterpret_cast<PyObject*>(node));
}

std::size_t node_size(std::size_t child_count) noexcept { return sizeof(NodeObject) + child_count * sizeof(PyRef); }

// The bytes a string takes in the arena: none when the node holds it inline.
std::size_t arena_bytes(std::string_view text) noexcept
{
    return text.size() > NodeString::kInlineCapacity ? text.size() : 0;
}

// Makes `string` hold `text`: inline when it is short enough, else as a view of a copy made at
// `at`, which moves past the copy. Built in place: a string made on the stack and then copied
// in would be read back with wider loads than its bytes were stored with, which stalls.
template <class String>
void place_string(String* string, std::string_view text, char*& at) noexcept
{
    if (text.size() <= NodeString::kInlineCapacity) {
        new (string) String(text);  // inline: cannot fail
        return;
    }
    std::memcpy(at, text.data(), text.size());
    new (string) String(std::string_view(at, text.size()), NodeString::Borrowed{});
    at += text.size();
}

// A node's name and text (none when `text` is empty, as for a read element without character
// data), each inline or copied at `at`.
void place_name_and_text(NodeObject* node, std::string_view name, std::string_view text, char* at) noexcept
{
    place_string(&node->name, name, at);
    if (!text.empty()) {
        place_string(&node->text, text, at);
    } else {
        new (&node->text) NodeText();
    }
}

}  // namespace

PyRef make_node(NodeString&& name, AttrMap&& attrs, std::span<PyRef> children, NodeText&& text)
{
    // Exactly the fixed part plus one reference per child: the generic allocator would add a spare
    // one, which pushes a leaf into the next size class.
    void* memory = PyMem_RawMalloc(node_size(children.size()));
    if (memory == nullptr) throw std::bad_alloc();
    NodeObject* node = init_node_frame(memory, nullptr, children, false);
    return move_fields_in(node, std::move(name), std::move(attrs), std::move(text));
}

PyRef make_arena_node(NodeArena& arena, std::string_view name, AttrMap&& attrs, std::span<PyRef> children,
                      std::string_view text)
{
    // One block: the node, then its long name and text.
    const std::size_t fixed = node_size(children.size());
    const std::size_t strings = arena_bytes(name) + arena_bytes(text);
    char* memory = static_cast<char*>(arena.allocate(fixed + strings));
    NodeObject* node = init_node_frame(memory, &arena, children, kNodesWithoutLock);
    arena.add_reference();
    new (&node->attrs) AttrMap(std::move(attrs));
    char* at = memory + fixed;
    place_name_and_text(node, name, text, at);
    return PyRef::steal(reinterpret_cast<PyObject*>(node));
}

std::size_t bytes_after_children(const AttrMap& attrs, std::string_view name, std::string_view text) noexcept
{
    return attrs.placed_size() + arena_bytes(name) + arena_bytes(text);
}

PyRef make_node_around_children(void* block, NodeArena* arena, std::size_t child_count, std::string_view name,
                                AttrMap& attrs, std::string_view text) noexcept
{
    NodeObject* node = init_node_header(block, arena, child_count, kNodesWithoutLock);
    char* at = static_cast<char*>(block) + node_size(child_count);
    if (const std::size_t table = attrs.placed_size(); table != 0) {
        new (&node->attrs) AttrMap(attrs.placed_copy(at));
        at += table;
    } else {
        new (&node->attrs) AttrMap(std::move(attrs));  // empty, or hashed
    }
    place_name_and_text(node, name, text, at);
    return PyRef::steal(reinterpret_cast<PyObject*>(node));
}

void pay_type_references(std::size_t count) noexcept
{
    if (!kNodesWithoutLock) return;  // each node took its reference as it was made
    auto* type = reinterpret_cast<PyObject*>(node_type());
    for (; count != 0; --count) Py_INCREF(type);
}

PyRef make_node(NodeParts&& parts)
{
    return make_node(std::move(parts.name), std::move(parts.attrs), parts.children, std::move(parts.text));
}

PyObject* to_node(PyObject* value)
{
    if (!is_node(value)) throw_type_mismatch(value, "Node");
    return value;
}

}  // namespace brindle::node
