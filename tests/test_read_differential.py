"""read_string against the standard library's parsers: generated well-formed documents
(ElementTree) and the real documents of the corpus (expat without namespace processing,
since their names carry prefixes)."""

import lzma
import os
import xml.etree.ElementTree as ET
import xml.parsers.expat

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import brindle
from read_documents import QUOTE_DENSE_PREFIX, as_tuple, trim_white_space

# ---- generated documents -------------------------------------------------------------

NAME_START = "abcxyzABZ_éß中"
NAME_REST = NAME_START + "0189.-·"
names = st.builds(lambda first, rest: first + rest,
                  st.sampled_from(NAME_START), st.text(NAME_REST, max_size=6))
# Raw character data may hold no '<', '&' or ']' (no "]]>"), no carriage return (the
# standard library turns it into a line feed, the reader keeps it) and no quotes (so that
# the quote-dense builder sees only paired quotes).
TEXT_CHARS = "ab yz09.,;>=/?!-\t\n\u00a0\u0085\u2028\u3000\u200béü中😀"
REFERENCES = ["&lt;", "&gt;", "&amp;", "&quot;", "&apos;", "&#65;", "&#x4E2D;", "&#xA0;",
              "&#x3000;", "&#32;", "&#13;", "&#9;", "&#x1F600;", "&#0000066;"]
text_pieces = st.lists(st.one_of(st.text(TEXT_CHARS, min_size=1, max_size=8), st.sampled_from(REFERENCES)),
                       max_size=5).map("".join)
# Attribute values may also hold carriage returns: both sides turn every line break into a space.
value_pieces = st.lists(st.one_of(st.text(TEXT_CHARS + "\r]", min_size=1, max_size=8),
                                  st.sampled_from(REFERENCES)), max_size=4).map("".join)
SPACE = st.sampled_from(["", " ", "\t", "\n", "  \n"])
NON_EMPTY_SPACE = st.sampled_from([" ", "\t", "\n", " \r\n "])
MARKUP_TEXT = st.text("ab yz09.,;=/!\t\n中", max_size=10)


@st.composite
def misc(draw):
    """A comment, a processing instruction or white space: nothing ElementTree keeps."""
    kind = draw(st.sampled_from(["comment", "pi", "space"]))
    if kind == "comment":
        return "<!--" + draw(MARKUP_TEXT).replace("-", "") + "-->"
    if kind == "pi":
        return "<?p" + draw(st.text("qr", max_size=3)) + " " + draw(MARKUP_TEXT).replace("?", "") + "?>"
    return draw(st.sampled_from([" ", "\n", "\t\n"]))


@st.composite
def attributes(draw):
    pairs = draw(st.dictionaries(names, value_pieces, max_size=4))
    out = []
    for key, value in pairs.items():
        quote = draw(st.sampled_from(['"', "'"]))
        value = value.replace(quote, "&quot;" if quote == '"' else "&apos;")
        out.append(f"{draw(NON_EMPTY_SPACE)}{key}{draw(SPACE)}={draw(SPACE)}{quote}{value}{quote}")
    return "".join(out)


@st.composite
def element(draw, depth, used_names):
    name = draw(names)
    used_names.append(name)
    start = "<" + name + draw(attributes()) + draw(SPACE)
    items = [] if depth >= 4 else draw(st.lists(st.sampled_from(["text", "cdata", "misc", "child"]), max_size=5))
    if not items and draw(st.booleans()):
        return start + "/>"
    content = []
    for item in items:
        if item == "text":
            content.append(draw(text_pieces))
        elif item == "cdata":
            content.append("<![CDATA[" + draw(st.text(TEXT_CHARS + "<&]", max_size=8)).replace("]]", "] ]") + "]]>")
        elif item == "misc":
            content.append(draw(misc()))
        else:
            content.append(draw(element(depth + 1, used_names)))
    return start + ">" + "".join(content) + "</" + name + draw(SPACE) + ">"


@st.composite
def documents(draw):
    used_names = []
    prolog = draw(st.sampled_from(["", '<?xml version="1.0" encoding="UTF-8"?>', "<?xml version='1.0'?>\n"]))
    prolog += "".join(draw(st.lists(misc(), max_size=2)))
    body = draw(element(0, used_names))
    epilog = "".join(draw(st.lists(misc(), max_size=2)))
    root_tag = draw(st.sampled_from(used_names))
    return prolog + body + epilog, root_tag


def element_tuple(element):
    """ElementTree's element in the reader's form: text and tails of the children joined,
    then trimmed; absent when nothing is left."""
    result = []
    stack = [(element, result)]
    while stack:
        current, into = stack.pop()
        text = trim_white_space((current.text or "") + "".join(child.tail or "" for child in current))
        children = []
        into.append((current.tag, dict(current.attrib), text or None, children))
        stack.extend((child, children) for child in reversed(list(current)))
    return result[0]


def first_named(root, name):
    return next(element for element in root.iter() if element.tag == name)


def check_against_elementtree(document, root_tag, prefix=""):
    expected = element_tuple(first_named(ET.fromstring(document), root_tag))
    assert as_tuple(brindle.read_string(prefix + document, root_tag)) == expected


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(documents())
def test_generated_documents_match_elementtree(case):
    check_against_elementtree(*case)


@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(documents())
def test_generated_documents_match_elementtree_with_quote_dense_builder(case):
    document, root_tag = case
    check_against_elementtree(document, root_tag, prefix=QUOTE_DENSE_PREFIX)


@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(documents())
def test_attribute_order_is_document_order(case):
    document, root_tag = case
    expected = first_named(ET.fromstring(document), root_tag)
    assert list(brindle.read_string(document, root_tag).attrs) == list(expected.attrib)


# ---- the corpus -------------------------------------------------------------------------

# The corpus lies beside the project: <project>/../shared/corpus.
CORPUS = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                      "shared", "corpus")
# The largest document is left to the benchmark: one 20 MB read per suite run is enough.
CORPUS_FILES = ["freedesktop.org.xml.xz", "josm-boundaries.osm.xz", "Gtk-3.0.gir.xz", "ssg-ubuntu2004-ds.xml.xz"]


def expat_document_element(document):
    """The document element through expat with prefixes kept, attributes as written (no
    defaults from the document type), in the reader's form."""
    parser = xml.parsers.expat.ParserCreate()
    parser.specified_attributes = True
    parser.buffer_text = True
    root = []
    stack = []
    texts = []

    def start(name, attrs):
        node = (name, attrs, [], [])
        (stack[-1][3] if stack else root).append(node)
        stack.append(node)
        texts.append([])

    def end(name):
        node = stack.pop()
        node[2].append(trim_white_space("".join(texts.pop())) or None)

    def data(text):
        if texts:
            texts[-1].append(text)

    parser.StartElementHandler, parser.EndElementHandler, parser.CharacterDataHandler = start, end, data
    parser.Parse(document.encode(), True)
    return root[0]


def reader_form(expat_node):
    result = []
    stack = [(expat_node, result)]
    while stack:
        (name, attrs, text, children), into = stack.pop()
        converted = []
        into.append((name, attrs, text[0], converted))
        stack.extend((child, converted) for child in reversed(children))
    return result[0]


@pytest.mark.skipif(not os.path.isdir(CORPUS), reason="corpus not available")
@pytest.mark.parametrize("name", CORPUS_FILES)
def test_corpus_document_matches_expat(name):
    with lzma.open(os.path.join(CORPUS, name), "rt", encoding="utf-8") as stream:
        document = stream.read()
    expected = reader_form(expat_document_element(document))
    assert as_tuple(brindle.read_string(document, expected[0])) == expected
