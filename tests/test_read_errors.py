"""Every read error, with its exact message and byte offset, under both index builders."""

import pytest

import brindle
from read_documents import BUILDERS, in_builder, malformed, never_closed, root_not_found, unclosed, unknown_entity

M = "malformed XML at byte {}: "

# (document, root_tag, offset of the error in the document, message with {} for the offset).
# The same under both builders.
COMMON_ERRORS = [
    ("<a><?pi data></a>", "a", 3, M + "unterminated processing instruction"),
    ("<a><?pi?</a>", "a", 3, M + "unterminated processing instruction"),
    ("<a><?pi x > y", "a", 3, M + "unterminated processing instruction"),
    ("<a></a b>", "a", 3, M + "malformed end tag </a>"),
    ("<a></a \u00a0x>", "a", 3, M + "malformed end tag </a>"),
    ("<r></r x><a/>", "a", 3, M + "malformed end tag </r>"),
    ("</x><a/>", "a", 0, M + "unexpected end tag </x>"),
    ("<r></r></r><a/>", "a", 7, M + "unexpected end tag </r>"),
    ("<a><b></a>", "a", 6, M + "expected </b>, found </a>"),
    ("<a></A>", "a", 3, M + "expected </a>, found </A>"),
    ("<r><x></y><a/></r>", "a", 6, M + "expected </x>, found </y>"),
    ("<a>< b/></a>", "a", 3, M + "expected element name after '<'"),
    ("< r><a/>", "a", 0, M + "expected element name after '<'"),
    ("<></><a/>", "a", 0, M + "expected element name after '<'"),
    ('<a x="1"y="2"/>', "a", 8, M + "expected whitespace before attribute"),
    ("<a/b></a>", "a", 2, M + "expected whitespace before attribute"),
    ('<a ="1"/>', "a", 3, M + "expected attribute name"),
    ('<a x="1" \'y\'="2"/>', "a", 9, M + "expected attribute name"),
    ("<a x></a>", "a", 3, M + "attribute 'x' has no value"),
    ('<a x y="1"/>', "a", 3, M + "attribute 'x' has no value"),
    ('<a x"1"/>', "a", 3, M + "attribute 'x' has no value"),
    ("<a x=1/>", "a", 5, M + "value of attribute 'x' is not quoted"),
    ("<a x=></a>", "a", 5, M + "value of attribute 'x' is not quoted"),
    ("<a x = \t1></a>", "a", 8, M + "value of attribute 'x' is not quoted"),
    ("<a x= ></a>", "a", 6, M + "value of attribute 'x' is not quoted"),
    ('<a x="a<b"/>', "a", 7, M + "'<' is not allowed in attribute values"),
    ('<a x="&bogus;<"/>', "a", 13, M + "'<' is not allowed in attribute values"),
    ('<a x="1" x="2"/>', "a", 9, M + "duplicate attribute 'x'"),
    ('<a x="1" y="2" x="&amp;"/>', "a", 15, M + "duplicate attribute 'x'"),
    ('<r><b x="1" x="2"/><a/></r>', "a", 12, M + "duplicate attribute 'x'"),
    ("<a>AT&T</a>", "a", 5, M + "unterminated entity reference"),
    ('<a x="AT&T"/>', "a", 8, M + "unterminated entity reference"),
    ("<a>x<b/>&amp</a>", "a", 8, M + "unterminated entity reference"),
    ("<a>&nbsp;</a>", "a", 3, "unknown entity reference '&nbsp;' at byte {}"),
    ("<a>&;</a>", "a", 3, "unknown entity reference '&;' at byte {}"),
    ("<a>AT&T; x</a>", "a", 5, "unknown entity reference '&T;' at byte {}"),
    ("<a>&Lt;</a>", "a", 3, "unknown entity reference '&Lt;' at byte {}"),
    ("<a>&amp b;</a>", "a", 3, "unknown entity reference '&amp b;' at byte {}"),
    ('<a x="&e;"/>', "a", 6, "unknown entity reference '&e;' at byte {}"),
    ("<a>x</a><b", "a", 8, "malformed XML: Unclosed tag at byte {}"),
    ("<a></a", "a", 3, "malformed XML: Unclosed tag at byte {}"),
    ('<a x="1"', "a", 0, "malformed XML: Unclosed tag at byte {}"),
    ("<a>x</a><b", "zzz", 8, "malformed XML: Unclosed tag at byte {}"),
]

# An element's attribute faults come in document order, whichever kind comes first.
ORDERED_ATTRIBUTE_ERRORS = [
    ('<a x="&nbsp;" y>', "a", 6, "unknown entity reference '&nbsp;' at byte {}"),
    ('<a x="1" x="2"y>', "a", 9, M + "duplicate attribute 'x'"),
    ('<a x="1" x="&bad;"/>', "a", 12, "unknown entity reference '&bad;' at byte {}"),
    ('<a x="1" y="<" x="2"/>', "a", 12, M + "'<' is not allowed in attribute values"),
]

INVALID_CHARACTER_REFERENCES = ["#X3C", "#-65", "#", "#x", "#xD800", "#xDFFF", "#55296",
                                "#4294967296", "#x100000000", "#1114112", "#x110000", "#++65",
                                "#x+", "#+", "#65a", "#xg", "# 65", "#x 41", "#x-41"]


def check(document, root_tag, expected):
    with pytest.raises(ValueError) as caught:
        brindle.read_string(document, root_tag)
    assert str(caught.value) == expected
    assert caught.value.args == (expected,)


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("document, root_tag, offset, message", COMMON_ERRORS + ORDERED_ATTRIBUTE_ERRORS)
def test_error_and_offset_in_both_builders(builder, document, root_tag, offset, message):
    text, shift = in_builder(document, builder)
    check(text, root_tag, message.format(offset + shift))


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("name", INVALID_CHARACTER_REFERENCES)
@pytest.mark.parametrize("template, offset", [("<a>x&{};</a>", 4), ('<a k="x&{};"/>', 7)])
def test_invalid_character_reference(builder, name, template, offset):
    text, shift = in_builder(template.format(name), builder)
    check(text, "a", malformed(offset + shift, f"invalid character reference '&{name};'"))


