"""read_file: the whole file read once, checked as UTF-8, and every system error raised as
the exception for its kind."""

import os
import threading

import pytest
from hypothesis import given, settings, strategies as st

import brindle
import generated_documents
from exception_notes import expected_notes, notes_of
from read_documents import as_tuple

DOCUMENT = '\ufeff<?xml version="1.0"?><!DOCTYPE c><c n="é">caf&#233; <i k="1">中</i></c>'


def write(tmp_path, data, name="doc.xml"):
    path = tmp_path / name
    path.write_bytes(data if isinstance(data, bytes) else data.encode())
    return path


@pytest.mark.parametrize("document, root_tag", [
    (DOCUMENT, "c"), (DOCUMENT, "i"), (generated_documents.records(target=300_000), "record"),
    (generated_documents.text(target=100_000), "book"),
])
def test_same_tree_as_read_string(tmp_path, document, root_tag):
    path = write(tmp_path, document)
    assert as_tuple(brindle.read_file(str(path), root_tag)) == as_tuple(brindle.read_string(document, root_tag))


def test_relative_path_and_keywords(tmp_path, monkeypatch):
    write(tmp_path, DOCUMENT)
    monkeypatch.chdir(tmp_path)
    node = brindle.read_file(root_tag="i", file_path="doc.xml")
    assert (node.name, node.attrs, node.text) == ("i", {"k": "1"}, "中")


@pytest.mark.parametrize("data, message", [
    (b"", "root tag <c> not found in document"),
    (b"\xef\xbb\xbf<c><d></c>", "malformed XML at byte 9: expected </d>, found </c>"),
    (b"<c>&#xD800;</c>", "malformed XML at byte 3: invalid character reference '&#xD800;'"),
])
def test_read_errors_from_files(tmp_path, data, message):
    path = write(tmp_path, data)
    with pytest.raises(ValueError) as caught:
        brindle.read_file(str(path), "c")
    assert caught.value.args == (message,)


def os_failure(path, exception_type, message):
    with pytest.raises(OSError) as caught:
        brindle.read_file(str(path), "c")
    assert type(caught.value) is exception_type
    assert caught.value.args == (message,)


def test_missing_file(tmp_path):
    os_failure(tmp_path / "missing.xml", FileNotFoundError, "No such file or directory (os error 2)")


def test_directory(tmp_path):
    os_failure(tmp_path, IsADirectoryError, "Is a directory (os error 21)")


def test_path_through_a_file(tmp_path):
    os_failure(write(tmp_path, DOCUMENT) / "inner", NotADirectoryError, "Not a directory (os error 20)")


def test_name_too_long(tmp_path):
    os_failure(tmp_path / ("n" * 5000), OSError, "File name too long (os error 36)")


def test_symbolic_link_loop(tmp_path):
    (tmp_path / "loop").symlink_to(tmp_path / "loop")
    os_failure(tmp_path / "loop", OSError, "Too many levels of symbolic links (os error 40)")


@pytest.mark.skipif(not os.path.exists("/proc/self/mem"), reason="no process memory file")
def test_failure_while_reading_after_a_successful_open():
    # Offset 0 of a process's own memory is never mapped: open succeeds, read fails.
    os_failure("/proc/self/mem", OSError, "Input/output error (os error 5)")


@pytest.mark.skipif(os.geteuid() == 0, reason="the superuser may read any file")
def test_permission_denied(tmp_path):
    path = write(tmp_path, DOCUMENT)
    path.chmod(0)
    os_failure(path, PermissionError, "Permission denied (os error 13)")


@pytest.mark.parametrize("path", ["a\0b", "\0", "doc.xml\0"])
def test_nul_in_path_is_refused_before_opening(tmp_path, monkeypatch, path):
    write(tmp_path, DOCUMENT)
    monkeypatch.chdir(tmp_path)
    os_failure(path, OSError, "file name contained an unexpected NUL byte")


INVALID_UTF8 = [
    b"\xff\xfe", b"<c>\x80</c>", b"<c>\xc0\xaf</c>", b"<c>\xc1\xbf</c>", b"<c>\xe0\x9f\xbf</c>",
    b"<c>\xed\xa0\x80</c>", b"<c>\xed\xbf\xbf</c>", b"<c>\xf0\x8f\xbf\xbf</c>", b"<c>\xf4\x90\x80\x80</c>",
    b"<c>\xf5\x80\x80\x80</c>", b"<c>\xe2\x82</c>", b"<c/>\xe2\x82", b"<c/>\xf0\x9f\x98", b"<c>\xc3</c>",
    b"<c/>" + b"x" * 16_387 + b"\xff", b"<c>" + "é".encode() * 5000 + b"\xc3\x28</c>",
]


@pytest.mark.parametrize("data", INVALID_UTF8)
def test_invalid_utf8(tmp_path, data):
    with pytest.raises(UnicodeDecodeError):
        data.decode("utf-8")  # the premise: the bytes really are not UTF-8
    os_failure(write(tmp_path, data), OSError, "stream did not contain valid UTF-8")


VALID_UTF8_TEXT = ["\u0080\u07ff", "\u0800\ud7ff\ue000\uffff", "\U00010000\U0010ffff", "é" * 3000 + "x" * 33]


@pytest.mark.parametrize("text", VALID_UTF8_TEXT)
def test_valid_utf8_at_the_boundaries(tmp_path, text):
    assert brindle.read_file(str(write(tmp_path, f"<c>{text}</c>")), "c").text == text


@settings(max_examples=300, deadline=None)
@given(st.binary(max_size=64), st.integers(min_value=0, max_value=40))
def test_utf8_check_agrees_with_python(tmp_path_factory, data, padding):
    path = tmp_path_factory.mktemp("utf8") / "doc.xml"
    content = b"<c>" + b"a" * padding + data + b"</c>"
    path.write_bytes(content)
    try:
        content.decode("utf-8")
    except UnicodeDecodeError:
        os_failure(path, OSError, "stream did not contain valid UTF-8")
        return
    try:
        brindle.read_file(str(path), "c")
    except ValueError:
        pass  # valid UTF-8 that is not well-formed XML is the reader's business


def test_file_without_a_size_is_read_to_its_end(tmp_path):
    # A pipe claims no size: the buffer must grow while the file is read.
    document = generated_documents.records(target=200_000)
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    writer = threading.Thread(target=fifo.write_text, args=(document,))
    writer.start()
    try:
        node = brindle.read_file(str(fifo), "dataset")
    finally:
        writer.join()
    assert as_tuple(node) == as_tuple(brindle.read_string(document, "dataset"))


@pytest.mark.parametrize("args, exception, note", [
    ((5, "c"), TypeError, "while processing 'file_path'"),
    (("doc.xml", b"c"), TypeError, "while processing 'root_tag'"),
    (("\udcff", "c"), UnicodeEncodeError, "while processing 'file_path'"),
])
def test_argument_conversion_failures(args, exception, note):
    with pytest.raises(exception) as caught:
        brindle.read_file(*args)
    assert notes_of(caught.value) == expected_notes(note)


def test_path_objects_are_not_accepted(tmp_path):
    with pytest.raises(TypeError) as caught:
        brindle.read_file(write(tmp_path, DOCUMENT), "c")
    assert caught.value.args == ("'PosixPath' object is not an instance of 'str'",)
