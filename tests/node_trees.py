"""Trees for the search, rendering and dictionary tests: hypothesis strategies that produce
shared children and awkward strings, and very deep chains built without recursion."""

from hypothesis import strategies as st

from brindle import Node

# Few distinct names, so that searches find something; the rest exercise the byte handling.
NAMES = st.sampled_from(["a", "b", "A", "item", "", "é", "中", "a b", "x\ny"])
VALUES = st.text(alphabet=st.characters(blacklist_categories=("Cs",)), max_size=8)
ATTRS = st.dictionaries(NAMES, VALUES, max_size=4)
TEXTS = st.none() | st.sampled_from(["", "t", "a"]) | VALUES

LEAVES = st.builds(Node, NAMES, ATTRS, st.just([]), TEXTS)


def _children(kids):
    # Sometimes the first child is listed once more, so the same object sits at two places.
    return st.tuples(st.lists(kids, max_size=4), st.booleans()).map(
        lambda pair: pair[0] + pair[0][:1] if pair[1] else pair[0])


TREES = st.recursive(LEAVES, lambda kids: st.builds(Node, NAMES, ATTRS, _children(kids), TEXTS),
                     max_leaves=25)


def chain(depth, name="n", **fields):
    """A node with one child, which has one child, ... `depth` nodes in all."""
    node = Node(name, **fields)
    for _ in range(depth - 1):
        node = Node(name, children=[node], **fields)
    return node


def chain_depth(node):
    """How many nodes a chain holds, walked without recursion."""
    depth = 1
    while node.children:
        (node,) = node.children
        depth += 1
    return depth
