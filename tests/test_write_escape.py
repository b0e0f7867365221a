"""Escaping of element text and attribute values."""

import pytest

import brindle
from brindle import Node


def as_text(value):
    written = brindle.write_string(Node("a", text=value), default_xml_def=False)
    assert written.startswith("<a>") and written.endswith("</a>")
    return written[len("<a>"):-len("</a>")]


def as_attribute(value):
    written = brindle.write_string(Node("a", {"k": value}), default_xml_def=False)
    assert written.startswith('<a k="') and written.endswith('"/>')
    return written[len('<a k="'):-len('"/>')]


BOTH_MODES = [("&", "&amp;"), ("<", "&lt;"), (">", "&gt;"), ('"', "&quot;"), ("'", "&apos;"),
              ("\r", "&#13;")]
ATTRIBUTE_ONLY = [("\t", "&#9;"), ("\n", "&#10;")]


@pytest.mark.parametrize("character, reference", BOTH_MODES)
@pytest.mark.parametrize("write", [as_text, as_attribute])
def test_markup_characters_in_both_modes(write, character, reference):
    assert write(character) == reference
    assert write(f"x{character}y{character}{character}") == f"x{reference}y{reference}{reference}"


@pytest.mark.parametrize("character, reference", ATTRIBUTE_ONLY)
def test_white_space_is_raw_in_text_and_referenced_in_attributes(character, reference):
    assert as_text(f"a{character}b") == f"a{character}b"
    assert as_attribute(f"a{character}b") == f"a{reference}b"


@pytest.mark.parametrize("write, value, expected", [
    (as_text, "a<b", "a&lt;b"),
    (as_attribute, "a<b", "a&lt;b"),
    (as_text, "a & b's \"c\" > d", "a &amp; b&apos;s &quot;c&quot; &gt; d"),
    (as_text, "]]>", "]]&gt;"),
    (as_text, "&amp;", "&amp;amp;"),
    (as_attribute, "&#10;", "&amp;#10;"),
    (as_attribute, "line\r\nnext", "line&#13;&#10;next"),
    (as_text, "line\r\nnext", "line&#13;\nnext"),
    (as_attribute, "\t\n\r", "&#9;&#10;&#13;"),
    (as_text, "<<>>", "&lt;&lt;&gt;&gt;"),
])
def test_examples(write, value, expected):
    assert write(value) == expected


@pytest.mark.parametrize("value", [
    "é", "caf\u00e9 \u4e2d\u6587", "\U0001F600 beyond the basic plane", "\x7f\x80\x9f",
    "\ufffd\uffef\U0010ffff", "plain words only",
])
@pytest.mark.parametrize("write", [as_text, as_attribute])
def test_everything_else_is_unchanged(write, value):
    assert write(value) == value


def test_empty_values_write_nothing():
    assert brindle.write_string(Node("a", {"k": ""}, text=""), default_xml_def=False) == '<a k=""></a>'


def test_the_output_is_utf8_bytes_of_the_input(tmp_path):
    value = "\u00e9\U0001F600<"
    path = tmp_path / "out.xml"
    brindle.write_file(Node("a", {"k": value}, text=value), str(path), default_xml_def=False)
    expected = '<a k="\u00e9\U0001F600&lt;">\u00e9\U0001F600&lt;</a>'.encode()
    assert path.read_bytes() == expected


@pytest.mark.parametrize("length", [1, 7, 8, 9, 4095, 4096, 8191, 8192, 8193, 70_000])
@pytest.mark.parametrize("special", ["&", "\n"])
def test_long_runs_around_references(length, special):
    value = "x" * length + special + "y" * length + special
    text_ref = {"&": "&amp;", "\n": "\n"}[special]
    attr_ref = {"&": "&amp;", "\n": "&#10;"}[special]
    assert as_text(value) == "x" * length + text_ref + "y" * length + text_ref
    assert as_attribute(value) == "x" * length + attr_ref + "y" * length + attr_ref


def test_every_ascii_character_xml_allows():
    value = "\t\n\r" + "".join(map(chr, range(0x20, 0x80)))
    assert as_text(value) == expected(value, dict(BOTH_MODES))
    assert as_attribute(value) == expected(value, dict(BOTH_MODES + ATTRIBUTE_ONLY))


def expected(value, table):
    return "".join(table.get(c, c) for c in value)


@pytest.mark.parametrize("special", [c for c, _ in BOTH_MODES + ATTRIBUTE_ONLY])
@pytest.mark.parametrize("filler", ["a", "é", "\U0001F600"])
def test_a_special_character_at_every_position(special, filler):
    # Plain text is searched in blocks; every position inside and across the blocks counts.
    text_table = dict(BOTH_MODES)
    attribute_table = dict(BOTH_MODES + ATTRIBUTE_ONLY)
    for length in range(1, 50):
        for position in range(length):
            value = filler * position + special + filler * (length - position - 1)
            assert as_text(value) == expected(value, text_table), (length, position)
            assert as_attribute(value) == expected(value, attribute_table), (length, position)
