"""Reading, and every way a read can fail, leaves memory flat."""

import pytest

import brindle
import generated_documents
from memcheck import COUNTS_ALLOCATOR, ROUNDS, assert_flat_memory, raising
from read_documents import QUOTE_DENSE_PREFIX

pytestmark = COUNTS_ALLOCATOR

# One document per kind of read error, several for the walk's and the scanner's paths.
FAILING_DOCUMENTS = [
    ("", "a"),
    ("<a/>", "b"),
    ("<a><b>x</b>", "a"),
    ("<a>x</a><b", "a"),
    ("<a><!-- x", "a"),
    ("<a><b></a>", "a"),
    ("<r><x></y><a/></r>", "a"),
    ("</x><a/>", "a"),
    ("<a></a b>", "a"),
    ("<a>< b/></a>", "a"),
    ('<a k="v" x="1"y="2"/>', "a"),
    ('<a ="1"/>', "a"),
    ("<a x></a>", "a"),
    ("<a x=1/>", "a"),
    ('<a x="1></a>', "a"),
    ('<a x="a<b"/>', "a"),
    ('<a x="1" y="&amp;" x="2"/>', "a"),
    ('<a ' + " ".join(f'k{i}="{i}"' for i in range(20)) + ' k3="x"/>', "a"),
    ("<a><b>text &amp; more</b>AT&T</a>", "a"),
    ("<a>&#xD800;</a>", "a"),
    ("<a><c>long text that is not small " * 4 + "&nbsp;</c></a>", "a"),
    ('<a><b k="&bogus;"/></a>', "a"),
    ("<a><?pi data></a>", "a"),
]

# Failures of the quote-dense builder alone: a declaration left in character data, and
# unterminated sections recorded instead of refused.
QUOTE_DENSE_FAILURES = [("<a><!x><b/></a>", "a"), ("<a><!-- x > y", "a"), ("<a><![CDATA[x > y", "a")]


@pytest.mark.parametrize("text, root_tag", FAILING_DOCUMENTS + [
    (QUOTE_DENSE_PREFIX + document, root_tag) for document, root_tag in FAILING_DOCUMENTS + QUOTE_DENSE_FAILURES])
def test_failing_read_is_leak_free(text, root_tag):
    assert_flat_memory(raising(lambda: brindle.read_string(text, root_tag), ValueError),
                       rounds=ROUNDS, warmup=500)


def test_successful_reads_are_leak_free():
    documents = [(generated_documents.small(), "dataset"), ("<a k='v'>t<![CDATA[c]]>&amp;<b/></a>", "a"),
                 ("<r>" + "<d>" * 50 + "x" + "</d>" * 50 + "</r>", "d")]

    def action():
        for document, root_tag in documents:
            brindle.read_string(document, root_tag)

    assert_flat_memory(action, rounds=ROUNDS // 4, warmup=200)


def test_file_reads_and_their_failures_are_leak_free(tmp_path):
    good = tmp_path / "good.xml"
    good.write_text(generated_documents.small())
    broken = tmp_path / "broken.xml"
    broken.write_text("<a><b></a>")
    not_utf8 = tmp_path / "bytes.xml"
    not_utf8.write_bytes(b"<a>\xff</a>")
    calls = [
        lambda: brindle.read_file(str(good), "dataset"),
        raising(lambda: brindle.read_file(str(broken), "a"), ValueError),
        raising(lambda: brindle.read_file(str(not_utf8), "a"), OSError),
        raising(lambda: brindle.read_file(str(tmp_path / "missing"), "a"), FileNotFoundError),
        raising(lambda: brindle.read_file(str(tmp_path), "a"), IsADirectoryError),
        raising(lambda: brindle.read_file("a\0b", "a"), OSError),
        raising(lambda: brindle.read_file(5, "a"), TypeError),
    ]

    def action():
        for call in calls:
            call()

    assert_flat_memory(action, rounds=ROUNDS // 4, warmup=200)
