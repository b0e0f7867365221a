// Node.from_dict(dict_): a tree from its dictionary form.
//
// One walk over the nested input, with an explicit stack of the dicts being read (and, for
// each, the sequence value being read inside it), so nesting of any depth costs no native
// recursion. Every value is classified as String, Vec, NullableString or Map, and anything that
// fits none is a TypeError for `dict_`. Node dicts are made into nodes as soon as they are
// complete, children first. A node dict that lacks a valid "name", "attrs" or "children" does
// not fail the walk at once: the walk records the first such fault of each subtree (in
// pre-order, which is the order nodes are checked in) and raises it as a ValueError only after
// the whole input has been classified, so any TypeError takes precedence, as if the whole input
// were converted before any node was built.
//
// A dict listed several times as a child is made into a node at each place, so a few dozen
// dicts can ask for 2**40 nodes: the walk lets Ctrl-C stop it, and releases every node built.
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "convert/dict_form.hpp"
#include "convert/extract_failure.hpp"
#include "ffi/bind.hpp"
#include "ffi/convert.hpp"
#include "ffi/frame.hpp"
#include "ffi/interrupt_poll.hpp"
#include "node/node.hpp"
#include "node/node_methods.hpp"
#include "node/sequence_items.hpp"

namespace brindle::convert {

using namespace ffi;

namespace {

constexpr std::string_view kParams[] = {"dict_"};
constexpr Signature kSignature{"from_dict", "Node", kParams, 1, 1};

// The node key a dict key names; nullopt for any other key, whose value is only classified.
using KnownKey = std::optional<NodeKey>;

KnownKey node_key_of(std::string_view key) noexcept
{
    for (std::size_t i = 0; i < kNodeKeyCount; ++i) {
        if (key == kNodeKeyNames[i]) return static_cast<NodeKey>(i);
    }
    return std::nullopt;
}

// What the four known keys of one dict held. Payloads are kept only for dicts that become nodes.
struct NodeFields {
    std::array<std::optional<HashmapTypes>, kNodeKeyCount> variants;  // nullopt: key missing
    std::string name;
    reader::AttrMap attrs;
    std::vector<PyRef> children;
    const char* children_fault = nullptr;  // the first fault among the children, in list order
    std::optional<std::string> text;

    std::optional<HashmapTypes>& variant(NodeKey key) { return variants[index_of(key)]; }
};

// A sequence value being read item by item; each item must be a dict.
struct SequenceWalk {
    PyRef sequence;
    PyRef iterator;  // null while walking an exact list or tuple by index
    Py_ssize_t index = 0;
    KnownKey key;
    bool collects_nodes = false;  // the "children" of a node dict
    std::vector<PyRef> nodes;
    const char* fault = nullptr;
};

// One dict being read, with the sequence value currently being read inside it (if any).
struct DictWalk {
    PyRef dict;
    Py_ssize_t position = 0;
    Py_ssize_t start_size = 0;
    Py_ssize_t seen = 0;
    bool builds_node = false;
    NodeFields fields;
    std::optional<SequenceWalk> sequence;
};

// A finished dict: a node, the fault that stopped it being one, or neither for a dict that only
// had to be classified.
struct NodeOutcome {
    PyRef node;
    const char* fault = nullptr;
};

class FromDictWalk {
public:
    explicit FromDictWalk(PyObject* root) { open_dict(root, true); }

    NodeOutcome run();

private:
    void open_dict(PyObject* dict, bool builds_node);
    void step_dict(DictWalk& top);
    void step_sequence(DictWalk& top);
    void read_value(DictWalk& top, KnownKey key, PyObject* value);
    void read_map(DictWalk& top, KnownKey key, PyObject* value);
    void open_sequence(DictWalk& top, KnownKey key, PyObject* value);
    void close_sequence(DictWalk& top);
    NodeOutcome close_dict(DictWalk& top);
    void deliver(NodeOutcome outcome);
    [[noreturn]] void throw_failure(const ExtractFailure& failure);
    [[noreturn]] void throw_map_failure(PyObject* map, const ExtractFailure& failure);

