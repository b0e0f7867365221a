"""Node.from_dict: building trees from the dictionary form, with its type and value errors."""

import collections.abc

import pytest

from brindle import Node
from exception_notes import expected_notes, notes_of
from memcheck import COUNTS_ALLOCATOR, address_space_headroom, assert_flat_memory, raising
from node_trees import chain, chain_depth

KINDS = ("String", "Vec", "NullableString", "Map")
HEADER = "failed to extract enum HashmapTypes ('String | Vec | NullableString | Map')"


def enum_message(reasons):
    return HEADER + "".join(
        f"\n- variant {kind} ({kind}): TypeError: failed to extract field HashmapTypes::{kind}.0, caused by {reason}"
        for kind, reason in zip(KINDS, reasons))


def mismatch(value, expected):
    return f"TypeError: '{type(value).__qualname__}' object is not an instance of '{expected}'"


def scalar_message(value):
    return enum_message([mismatch(value, "str"), mismatch(value, "Sequence"), mismatch(value, "str"),
                         mismatch(value, "dict")])


def in_sequence(sequence, inner_text):
    """The message of a sequence value whose item failed with `inner_text`."""
    return enum_message([mismatch(sequence, "str"), inner_text, mismatch(sequence, "str"), mismatch(sequence, "dict")])


def node(name="a", children=None, **extra):
    return {"name": name, "attrs": {}, "children": [] if children is None else children, **extra}


def fields(n):
    return n.name, n.attrs, n.text, [fields(c) for c in n.children]


def test_int_name_message_says_why_each_variant_failed():
    with pytest.raises(TypeError) as caught:
        Node.from_dict({"name": 5})
    assert str(caught.value) == "\n".join([
        "failed to extract enum HashmapTypes ('String | Vec | NullableString | Map')",
        "- variant String (String): TypeError: failed to extract field HashmapTypes::String.0, caused by "
        "TypeError: 'int' object is not an instance of 'str'",
        "- variant Vec (Vec): TypeError: failed to extract field HashmapTypes::Vec.0, caused by "
        "TypeError: 'int' object is not an instance of 'Sequence'",
        "- variant NullableString (NullableString): TypeError: failed to extract field "
        "HashmapTypes::NullableString.0, caused by TypeError: 'int' object is not an instance of 'str'",
        "- variant Map (Map): TypeError: failed to extract field HashmapTypes::Map.0, caused by "
        "TypeError: 'int' object is not an instance of 'dict'",
    ])
    assert notes_of(caught.value) == expected_notes("while processing 'dict_'")


@pytest.mark.parametrize("given, expected", [
    (node(), ("a", {}, None, [])),
    (node(text=None), ("a", {}, None, [])),
    (node(text=""), ("a", {}, "", [])),
    (node(text=[]), ("a", {}, None, [])),
    (node(text=[node("x")]), ("a", {}, None, [])),
    (node(text={"k": "v"}), ("a", {}, None, [])),
    ({"name": "a", "attrs": {"k": "v"}, "children": (node("b"), node("c", text="t"))},
     ("a", {"k": "v"}, None, [("b", {}, None, []), ("c", {}, "t", [])])),
    (node(extra="s", more=None, lists=[node("x")], maps={"k": "v"}, Name="ignored"), ("a", {}, None, [])),
])
def test_accepted_forms(given, expected):
    assert fields(Node.from_dict(given)) == expected
    assert fields(Node.from_dict(dict_=given)) == expected
    assert fields(Node("x").from_dict(given)) == expected


class UserSequence(collections.abc.Sequence):
    def __init__(self, items, fail_at=None, error=None):
        self.items, self.fail_at, self.error = items, fail_at, error

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        if index == self.fail_at:
            raise self.error
        return self.items[index]


class ClaimedLength(UserSequence):
    """A sequence whose __len__ claims `length` items whatever it really holds."""

    def __init__(self, length, items):
        super().__init__(items)
        self.length = length

    def __len__(self):
        return self.length


class DictSubclass(dict):
    pass


def test_user_sequences_and_dict_subclasses_are_accepted():
    given = DictSubclass(name="a", attrs=DictSubclass(k="v"), children=UserSequence([node("b")]))
    assert fields(Node.from_dict(given)) == ("a", {"k": "v"}, None, [("b", {}, None, [])])


@pytest.mark.parametrize("length", [2 ** 60, 2 ** 31, 1])
def test_a_reported_length_is_only_a_hint(length):
    children = ClaimedLength(length, [node("b"), node("c", children=ClaimedLength(length, [node("d")]))])
    with address_space_headroom():
        tree = Node.from_dict(node(children=children))
    assert fields(tree) == ("a", {}, None, [("b", {}, None, []), ("c", {}, None, [("d", {}, None, [])])])
    with pytest.raises(ValueError, match="^Invalid name$"):
        Node.from_dict(node(children=ClaimedLength(length, [node("b"), {"name": None}])))


