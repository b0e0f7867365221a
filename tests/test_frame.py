"""The call frame: argument binding, conversions with their notes, and internal failures."""

import collections.abc

import pytest

import brindle
from brindle import Node, SearchType
from exception_notes import expected_notes, notes_of

NODE = Node("a")


def _to_string(node, *args, **kwargs):
    return getattr(node, "__to_string")(*args, **kwargs)


@pytest.mark.parametrize("call, message", [
    (lambda: brindle.read_string("<a/>"),
     "read_string() missing 1 required positional argument: 'root_tag'"),
    (lambda: brindle.read_string(),
     "read_string() missing 2 required positional arguments: 'xml_string' and 'root_tag'"),
    (lambda: brindle.write_file(),
     "write_file() missing 2 required positional arguments: 'node' and 'file_path'"),
    (lambda: brindle.read_string("a", "b", "c"),
     "read_string() takes 2 positional arguments but 3 were given"),
    (lambda: brindle.write_string(NODE, 1, True, 4),
     "write_string() takes from 1 to 3 positional arguments but 4 were given"),
    (lambda: Node.from_dict({}, {}),
     "Node.from_dict() takes 1 positional arguments but 2 were given"),
    (lambda: _to_string(NODE, 1, 2),
     "Node.__to_string() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda: brindle.read_string(xml_string="<a/>", root_tag="a", extra=1),
     "read_string() got an unexpected keyword argument 'extra'"),
    (lambda: brindle.read_string("<a/>", "a", xml_string="<a/>"),
     "read_string() got multiple values for argument 'xml_string'"),
    (lambda: NODE.search(),
     "Node.search() missing 2 required positional arguments: 'by' and 'value'"),
    (lambda: NODE.search_by_name(depth=1),
     "Node.search_by_name() missing 1 required positional argument: 'name'"),
    (lambda: Node(),
     "Node.__new__() missing 1 required positional argument: 'name'"),
    (lambda: Node("a", None, None, None, None),
     "Node.__new__() takes from 1 to 4 positional arguments but 5 were given"),
    (lambda: Node("a", name="b"),
     "Node.__new__() got multiple values for argument 'name'"),
    (lambda: Node("a", foo=1),
     "Node.__new__() got an unexpected keyword argument 'foo'"),
])
def test_binding_messages_have_no_note(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message
    assert notes_of(caught.value) is None


def test_surplus_positional_comes_before_keywords():
    with pytest.raises(TypeError, match=r"takes 2 positional arguments but 3 were given"):
        brindle.read_string("a", "b", "c", bogus=1)


def test_to_dict_refuses_arguments_through_the_interpreter():
    with pytest.raises(TypeError, match="takes no arguments"):
        NODE.to_dict(1)


@pytest.mark.parametrize("call, exception, message, param", [
    (lambda: brindle.read_string(5, "a"), TypeError, "'int' object is not an instance of 'str'", "xml_string"),
    (lambda: brindle.read_string(None, "a"), TypeError, "'None' is not an instance of 'str'", "xml_string"),
    (lambda: brindle.read_string("<a/>", b"a"), TypeError, "'bytes' object is not an instance of 'str'",
     "root_tag"),
    (lambda: brindle.read_file(3.5, "a"), TypeError, "'float' object is not an instance of 'str'", "file_path"),
    (lambda: brindle.write_string("x"), TypeError, "'str' object is not an instance of 'Node'", "node"),
    (lambda: brindle.write_string(NODE, default_xml_def=1), TypeError,
     "'int' object is not an instance of 'bool'", "default_xml_def"),
    (lambda: brindle.write_string(NODE, indent="2"), TypeError, None, "indent"),
    (lambda: brindle.write_string(NODE, indent=-1), OverflowError, None, "indent"),
    (lambda: brindle.write_string(NODE, indent=2 ** 64), OverflowError, None, "indent"),
    (lambda: brindle.write_file(NODE, None), TypeError, "'None' is not an instance of 'str'", "file_path"),
    (lambda: NODE.search_by_name("a", 2 ** 31), OverflowError,
     "out of range integral type conversion attempted", "depth"),
    (lambda: NODE.search_by_name("a", -2 ** 31 - 1), OverflowError,
     "out of range integral type conversion attempted", "depth"),
    (lambda: NODE.search_by_name("a", 2 ** 70), OverflowError, None, "depth"),
    (lambda: NODE.search_by_name("a", 1.0), TypeError, None, "depth"),
    (lambda: _to_string(NODE, 256), OverflowError, "out of range integral type conversion attempted", "spacing"),
    (lambda: _to_string(NODE, -1), OverflowError, "out of range integral type conversion attempted", "spacing"),
    (lambda: NODE.search("Tag", "a"), TypeError, "'str' object is not an instance of 'SearchType'", "by"),
    (lambda: brindle.read_string("\ud800", "a"), UnicodeEncodeError, None, "xml_string"),
])
def test_conversion_failures_carry_the_note(call, exception, message, param):
    with pytest.raises(exception) as caught:
        call()
    if message is not None:
        assert str(caught.value) == message
    assert notes_of(caught.value) == expected_notes(f"while processing '{param}'")


class _Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize("indent", [True, _Index(3), 0, 2 ** 64 - 1])
def test_unsigned_conversion_accepts_the_index_protocol(indent):
    assert brindle.write_string(NODE, indent=indent, default_xml_def=False) == "<a/>"


def test_numpy_bool_is_a_flag():
    numpy = pytest.importorskip("numpy")
    with_declaration = brindle.write_string(NODE, default_xml_def=numpy.bool_(True))
    without = brindle.write_string(NODE, default_xml_def=numpy.bool_(False))
    assert with_declaration.startswith("<?xml")
    assert without == "<a/>"
    with pytest.raises(TypeError, match="'int64' object is not an instance of 'bool'"):
        brindle.write_string(NODE, default_xml_def=numpy.int64(1))


def test_type_name_that_cannot_be_read():
    class Meta(type):
        def __getattribute__(cls, name):
            if name == "__qualname__":
                raise RuntimeError("no name")
            return super().__getattribute__(name)

    odd = Meta("Odd", (), {})()
    with pytest.raises(TypeError) as caught:
        Node(odd)
    assert str(caught.value) == "'<failed to extract type name>' object is not an instance of 'str'"


def _panic_exception_class():
    """The internal-failure class is not a module attribute; an internal failure shows it."""

    class Mutating(collections.abc.Sequence):
        def __init__(self, owner):
            self.owner = owner

        def __len__(self):
            return 0

        def __getitem__(self, index):
            self.owner["late"] = "x"
            raise IndexError(index)

    form = {"name": "a", "attrs": {}}
    form["children"] = Mutating(form)
    try:
        Node.from_dict(form)
    except Exception as error:  # pragma: no cover - an ordinary exception means no panic
        pytest.fail(f"expected an internal failure, got {error!r}")
    except BaseException as panic:
        assert str(panic) == "dictionary changed size during iteration"
        return type(panic)
    pytest.fail("no internal failure")


def test_panic_exception_class():
    panic = _panic_exception_class()
    assert panic.__name__ == "PanicException"
    assert issubclass(panic, BaseException) and not issubclass(panic, Exception)
    assert panic.__module__ != "brindle"
    assert "BaseException" in panic.__doc__
    assert not hasattr(brindle, "PanicException")
    assert _panic_exception_class() is panic  # created once


def test_panic_raised_by_python_code_becomes_a_new_panic(capfd):
    panic = _panic_exception_class()

    class Exploding(collections.abc.Sequence):
        def __len__(self):
            return 1

        def __getitem__(self, index):
            raise panic("boom from Python")

    with pytest.raises(panic) as caught:
        Node("a", children=Exploding())
    assert str(caught.value) == "boom from Python"
    assert "boom from Python" in capfd.readouterr().err


def test_user_exception_from_sequence_keeps_its_class():
    class Failing(collections.abc.Sequence):
        def __len__(self):
            raise ValueError("length unknown")  # asking for the length may fail: ignored

        def __getitem__(self, index):
            if index == 1:
                raise KeyError("broken")
            return NODE

    with pytest.raises(KeyError) as caught:
        Node("a", children=Failing())
    assert notes_of(caught.value) == expected_notes("while processing 'children'")
