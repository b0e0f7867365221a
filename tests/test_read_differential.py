"""read_string against the standard library's parsers: generated well-formed documents
(ElementTree) and the real documents of the corpus (expat without namespace processing,
since their names carry prefixes)."""

import lzma
import os
import re
import zipfile
import xml.etree.ElementTree as ET
import xml.parsers.expat

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import brindle
from read_documents import BUILDERS, QUOTE_DENSE_PREFIX, as_tuple, in_builder, trim_white_space

# ---- generated documents -------------------------------------------------------------

NAME_START = "abcxyzABZ_éß中"
NAME_REST = NAME_START + "0189.-·"
names = st.builds(lambda first, rest: first + rest,
                  st.sampled_from(NAME_START), st.text(NAME_REST, max_size=6))
# Raw character data may hold no '<', '&' or ']' (no "]]>"). The plain documents hold no
# carriage return (the standard library turns it into a line feed, the reader keeps it) and no
# quotes; the quoted documents hold both, quotes unpaired as often as not.
TEXT_CHARS = "ab yz09.,;>=/?!-\t\n\u00a0\u0085\u2028\u3000\u200béü中😀"
QUOTED = "\"'\r"
REFERENCES = ["&lt;", "&gt;", "&amp;", "&quot;", "&apos;", "&#65;", "&#x4E2D;", "&#xA0;",
              "&#x3000;", "&#32;", "&#13;", "&#9;", "&#x1F600;", "&#0000066;"]
SPACE = st.sampled_from(["", " ", "\t", "\n", "  \n"])
NON_EMPTY_SPACE = st.sampled_from([" ", "\t", "\n", " \r\n "])
MARKUP_CHARS = "ab yz09.,;=/!\t\n中"


def alphabet(base, quoted, more=""):
    return base + (QUOTED + more if quoted else "")


def text_pieces(quoted):
    return st.lists(st.one_of(st.text(alphabet(TEXT_CHARS, quoted), min_size=1, max_size=8),
                              st.sampled_from(REFERENCES)), max_size=5).map("".join)


def value_pieces(quoted):
    """Attribute values may always hold carriage returns: both sides turn every line break into a space."""
    return st.lists(st.one_of(st.text(alphabet(TEXT_CHARS + "\r]", quoted), min_size=1, max_size=8),
                              st.sampled_from(REFERENCES)), max_size=4).map("".join)


def markup_text(quoted):
    """The inside of a comment or processing instruction; quoted ones may also hold '>', '[' and ']'."""
    return st.text(alphabet(MARKUP_CHARS, quoted, ">[]"), max_size=10)


@st.composite
def misc(draw, quoted=False):
    """A comment, a processing instruction or white space: nothing a tree keeps."""
    kind = draw(st.sampled_from(["comment", "pi", "space"]))
    if kind == "comment":
        return "<!--" + draw(markup_text(quoted)).replace("-", "") + "-->"
    if kind == "pi":
        return "<?p" + draw(st.text("qr", max_size=3)) + " " + draw(markup_text(quoted)).replace("?", "") + "?>"
    return draw(st.sampled_from([" ", "\n", "\t\n"]))


@st.composite
def attributes(draw, quoted=False):
    """Each value in either quote; a value holds the other quote raw and its own as a reference."""
    pairs = draw(st.dictionaries(names, value_pieces(quoted), max_size=4))
    out = []
    for key, value in pairs.items():
        quote = draw(st.sampled_from(['"', "'"]))
        value = value.replace(quote, "&quot;" if quote == '"' else "&apos;")
        out.append(f"{draw(NON_EMPTY_SPACE)}{key}{draw(SPACE)}={draw(SPACE)}{quote}{value}{quote}")
    return "".join(out)


@st.composite
def element(draw, depth, used_names, quoted=False):
    name = draw(names)
    used_names.append(name)
    start = "<" + name + draw(attributes(quoted)) + draw(SPACE)
    items = [] if depth >= 4 else draw(st.lists(st.sampled_from(["text", "cdata", "misc", "child"]), max_size=5))
    if not items and draw(st.booleans()):
        return start + "/>"
    content = []
    for item in items:
        if item == "text":
            content.append(draw(text_pieces(quoted)))
        elif item == "cdata":
            cdata = draw(st.text(alphabet(TEXT_CHARS + "<&]", quoted), max_size=8)).replace("]]", "] ]")
            content.append("<![CDATA[" + cdata + "]]>")
        elif item == "misc":
            content.append(draw(misc(quoted)))
        else:
            content.append(draw(element(depth + 1, used_names, quoted)))
    return start + ">" + "".join(content) + "</" + name + draw(SPACE) + ">"