@pytest.mark.parametrize("given, message", [
    ({"attrs": {}, "children": []}, "Invalid name"),
    (node(name=None), "Invalid name"),
    (node(name=[]), "Invalid name"),
    (node(name={}), "Invalid name"),
    ({"Name": "a", "attrs": {}, "children": []}, "Invalid name"),
    ({"name": "a", "children": []}, "Invalid attrs"),
    ({"name": "a", "attrs": None, "children": []}, "Invalid attrs"),
    ({"name": "a", "attrs": [], "children": []}, "Invalid attrs"),
    ({"name": "a", "attrs": "", "children": []}, "Invalid attrs"),
    ({"name": "a", "attrs": {}}, "Invalid children"),
    ({"name": "a", "attrs": {}, "children": {}}, "Invalid children"),
    ({"name": "a", "attrs": {}, "children": "ab"}, "Invalid children"),
    ({"name": "a", "attrs": {}, "children": None}, "Invalid children"),
    ({"name": None, "attrs": None, "children": None}, "Invalid name"),
    (node(children=[{"attrs": {}, "children": []}]), "Invalid name"),
    # the node's own checks come before its children's
    ({"name": "a", "attrs": None, "children": [{"children": []}]}, "Invalid attrs"),
    # children depth first and in list order
    (node(children=[node("b", children=[{"name": "c"}]), {"name": "d", "children": []}]), "Invalid attrs"),
    (node(children=[node("b", children=[node("c")]), {"name": "d", "attrs": {}}]), "Invalid children"),
    (node(children=[node("b"), {"name": None}], text=5 and None), "Invalid name"),
])
def test_invalid_fields(given, message):
    with pytest.raises(ValueError) as caught:
        Node.from_dict(given)
    assert str(caught.value) == message
    assert notes_of(caught.value) is None


@pytest.mark.parametrize("given, message", [
    (node(text=5), scalar_message(5)),
    (node(extra=5), scalar_message(5)),
    (node(extra=1.5), scalar_message(1.5)),
    (node(extra={1, 2}), scalar_message({1, 2})),
    (node(extra=Node("n")), scalar_message(Node("n"))),
    ({"name": 5, "attrs": None}, scalar_message(5)),
    # bytes are a sequence of integers, and an integer is not a node dict
    (node(extra=b"x"), in_sequence(b"x", mismatch(120, "dict"))),
    (node(children=[Node("n")]), in_sequence([], mismatch(Node("n"), "dict"))),
    # a TypeError anywhere beats a ValueError found earlier
    ({"attrs": None, "children": [node(extra=5)]}, in_sequence([], "TypeError: " + scalar_message(5))),
    ({"name": "a", "attrs": {}, "children": (node(), node(children=[{"name": 5}]))},
     in_sequence((), "TypeError: " + in_sequence([], "TypeError: " + scalar_message(5)))),
])
def test_values_that_fit_no_kind(given, message):
    with pytest.raises(TypeError) as caught:
        Node.from_dict(given)
    assert str(caught.value) == message
    assert notes_of(caught.value) == expected_notes("while processing 'dict_'")


@pytest.mark.parametrize("given, exception, message", [
    (5, TypeError, "'int' object is not an instance of 'dict'"),
    (None, TypeError, "'None' is not an instance of 'dict'"),
    ([node()], TypeError, "'list' object is not an instance of 'dict'"),
    ({1: "a", "name": "a"}, TypeError, "'int' object is not an instance of 'str'"),
    ({"\ud800": "a"}, UnicodeEncodeError, None),
])
def test_top_level_failures_keep_their_own_exception(given, exception, message):
    with pytest.raises(exception) as caught:
        Node.from_dict(given)
    if message is not None:
        assert str(caught.value) == message
    assert notes_of(caught.value) == expected_notes("while processing 'dict_'")


def encoding_error_text(text):
    try:
        text.encode()
    except UnicodeEncodeError as error:
        return f"UnicodeEncodeError: {error}"
    raise AssertionError("expected an encoding error")


