"""Every way out of write_string and write_file gives back what the call took."""

import os

import pytest

import brindle
from brindle import Node
from memcheck import COUNTS_ALLOCATOR, assert_flat_memory, raising

pytestmark = COUNTS_ALLOCATOR

TREE = Node("r", {"k": "v & w", "long": "x" * 100}, [
    Node("a", text="t" * 50), Node("b", children=[Node("c", {"q": "\n"})]), Node("d", text=""),
])
BIG_TEXT = Node("r", children=[Node("a", text="y" * 20_000)])
REFUSED = Node("r", children=[BIG_TEXT, Node("a", {"k": "v"}, text="x" * 100 + "\x01")])


@pytest.fixture
def target(tmp_path):
    return str(tmp_path / "out.xml")


@pytest.mark.parametrize("call", [
    lambda path: brindle.write_string(TREE),
    lambda path: brindle.write_string(TREE, 0, False),
    lambda path: brindle.write_file(TREE, path),
    lambda path: brindle.write_file(BIG_TEXT, path, 1),
], ids=["string", "string-bare", "file", "file-direct-write"])
def test_successful_writes(target, call):
    assert_flat_memory(lambda: call(target))


@pytest.mark.parametrize("call", [
    lambda path: brindle.write_string(5),
    lambda path: brindle.write_string(TREE, -1),
    lambda path: brindle.write_string(TREE, "2"),
    lambda path: brindle.write_string(TREE, 2, 1),
    lambda path: brindle.write_string(TREE, 2 ** 62),
    lambda path: brindle.write_file(TREE, b"x"),
    lambda path: brindle.write_file(TREE, path, 2 ** 64),
    lambda path: brindle.write_file(TREE, path, None, 0),
    lambda path: brindle.write_file(TREE, path + "\0"),
    lambda path: brindle.write_file(TREE, os.path.join(path, "missing", "x")),
    lambda path: brindle.write_file(TREE, os.path.dirname(path)),
    lambda path: brindle.write_file(TREE, path, 2 ** 62),
    lambda path: brindle.write_string(REFUSED),
    lambda path: brindle.write_file(REFUSED, path),
], ids=["node", "indent-negative", "indent-type", "flag", "string-huge-indent", "path-type",
        "indent-too-large", "flag-file", "nul", "missing-directory", "directory", "file-huge-indent",
        "string-refused", "file-refused"])
def test_failing_writes(target, call):
    assert_flat_memory(raising(lambda: call(target)))


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="needs /dev/full")
@pytest.mark.parametrize("node", [TREE, BIG_TEXT], ids=["flush", "direct-write"])
def test_full_device(node):
    assert_flat_memory(raising(lambda: brindle.write_file(node, "/dev/full"), OSError))
