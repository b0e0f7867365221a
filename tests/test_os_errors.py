"""Operating-system errors reach Python as the exception class of their kind, with the
system's description and " (os error N)" as the only argument."""

import errno
import os

import pytest

import brindle
from brindle import Node

NODE = Node("a")


def _expected(code):
    return f"{os.strerror(code)} (os error {code})"


@pytest.fixture
def symlink_loop(tmp_path):
    first, second = tmp_path / "first", tmp_path / "second"
    first.symlink_to(second)
    second.symlink_to(first)
    return str(first)


def _cases(symlink_loop, tmp_path):
    regular = tmp_path / "plain.xml"
    regular.write_text("<a/>")
    return [
        (lambda: brindle.read_file(str(tmp_path / "missing.xml"), "a"), FileNotFoundError, errno.ENOENT),
        (lambda: brindle.read_file(str(tmp_path), "a"), IsADirectoryError, errno.EISDIR),
        (lambda: brindle.read_file(str(regular / "below"), "a"), NotADirectoryError, errno.ENOTDIR),
        (lambda: brindle.read_file(symlink_loop, "a"), OSError, errno.ELOOP),
        (lambda: brindle.read_file("x" * 5000, "a"), OSError, errno.ENAMETOOLONG),
        (lambda: brindle.write_file(NODE, str(tmp_path / "no" / "such.xml")), FileNotFoundError, errno.ENOENT),
        (lambda: brindle.write_file(NODE, str(tmp_path)), IsADirectoryError, errno.EISDIR),
        (lambda: brindle.write_file(NODE, symlink_loop), OSError, errno.ELOOP),
    ]


@pytest.mark.parametrize("index", range(8))
def test_error_kind_and_text(index, symlink_loop, tmp_path):
    action, exception, code = _cases(symlink_loop, tmp_path)[index]
    with pytest.raises(exception) as caught:
        action()
    assert type(caught.value) is exception
    assert caught.value.args == (_expected(code),)
    assert caught.value.errno is None and caught.value.filename is None


def test_permission_denied_is_permission_error():
    # Even root may not create files in sysfs, so this kind is reachable in any test run.
    path = "/sys/kernel/brindle-test-file"
    if not os.path.isdir("/sys/kernel"):
        pytest.skip("no sysfs")
    with pytest.raises(PermissionError) as caught:
        brindle.write_file(NODE, path)
    assert caught.value.args == (_expected(errno.EACCES),)
