"""Documents written by the writer read back into the same tree."""

import xml.parsers.expat

import pytest
from hypothesis import given, settings, strategies as st

import brindle
from brindle import Node
from generated_documents import SHAPES, root_name


def shape(node):
    """Names, attributes, texts and children, compared without the nodes' identity. An empty
    text reads back absent: the reader keeps no empty character data."""
    stack, result = [node], []
    while stack:
        current = stack.pop()
        result.append((current.name, current.attrs, current.text or None, len(current.children)))
        stack.extend(reversed(current.children))
    return result


def preorder(node):
    stack = [node]
    while stack:
        current = stack.pop()
        yield current
        stack.extend(reversed(current.children))


def expat_elements(document):
    """(name, attrs, character data before the first child, number of children) per element in
    pre-order, as the standard library's expat reads the document."""
    parser = xml.parsers.expat.ParserCreate()
    elements, open_elements = [], []

    def start(name, attrs):
        if open_elements:
            open_elements[-1][3] += 1
        elements.append([name, attrs, [], 0])
        open_elements.append(elements[-1])

    def data(text):
        if open_elements[-1][3] == 0:
            open_elements[-1][2].append(text)

    parser.StartElementHandler = start
    parser.EndElementHandler = lambda name: open_elements.pop()
    parser.CharacterDataHandler = data
    parser.Parse(document.encode(), True)
    return [(name, attrs, "".join(text), count) for name, attrs, text, count in elements]


# Names that expat (which knows the names of older editions of XML) and this reader both
# take; the reader takes every name of the current edition (test_write_refusal.py).
NAME_START = "abcXYZ_:éÀΩж中"
NAME_REST = NAME_START + "-.09·\u0300"
names = st.builds(str.__add__, st.sampled_from(NAME_START), st.text(NAME_REST, max_size=5))

# Every class of character a document may hold: the white space XML keeps (tab, line feed,
# carriage return), markup characters, the rest of ASCII, characters that neighbour the
# forbidden ones (U+007F, U+0085, U+FFFD, U+FFEF), beyond the basic plane, and any other.
FORBIDDEN = "".join(chr(c) for c in range(0x20) if c not in (0x9, 0xA, 0xD)) + "\ufffe\uffff"
xml_chars = st.one_of(
    st.sampled_from("\t\n\r <>&\"';#]"),
    st.characters(min_codepoint=0x20, max_codepoint=0x7F),
    st.sampled_from("\x85\xa0\u2028\u3000\ufffd\uffef\U00010000\U0001F600\U0010FFFF"),
    st.characters(blacklist_categories=("Cs",), blacklist_characters=FORBIDDEN),
)
values = st.text(xml_chars, max_size=12)


def trees():
    def node(children):
        return st.builds(Node, names, st.dictionaries(names, values, max_size=3), children, st.none() | values)
    return st.recursive(node(st.just([])), lambda kids: node(st.lists(kids, max_size=4)), max_leaves=20)


@settings(max_examples=300, deadline=None)
@given(trees(), st.integers(0, 5), st.booleans())
def test_written_trees_parse_with_expat(node, indent, declaration):
    elements = expat_elements(brindle.write_string(node, indent, declaration))
    expected = list(preorder(node))
    assert len(elements) == len(expected)
    for (name, attrs, text, count), original in zip(elements, expected):
        assert (name, attrs, count) == (original.name, original.attrs, len(original.children))
        # without a text of its own, an element holds only the line breaks and indentation
        assert text == original.text if original.text is not None else text.strip("\n ") == ""


@settings(max_examples=300, deadline=None)
@given(trees(), st.integers(0, 5), st.booleans())
def test_written_trees_read_back(node, indent, declaration):
    # The reader trims the white space around a text, and keeps no empty text.
    expected = [(n.name, n.attrs, (n.text or "").strip() or None, len(n.children)) for n in preorder(node)]
    assert shape(brindle.read_string(brindle.write_string(node, indent, declaration), node.name)) == expected


@pytest.mark.parametrize("value", ["\t", "\n", "\r", "a\r\nb", " \t\n\r ", "&amp;", "<&>\"'"])
def test_attribute_values_keep_every_character(value):
    node = Node("a", {"k": value})
    assert brindle.read_string(brindle.write_string(node), "a").attrs == {"k": value}


def test_written_file_reads_back(tmp_path):
    node = Node("doc", {"v": "1"}, [Node("p", text="x" * 20_000), Node("q", {"r": "<>"})])
    path = tmp_path / "out.xml"
    brindle.write_file(node, str(path))
    assert shape(brindle.read_file(str(path), "doc")) == shape(node)


def test_empty_text_reads_back_absent():
    node = Node("a", children=[Node("b", text="")], text="")
    assert shape(brindle.read_string(brindle.write_string(node), "a")) == shape(node)
    back = brindle.read_string(brindle.write_string(node), "a")
    assert back.text is None and back.children[0].text is None


@pytest.mark.parametrize("name", sorted(SHAPES))
def test_generated_shapes_survive(name):
    document = SHAPES[name](target=50_000)
    tree = brindle.read_string(document, root_name(document))
    again = brindle.read_string(brindle.write_string(tree), root_name(document))
    assert shape(again) == shape(tree)
