"""Documents of many tags, read in pieces: the reader indexes a large document a window of
16384 tags at a time and walks each window before indexing the next. Elements, texts and
open tags carry across windows, and faults are reported as if the whole document had been
indexed before the walk (a fault of the index anywhere outranks one the walk found)."""

import random
import xml.etree.ElementTree as ET

import pytest

import brindle
from read_documents import malformed, unclosed
from test_read_differential import check_against_elementtree

WINDOW = 16384
PADDING = "<p/>" * (2 * WINDOW + 100)  # tags enough to fill two windows and start a third


@pytest.mark.parametrize("document, root_tag, message", [
    # the element is complete in the first window; an unclosed tag far beyond it still counts
    ("<a>x</a>" + PADDING + "<b", "a", unclosed(8 + len(PADDING))),
    # a fault of the index outranks the walk's earlier one
    ("<a></b>" + PADDING + "<b", "a", unclosed(7 + len(PADDING))),
    ("<a></b>" + PADDING, "a", malformed(3, "expected </a>, found </b>")),
    # open tags outside the element are matched across windows
    ("<x>" + PADDING + "</y>", "a", malformed(3 + len(PADDING), "expected </x>, found </y>")),
    ("<x>" + PADDING + "</x></x>", "a", malformed(7 + len(PADDING), "unexpected end tag </x>")),
    ("<x>" + PADDING + "</x>", "a", "root tag <a> not found in document"),
    ("<r>" + PADDING, "r", "unexpected end of document: <r> is never closed"),
    ("<r>" + PADDING + "<!-- open", "r", malformed(3 + len(PADDING) + 9, "unexpected end of document")),
], ids=["unclosed-after-complete", "index-fault-first", "walk-fault", "skipped-mismatch", "skipped-extra-end",
        "not-found", "never-closed", "open-comment"])
def test_faults_far_apart(document, root_tag, message):
    with pytest.raises(ValueError) as caught:
        brindle.read_string(document, root_tag)
    assert str(caught.value) == message


def test_element_spanning_windows_keeps_children_and_text():
    count = 2 * WINDOW + 7
    document = "<doc><r>a" + "".join(f"<e i='{i}'>t{i}</e>b" for i in range(count)) + " </r><after/></doc>"
    root = brindle.read_string(document, "r")
    assert root.text == "a" + "b" * count
    assert len(root.children) == count
    assert [child.attrs["i"] for child in root.children[::9973]] == [str(i) for i in range(0, count, 9973)]
    assert root.children[-1].text == f"t{count - 1}"


@pytest.mark.parametrize("before", range(WINDOW - 4, WINDOW + 2))
def test_cdata_section_at_the_window_edge(before):
    # the section is the tag at position 1 + before: around the last tag of the first window
    document = "<r>" + "<e/>" * before + "<![CDATA[c<d]]>" + "<e/>" * 3 + "x</r>"
    root = brindle.read_string(document, "r")
    assert root.text == "c<dx"
    assert len(root.children) == before + 3


def random_document(seed, elements):
    generator = random.Random(seed)
    parts, open_names = [], []
    for _ in range(elements):
        if open_names and generator.random() < 0.55:
            parts.append(f"</{open_names.pop()}>")
        name = generator.choice("abcde")
        parts.append(generator.choice(["", "t", " &amp; ", "<!--c-->", "<![CDATA[&]]>", "<?p?>"]))
        if generator.random() < 0.5:
            parts.append(f"<{name} k='{generator.randrange(9)}'/>")
        else:
            parts.append(f"<{name}>")
            open_names.append(name)
    parts.extend(f"</{name}>" for name in reversed(open_names))
    return "<root>" + "".join(parts) + "</root>"


@pytest.mark.parametrize("seed", range(3))
def test_large_random_documents_match_elementtree(seed):
    document = random_document(seed, 3 * WINDOW)
    assert document.count("<") > 4 * WINDOW
    check_against_elementtree(document, "root")
    # the first element of the name that holds the most elements, whichever window it starts in
    sizes = {}
    for element in ET.fromstring(document).iter():
        sizes.setdefault(element.tag, sum(1 for _ in element.iter()))
    check_against_elementtree(document, max(sizes, key=lambda tag: (tag != "root", sizes[tag])))
