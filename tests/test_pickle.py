"""Nodes crossing processes: pickle round trips (sharing kept), copies that are the node itself,
process pools, and the reconstructor refusing malformed payloads."""

import copy
import multiprocessing
import os
import pickle
import subprocess
import sys
from concurrent.futures import ProcessPoolExecutor

import pytest
from hypothesis import given, settings

import brindle
from brindle import Node
from memcheck import COUNTS_ALLOCATOR, assert_flat_memory, raising
from node_trees import TREES

PROTOCOLS = range(pickle.HIGHEST_PROTOCOL + 1)


def shape(root):
    """Every distinct node once, in the order a walk first meets it, as (name, attribute items
    in order, text, the positions of its children in this list): equal shapes are equal trees
    with the same sharing."""
    position = {id(root): 0}
    nodes, rows = [root], []
    for node in nodes:  # grows while it is walked
        for child in node.children:
            if id(child) not in position:
                position[id(child)] = len(nodes)
                nodes.append(child)
        rows.append((node.name, list(node.attrs.items()), node.text, [position[id(c)] for c in node.children]))
    return rows


def shared_levels(levels, leaf):
    for _ in range(levels):
        leaf = Node("p", children=[leaf, leaf])
    return leaf


DOCUMENT = ('<feed xmlns:a="urn:a"><entry id="1" a:lang="fr" z="0"><title>Été</title><empty></empty>'
            '<a:link href="x?y=1&amp;z=2"/></entry><entry id="2">  \n</entry></feed>')
LEAF = Node("leaf", {"k": "v"}, text="")
EXAMPLES = {
    "read": brindle.read_string(DOCUMENT, "feed"),
    "constructed": Node("r", {"z": "1", "a": "é\x00", "long key of many bytes": "v" * 40},
                        [Node("t", text=""), Node("n"), Node("中" * 10, text="text longer than fifteen bytes")]),
    "shared": Node("r", children=[LEAF, Node("m", children=[LEAF, LEAF]), LEAF]),
    "long names": Node("n" * 65, {"k" * 65: "1"}, [Node("n" * 65, {"k" * 65: "2"}), Node("n" * 64)]),
    "leaf": Node(""),
}


@pytest.mark.parametrize("protocol", PROTOCOLS)
@pytest.mark.parametrize("kind", EXAMPLES)
def test_round_trip_keeps_fields_order_and_sharing(kind, protocol):
    tree = EXAMPLES[kind]
    again = pickle.loads(pickle.dumps(tree, protocol))
    assert again is not tree
    assert shape(again) == shape(tree)
    assert again.to_dict() == tree.to_dict()


@settings(max_examples=150, deadline=None)
@given(tree=TREES)
def test_round_trip_of_any_tree(tree):
    assert shape(pickle.loads(pickle.dumps(tree))) == shape(tree)


def test_size_follows_distinct_nodes_not_occurrences():
    tree = shared_levels(40, Node("x", {"k": "v"}, text="t"))  # 2**40 leaves, 41 distinct nodes
    payload = pickle.dumps(tree)
    assert len(payload) < 2048
    again = pickle.loads(payload)
    for _ in range(40):
        first, second = again.children
        assert first is second
        again = first
    assert shape(again) == shape(Node("x", {"k": "v"}, text="t"))


def test_a_million_levels_round_trip():
    # In a process of its own: a million nodes made and freed here would leave this process's
    # heap in a state that the memory measurements of later tests do not expect.
    program = ("import pickle, sys; sys.path[:0] = sys.argv[1:]; from node_trees import chain, chain_depth; "
               "again = pickle.loads(pickle.dumps(chain(10 ** 6, text='t'), pickle.HIGHEST_PROTOCOL)); "
               "assert chain_depth(again) == 10 ** 6")
    paths = [os.path.dirname(brindle.__file__), os.path.dirname(os.path.abspath(__file__))]
    subprocess.run([sys.executable, "-c", program, *paths], check=True, timeout=600)


def test_pickles_stay_readable():
    # Written by the first version of the format; later versions of brindle must read it.
    written = (b'\x80\x04\x95M\x00\x00\x00\x00\x00\x00\x00\x8c\x07brindle\x94\x8c\x0e_unpickle_node\x94\x93\x94'
               b'C(\x01\x03\x00\x00\x00\x00\x00\x00\x00\x08leaf\x01\x00\x00\x02b\x02t\x00\x00\x02r\x00\x02\x02z'
               b'\x011\x02a\x02\xc3\xa9\x03\x02\x01\x02\x94\x85\x94R\x94.')
    leaf = Node("leaf", text="")
    assert shape(pickle.loads(written)) == shape(Node("r", {"z": "1", "a": "é"}, [leaf, Node("b", text="t"), leaf]))


def test_the_reconstructor_is_private():
    function, arguments = Node("a").__reduce__()
    assert function is brindle._unpickle_node and function.__module__ == "brindle"
    assert type(arguments[0]) is bytes
    assert "_unpickle_node" not in brindle.__all__
    assert Node.__module__ == "builtins"


@pytest.mark.parametrize("copier", [copy.copy, copy.deepcopy])
def test_copies_are_the_node_itself(copier):
    node = EXAMPLES["shared"]
    assert copier(node) is node
    held = copier({"k": [node, (node, 1)]})
    assert held["k"][0] is node and held["k"][1][0] is node


def read_in_worker(document, root):
    return brindle.read_string(document, root)


def wrap_in_worker(node):
    return Node("wrapper", children=[node, node])


