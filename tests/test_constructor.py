"""Node(name, attrs=None, children=None, text=None): binding, conversions and their order."""

import collections
import collections.abc

import pytest

from brindle import Node
from exception_notes import expected_notes, notes_of
from memcheck import address_space_headroom

CHILD = Node("c")


def _content(node):
    return node.name, node.attrs, node.children, node.text


@pytest.mark.parametrize("make", [
    lambda: Node("a"),
    lambda: Node(name="a"),
    lambda: Node("a", None, None, None),
    lambda: Node("a", attrs=None, children=None, text=None),
    lambda: Node.__new__(Node, "a"),
])
def test_minimal_forms_are_equal_in_content(make):
    assert _content(make()) == ("a", {}, [], None)


@pytest.mark.parametrize("name", ["", "with space", "1-é", "<>&\"'", "a\x00b", "𝄞" * 3])
def test_names_are_not_validated(name):
    assert Node(name).name == name


def test_keywords_and_positions_mix():
    node = Node("a", text="t", attrs={"k": "v"})
    assert _content(node) == ("a", {"k": "v"}, [], "t")


class StrSubclass(str):
    pass


class DictSubclass(dict):
    pass


class UserSequence(collections.abc.Sequence):
    def __init__(self, items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        return self.items[index]


@pytest.mark.parametrize("children", [
    [CHILD, CHILD], (CHILD, CHILD), UserSequence([CHILD, CHILD]), collections.deque([CHILD, CHILD]),
])
def test_children_from_any_sequence(children):
    node = Node("a", children=children)
    assert node.children == [CHILD, CHILD]
    assert all(c is CHILD for c in node.children)


def test_subclasses_are_accepted_as_their_bases():
    node = Node(StrSubclass("n"), DictSubclass({StrSubclass("k"): StrSubclass("v")}), text=StrSubclass("t"))
    assert _content(node) == ("n", {"k": "v"}, [], "t")
    assert type(node.name) is str and type(node.text) is str


@pytest.mark.parametrize("kwargs, exception, message, note", [
    ({"name": 5}, TypeError, "'int' object is not an instance of 'str'", "name"),
    ({"name": None}, TypeError, "'None' is not an instance of 'str'", "name"),
    ({"name": b"a"}, TypeError, "'bytes' object is not an instance of 'str'", "name"),
    ({"name": "a", "attrs": [("k", "v")]}, TypeError, "'list' object is not an instance of 'dict'", "attrs"),
    ({"name": "a", "attrs": {"k": 1}}, TypeError, "'int' object is not an instance of 'str'", "attrs"),
    ({"name": "a", "attrs": {1: "v"}}, TypeError, "'int' object is not an instance of 'str'", "attrs"),
    ({"name": "a", "attrs": collections.OrderedDict(k=None)}, TypeError,
     "'None' is not an instance of 'str'", "attrs"),
    ({"name": "a", "children": "ab"}, TypeError, "Can't extract `str` to `Vec`", "children"),
    ({"name": "a", "children": StrSubclass("ab")}, TypeError, "Can't extract `str` to `Vec`", "children"),
    ({"name": "a", "children": {CHILD}}, TypeError, "'set' object is not an instance of 'Sequence'", "children"),
    ({"name": "a", "children": {"k": CHILD}}, TypeError, "'dict' object is not an instance of 'Sequence'",
     "children"),
    ({"name": "a", "children": (c for c in [CHILD])}, TypeError,
     "'generator' object is not an instance of 'Sequence'", "children"),
    ({"name": "a", "children": [CHILD, 1]}, TypeError, "'int' object is not an instance of 'Node'", "children"),
    ({"name": "a", "children": b"x"}, TypeError, "'int' object is not an instance of 'Node'", "children"),
    ({"name": "a", "children": range(3)}, TypeError, "'int' object is not an instance of 'Node'", "children"),
    ({"name": "a", "text": 1.5}, TypeError, "'float' object is not an instance of 'str'", "text"),
    ({"name": "\udc80"}, UnicodeEncodeError, None, "name"),
    ({"name": "a", "attrs": {"k": "\ud800"}}, UnicodeEncodeError, None, "attrs"),
    ({"name": "a", "text": "x\udfff"}, UnicodeEncodeError, None, "text"),
])
def test_conversion_failures(kwargs, exception, message, note):
    with pytest.raises(exception) as caught:
        Node(**kwargs)
    if message is not None:
        assert str(caught.value) == message
    assert notes_of(caught.value) == expected_notes(f"while processing '{note}'")


@pytest.mark.parametrize("args, kwargs, message, note", [
    ((5,), {"children": 5}, "'int' object is not an instance of 'str'", "name"),
    (("a", 5), {"text": 5}, "'int' object is not an instance of 'dict'", "attrs"),
    (("a", None, 5), {"text": 5}, "'int' object is not an instance of 'Sequence'", "children"),
    ((5,), {"bogus": 1}, "Node.__new__() got an unexpected keyword argument 'bogus'", None),
])
def test_first_failure_in_order_wins(args, kwargs, message, note):
    with pytest.raises(TypeError) as caught:
        Node(*args, **kwargs)
    assert str(caught.value) == message
    assert notes_of(caught.value) == (expected_notes(f"while processing '{note}'") if note else None)


def test_sequence_that_raises_midway():
    class Broken(collections.abc.Sequence):
        def __len__(self):
            return 3

        def __getitem__(self, index):
            if index == 2:
                raise RuntimeError("gone")
            return CHILD

    with pytest.raises(RuntimeError, match="gone"):
        Node("a", children=Broken())


def test_sequence_that_grows_while_iterated():
    grown = [CHILD]

    class Growing(collections.abc.Sequence):
        def __len__(self):
            return len(grown)

        def __getitem__(self, index):
            if index < 5:
                grown.append(CHILD)
            return grown[index]

    node = Node("a", children=Growing())
    assert len(node.children) == 6 and all(c is CHILD for c in node.children)


class ClaimedLength(collections.abc.Sequence):
    """A sequence whose __len__ claims `length` items whatever it really holds."""

    def __init__(self, length, items):
        self.length, self.items = length, items

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, index):
        return self.items[index]


