"""Node.to_dict: the dictionary form of a tree, fresh on every call."""

import gc

import pytest
from hypothesis import given, settings

from brindle import Node
from memcheck import COUNTS_ALLOCATOR, assert_flat_memory
from node_trees import TREES, chain

KEYS = {"name", "attrs", "children", "text"}


def reference_dict(node):
    return {"name": node.name, "attrs": node.attrs, "children": [reference_dict(c) for c in node.children],
            "text": node.text}


def walk_dicts(form):
    """Every node dict of a dictionary form, without recursion."""
    pending = [form]
    while pending:
        current = pending.pop()
        yield current
        pending.extend(reversed(current["children"]))


@settings(max_examples=200, deadline=None)
@given(tree=TREES)
def test_matches_the_fields(tree):
    form = tree.to_dict()
    assert form == reference_dict(tree)
    for node_dict in walk_dicts(form):
        assert set(node_dict) == KEYS
        assert type(node_dict["attrs"]) is dict and type(node_dict["children"]) is list


@settings(max_examples=200, deadline=None)
@given(tree=TREES)
def test_round_trip_through_from_dict(tree):
    again = Node.from_dict(tree.to_dict())
    assert reference_dict(again) == reference_dict(tree)
    assert again is not tree


@pytest.mark.parametrize("node, expected", [
    (Node("a"), {"name": "a", "attrs": {}, "children": [], "text": None}),
    (Node("a", text=""), {"name": "a", "attrs": {}, "children": [], "text": ""}),
    (Node("", {"k": "", "é": "中"}, text="x\ny"),
     {"name": "", "attrs": {"k": "", "é": "中"}, "children": [], "text": "x\ny"}),
])
def test_absent_empty_and_non_ascii_fields_map_exactly(node, expected):
    form = node.to_dict()
    assert form == expected
    assert type(form["text"]) is type(expected["text"])


def test_keys_come_in_a_fixed_order():
    form = Node("a", {"z": "1", "a": "2"}, [Node("b")], "t").to_dict()
    assert list(form) == ["name", "attrs", "children", "text"]
    assert list(form["attrs"]) == list(Node("a", {"z": "1", "a": "2"}).attrs)


def test_child_listed_twice_gives_two_distinct_equal_dicts():
    child = Node("c", {"k": "v"}, [Node("g")], "t")
    first, second = Node("p", children=[child, child]).to_dict()["children"]
    assert first == second
    assert first is not second
    assert first["attrs"] is not second["attrs"] and first["children"] is not second["children"]


def test_result_is_independent_of_the_node():
    node = Node("p", {"k": "v"}, [Node("c")], "t")
    form = node.to_dict()
    form["name"] = "changed"
    form["attrs"]["new"] = "1"
    form["children"][0]["name"] = "changed"
    form["children"].append({})
    assert node.to_dict() == reference_dict(node)
    assert node.to_dict() is not node.to_dict()


def test_collector_state_is_restored():
    node = Node("p", children=[Node("c")] * 10)
    gc.disable()
    try:
        node.to_dict()
        assert not gc.isenabled()
    finally:
        gc.enable()
    node.to_dict()
    assert gc.isenabled()


def test_result_can_form_collectable_cycles():
    form = Node("p", children=[Node("c")]).to_dict()
    form["children"].append(form)  # a cycle through the result: the collector must still see it
    del form
    assert gc.collect() >= 2


def test_many_attributes_and_repeated_names():
    attrs = {f"attribute{i}": str(i) for i in range(200)}
    node = Node("r", children=[Node("item", attrs, text=str(i)) for i in range(300)])
    form = node.to_dict()
    assert [c["text"] for c in form["children"]] == [str(i) for i in range(300)]
    assert all(c["attrs"] == attrs and c["name"] == "item" for c in form["children"])


def test_million_deep_tree():
    depth = 1_000_000
    form = chain(depth, "n", attrs={"k": "v"}, text="t").to_dict()
    count = 0
    for node_dict in walk_dicts(form):
        assert node_dict["name"] == "n" and node_dict["attrs"] == {"k": "v"} and node_dict["text"] == "t"
        count += 1
    assert count == depth


LEAK_TREE = Node("r", {"id": "1", "é": "ü"}, [Node("a", {"k" * 80: "v"}, text="t")] * 3, "t")


@COUNTS_ALLOCATOR
@pytest.mark.parametrize("action", [
    LEAK_TREE.to_dict,
    Node("bare").to_dict,
    lambda: Node.from_dict(LEAK_TREE.to_dict()),
])
def test_memory_stays_flat(action):
    assert_flat_memory(action)
