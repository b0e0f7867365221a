"""Layout of written documents: declaration, indentation, line breaks, empty-element form."""

import subprocess
import sys

import pytest
from hypothesis import given, settings, strategies as st

import brindle
from brindle import Node
from lock_release import lets_other_threads_run
from memcheck import LIMITS_ADDRESS_SPACE

DECLARATION = '<?xml version="1.0" encoding="utf-8"?>\n'
XML_FORBIDDEN = "".join(chr(c) for c in range(0x20) if c not in (9, 10, 13)) + "\ufffe\uffff"


def bare(node, indent=None):
    return brindle.write_string(node, indent, False)


def root_with_an_attribute_a_text_child_and_an_empty_child():
    return Node("a", {"x": "1"}, [Node("b", text="hi"), Node("c")])


@pytest.mark.parametrize("indent, expected", [
    (4, '<a x="1">\n    <b>hi</b>\n    <c/>\n</a>'),
    (0, '<a x="1">\n<b>hi</b>\n<c/>\n</a>'),
    (2, '<a x="1">\n  <b>hi</b>\n  <c/>\n</a>'),
    (None, '<a x="1">\n    <b>hi</b>\n    <c/>\n</a>'),
])
def test_each_child_on_its_own_line_indented_by_indent_spaces(indent, expected):
    assert bare(root_with_an_attribute_a_text_child_and_an_empty_child(), indent) == expected


@pytest.mark.parametrize("call, expected", [
    (lambda n: brindle.write_string(n), DECLARATION + "<a/>"),
    (lambda n: brindle.write_string(n, default_xml_def=True), DECLARATION + "<a/>"),
    (lambda n: brindle.write_string(n, default_xml_def=None), DECLARATION + "<a/>"),
    (lambda n: brindle.write_string(n, default_xml_def=False), "<a/>"),
    (lambda n: brindle.write_string(node=n, indent=None, default_xml_def=False), "<a/>"),
])
def test_declaration(call, expected):
    assert call(Node("a")) == expected


def test_declaration_is_39_bytes_and_document_is_43_characters():
    assert len(DECLARATION.encode()) == 39
    assert len(brindle.write_string(Node("a"))) == 43


@pytest.mark.parametrize("node, indent, expected", [
    (Node("a"), 4, "<a/>"),
    (Node("a", text=""), 4, "<a></a>"),
    (Node("a", text="x"), 4, "<a>x</a>"),
    (Node("a", children=[Node("b")], text=""), 4, "<a><b/>\n</a>"),
    (Node("p", children=[Node("q"), Node("r")], text="t"), 2, "<p>t<q/>\n  <r/>\n</p>"),
    (Node("a", children=[Node("b", children=[Node("c")])]), 3, "<a>\n   <b>\n      <c/>\n   </b>\n</a>"),
    (Node("a", children=[Node("b", children=[Node("c")])]), 0, "<a>\n<b>\n<c/>\n</b>\n</a>"),
    (Node("a", children=[Node("b", text="")]), 4, "<a>\n    <b></b>\n</a>"),
    # only the first child can follow its parent's text on the same line
    (Node("a", children=[Node("b", children=[Node("c")], text="t"), Node("d")]), 1,
     "<a>\n <b>t<c/>\n </b>\n <d/>\n</a>"),
    # text is written as stored: no trimming, no re-indentation
    (Node("a", children=[Node("b")], text="  two\n lines "), 2, "<a>  two\n lines <b/>\n</a>"),
    (Node("a", text="\n"), 2, "<a>\n</a>"),
    # True and an index object are integers
    (Node("a", children=[Node("b")]), True, "<a>\n <b/>\n</a>"),
])
def test_layout(node, indent, expected):
    assert bare(node, indent) == expected


@pytest.mark.parametrize("node, expected", [
    (Node("é", {"ü": "ß"}, text="ñ"), '<é ü="ß">ñ</é>'),
    (Node("_a:b-c.9·", {"xml:lang": "x", "Ω": ""}), '<_a:b-c.9· xml:lang="x" Ω=""/>'),
])
def test_names_and_keys_are_verbatim(node, expected):
    assert bare(node) == expected


@pytest.mark.parametrize("node, message", [
    (Node(""), "element name '' is not an XML name"),
    (Node("", text=""), "element name '' is not an XML name"),
    (Node("a b", {"c\"d": "e", "<f>": ""}), "element name 'a b' is not an XML name"),
    (Node("ab", {"c\"d": "e", "<f>": ""}), "attribute name 'c\"d' is not an XML name"),
])
def test_names_that_are_not_xml_names_are_refused(node, message):
    with pytest.raises(ValueError) as caught:
        bare(node)
    assert caught.value.args == (message,)


def test_attributes_follow_the_node_order():
    node = Node("a", {"x": "1", "y": "2", "z": "3"})
    keys = list(node.attrs)
    expected = "<a " + " ".join(f'{k}="{node.attrs[k]}"' for k in keys) + "/>"
    assert bare(node) == expected
    assert bare(node) == bare(node)


def test_a_shared_child_is_written_per_occurrence():
    child = Node("b", {"k": "v"}, [Node("c", text="x")])
    parent = Node("a", children=[child, child])
    one = '\n  <b k="v">\n    <c>x</c>\n  </b>'
    assert bare(parent, 2) == "<a>" + one + one + "\n</a>"


# --- an independent model of the layout rules, for trees hypothesis makes up -------------