OTHER = Node("o")


@pytest.mark.parametrize("length", [2 ** 60, 2 ** 31, 1])
def test_a_reported_length_is_only_a_hint(length):
    with address_space_headroom():
        node = Node("a", children=ClaimedLength(length, [CHILD, OTHER, CHILD]))
    assert node.children == [CHILD, OTHER, CHILD]


def test_an_overstated_length_keeps_the_item_error():
    with pytest.raises(TypeError, match="^'int' object is not an instance of 'Node'"):
        Node("a", children=ClaimedLength(2 ** 60, [CHILD, 5]))


@pytest.mark.parametrize("error_class", [KeyboardInterrupt, MemoryError])
def test_an_interrupted_length_is_not_swallowed(error_class):
    error = error_class("stop")
    with pytest.raises(error_class) as caught:
        Node("a", children=ClaimedLength(error, [CHILD]))
    assert caught.value is error


def test_list_mutated_during_iteration_by_an_item_check():
    # A list shrinking while the constructor walks it must neither crash nor keep stale items.
    items = [CHILD, CHILD, CHILD]

    class Shrinking(list):
        def __iter__(self):
            for item in list.__iter__(self):
                items.clear()
                yield item

    node = Node("a", children=Shrinking(items))
    assert all(c is CHILD for c in node.children)


def test_str_subclass_key_collisions_keep_keys_unique():
    class Collide(str):
        def __hash__(self):
            return id(self)

        def __eq__(self, other):
            return self is other

    attrs = {Collide("k"): "1", Collide("k"): "2"}
    assert len(attrs) == 2
    node = Node("a", attrs)
    assert list(node.attrs) == ["k"]
