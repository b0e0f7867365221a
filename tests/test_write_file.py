"""write_file: content, the 8192-byte buffer, errors and the state files are left in."""

import errno
import os
import subprocess
import sys
import textwrap

import pytest

import brindle
from brindle import Node
from exception_notes import expected_notes, notes_of

BUFFER = 8192


def tree_with_text(length, fill="x"):
    return Node("root", {"id": "7", "q": 'a"b'}, [
        Node("head", text="h & t"),
        Node("body", text=fill * length),
        Node("tail", children=[Node("leaf")] * 3),
    ])


def os_message(number):
    return f"{os.strerror(number)} (os error {number})"


def raising(action, exception):
    def run(*args):
        with pytest.raises(exception):
            action(*args)
    return run


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


@pytest.mark.parametrize("indent", [None, 0, 2, 7])
@pytest.mark.parametrize("declaration", [None, True, False])
def test_file_holds_what_write_string_returns(tmp_path, indent, declaration):
    node = tree_with_text(10)
    path = tmp_path / "out.xml"
    assert brindle.write_file(node, str(path), indent, declaration) is None
    assert path.read_bytes() == brindle.write_string(node, indent, declaration).encode()


@pytest.mark.parametrize("length", [
    0, 1, 8100, 8120, 8125, 8126, 8127, 8191, 8192, 8193, 16_383, 16_384, 16_385, 100_000, 1_000_003,
])
def test_single_texts_around_the_buffer_size(tmp_path, length):
    # The text lands at different fill levels of the buffer: copied in, written past it,
    # or written after a flush; the file must always be complete and in order.
    node = tree_with_text(length, fill="é")
    path = tmp_path / "out.xml"
    brindle.write_file(node, str(path))
    assert path.read_bytes() == brindle.write_string(node).encode()


@pytest.mark.parametrize("count", [1, 300, 3000])
def test_documents_larger_than_the_buffer(tmp_path, count):
    node = Node("list", children=[Node("item", {"n": str(i)}, text=f"value {i} <{i}>") for i in range(count)])
    path = tmp_path / "out.xml"
    brindle.write_file(node, str(path), 3)
    assert path.read_bytes() == brindle.write_string(node, 3).encode()


@pytest.mark.parametrize("indent", [BUFFER - 1, BUFFER, BUFFER + 1, 3 * BUFFER + 5])
def test_indentation_wider_than_the_buffer(tmp_path, indent):
    node = Node("a", children=[Node("b", children=[Node("c", text="x")]), Node("d")])
    path = tmp_path / "out.xml"
    brindle.write_file(node, str(path), indent)
    assert path.read_bytes() == brindle.write_string(node, indent).encode()


def test_existing_content_is_replaced(tmp_path):
    path = tmp_path / "out.xml"
    path.write_bytes(b"old content that is much longer than the new document " * 100)
    brindle.write_file(Node("a"), str(path), default_xml_def=False)
    assert path.read_bytes() == b"<a/>"


def test_relative_paths_use_the_working_directory(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    brindle.write_file(Node("a"), "relative.xml", default_xml_def=False)
    assert (tmp_path / "relative.xml").read_bytes() == b"<a/>"


def test_new_files_get_0666_less_the_umask(tmp_path):
    path = tmp_path / "out.xml"
    old = os.umask(0o027)
    try:
        brindle.write_file(Node("a"), str(path))
    finally:
        os.umask(old)
    assert path.stat().st_mode & 0o777 == 0o640


# --- errors ------------------------------------------------------------------------------

def make_file(tmp_path):
    (tmp_path / "plain").write_text("x")
    return str(tmp_path / "plain" / "out.xml")


@pytest.mark.parametrize("make_path, exception, number", [
    (lambda tmp: str(tmp / "missing" / "out.xml"), FileNotFoundError, errno.ENOENT),
    (lambda tmp: str(tmp), IsADirectoryError, errno.EISDIR),
    (make_file, NotADirectoryError, errno.ENOTDIR),
])
def test_open_failures(tmp_path, make_path, exception, number):
    path = make_path(tmp_path)
    before = sorted(p.name for p in tmp_path.rglob("*"))
    with pytest.raises(exception) as caught:
        brindle.write_file(Node("a"), path)
    assert caught.value.args == (os_message(number),)
    assert sorted(p.name for p in tmp_path.rglob("*")) == before


@pytest.mark.skipif(os.geteuid() == 0, reason="root may write anywhere")
def test_permission_denied(tmp_path):
    locked = tmp_path / "locked"
    locked.mkdir(mode=0o500)
    with pytest.raises(PermissionError) as caught:
        brindle.write_file(Node("a"), str(locked / "out.xml"))
    assert caught.value.args == (os_message(errno.EACCES),)


@pytest.mark.parametrize("name", ["a\0b", "\0", "out.xml\0"])
def test_nul_in_the_path_opens_nothing(tmp_path, name):
    with pytest.raises(OSError) as caught:
        brindle.write_file(Node("a"), str(tmp_path / name))
    assert type(caught.value) is OSError
    assert caught.value.args == ("file name contained an unexpected NUL byte",)
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("arguments, exception, parameter", [
    ((5, "PATH"), TypeError, "node"),
    ((Node("a"), b"PATH"), TypeError, "file_path"),
    ((Node("a"), "PATH", -1), OverflowError, "indent"),
    ((Node("a"), "PATH", "2"), TypeError, "indent"),
    ((Node("a"), "PATH", 2, 1), TypeError, "default_xml_def"),
    # the first failure in parameter order wins
    ((5, b"PATH", -1, 1), TypeError, "node"),
    ((Node("a"), "PATH", -1, 1), OverflowError, "indent"),
])
def test_conversion_failures_leave_the_file_untouched(tmp_path, arguments, exception, parameter):
    path = tmp_path / "out.xml"
    path.write_bytes(b"old")
    arguments = tuple(str(path) if a == "PATH" else a for a in arguments)
    with pytest.raises(exception) as caught:
        brindle.write_file(*arguments)
    assert notes_of(caught.value) == expected_notes(f"while processing '{parameter}'")
    assert path.read_bytes() == b"old"


def test_path_like_objects_are_refused(tmp_path):
    with pytest.raises(TypeError, match="'PosixPath' object is not an instance of 'str'"):
        brindle.write_file(Node("a"), tmp_path / "out.xml")
    assert list(tmp_path.iterdir()) == []


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="needs /dev/full")
@pytest.mark.parametrize("text_length", [0, 5000, 20_000, 200_000])
def test_a_full_device_is_an_os_error_and_leaves_no_descriptor(text_length):
    before = open_descriptors()
    with pytest.raises(OSError) as caught:
        brindle.write_file(tree_with_text(text_length), "/dev/full")
    assert type(caught.value) is OSError
    assert caught.value.args == (os_message(errno.ENOSPC),)
    assert open_descriptors() == before


