"""Searching a subtree by name, attribute name and text, with depth limits."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from brindle import Node, SearchType
from exception_notes import expected_notes, notes_of
from memcheck import COUNTS_ALLOCATOR, assert_flat_memory, raising
from node_trees import NAMES, TREES, chain

INT32_MIN, INT32_MAX = -(2 ** 31), 2 ** 31 - 1


def wrap32(value):
    return (value + 2 ** 31) % 2 ** 32 - 2 ** 31


def reference_search(node, matches, depth):
    """Search by hand: test the node, stop at depth 0, else go on into the children with
    depth - 1 (wrapping as a 32-bit int)."""
    found = []

    def walk(current, remaining):
        if matches(current):
            found.append(current)
        if remaining == 0:
            return
        for child in current.children:
            walk(child, None if remaining is None else wrap32(remaining - 1))

    walk(node, depth)
    return found


RULES = {
    "search_by_name": lambda query: lambda n: n.name == query,
    "search_by_attr": lambda query: lambda n: query in n.attrs,
    "search_by_text": lambda query: lambda n: n.text == query,
}
KIND_OF = {"search_by_name": SearchType.Tag, "search_by_attr": SearchType.Attr,
           "search_by_text": SearchType.Text}
DEPTHS = st.none() | st.integers(-3, 5) | st.sampled_from([INT32_MIN, INT32_MAX])


def same_objects(left, right):
    return len(left) == len(right) and all(a is b for a, b in zip(left, right))


@pytest.mark.parametrize("method", sorted(RULES))
@settings(max_examples=150, deadline=None)
@given(tree=TREES, query=NAMES | st.sampled_from(["t", ""]), depth=DEPTHS)
def test_finds_what_a_depth_limited_preorder_walk_finds(method, tree, query, depth):
    expected = reference_search(tree, RULES[method](query), depth)
    assert same_objects(getattr(tree, method)(query, depth), expected)
    assert same_objects(tree.search(KIND_OF[method], query, depth), expected)


def three_level_chain():
    leaf = Node("x", {"id": ""}, text="")
    middle = Node("x", {"id": "2"}, [leaf], "t")
    return Node("x", {"id": "1"}, [middle], "t"), middle, leaf


@pytest.mark.parametrize("depth, levels", [
    (None, 3), (-1, 3), (INT32_MIN, 3), (0, 1), (1, 2), (2, 3), (3, 3), (INT32_MAX, 3),
])
@pytest.mark.parametrize("method, query", [
    ("search_by_name", "x"), ("search_by_attr", "id"),
])
def test_depth_table(depth, levels, method, query):
    nodes = three_level_chain()
    assert same_objects(getattr(nodes[0], method)(query, depth), list(nodes[:levels]))
    assert same_objects(getattr(nodes[0], method)(query, depth=depth), list(nodes[:levels]))


def test_starting_node_is_tested_first():
    root, middle, _ = three_level_chain()
    assert root.search_by_name(root.name)[0] is root
    assert middle.search_by_name("x", 0) == [middle]
    assert middle.search_by_name("y", 0) == []


def test_shared_child_is_listed_once_per_path():
    child = Node("c", {"k": "v"})
    inner = Node("p", children=[child, child])
    root = Node("r", children=[inner, child, inner])
    found = root.search_by_name("c")
    assert len(found) == 5 and all(item is child for item in found)
    assert same_objects(root.search_by_attr("k"), found)


@pytest.mark.parametrize("method, query, node, found", [
    ("search_by_attr", "id", Node("a", {"id": ""}), True),
    ("search_by_attr", "", Node("a", {"id": ""}), False),
    ("search_by_attr", "v", Node("a", {"id": "v"}), False),
    ("search_by_text", "", Node("a", text=""), True),
    ("search_by_text", "", Node("a"), False),
    ("search_by_text", "t", Node("a", text=" t"), False),
    ("search_by_name", "item", Node("Item"), False),
    ("search_by_name", "p:item", Node("p:item"), True),
    ("search_by_name", "item", Node("p:item"), False),
    ("search_by_name", "é", Node("é"), True),
    ("search_by_name", "e\u0301", Node("é"), False),
])
def test_exact_matching(method, query, node, found):
    assert getattr(node, method)(query) == ([node] if found else [])


def test_attribute_lookup_in_a_large_map():
    attrs = {f"k{i}": str(i) for i in range(100)}
    node = Node("a", attrs, [Node("b", {"k5": ""})])
    assert len(node.search_by_attr("k5")) == 2
    assert node.search_by_attr("k100") == []


def test_nothing_found_is_an_empty_list():
    result = Node("a").search_by_name("b")
    assert isinstance(result, list) and result == []


@pytest.mark.parametrize("call, exception, message, note", [
    (lambda n: n.search("Tag", 5, "deep"), TypeError,
     "'str' object is not an instance of 'SearchType'", "by"),
    (lambda n: n.search(None, "a"), TypeError, "'None' is not an instance of 'SearchType'", "by"),
    (lambda n: n.search(0, "a"), TypeError, "'int' object is not an instance of 'SearchType'", "by"),
    (lambda n: n.search(SearchType.Tag, 5, "deep"), TypeError,
     "'int' object is not an instance of 'str'", "value"),
    (lambda n: n.search(SearchType.Tag, "a", "deep"), TypeError, None, "depth"),
    (lambda n: n.search_by_name(b"a", 2 ** 31), TypeError,
     "'bytes' object is not an instance of 'str'", "name"),
    (lambda n: n.search_by_attr(None), TypeError, "'None' is not an instance of 'str'", "key"),
    (lambda n: n.search_by_text("\ud800"), UnicodeEncodeError, None, "text"),
    (lambda n: n.search_by_name("a", 2 ** 31), OverflowError,
     "out of range integral type conversion attempted", "depth"),
    (lambda n: n.search_by_name("a", INT32_MIN - 1), OverflowError,
     "out of range integral type conversion attempted", "depth"),
    (lambda n: n.search_by_text("a", 1.0), TypeError, None, "depth"),
])
def test_argument_failures_in_order(call, exception, message, note):
    with pytest.raises(exception) as caught:
        call(Node("a"))
    if message is not None:
        assert str(caught.value) == message
    assert notes_of(caught.value) == expected_notes(f"while processing '{note}'")


@pytest.mark.parametrize("call, message", [
    (lambda n: n.search(SearchType.Tag), "Node.search() missing 1 required positional argument: 'value'"),
    (lambda n: n.search(), "Node.search() missing 2 required positional arguments: 'by' and 'value'"),
    (lambda n: n.search_by_name(), "Node.search_by_name() missing 1 required positional argument: 'name'"),
    (lambda n: n.search_by_attr("a", 1, 2),
     "Node.search_by_attr() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda n: n.search_by_text("a", text="b"), "Node.search_by_text() got multiple values for argument 'text'"),
    (lambda n: n.search(SearchType.Tag, "a", deep=1), "Node.search() got an unexpected keyword argument 'deep'"),
])
def test_binding_failures(call, message):
    with pytest.raises(TypeError) as caught:
        call(Node("a"))
    assert str(caught.value) == message
    assert notes_of(caught.value) is None


def test_keywords_in_any_order():
    root, middle, _ = three_level_chain()
    assert same_objects(root.search(depth=1, value="x", by=SearchType.Tag), [root, middle])
    assert same_objects(root.search_by_text(depth=None, text="t"), [root, middle])


@pytest.fixture(scope="module")
def deep_chain():
    return chain(1_000_000, "n", attrs={"k": "v"})


@pytest.mark.parametrize("method, query, depth, count", [
    ("search_by_name", "n", None, 1_000_000),
    ("search_by_attr", "k", -5, 1_000_000),
    ("search_by_text", "t", None, 0),
    ("search_by_name", "n", 999_998, 999_999),
])
def test_million_deep_tree(deep_chain, method, query, depth, count):
    found = getattr(deep_chain, method)(query, depth)
    assert len(found) == count
    if count:
        assert found[0] is deep_chain
        assert (not found[-1].children) == (count == 1_000_000)


LEAK_TREE = Node("r", {"id": "1"}, [Node("a", {"id": "2"}, text="t")] * 3, "t")


@COUNTS_ALLOCATOR
@pytest.mark.parametrize("action", [
    lambda: LEAK_TREE.search_by_name("a"),
    lambda: LEAK_TREE.search_by_attr("id", 1),
    lambda: LEAK_TREE.search_by_text("t", -1),
    lambda: LEAK_TREE.search(SearchType.Text, "t", 0),
    raising(lambda: LEAK_TREE.search("Tag", "a")),
    raising(lambda: LEAK_TREE.search(SearchType.Tag, 5)),
    raising(lambda: LEAK_TREE.search_by_name("a", 2 ** 40)),
    raising(lambda: LEAK_TREE.search_by_text("\udc00")),
    raising(lambda: LEAK_TREE.search_by_attr()),
])
def test_memory_stays_flat(action):
    assert_flat_memory(action)