    std::deque<DictWalk> open_;                 // a deque: growing it never moves the walks under way
    std::unordered_set<PyObject*> open_dicts_;  // the dicts in open_, to refuse a dict inside itself
    std::optional<NodeOutcome> result_;
    InterruptPoll poll_{kNodesBetweenPolls};
    std::uint64_t steps_ = 0;  // dict entries and sequence items read so far
};

NodeOutcome FromDictWalk::run()
{
    while (!result_) {
        // Between steps, so a handler that changes the input meets the checks of the next step.
        poll_.progress(++steps_);
        DictWalk& top = open_.back();
        if (top.sequence) {
            step_sequence(top);
        } else {
            step_dict(top);
        }
    }
    return std::move(*result_);
}

// A dict met again inside itself would make the walk endless: the input is refused, as the
// argument's failure, before memory runs out.
void FromDictWalk::open_dict(PyObject* dict, bool builds_node)
{
    if (!open_dicts_.insert(dict).second) {
        throw_with_note(PendingError{PyExc_ValueError, "circular reference detected"}, "dict_");
    }
    DictWalk walk;
    walk.dict = PyRef::borrow(dict);
    walk.start_size = PyDict_GET_SIZE(dict);
    walk.builds_node = builds_node;
    open_.push_back(std::move(walk));
}

// One entry of the dict, or its end. Python code run while reading a sequence inside this dict
// may have changed it; that is an internal failure, checked before every step.
void FromDictWalk::step_dict(DictWalk& top)
{
    if (PyDict_GET_SIZE(top.dict.get()) != top.start_size) throw_internal("dictionary changed size during iteration");
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    if (!PyDict_Next(top.dict.get(), &top.position, &key, &value)) {
        NodeOutcome outcome = close_dict(top);
        open_dicts_.erase(top.dict.get());
        open_.pop_back();
        deliver(std::move(outcome));
        return;
    }
    if (++top.seen > top.start_size) throw_internal("dictionary keys changed during iteration");
    const PyRef held_key = PyRef::borrow(key);
    const PyRef held_value = PyRef::borrow(value);
    const ExtractedText key_text = extract_text(key);
    if (key_text.failure) throw_failure(*key_text.failure);
    read_value(top, node_key_of(key_text.text), value);
}

// The variants in order: String, Vec, NullableString, Map. A str can only be a String (Vec refuses
// it, and NullableString and Map fail the same way or worse); None only a NullableString; a dict
// only a Map; a sequence only a Vec. So the first test that applies decides the variant.
void FromDictWalk::read_value(DictWalk& top, KnownKey key, PyObject* value)
{
    NodeFields& fields = top.fields;
    if (PyUnicode_Check(value)) {
        const ExtractedText text = extract_text(value);
        if (text.failure) {
            throw_failure(
                ExtractFailure::pending(PyExc_TypeError, scalar_failed_message(value, &*text.failure, nullptr)));
        }
        if (!key) return;
        if (top.builds_node && key == NodeKey::Name) fields.name.assign(text.text);
        if (top.builds_node && key == NodeKey::Text) fields.text.emplace(text.text);
        fields.variant(*key) = HashmapTypes::String;
    } else if (value == Py_None) {
        if (key) fields.variant(*key) = HashmapTypes::NullableString;
    } else if (PyDict_Check(value)) {
        read_map(top, key, value);
    } else if (PySequence_Check(value)) {
        open_sequence(top, key, value);
    } else {
        throw_failure(ExtractFailure::pending(PyExc_TypeError, scalar_failed_message(value, nullptr, nullptr)));
    }
}

// A dict value must map str to str. Only a node's "attrs" is kept; the rest is checked. Reading
// its strings runs no Python code, so the dict cannot change meanwhile.
void FromDictWalk::read_map(DictWalk& top, KnownKey key, PyObject* value)
{
    const bool keep = top.builds_node && key == NodeKey::Attrs;
    reader::AttrMap attrs;
    Py_ssize_t position = 0;
    PyObject* map_key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(value, &position, &map_key, &item)) {
        const ExtractedText key_text = extract_text(map_key);
        if (key_text.failure) throw_map_failure(value, *key_text.failure);
        const ExtractedText item_text = extract_text(item);
        if (item_text.failure) throw_map_failure(value, *item_text.failure);
        if (keep) attrs.insert_or_assign(key_text.text, item_text.text);
    }
    if (!key) return;
    if (keep) top.fields.attrs = std::move(attrs);
    top.fields.variant(*key) = HashmapTypes::Map;
}

void FromDictWalk::open_sequence(DictWalk& top, KnownKey key, PyObject* value)
{
    SequenceWalk& walk = top.sequence.emplace();
    walk.sequence = PyRef::borrow(value);
    walk.key = key;
    walk.collects_nodes = top.builds_node && key == NodeKey::Children;
    if (PyList_CheckExact(value) || PyTuple_CheckExact(value)) {
        if (walk.collects_nodes) walk.nodes.reserve(static_cast<std::size_t>(Py_SIZE(value)));
        return;
    }
    walk.iterator = PyRef::steal(PyObject_GetIter(value));
    if (!walk.iterator) throw_failure(ExtractFailure::fetch());
}

// One item of the sequence, or its end. An exact list is read by index against its current
// length, as its own iterator does, so a list changed meanwhile is still read safely.
void FromDictWalk::step_sequence(DictWalk& top)
{
    SequenceWalk& walk = *top.sequence;
    PyRef item;
    PyObject* sequence = walk.sequence.get();
    if (walk.iterator) {
        item = PyRef::steal(PyIter_Next(walk.iterator.get()));
        if (!item && PyErr_Occurred()) throw_failure(ExtractFailure::fetch());
    } else if (PyList_CheckExact(sequence)) {
        if (walk.index < PyList_GET_SIZE(sequence)) item = PyRef::borrow(PyList_GET_ITEM(sequence, walk.index++));
    } else if (walk.index < PyTuple_GET_SIZE(sequence)) {
        item = PyRef::borrow(PyTuple_GET_ITEM(sequence, walk.index++));
    }
    if (!item) {
        close_sequence(top);
        return;
    }
    if (!PyDict_Check(item.get())) throw_failure(ExtractFailure::type_mismatch(item.get(), "dict"));
    open_dict(item.get(), walk.collects_nodes);  // may move `top`: not used after this
}

void FromDictWalk::close_sequence(DictWalk& top)
{
    SequenceWalk walk = std::move(*top.sequence);
    top.sequence.reset();
    if (!walk.key) return;
    NodeFields& fields = top.fields;
    fields.variant(*walk.key) = HashmapTypes::Vec;
    if (walk.collects_nodes) {
        fields.children = std::move(walk.nodes);
        fields.children_fault = walk.fault;
    }
}

// A node dict is checked for "name", "attrs" and "children" before its children's own faults
// count, and its "text" is taken last and never faults.
NodeOutcome FromDictWalk::close_dict(DictWalk& top)
{
    if (!top.builds_node) return {};
    NodeFields& fields = top.fields;
    if (fields.variant(NodeKey::Name) != HashmapTypes::String) return {PyRef(), "Invalid name"};
    if (fields.variant(NodeKey::Attrs) != HashmapTypes::Map) return {PyRef(), "Invalid attrs"};
    if (fields.variant(NodeKey::Children) != HashmapTypes::Vec) return {PyRef(), "Invalid children"};
    if (fields.children_fault != nullptr) return {PyRef(), fields.children_fault};
    node::NodeParts parts;
    parts.name = node::NodeString(fields.name);
    parts.attrs = std::move(fields.attrs);
    parts.children = std::move(fields.children);
    if (fields.variant(NodeKey::Text) == HashmapTypes::String) parts.text = node::NodeText(*fields.text);
    return {node::make_node(std::move(parts)), nullptr};
}

void FromDictWalk::deliver(NodeOutcome outcome)
{
    if (open_.empty()) {
        result_ = std::move(outcome);
        return;
    }
    SequenceWalk& walk = *open_.back().sequence;
    if (!walk.collects_nodes || walk.fault != nullptr) return;
    if (outcome.fault != nullptr) {
        walk.fault = outcome.fault;
        walk.nodes.clear();
        return;
    }
    walk.nodes.push_back(std::move(outcome.node));
}

// Every sequence still being read encloses the failure: each failed as a Vec because of it.
void FromDictWalk::throw_failure(const ExtractFailure& failure)
{
    std::vector<PyObject*> sequences;
    for (auto walk = open_.rbegin(); walk != open_.rend(); ++walk) {
        if (walk->sequence) sequences.push_back(walk->sequence->sequence.get());
    }
    throw_nested_failure(failure, sequences);
}

// A dict value with a key or item that is no str fits no variant; the Map line gives the reason.
void FromDictWalk::throw_map_failure(PyObject* map, const ExtractFailure& failure)
{
    throw_failure(ExtractFailure::pending(PyExc_TypeError, scalar_failed_message(map, nullptr, &failure)));
}

PyRef node_from_dict_value(PyObject* value)
{
    if (!PyDict_Check(value)) {
        throw_nested_failure(ExtractFailure::type_mismatch(value, "dict"), {});
    }
    NodeOutcome outcome = FromDictWalk(value).run();
    if (outcome.fault != nullptr) throw_error(PyExc_ValueError, outcome.fault);
    return std::move(outcome.node);
}

}  // namespace

PyObject* node_from_dict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        const auto bound = bind<1>(kSignature, args, nargs, kwnames);
        return node_from_dict_value(bound[0]).release();
    });
}

}  // namespace brindle::convert