@pytest.mark.parametrize("write", [
    lambda tmp, i: brindle.write_file(tree_with_text(i * 400), str(tmp / "out.xml")),
    raising(lambda tmp, i: brindle.write_file(Node("a"), str(tmp / "missing" / "x")), FileNotFoundError),
], ids=["success", "open-failure"])
def test_no_descriptor_is_left_open(tmp_path, write):
    before = open_descriptors()
    for i in range(50):
        write(tmp_path, i)
    assert open_descriptors() == before


@pytest.mark.parametrize("indent", [2 ** 62, 2 ** 64 - 1])
def test_huge_indentation_stops_before_the_first_indented_line(tmp_path, indent):
    node = Node("a", {"x": "1"}, [Node("b")])
    path = tmp_path / "out.xml"
    before = open_descriptors()
    with pytest.raises(MemoryError):
        brindle.write_file(node, str(path), indent)
    assert open_descriptors() == before
    # what was buffered before the failure reaches the file: everything up to the line break
    assert path.read_bytes() == b'<?xml version="1.0" encoding="utf-8"?>\n<a x="1">\n'


# --- the lock is released around the file calls, and interrupted calls are retried --------

FIFO_SCRIPT = textwrap.dedent("""
    import os, signal, sys, threading, time
    import brindle
    from brindle import Node

    fifo = sys.argv[1]
    node = Node("r", children=[Node("e", {"k": "v"}, text="t" * 3000)] * 200)
    expected = brindle.write_string(node).encode()
    received = []
    signals = 0

    def on_signal(number, frame):
        global signals
        signals += 1

    signal.signal(signal.SIGUSR1, on_signal)
    main = threading.get_ident()
    done = threading.Event()

    def interrupter():
        while not done.is_set():
            signal.pthread_kill(main, signal.SIGUSR1)
            time.sleep(0.002)

    def reader():
        time.sleep(0.2)  # the writer waits in open() meanwhile, interrupted again and again
        with open(fifo, "rb") as stream:
            while True:
                time.sleep(0.001)  # slow, so the writer waits on a full pipe
                chunk = stream.read(4096)
                if not chunk:
                    break
                received.append(chunk)

    threads = [threading.Thread(target=interrupter), threading.Thread(target=reader)]
    for thread in threads:
        thread.start()
    brindle.write_file(node, fifo)
    done.set()
    for thread in threads:
        thread.join()
    assert b"".join(received) == expected, "content differs"
    assert signals > 0, "no signal arrived"
    print("ok", signals)
""")


@pytest.mark.skipif(not hasattr(os, "mkfifo"), reason="needs named pipes")
def test_blocking_file_calls_release_the_lock_and_survive_signals(tmp_path):
    # A pipe whose reader is a Python thread: if open() or write() held the lock, the reader
    # could never run, so a separate process with a time limit keeps a regression from
    # hanging the test run.
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    result = subprocess.run([sys.executable, "-c", FIFO_SCRIPT, str(fifo)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("ok")