def model(node, indent):
    out = []
    pending = False

    def line(depth):
        if pending:
            out.append("\n" + " " * (indent * depth))

    def element(n, depth):
        nonlocal pending
        line(depth)
        pending = True
        out.append("<" + n.name)
        for key, value in n.attrs.items():
            out.append(f' {key}="{escape(value, True)}"')
        if not n.children and n.text is None:
            out.append("/>")
            return
        out.append(">")
        if n.text is not None:
            out.append(escape(n.text, False))
            pending = False
        for child in n.children:
            element(child, depth + 1)
        line(depth)
        pending = True
        out.append(f"</{n.name}>")

    element(node, 0)
    return "".join(out)


def escape(value, attribute):
    table = {"&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;", "'": "&apos;", "\r": "&#13;"}
    if attribute:
        table.update({"\t": "&#9;", "\n": "&#10;"})
    return "".join(table.get(c, c) for c in value)


texts = st.text(st.characters(blacklist_categories=("Cs",),
                              blacklist_characters=XML_FORBIDDEN), max_size=12)
names = st.builds(str.__add__, st.sampled_from("abAB_:é"), st.text("abAB_-.:é1", max_size=3))


def trees():
    leaves = st.builds(Node, names, st.dictionaries(names, texts, max_size=3),
                       st.just([]), st.none() | texts)
    return st.recursive(
        leaves,
        lambda kids: st.builds(Node, names, st.dictionaries(names, texts, max_size=3),
                               st.lists(kids, max_size=4), st.none() | texts),
        max_leaves=25)


@settings(max_examples=300, deadline=None)
@given(trees(), st.integers(0, 6))
def test_matches_the_layout_model(node, indent):
    assert bare(node, indent) == model(node, indent)


# --- depth never reaches the native stack ------------------------------------------------

def chain(depth):
    node = Node("a")
    for _ in range(depth - 1):
        node = Node("a", children=[node])
    return node


def test_a_million_levels_are_written():
    depth = 1_000_000
    expected = "<a>\n" * (depth - 1) + "<a/>" + "\n</a>" * (depth - 1)
    assert bare(chain(depth), 0) == expected


def test_deep_indentation_is_counted_per_level():
    depth = 3000
    opening = "".join(f"{' ' * (2 * d)}<a>\n" for d in range(depth - 1))
    closing = "".join(f"\n{' ' * (2 * d)}</a>" for d in reversed(range(depth - 1)))
    assert bare(chain(depth), 2) == opening + " " * (2 * (depth - 1)) + "<a/>" + closing


# --- an indentation that could never be held ---------------------------------------------

@pytest.mark.parametrize("indent, depth", [
    (2 ** 62, 1),
    (2 ** 64 - 1, 1),
    (2 ** 63, 2),          # the product overflows 64 bits
    (2 ** 40, 2 ** 10),    # far more than any machine's memory, without overflow
])
def test_huge_indentation_is_a_memory_error(indent, depth):
    with pytest.raises(MemoryError):
        brindle.write_string(chain(depth + 1), indent)


OVERSIZED_SCRIPT = """
import resource, brindle
from brindle import Node
resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
node = Node("leaf", text="x" * 100)
for _ in range(28):  # 2**28 leaves of 115 bytes each once expanded: about 30 GB
    node = Node("pair", children=[node, node])
try:
    brindle.write_string(node)
except MemoryError:
    print("MemoryError")
"""


@LIMITS_ADDRESS_SPACE
def test_output_larger_than_memory_is_a_memory_error():
    # Shared children are written once per occurrence, so a few dozen nodes can describe more
    # output than any machine holds; a separate process with little address space shows the
    # failed growth ends as MemoryError.
    result = subprocess.run([sys.executable, "-c", OVERSIZED_SCRIPT], capture_output=True,
                            text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "MemoryError"


def test_huge_indent_is_harmless_without_line_breaks():
    assert bare(Node("a", text="x"), 2 ** 64 - 1) == "<a>x</a>"
    # the root is never preceded by a line break, and depth 0 needs no spaces
    assert bare(Node("a", children=[Node("b")], text=""), 2 ** 64 - 1) == "<a><b/>\n</a>"


# --- the lock is released while the document is serialised ------------------------------

def test_other_threads_run_during_serialisation():
    big = Node("r", children=[Node("e", {"k": "v" * 50}, text="t" * 200)] * 20_000)
    assert lets_other_threads_run(lambda: brindle.write_string(big))


# --- the returned str ----------------------------------------------------------------------

@pytest.mark.parametrize("widest", ["a", "\x7f", "\x80", "é", "\xff", "\u0100", "\u07ff", "\u0800", "中",
                                    "\ufffd", "\U00010000", "\U0001F600", "\U0010FFFF"])
def test_str_uses_the_storage_of_its_widest_character(widest):
    # The str is built directly from the UTF-8 output; equality and size with a str the
    # interpreter built itself show that length, content and storage width all agree.
    narrower = "é" if widest > "\xff" else ""  # a narrower non-ASCII character beside it
    for position in range(0, 40):
        text = "x" * position + widest + narrower + "y" * (40 - position)
        written = bare(Node("a", {"k": text}, text=text))
        expected = '<a k="' + text + '">' + text + "</a>"
        assert written == expected
        assert len(written) == len(expected)
        assert sys.getsizeof(written) == sys.getsizeof("".join(list(expected)))