@pytest.mark.parametrize("given, message", [
    # a nested key that is not a str fails the enclosing list as a Vec
    (node(children=[{2: "x"}]), in_sequence([], mismatch(2, "str"))),
    (node(text="\udc80"), enum_message([encoding_error_text("\udc80"), "TypeError: Can't extract `str` to `Vec`",
                                        encoding_error_text("\udc80"), mismatch("", "dict")])),
    (node(attrs={"k": 1}), enum_message([mismatch({}, "str"), mismatch({}, "Sequence"), mismatch({}, "str"),
                                         mismatch(1, "str")])),
    (node(attrs={3: "v"}), enum_message([mismatch({}, "str"), mismatch({}, "Sequence"), mismatch({}, "str"),
                                         mismatch(3, "str")])),
    (node(attrs={"k": "\ud800"}), enum_message([mismatch({}, "str"), mismatch({}, "Sequence"), mismatch({}, "str"),
                                                encoding_error_text("\ud800")])),
])
def test_nested_reasons(given, message):
    with pytest.raises(TypeError) as caught:
        Node.from_dict(given)
    assert str(caught.value) == message


def raised_with_cause():
    try:
        try:
            raise KeyError("inner")
        except KeyError as inner:
            raise ValueError("outer") from inner
    except ValueError as error:
        return error


def cyclic_causes():
    first, second = ValueError("a"), LookupError("b")
    first.__cause__, second.__cause__ = second, first
    return first


class Unprintable(Exception):
    def __str__(self):
        raise RuntimeError("no text")


@pytest.mark.parametrize("error, reason", [
    (raised_with_cause(), "ValueError: outer, caused by KeyError: 'inner'"),
    (cyclic_causes(), "ValueError: a, caused by LookupError: b"),
    (Unprintable(), "Unprintable: <exception str() failed>"),
])
def test_failing_user_sequence(error, reason):
    sequence = UserSequence([node("b"), node("c")], fail_at=1, error=error)
    with pytest.raises(TypeError) as caught:
        Node.from_dict(node(children=sequence))
    assert str(caught.value) == in_sequence(sequence, reason)


class OutOfBudget(MemoryError):
    pass


class IterationFails(UserSequence):
    def __iter__(self):
        raise self.error


class InterruptedStr(Exception):
    def __str__(self):
        raise KeyboardInterrupt("while describing")


PLACES = {
    "children": lambda sequence: node(children=sequence),
    "grandchildren": lambda sequence: node(children=[node("b"), node("c", children=sequence)]),
    "inside a user sequence": lambda sequence: node(extra=UserSequence([node("b", children=sequence)])),
}


@pytest.mark.parametrize("place", PLACES)
@pytest.mark.parametrize("make_sequence", [
    lambda error: UserSequence([node("x"), node("y")], fail_at=1, error=error),
    lambda error: IterationFails([], error=error),
], ids=["getitem", "iter"])
@pytest.mark.parametrize("error_class", [KeyboardInterrupt, SystemExit, MemoryError, OutOfBudget])
def test_interrupts_and_memory_errors_pass_through(place, make_sequence, error_class):
    error = error_class("stop")
    with pytest.raises(error_class) as caught:
        Node.from_dict(PLACES[place](make_sequence(error)))
    assert caught.value is error
    assert notes_of(error) is None


def test_an_interrupt_while_describing_a_failure_passes_through():
    with pytest.raises(KeyboardInterrupt, match="while describing"):
        Node.from_dict(node(children=UserSequence([node("b")], fail_at=0, error=InterruptedStr())))


class Mutating(collections.abc.Sequence):
    """A sequence whose iteration changes the dict that holds it."""

    def __init__(self, change):
        self.change, self.target = change, None

    def __len__(self):
        return 1

    def __getitem__(self, index):
        if index:
            raise IndexError(index)
        self.change(self.target)
        return node("b")


def grow(d):
    d["added"] = "x"


def swap_keys(d):
    del d["name"]
    d["zzz"] = "x"


def change_nested_map(d):
    d["attrs"]["k2"] = "v"


@pytest.mark.parametrize("change, message", [
    (grow, "dictionary changed size during iteration"),
    (swap_keys, "dictionary keys changed during iteration"),
])
def test_dict_changed_during_iteration(change, message):
    sequence = Mutating(change)
    given = {"name": "a", "attrs": {}, "children": sequence}
    sequence.target = given
    with pytest.raises(BaseException) as caught:
        Node.from_dict(given)
    assert type(caught.value).__name__ == "PanicException"
    assert str(caught.value) == message


def test_changes_to_dicts_already_read_are_harmless():
    sequence = Mutating(change_nested_map)
    given = {"name": "a", "attrs": {"k": "v"}, "children": sequence}
    sequence.target = given
    assert fields(Node.from_dict(given)) == ("a", {"k": "v"}, None, [("b", {}, None, [])])


