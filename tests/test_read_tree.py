"""What read_string collects: the element named root_tag, its text, attributes and children."""

import pytest

import brindle
from exception_notes import expected_notes, notes_of
from read_documents import BUILDERS, as_tuple, in_builder


def read(document, root_tag, builder="direct"):
    text, _ = in_builder(document, builder)
    return brindle.read_string(text, root_tag)


# (document, root_tag, expected tree as (name, attrs, text, children)).
TREES = [
    ("<a> x <b/> y </a>", "a", ("a", {}, "x  y", [("b", {}, None, [])])),
    ("<a><![CDATA[<&>]]></a>", "a", ("a", {}, "<&>", [])),
    ("<a>  </a>", "a", ("a", {}, None, [])),
    ("<a><![CDATA[]]></a>", "a", ("a", {}, None, [])),
    ("<a> <![CDATA[ x ]]>&amp; </a>", "a", ("a", {}, "x &", [])),
    ("<r><a/></r>", "a", ("a", {}, None, [])),
    ("<a><a>in</a></a>", "a", ("a", {}, None, [("a", {}, "in", [])])),
    ("<r><a>1</a><a>&bogus;</a></r>", "a", ("a", {}, "1", [])),
    ("<a/>&bogus;", "a", ("a", {}, None, [])),
    ("<r>&bogus;<a/></r>", "a", ("a", {}, None, [])),
    ('<r x="1"y="2"><a/></r>', "a", ("a", {}, None, [])),
    ('<r><b x="1" x="2"></b><a/></r>', "a", ("a", {}, None, [])),
    ("<a>x<b>y</b>z</a>", "a", ("a", {}, "xz", [("b", {}, "y", [])])),
    ("<a>x<!-- c -->y<?p q?>z</a>", "a", ("a", {}, "xyz", [])),
    ("<a>x</a \u3000\t>", "a", ("a", {}, "x", [])),
    ("<1-é>t</1-é>", "1-é", ("1-é", {}, "t", [])),
    ("<c:type x:y='1'/>", "c:type", ("c:type", {"x:y": "1"}, None, [])),
    ('<?xml version="1.0" encoding="ISO-8859-1"?><a>é</a>', "a", ("a", {}, "é", [])),
    ("<!DOCTYPE a [<!ELEMENT a ANY>]><a>x</a>", "a", ("a", {}, "x", [])),
    ("\ufeff<a>x</a>", "a", ("a", {}, "x", [])),
    ('<a b=">">x</a>', "a", ("a", {"b": ">"}, "x", [])),
    ("<a x = '1' ></a>", "a", ("a", {"x": "1"}, None, [])),
    ('<a x="a>b" y="/>" z=""/>', "a", ("a", {"x": "a>b", "y": "/>", "z": ""}, None, [])),
    ("<a\tx='\"'\ny=\"'\"\r/>", "a", ("a", {"x": '"', "y": "'"}, None, [])),
    ("<a><![CDATA[x<y]]></a>", "a", ("a", {}, "x<y", [])),
    ("<r><b><a>deep</a></b><a>no</a></r>", "a", ("a", {}, "deep", [])),
    ("<a><b/><c>1</c><b k='v'/></a>", "a",
     ("a", {}, None, [("b", {}, None, []), ("c", {}, "1", []), ("b", {"k": "v"}, None, [])])),
    # Children without children of their own, whose text may or may not be the document's bytes.
    ("<a>x<b> y </b><c>&amp;</c><d>t</d ><e>u<!--c-->v</e><f><![CDATA[w]]></f>z</a>", "a",
     ("a", {}, "xz", [("b", {}, "y", []), ("c", {}, "&", []), ("d", {}, "t", []), ("e", {}, "uv", []),
                      ("f", {}, "w", [])])),
]


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("document, root_tag, expected", TREES)
def test_collected_tree(builder, document, root_tag, expected):
    assert as_tuple(read(document, root_tag, builder)) == expected


# Character data decoded (with the text trimmed afterwards) and attribute values decoded.
DECODED_TEXT = [
    ("a &lt; b", "a < b"),
    ("&#60;&#x3c;&#x3C;", "<<<"),
    ("&#+65;&#x+42;&#0000067;", "ABC"),
    ("&amp;amp;", "&amp;"),
    ("&amp;lt;", "&lt;"),
    ("&quot;&apos;&gt;", "\"'>"),
    ("x&#0;y", "x\x00y"),
    ("&#x10FFFF;&#128512;", "\U0010ffff\U0001f600"),
    ("&#xE9;&#233;", "éé"),
    ("x&#xFFFF;", "x\uffff"),
    ("a\tb\r\nc", "a\tb\r\nc"),
    ("&#x20;x&#xA0;&#x3000;", "x"),
    ("\u3000\u2028 x \u00a0\u0085", "x"),
    ("\x1c x \x1f", "\x1c x \x1f"),
    ("\u200b x \u200b", "\u200b x \u200b"),
]