# Documents whose error differs between the builders: (document, root_tag, direct, quote-dense),
# each a (offset, message) pair.
BUILDER_SPECIFIC_ERRORS = [
    ("<a><!-- x > y", "a", (13, M + "unexpected end of document"), (3, M + "unterminated comment")),
    ("<a><!---> y", "a", (11, M + "unexpected end of document"), (3, M + "unterminated comment")),
    ("<a><!-- x", "a", (9, M + "unexpected end of document"), (3, "malformed XML: Unclosed tag at byte {}")),
    ("<a><![CDATA[x > y", "a", (17, M + "unexpected end of document"), (3, M + "unterminated CDATA section")),
    ("<a><![CDATA[x]] >", "a", (17, M + "unexpected end of document"), (3, M + "unterminated CDATA section")),
    ("<a><![CDATA[x", "a", (13, M + "unexpected end of document"), (3, "malformed XML: Unclosed tag at byte {}")),
    ("<a><?pi", "a", (7, M + "unexpected end of document"), (3, "malformed XML: Unclosed tag at byte {}")),
    ('<a x="1></a>', "a", (6, M + "unterminated attribute value"), (0, "malformed XML: Unclosed tag at byte {}")),
    # a declaration other than a DOCTYPE stays in the character data of the quote-dense builder
    ("<a><!x><b/></a>", "a", None, (3, M + "unexpected '<'")),
    ("<r><!-- x --></r><a", "a", (17, "malformed XML: Unclosed tag at byte {}"),
     (17, "malformed XML: Unclosed tag at byte {}")),
]


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("document, root_tag, direct, quote_dense", BUILDER_SPECIFIC_ERRORS)
def test_error_specific_to_builder(builder, document, root_tag, direct, quote_dense):
    expected = direct if builder == "direct" else quote_dense
    text, shift = in_builder(document, builder)
    if expected is None:
        assert brindle.read_string(text, root_tag).name == root_tag
        return
    offset, message = expected
    check(text, root_tag, message.format(offset + shift))


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("document, root_tag", [
    ("", "a"), ("just text, no tag", "a"), ("<a/>", "b"), ("<A/>", "a"), ("<a/>", ""),
    ("<ns:a/>", "a"), ("<a />", "a "), ("<!DOCTYPE a>", "a"), ("<r><b/></r>", "r "),
    ("<!-- <a/> --><b/>", "a"), ("<r><![CDATA[<a/>]]></r>", "a"), ("<?a?><r/>", "a"),
])
def test_root_not_found(builder, document, root_tag):
    text, _ = in_builder(document, builder)
    check(text, root_tag, root_not_found(root_tag))


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("document, root_tag, innermost", [
    ("<a><b></b>", "a", "a"),
    ("<a><b>", "a", "b"),
    ("<r><a><c><d/>text", "a", "c"),
    ("<a>x &bogus", "a", "a"),
])
def test_never_closed(builder, document, root_tag, innermost):
    text, _ = in_builder(document, builder)
    check(text, root_tag, never_closed(innermost))


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("lead", ["é", "中", "😀", "\ufeff", "é中😀\ufeff"])
def test_offsets_count_utf8_bytes(builder, lead):
    # Every character before the fault moves its offset by its UTF-8 length.
    text, shift = in_builder(lead + "<a><b></a>", builder)
    check(text, "a", malformed(6 + len(lead.encode()) + shift, "expected </b>, found </a>"))


@pytest.mark.parametrize("builder", BUILDERS)
def test_offset_after_multibyte_text_and_attribute_values(builder):
    document = '<a k="é中">😀 é <b x="ü"y="1"/></a>'
    text, shift = in_builder(document, builder)
    offset = document.encode().index(b'y="1"')
    check(text, "a", malformed(offset + shift, "expected whitespace before attribute"))


@pytest.mark.parametrize("builder", BUILDERS)
def test_document_type_declares_no_entities(builder):
    document = "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>"
    text, shift = in_builder(document, builder)
    check(text, "a", unknown_entity("e", document.index("&") + shift))


def test_last_byte_lt_only_fails_in_direct_builder():
    check("<a/><", "a", unclosed(4))
    text, _ = in_builder("<a/><", "quote_dense")
    assert brindle.read_string(text, "a").name == "a"


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("document", ["<a>&#-1;<b></c>", "<a>&#-1;</b>", "<a>&#-1;<x y>"])
def test_first_error_wins(builder, document):
    text, shift = in_builder(document, builder)
    check(text, "a", malformed(3 + shift, "invalid character reference '&#-1;'"))


@pytest.mark.parametrize("length", [1, 7, 8, 9, 15, 16, 17, 40])
@pytest.mark.parametrize("changed", ["first", "middle", "last"])
def test_end_tag_names_differing_in_one_byte(length, changed):
    # Names are compared by length class (byte by byte, two words, or whole): each class
    # must see a difference wherever it lies.
    name = "".join("abcdefghij"[i % 10] for i in range(length))
    at = {"first": 0, "middle": length // 2, "last": length - 1}[changed]
    other = name[:at] + "Z" + name[at + 1:]
    assert brindle.read_string(f"<{name}><x/></{name}>", name).name == name
    end_tag_offset = len(name) + 6
    check(f"<{name}><x/></{other}>", name, M.format(end_tag_offset) + f"expected </{name}>, found </{other}>")
