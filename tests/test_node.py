"""Node: read-only fields built fresh on every read, shared children, identity semantics."""

import gc
import sys

import pytest

from brindle import Node
import memcheck


def test_properties_of_a_bare_node():
    node = Node("a")
    assert node.name == "a"
    assert node.attrs == {}
    assert node.children == []
    assert node.text is None


def test_empty_text_differs_from_absent():
    assert Node("a", text="").text == ""
    assert Node("a").text is None


def test_children_are_shared_not_copied():
    child = Node("c")
    twice = Node("p", children=(child, child))
    other = Node("q", children=[child])
    assert [c is child for c in twice.children] == [True, True]
    assert other.children[0] is child
    assert twice.children is not twice.children
    assert twice.children[0] is twice.children[0]


def test_returned_containers_are_fresh_copies():
    child = Node("c")
    node = Node("p", {"k": "v"}, [child], "t")
    node.children.append(Node("x"))
    node.children.clear()
    node.attrs["new"] = "1"
    node.attrs.clear()
    assert node.children == [child]
    assert node.attrs == {"k": "v"}


def test_changing_the_input_list_leaves_the_node_alone():
    child = Node("c")
    given = [child]
    node = Node("p", children=given)
    given.append(Node("d"))
    given.clear()
    assert node.children == [child]


def test_attribute_order_is_stable_per_node():
    attrs = {f"k{i}": str(i) for i in range(40)}
    node = Node("a", attrs)
    first = list(node.attrs.items())
    assert first == list(node.attrs.items())
    assert dict(first) == attrs


@pytest.mark.parametrize("name", ["name", "attrs", "text", "children"])
def test_properties_are_read_only(name):
    node = Node("a")
    with pytest.raises(AttributeError):
        setattr(node, name, "x")
    with pytest.raises(AttributeError):
        delattr(node, name)


def test_identity_equality_and_hash():
    a, b = Node("a", {"x": "1"}), Node("a", {"x": "1"})
    assert a != b
    assert a == a
    assert hash(a) == object.__hash__(a)
    assert len({a, b}) == 2


def test_child_outlives_dropped_parent():
    grandchild = Node("g", text="deep")
    child = Node("c", children=[grandchild])
    alone = sys.getrefcount(child)
    parent = Node("p", children=[child, child])
    assert sys.getrefcount(child) == alone + 2
    del parent
    gc.collect()
    assert child.children[0] is grandchild
    assert grandchild.text == "deep"
    assert sys.getrefcount(child) == alone


def test_million_node_chain_builds_and_drops():
    node = Node("leaf")
    for _ in range(1_000_000):
        node = Node("n", children=[node])
    depth = 0
    while node.children:
        node = node.children[0]
        depth += 1
    assert depth == 1_000_000 and node.name == "leaf"
    del node


@memcheck.COUNTS_ALLOCATOR
def test_dropping_a_deep_chain_frees_it():
    def build_and_drop():
        node = Node("leaf")
        for _ in range(200_000):
            node = Node("n", {"k": "v"}, [node], "text")
        del node

    build_and_drop()
    before = memcheck.native_bytes_in_use(), sys.getallocatedblocks()
    build_and_drop()
    after = memcheck.native_bytes_in_use(), sys.getallocatedblocks()
    assert after[0] - before[0] < 1 << 20
    assert after[1] - before[1] < 1000


def test_node_with_a_million_children():
    child = Node("c")
    alone = sys.getrefcount(child)
    node = Node("p", children=[child] * 1_000_000)
    assert len(node.children) == 1_000_000
    assert sys.getrefcount(child) == alone + 1_000_000
    del node
    assert sys.getrefcount(child) == alone


def test_chain_through_shared_nodes_in_many_parents():
    # A node is released only when its last parent goes, even when parents die in a cascade.
    shared = Node("s", text="kept")
    alone = sys.getrefcount(shared)
    chain = Node("end", children=[shared])
    for _ in range(100_000):
        chain = Node("n", children=[chain, shared])
    del chain
    assert shared.text == "kept"
    assert sys.getrefcount(shared) == alone


def test_repr_shows_the_name_unquoted():
    assert repr(Node("item")) == "Node(item)"
    assert repr(Node("")) == "Node()"