def test_text_split_by_a_skipped_declaration_is_joined():
    assert as_tuple(read("<r><b>a<!ELEMENT x>b</b></r>", "r")) == ("r", {}, None, [("b", {}, "ab", [])])


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("raw, decoded", DECODED_TEXT)
def test_character_data_decoding(builder, raw, decoded):
    assert read(f"<a>{raw}</a>", "a", builder).text == decoded


DECODED_ATTRIBUTES = [
    ("a\tb\r\nc", "a b c"),
    ("a\rb", "a b"),
    ("a\n\nb", "a  b"),
    ("\r\r\n", "  "),
    ("\n\r", "  "),
    ("&#9;&#10;&#13;", "\t\n\r"),
    (" x ", " x "),
    ("a &lt; b &amp;&#x41;", "a < b &A"),
    ("&amp;amp;", "&amp;"),
]


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("raw, decoded", DECODED_ATTRIBUTES)
def test_attribute_value_decoding(builder, raw, decoded):
    assert read(f'<a k="{raw}"/>', "a", builder).attrs == {"k": decoded}


@pytest.mark.parametrize("count", [1, 8, 9, 100])
def test_attributes_in_document_order(count):
    names = [f"n{(i * 37) % 101}" for i in range(count)]
    document = "<a " + " ".join(f'{name}="{i}"' for i, name in enumerate(names)) + "/>"
    attrs = read(document, "a").attrs
    assert list(attrs) == names
    assert list(attrs.values()) == [str(i) for i in range(count)]


@pytest.mark.parametrize("count", [3, 9, 40])
def test_duplicate_found_among_many_attributes(count):
    document = "<a " + " ".join(f'k{i}="{i}"' for i in range(count)) + ' k1="again"/>'
    with pytest.raises(ValueError, match="duplicate attribute 'k1'"):
        read(document, "a")


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("document, root_tag, text", [
    # quotes in character data, comments, instructions and CDATA sections quote nothing
    ("<r><p>it's</p><q>1</q><p>it's</p><q>2</q></r>", "q", "1"),
    ("<r><!-- don't --><?pi it's?><![CDATA[\"]]><q>x</q></r>", "q", "x"),
    # a '>' in a DOCTYPE's literal or internal subset does not end it
    ('<!DOCTYPE r SYSTEM "a><q>1</q>"><r><q>2</q></r>', "q", "2"),
    ("<!DOCTYPE r [ <!ENTITY e '<q>1</q>'> <!-- ]> --> <?pi ]>?> ]>\n<r><q>2</q></r>", "q", "2"),
])
def test_markup_only_quotes_inside_tags(builder, document, root_tag, text):
    assert read(document, root_tag, builder).text == text


@pytest.mark.parametrize("keywords", [False, True])
def test_arguments_by_position_or_keyword(keywords):
    if keywords:
        node = brindle.read_string(root_tag="b", xml_string="<a><b>t</b></a>")
    else:
        node = brindle.read_string("<a><b>t</b></a>", "b")
    assert (node.name, node.text) == ("b", "t")


@pytest.mark.parametrize("args, exception, note", [
    ((5, "a"), TypeError, "while processing 'xml_string'"),
    (("<a/>", None), TypeError, "while processing 'root_tag'"),
    (("\ud800<a/>", "a"), UnicodeEncodeError, "while processing 'xml_string'"),
])
def test_argument_conversion_failures(args, exception, note):
    with pytest.raises(exception) as caught:
        brindle.read_string(*args)
    assert notes_of(caught.value) == expected_notes(note)


# Characters at each edge of UTF-8's lengths, in strs of each storage width (the widest
# character decides it), with ASCII runs of every length around the encoder's four at a time.
@pytest.mark.parametrize("widest", ["\xe9", "\u20ac", "\U0001f600"])
@pytest.mark.parametrize("run", [0, 1, 3, 4, 5, 9])
def test_documents_of_every_str_width_read_as_written(widest, run):
    edges = "\x7f\x80\xff" + ("\u07ff\u0800\ud7ff\ue000\uffff" if widest > "\xff" else "")
    edges += "\U00010000\U0010ffff" if widest > "\uffff" else ""
    text = "x" * run + edges + widest + "y" * run
    node = brindle.read_string(f'<a k="{text}">{text}<b/>{widest}</a>', "a")
    assert (node.attrs, node.text, node.children[0].name) == ({"k": text}, text + widest, "b")


DEPTH = 1_000_000


def test_document_a_million_levels_deep():
    document = "<d>" * DEPTH + "x" + "</d>" * DEPTH
    node = brindle.read_string(document, "d")
    levels = 1
    while node.children:
        (node,) = node.children
        levels += 1
    assert (levels, node.text) == (DEPTH, "x")


@pytest.mark.parametrize("builder, depth", [("direct", DEPTH), ("quote_dense", 100_000)])
def test_element_of_interest_deep_down(builder, depth):
    document = "<d>" * depth + "<x k='1'>t<y/></x>" + "</d>" * depth
    node = read(document, "x", builder)
    assert as_tuple(node) == ("x", {"k": "1"}, "t", [("y", {}, None, [])])
