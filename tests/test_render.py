"""The text listing of nodes: str(), __to_string(spacing) and repr()."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from brindle import Node
from exception_notes import expected_notes, notes_of
from memcheck import COUNTS_ALLOCATOR, assert_flat_memory, raising
from node_trees import TREES, chain


def reference_listing(node, width=0):
    """The listing by hand: Name, then Attributes, Text and Children when present, every child
    two columns further in (the width wrapping at 256)."""
    indent = " " * width
    out = f"{indent}Name: {node.name}"
    if node.attrs:
        out += f"\n{indent}Attributes:"
        for key, value in node.attrs.items():
            out += f"\n{indent}{key}: {value}"
    if node.text is not None:
        out += f"\n{indent}Text: {node.text}"
    if node.children:
        out += f"\n{indent}Children:"
        for child in node.children:
            out += f"\n{indent}{reference_listing(child, (width + 2) % 256)}\n"
    return out


def to_string(node, *args, **kwargs):
    return node.__to_string(*args, **kwargs)


@settings(max_examples=200, deadline=None)
@given(tree=TREES, spacing=st.none() | st.integers(0, 255))
def test_matches_the_templates(tree, spacing):
    expected = reference_listing(tree, spacing or 0)
    assert to_string(tree, spacing) == expected
    assert to_string(tree, spacing=spacing) == expected


@settings(max_examples=50, deadline=None)
@given(tree=TREES)
def test_str_is_the_listing_without_spacing(tree):
    assert str(tree) == to_string(tree) == to_string(tree, 0) == to_string(tree, None)


@pytest.mark.parametrize("node, lines", [
    (Node("a"), ["Name: a"]),
    (Node("a", text=""), ["Name: a", "Text: "]),
    (Node("r", children=[Node("a"), Node("b")]),
     ["Name: r", "Children:", "  Name: a", "", "  Name: b", ""]),
    (Node("r", children=[Node("a", children=[Node("b")])]),
     ["Name: r", "Children:", "  Name: a", "  Children:", "      Name: b", "", ""]),
    (Node("a", text="one\ntwo"), ["Name: a", "Text: one", "two"]),
    (Node("a", {"k": "v"}, text="t"), ["Name: a", "Attributes:", "k: v", "Text: t"]),
    (Node("<&>", {"q": "\"'"}), ["Name: <&>", "Attributes:", "q: \"'"]),
])
def test_str_of_small_trees_line_by_line(node, lines):
    assert str(node) == "\n".join(lines)


@pytest.mark.parametrize("spacing, child_name_indent, child_indent", [
    (4, 4 + 6, 6), (253, 253 + 255, 255), (254, 254, 0), (255, 255 + 1, 1),
])
def test_width_wraps_past_255(spacing, child_name_indent, child_indent):
    node = Node("r", children=[Node("c", text="t")], text="t")
    own = " " * spacing
    child = " " * child_indent
    assert to_string(node, spacing) == (
        f"{own}Name: r\n{own}Text: t\n{own}Children:\n"
        f"{' ' * child_name_indent}Name: c\n{child}Text: t\n")


def test_grandchild_name_line_indent_is_4k_minus_2():
    listing = str(chain(5, "n", attrs={"k": "v"}))
    name_indents = [len(line) - len(line.lstrip()) for line in listing.split("\n") if "Name:" in line]
    attr_indents = [len(line) - len(line.lstrip()) for line in listing.split("\n") if "k: v" in line]
    assert name_indents == [0] + [4 * k - 2 for k in range(1, 5)]
    assert attr_indents == [2 * k for k in range(5)]


def test_repr_is_the_name_unquoted():
    assert repr(Node("item")) == "Node(item)"
    assert repr(Node("a b", children=[Node("c")])) == "Node(a b)"


@pytest.mark.parametrize("spacing, exception", [
    (256, OverflowError), (-1, OverflowError), (2 ** 70, OverflowError), ("1", TypeError), (1.0, TypeError),
])
def test_spacing_out_of_range(spacing, exception):
    with pytest.raises(exception) as caught:
        to_string(Node("a"), spacing)
    assert notes_of(caught.value) == expected_notes("while processing 'spacing'")
    if exception is OverflowError and spacing < 2 ** 63:
        assert str(caught.value) == "out of range integral type conversion attempted"


@pytest.mark.parametrize("call, message", [
    (lambda n: to_string(n, 1, 2), "Node.__to_string() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda n: to_string(n, 1, spacing=2), "Node.__to_string() got multiple values for argument 'spacing'"),
    (lambda n: to_string(n, width=2), "Node.__to_string() got an unexpected keyword argument 'width'"),
])
def test_binding_failures(call, message):
    with pytest.raises(TypeError, match=message.replace("(", r"\(").replace(")", r"\)")):
        call(Node("a"))


def expected_chain_length(depth, name):
    """Length of the listing of a bare chain with spacing 0, counted line by line."""
    total = 0
    for level in range(depth):
        width = 2 * level % 256
        if level:
            total += 1 + (2 * (level - 1) % 256) + 1  # line break and parent indent before, break after
        total += width + len("Name: ") + len(name)
        if level < depth - 1:
            total += 1 + width + len("Children:")
    return total


def test_million_deep_tree():
    depth = 1_000_000
    listing = str(chain(depth, "n"))
    assert len(listing) == expected_chain_length(depth, "n")
    assert listing.startswith("Name: n\nChildren:\n  Name: n\n  Children:\n      Name: n\n")
    assert listing.endswith("Name: n" + "\n" * (depth - 1))
    assert listing.count("Name: n") == depth


LEAK_TREE = Node("r", {"id": "1", "é": "ü"}, [Node("a", text="t\n")] * 3, "t")


@COUNTS_ALLOCATOR
@pytest.mark.parametrize("action", [
    lambda: str(LEAK_TREE),
    lambda: repr(LEAK_TREE),
    lambda: to_string(LEAK_TREE, 7),
    lambda: to_string(Node("plain", children=[Node("c")]), spacing=None),
    raising(lambda: to_string(LEAK_TREE, 256)),
    raising(lambda: to_string(LEAK_TREE, "x")),
    raising(lambda: to_string(LEAK_TREE, 1, 2)),
])
def test_memory_stays_flat(action):
    assert_flat_memory(action)