# A document type declaration whose literals, comments and instructions hold what ends or opens
# markup elsewhere. Entities are declared but never referenced, attributes are declared CDATA
# and #IMPLIED: neither changes what a conforming parser reports.
def literal(body):
    """A literal in either quote; the body keeps the quotes of the other kind it holds."""
    return st.tuples(st.sampled_from(['"', "'"]), body).map(
        lambda pair: pair[0] + pair[1].replace(pair[0], "") + pair[0])


SYSTEM_LITERAL = literal(st.text("a ./<>[]\"'", max_size=8))
# A public identifier allows no '"', '<', '>', '[' or ']'.
PUBLIC_LITERAL = literal(st.text("ab -()+,./:=?;!*@$_%'", max_size=8))
ENTITY_VALUE = literal(st.lists(st.sampled_from(
    ["<p>x</p>", "<q a='1' b=\"2\"/>", "]]>", "<![CDATA[", "<!-- c -->", "<?p d?>", ">", "[", "]", " ", "x",
     '"', "'", "&#60;", "&amp;", "<!DOCTYPE"]), min_size=1, max_size=5).map("".join))
S = st.sampled_from([" ", "\n", "\t", " \r\n"])
OPTIONAL_S = st.sampled_from(["", " ", "\n"])
CONTENT_MODELS = ["ANY", "EMPTY", "(#PCDATA)", "(#PCDATA|a|b)*", "(a,(b|c)?)+"]


@st.composite
def external_id(draw, public_only=False):
    if draw(st.booleans()):
        return "SYSTEM" + draw(S) + draw(SYSTEM_LITERAL)
    public = "PUBLIC" + draw(S) + draw(PUBLIC_LITERAL)
    return public if public_only and draw(st.booleans()) else public + draw(S) + draw(SYSTEM_LITERAL)


@st.composite
def declaration(draw):
    kind = draw(st.sampled_from(["element", "attlist", "notation", "entity", "parameter entity", "misc"]))
    if kind == "misc":
        return draw(misc(quoted=True))
    name = draw(names)
    if kind == "element":
        body = draw(st.sampled_from(CONTENT_MODELS))
    elif kind == "attlist":
        body = "".join(draw(S) + attribute + draw(S) + "CDATA" + draw(S) + "#IMPLIED"
                       for attribute in draw(st.lists(names, max_size=3)))
    elif kind == "notation":
        body = draw(external_id(public_only=True))
    elif kind == "entity":
        body = draw(st.one_of(ENTITY_VALUE, external_id(),
                              st.builds(lambda eid, space, n: eid + space + "NDATA " + n, external_id(), S, names)))
    else:
        name = "%" + draw(S) + name
        body = draw(st.one_of(ENTITY_VALUE, external_id()))
    keyword = {"parameter entity": "ENTITY"}.get(kind, kind.upper())
    return f"<!{keyword}{draw(S)}{name}{draw(S)}{body}{draw(OPTIONAL_S)}>"


@st.composite
def document_type(draw):
    declaration_text = "<!DOCTYPE" + draw(S) + draw(names)
    if draw(st.booleans()):
        declaration_text += draw(S) + draw(external_id())
    if draw(st.booleans()):
        subset = draw(st.lists(st.one_of(declaration(), S), max_size=6))
        declaration_text += draw(OPTIONAL_S) + "[" + "".join(subset) + "]"
    return declaration_text + draw(OPTIONAL_S) + ">"


@st.composite
def documents(draw, quoted=False):
    used_names = []
    prolog = draw(st.sampled_from(["", '<?xml version="1.0" encoding="UTF-8"?>', "<?xml version='1.0'?>\n"]))
    prolog += "".join(draw(st.lists(misc(quoted), max_size=2)))
    if quoted and draw(st.booleans()):
        prolog += draw(document_type()) + "".join(draw(st.lists(misc(quoted), max_size=2)))
    body = draw(element(0, used_names, quoted))
    epilog = "".join(draw(st.lists(misc(quoted), max_size=2)))
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
    """The document element (of a str, or of bytes in their declared encoding) through expat with
    prefixes kept and attributes as written (no defaults from the document type)."""
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
    parser.Parse(document.encode() if isinstance(document, str) else document, True)
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


# ---- quotes everywhere and a document type, against expat --------------------------------

LINE_END_RUN = re.compile("[\r\n]+")


def line_ends_joined(tree):
    """The tree with every run of CR and LF in its texts made one LF. The reader keeps CR in
    character data; expat turns CR LF and CR into LF before it expands references, so a CR from
    `&#13;` next to a raw line end leaves runs of different lengths on the two sides."""
    result = []
    stack = [(tree, result)]
    while stack:
        (name, attrs, text, children), into = stack.pop()
        converted = []
        into.append((name, attrs, text and LINE_END_RUN.sub("\n", text), converted))
        stack.extend((child, converted) for child in reversed(children))
    return result[0]


