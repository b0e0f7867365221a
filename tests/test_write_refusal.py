"""The writer refuses trees whose XML would not read back: characters XML forbids anywhere,
and names that are not XML names. The first problem in writing order is reported, and
write_file reports it before touching the file."""

import pytest
from hypothesis import given, settings, strategies as st

import brindle
from brindle import Node
from lock_release import lets_other_threads_run
from node_trees import chain

FORBIDDEN = [chr(c) for c in range(0x20) if c not in (0x9, 0xA, 0xD)] + ["\ufffe", "\uffff"]

NAME_START_RANGES = [(0x3A, 0x3A), (0x41, 0x5A), (0x5F, 0x5F), (0x61, 0x7A), (0xC0, 0xD6), (0xD8, 0xF6),
                     (0xF8, 0x2FF), (0x370, 0x37D), (0x37F, 0x1FFF), (0x200C, 0x200D), (0x2070, 0x218F),
                     (0x2C00, 0x2FEF), (0x3001, 0xD7FF), (0xF900, 0xFDCF), (0xFDF0, 0xFFFD),
                     (0x10000, 0xEFFFF)]
NAME_ONLY_RANGES = [(0x2D, 0x2E), (0x30, 0x39), (0xB7, 0xB7), (0x300, 0x36F), (0x203F, 0x2040)]


def in_ranges(character, ranges):
    return any(low <= ord(character) <= high for low, high in ranges)


def is_xml_name(name):
    return (name != "" and in_ranges(name[0], NAME_START_RANGES)
            and all(in_ranges(c, NAME_START_RANGES + NAME_ONLY_RANGES) for c in name))


def refusal(node, writer, tmp_path):
    with pytest.raises(ValueError) as caught:
        if writer == "string":
            brindle.write_string(node)
        else:
            brindle.write_file(node, str(tmp_path / "out.xml"))
    (message,) = caught.value.args
    return message


WRITERS = ["string", "file"]

PLACES = {
    "text": lambda s: Node("a", text=s),
    "attribute value": lambda s: Node("a", {"k": s}),
    "element name": lambda s: Node(s),
    "attribute name": lambda s: Node("a", {s: "v"}),
}


@pytest.mark.parametrize("writer", WRITERS)
@pytest.mark.parametrize("place", PLACES)
@pytest.mark.parametrize("forbidden", FORBIDDEN)
def test_forbidden_characters_are_refused_everywhere(tmp_path, writer, place, forbidden):
    # at the start, in the middle of a string searched in blocks, and at the end
    for value in [forbidden + "x", "x" * 37 + forbidden + "y" * 5, "é" * 9 + forbidden]:
        assert refusal(PLACES[place](value), writer, tmp_path) == \
            f"character U+{ord(forbidden):04X} is not allowed in XML ({place})"


NOT_NAMES = ["", " ", "a b", "a\tb", "1a", "-a", ".a", "·a", "\u0300a", "a<", "a>", "a/", "a=b", 'a"', "a'",
             "a&b", "a!", "a?", "a,b", "a@b", "a;", "×", "a÷", "a\u037e", "a\u2000", "a\u3000", "\U000f0000",
             "a" * 40 + " ", "é" * 20 + "%"]


@pytest.mark.parametrize("writer", WRITERS)
@pytest.mark.parametrize("place", ["element name", "attribute name"])
@pytest.mark.parametrize("name", NOT_NAMES)
def test_names_that_are_not_xml_names_are_refused(tmp_path, writer, place, name):
    assert refusal(PLACES[place](name), writer, tmp_path) == f"{place} '{name}' is not an XML name"


# Every range of the Name production at its edges, with neighbours that are not in it.
EDGES = sorted({chr(c) for low, high in NAME_START_RANGES + NAME_ONLY_RANGES
                for c in (low - 1, low, high, high + 1) if c < 0xD800 or 0xDFFF < c < 0x110000}
               - set(FORBIDDEN))


@settings(max_examples=400, deadline=None)
@given(st.text(st.sampled_from(EDGES), max_size=20), st.sampled_from(["element name", "attribute name"]))
def test_names_follow_the_name_production(name, place):
    node = PLACES[place](name)
    if is_xml_name(name):
        read = brindle.read_string(brindle.write_string(node), node.name)
        assert (read.name, read.attrs) == (node.name, node.attrs)
    else:
        with pytest.raises(ValueError, match="is not an XML name"):
            brindle.write_string(node)


@pytest.mark.parametrize("writer", WRITERS)
@pytest.mark.parametrize("node, message", [
    # within one string, a forbidden character before the name rules
    (Node("<\x01"), "character U+0001 is not allowed in XML (element name)"),
    (Node("a b", {"k": "\x01"}), "element name 'a b' is not an XML name"),
    (Node("a", {"1k": "\x01"}), "attribute name '1k' is not an XML name"),
    (Node("a", {"k": "\x01", "1": "v"}), "character U+0001 is not allowed in XML (attribute value)"),
    (Node("a", {"k": "\x02"}, text="\x01"), "character U+0002 is not allowed in XML (attribute value)"),
    (Node("a", children=[Node("b c")], text="\x01"), "character U+0001 is not allowed in XML (text)"),
    (Node("r", children=[Node("a", children=[Node("1x")]), Node("2y")]), "element name '1x' is not an XML name"),
    (Node("r", children=[Node("ok", {"k": "v"}, text="t"), Node("a", text="\x03")], text="t"),
     "character U+0003 is not allowed in XML (text)"),
])
def test_the_first_problem_in_writing_order_is_reported(tmp_path, writer, node, message):
    assert refusal(node, writer, tmp_path) == message


@pytest.mark.parametrize("write", [
    lambda node, path: brindle.write_string(node, 0),
    lambda node, path: brindle.write_file(node, path, 0),
], ids=WRITERS)
def test_a_fault_a_million_levels_down_is_found(tmp_path, write):
    deep = Node("n", text="\x0b")
    for _ in range(1_000_000 - 1):
        deep = Node("n", children=[deep])
    with pytest.raises(ValueError) as caught:
        write(Node("top", children=[chain(1000), deep]), str(tmp_path / "out.xml"))
    assert caught.value.args == ("character U+000B is not allowed in XML (text)",)


@pytest.mark.parametrize("node", [Node("a b"), Node("a", {"k": "\x00"}),
                                  Node("r", children=[Node("x", text="y" * 20_000)] * 5 + [Node("z", text="\uffff")])])
def test_a_refused_tree_leaves_the_file_as_it_was(tmp_path, node):
    existing = tmp_path / "existing.xml"
    existing.write_bytes(b"<old>kept \xc3\xa9</old>\n" * 1000)
    before = existing.read_bytes()
    with pytest.raises(ValueError):
        brindle.write_file(node, str(existing))
    assert existing.read_bytes() == before
    with pytest.raises(ValueError):
        brindle.write_file(node, str(tmp_path / "new.xml"))
    assert sorted(p.name for p in tmp_path.iterdir()) == ["existing.xml"]


def test_other_threads_run_while_a_file_write_is_checked(tmp_path):
    # Refused at its last leaf, the call spends its time in the check alone.
    big = Node("r", children=[Node("e", {"k": "v" * 50}, text="t" * 200)] * 300_000 + [Node("e", text="\x01")])

    def refused_write():
        with pytest.raises(ValueError):
            brindle.write_file(big, str(tmp_path / "out.xml"))
    assert lets_other_threads_run(refused_write)