@pytest.mark.parametrize("call, message", [
    (lambda: Node.from_dict(), "Node.from_dict() missing 1 required positional argument: 'dict_'"),
    (lambda: Node.from_dict({}, {}), "Node.from_dict() takes 1 positional arguments but 2 were given"),
    (lambda: Node.from_dict({}, dict_={}), "Node.from_dict() got multiple values for argument 'dict_'"),
    (lambda: Node.from_dict(d={}), "Node.from_dict() got an unexpected keyword argument 'd'"),
])
def test_binding_failures(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def nested(depth, innermost):
    """`depth` node dicts, each the only child of the one before; the last holds `innermost`."""
    form = innermost
    for _ in range(depth - 1):
        form = node(children=[form])
    return form


def test_nested_failure_text_at_each_level():
    depth = 40
    expected = "TypeError: " + scalar_message(5)
    for _ in range(depth - 1):
        expected = "TypeError: " + in_sequence([], expected)
    with pytest.raises(TypeError) as caught:
        Node.from_dict(nested(depth, {"name": 5}))
    assert str(caught.value) == expected[len("TypeError: "):]


@pytest.mark.parametrize("depth, described", [(100_001, True), (100_002, False)])
def test_failure_too_deep_to_describe(depth, described):
    with pytest.raises(TypeError) as caught:
        Node.from_dict(nested(depth, {"name": 5}))
    text = str(caught.value)
    assert notes_of(caught.value) == expected_notes("while processing 'dict_'")
    if described:
        assert text.count(HEADER) == depth and text.endswith(mismatch([], "dict").replace("TypeError: ", "", 1))
    else:
        assert text == (f"failed to extract enum HashmapTypes: the failing value lies {depth - 1} "
                        "sequences deep, too deep to describe")


def test_million_deep_round_trip():
    depth = 1_000_000
    built = Node.from_dict(chain(depth, "n", attrs={"k": "v"}, text="t").to_dict())
    assert chain_depth(built) == depth
    leaf = built
    while leaf.children:
        (leaf,) = leaf.children
    assert (leaf.name, leaf.attrs, leaf.text) == ("n", {"k": "v"}, "t")


def test_million_deep_value_error():
    with pytest.raises(ValueError, match="^Invalid attrs$"):
        Node.from_dict(nested(1_000_000, {"name": "x", "attrs": None, "children": []}))


GOOD = Node("r", {"id": "1"}, [Node("a", {"k": "v"}, text="t")] * 3, "t").to_dict()


@COUNTS_ALLOCATOR
@pytest.mark.parametrize("action", [
    lambda: Node.from_dict(GOOD),
    raising(lambda: Node.from_dict(5)),
    raising(lambda: Node.from_dict({1: 2})),
    raising(lambda: Node.from_dict(node(text=5))),
    raising(lambda: Node.from_dict(node(children=[node(), node(children=[{"name": 5}])]))),
    raising(lambda: Node.from_dict(node(attrs={"k": "\ud800"}))),
    raising(lambda: Node.from_dict(node(children=[node(), {"name": "b"}]))),
    raising(lambda: Node.from_dict({"name": "a", "attrs": None, "children": [node()]})),
    raising(lambda: Node.from_dict(node(children=UserSequence([node()], 1, raised_with_cause())))),
    raising(lambda: Node.from_dict(node(children=[node(children=UserSequence([node()], 0, KeyboardInterrupt()))]))),
    raising(lambda: Node.from_dict()),
])
def test_memory_stays_flat(action):
    assert_flat_memory(action)


@COUNTS_ALLOCATOR
def test_memory_stays_flat_when_a_dict_changes():
    def action():
        sequence = Mutating(grow)
        sequence.target = {"name": "a", "attrs": {}, "children": sequence}
        Node.from_dict(sequence.target)

    assert_flat_memory(raising(action), rounds=5_000)


def test_a_dict_inside_itself_is_refused():
    # Without the check the walk would never end and would eat all memory.
    form = {"name": "a", "attrs": {}}
    form["children"] = [form]
    with pytest.raises(ValueError) as caught:
        Node.from_dict(form)
    assert str(caught.value) == "circular reference detected"
    assert notes_of(caught.value) == expected_notes("while processing 'dict_'")


def test_a_cycle_through_an_ignored_key_is_refused():
    inner = {"name": "b", "attrs": {}, "children": []}
    outer = {"name": "a", "attrs": {}, "children": [inner]}
    inner["extra"] = [outer]
    with pytest.raises(ValueError, match="circular reference detected"):
        Node.from_dict(outer)


def test_the_same_dict_twice_side_by_side_is_no_cycle():
    leaf = {"name": "b", "attrs": {}, "children": []}
    node = Node.from_dict({"name": "a", "attrs": {}, "children": [leaf, leaf]})
    assert [child.name for child in node.children] == ["b", "b"]
    assert node.children[0] is not node.children[1]