def first_named_tuple(tree, name):
    stack = [tree]
    while stack:
        node = stack.pop()
        if node[0] == name:
            return node
        stack.extend(reversed(node[3]))
    raise LookupError(name)


def read_in_builder(document, root_tag, builder):
    return as_tuple(brindle.read_string(in_builder(document, builder)[0], root_tag))


@settings(max_examples=250, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(case=documents(quoted=True))
@pytest.mark.parametrize("builder", BUILDERS)
def test_quotes_and_document_types_match_expat(builder, case):
    document, root_tag = case
    expected = first_named_tuple(reader_form(expat_document_element(document)), root_tag)
    assert line_ends_joined(read_in_builder(document, root_tag, builder)) == line_ends_joined(expected)


# ---- the W3C XML Conformance Test Suite --------------------------------------------------

CONFORMANCE_ZIP = os.path.join(os.path.dirname(CORPUS), "conformance", "xmlts20130923.zip")
DECLARED_ENTITY_REFERENCE = re.compile(r"&(?!(?:lt|gt|amp|quot|apos|#[0-9]+|#x[0-9a-fA-F]+);)[^\s;<&]+;")


def catalogue_document(text):
    """A catalogue as a document: the ones written as external entities (several top-level
    elements) are wrapped, without their text declaration, as the suite's index includes them."""
    try:
        expat_document_element(text)
        return text
    except xml.parsers.expat.ExpatError:
        return "<TESTCASES>" + re.sub(r"^<\?xml[^>]*\?>", "", text) + "</TESTCASES>"


@pytest.fixture(scope="session")
def conformance(tmp_path_factory):
    """The suite's catalogues and the files of its cases, as (name, text, expat's document element
    in the reader's form, or None when brindle should only answer). Compared: the catalogues and
    the valid and invalid cases in UTF-8 that expat reads, that declare no entities and no
    attribute lists and refer to no entity beyond the predefined ones (expat would skip such a
    reference, or drop it from an attribute value, for want of the external declarations it
    does not load)."""
    if not os.path.isfile(CONFORMANCE_ZIP):
        pytest.skip("conformance suite not available")
    root = tmp_path_factory.mktemp("conformance")
    with zipfile.ZipFile(CONFORMANCE_ZIP) as archive:
        archive.extractall(root)
    root = os.path.join(root, "xmlconf")

    def text_of(name):
        with open(os.path.join(root, name), "rb") as stream:
            return stream.read().decode("utf-8")

    with open(os.path.join(root, "xmlconf.xml"), encoding="utf-8") as stream:
        catalogues = re.findall(r'<!ENTITY\s+\S+\s+SYSTEM\s+"([^"]+)"', stream.read())
    documents = []
    for catalogue in catalogues:
        text = catalogue_document(text_of(catalogue))
        documents.append((catalogue, text, "valid"))
        for case in ET.fromstring(text).iter("TEST"):
            name = os.path.normpath(os.path.join(os.path.dirname(catalogue), case.get("URI")))
            try:
                documents.append((name, text_of(name), case.get("TYPE")))
            except UnicodeDecodeError:
                pass
    result = []
    for name, text, kind in documents:
        expected = None
        if (kind in ("valid", "invalid") and "<!ENTITY" not in text and "<!ATTLIST" not in text
                and not DECLARED_ENTITY_REFERENCE.search(text)):
            try:
                expected = reader_form(expat_document_element(text.encode()))
            except xml.parsers.expat.ExpatError:
                pass
        result.append((name, text, expected))
    return result


@pytest.mark.parametrize("builder", BUILDERS)
def test_conformance_documents_match_expat(conformance, builder):
    compared = [(name, text, expected) for name, text, expected in conformance if expected is not None]
    assert len(compared) > 300
    differing = []
    for name, text, expected in compared:
        try:
            got = line_ends_joined(read_in_builder(text, expected[0], builder))
        except ValueError as error:
            got = str(error)
        if got != line_ends_joined(expected):
            differing.append(name)
    assert not differing, f"{len(differing)} of {len(compared)} differ: {differing}"


@pytest.mark.parametrize("builder", BUILDERS)
def test_other_conformance_documents_get_an_answer(conformance, builder):
    """A node or a ValueError, never another failure, whatever the first element-like name is."""
    for name, text, expected in conformance:
        if expected is None:
            guess = re.search(r"<([^\s/>!?]+)", text)
            try:
                brindle.read_string(in_builder(text, builder)[0], guess.group(1) if guess else "doc")
            except ValueError:
                pass