def test_a_process_pool_takes_and_returns_nodes():
    # spawn: no fork of a process whose other threads may hold locks.
    with ProcessPoolExecutor(max_workers=2, mp_context=multiprocessing.get_context("spawn")) as pool:
        read = pool.submit(read_in_worker, DOCUMENT, "feed").result(timeout=120)
        wrapped = pool.submit(wrap_in_worker, EXAMPLES["shared"]).result(timeout=120)
    assert shape(read) == shape(EXAMPLES["read"])
    assert shape(wrapped) == shape(Node("wrapper", children=[EXAMPLES["shared"]] * 2))


def varint(value):
    out = bytearray()
    while value >= 0x80:
        out.append(value & 0x7F | 0x80)
        value >>= 7
    return bytes(out + bytes([value]))


def label(name):
    return varint(len(name) << 1) + name


def node(name=b"a", text=b"\x00", attrs=b"\x00", children=b"\x00"):
    """One node's bytes: a new label for the name, then the other fields as given."""
    return label(name) + text + attrs + children


def payload(*nodes, count=None, version=1):
    count = len(nodes) if count is None else count
    return bytes([version]) + count.to_bytes(8, "little") + b"".join(nodes)


def test_the_hand_made_payloads_are_well_formed():
    made = brindle._unpickle_node(payload(node(b"c"), node(b"r", b"\x02t", b"\x01" + label(b"k") + b"\x01v",
                                                            b"\x02\x01\x01")))
    child = made.children[0]
    assert shape(made) == shape(Node("r", {"k": "v"}, [child, child], "t"))


VALID = pickle.dumps(EXAMPLES["shared"])
VALID_PAYLOAD = EXAMPLES["constructed"].__reduce__()[1][0]

MALFORMED = {  # name: (payload, the reason its message gives)
    "empty": (b"", "truncated"),
    "version 0": (payload(node(), version=0), "unknown format version 0"),
    "version 2": (payload(node(), version=2), "unknown format version 2"),
    "no node": (payload(), "no node"),
    "count beyond the nodes": (payload(node(b"abcdefgh"), count=2), "truncated"),
    "count beyond any payload": (payload(node(), count=2 ** 64 - 1), "truncated"),
    "name longer than the payload": (payload(varint(1000 << 1) + b"a\x00\x00\x00"), "truncated"),
    "label not yet defined": (payload(b"\x01\x00\x00\x00"), "a label not yet defined"),
    "label too long to be numbered": (payload(node(b"x" * 65), b"\x01\x00\x00\x01\x01"), "a label not yet defined"),
    "text longer than the payload": (payload(node(text=varint(1000))), "truncated"),
    "attribute count beyond the payload": (payload(node(attrs=varint(2 ** 40))), "truncated"),
    "value longer than the payload": (payload(node(attrs=b"\x01" + label(b"k") + varint(99) + b"v")), "truncated"),
    "attribute key twice": (
        payload(node(attrs=b"\x02" + label(b"k") + b"\x00" + b"\x03\x00")), "two attributes with one key"),
    "child count beyond the payload": (payload(node(children=varint(2 ** 62))), "truncated"),
    "child gap 0": (payload(node(), node(children=b"\x01\x00")), "a child that is not an earlier node"),
    "child before the first node": (payload(node(), node(children=b"\x01\x02")), "a child that is not an earlier node"),
    "node without a parent": (payload(node(), node()), "a node that is no node's child"),
    "bytes after the last node": (payload(node()) + b"\x00", "bytes after the last node"),
    "name not UTF-8": (payload(node(name=b"\xff")), "a string that is not UTF-8"),
    "surrogate in a text": (payload(node(text=b"\x04\xed\xa0\x80")), "a string that is not UTF-8"),
    "truncated UTF-8 in a value": (
        payload(node(attrs=b"\x01" + label(b"k") + b"\x01\xc3")), "a string that is not UTF-8"),
    "number of eleven bytes": (payload(b"\x80" * 10 + b"\x00"), "a number out of range"),
    "number beyond 64 bits": (payload(b"\xff" * 9 + b"\x02"), "a number out of range"),
}


@pytest.mark.parametrize("data, reason", MALFORMED.values(), ids=MALFORMED)
def test_malformed_payloads_are_value_errors(data, reason):
    with pytest.raises(ValueError) as caught:
        brindle._unpickle_node(data)
    assert str(caught.value) == f"invalid Node pickle: {reason}"


def test_every_truncation_is_a_value_error():
    for end in range(len(VALID_PAYLOAD)):
        with pytest.raises(ValueError, match="^invalid Node pickle: "):
            brindle._unpickle_node(VALID_PAYLOAD[:end])


@pytest.mark.parametrize("argument", [bytearray(VALID_PAYLOAD), VALID_PAYLOAD.decode("latin-1"), None])
def test_the_payload_must_be_bytes(argument):
    with pytest.raises(TypeError):
        brindle._unpickle_node(argument)


@COUNTS_ALLOCATOR
@pytest.mark.parametrize("action", [
    lambda: pickle.loads(VALID),
    lambda: copy.deepcopy(EXAMPLES["shared"]),
    raising(lambda: brindle._unpickle_node(MALFORMED["attribute key twice"][0])),
    raising(lambda: brindle._unpickle_node(MALFORMED["node without a parent"][0])),
    raising(lambda: brindle._unpickle_node(VALID_PAYLOAD[:-3])),
])
def test_memory_stays_flat(action):
    assert_flat_memory(action)
