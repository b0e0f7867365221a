"""Constructing nodes, reading them and failing to construct them leaves memory flat."""

import collections.abc

import pytest

import brindle
from brindle import Node, SearchType
from memcheck import COUNTS_ALLOCATOR, assert_flat_memory, raising

pytestmark = COUNTS_ALLOCATOR

CHILD = Node("c", {"k": "v"}, text="t")
MANY_ATTRS = {f"attribute{i}": "value" * i for i in range(20)}


class Broken(collections.abc.Sequence):
    def __len__(self):
        raise ValueError("no length")

    def __getitem__(self, index):
        if index == 1:
            raise KeyError(index)
        return CHILD


def test_construct_and_read_every_property():
    def action():
        node = Node("name", MANY_ATTRS, [CHILD, CHILD], "text")
        node.name, node.attrs, node.children, node.text, repr(node)
        int(SearchType.Attr), repr(SearchType.Text), SearchType.Tag == 0

    assert_flat_memory(action)


FAILING_CALLS = [
    lambda: Node(5),
    lambda: Node(),
    lambda: Node("a", 1, 2, 3, 4),
    lambda: Node("a", bogus=1),
    lambda: Node("a", name="b"),
    lambda: Node("a", {"k": 1}),
    lambda: Node("a", {"k": "v", "x": "\ud800"}),
    lambda: Node("a", MANY_ATTRS, [CHILD, 5]),
    lambda: Node("a", MANY_ATTRS, [CHILD], 5),
    lambda: Node("a", children="ab"),
    lambda: Node("a", children={1}),
    lambda: Node("a", children=Broken()),
    lambda: brindle.read_string(5, "a"),
    lambda: brindle.read_string("a"),
    lambda: brindle.write_string(CHILD, indent=-1),
    lambda: brindle.write_string(CHILD, default_xml_def=1),
    lambda: brindle.write_file(CHILD, None),
    lambda: CHILD.search(SearchType.Tag, "c", 2 ** 40),
    lambda: getattr(CHILD, "__to_string")(300),
    lambda: SearchType.Tag < SearchType.Attr,
    lambda: hash(SearchType.Tag),
]


@pytest.mark.parametrize("index", range(len(FAILING_CALLS)))
def test_every_failure_path_is_leak_free(index):
    assert_flat_memory(raising(FAILING_CALLS[index]), warmup=1_000)
