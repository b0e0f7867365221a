"""What a user finds in the module: names, docstrings, classes and re-import identity."""

import importlib
import sys

import pytest

import brindle
from brindle import Node, SearchType

EXPECTED_ALL = ["SearchType", "Node", "read_file", "read_string", "write_file", "write_string"]


def test_all_and_doc():
    assert brindle.__all__ == EXPECTED_ALL
    assert brindle.__doc__ == ""


@pytest.mark.parametrize("name, signature", [
    ("read_string", "(xml_string, root_tag)"),
    ("read_file", "(file_path, root_tag)"),
    ("write_file", "(node, file_path, indent=None, default_xml_def=None)"),
    ("write_string", "(node, indent=None, default_xml_def=None)"),
])
def test_function_surface(name, signature):
    function = getattr(brindle, name)
    assert function.__module__ == "brindle"
    assert function.__self__ is brindle
    assert function.__doc__ is None
    assert function.__text_signature__ == signature
    assert function.__name__ == name


@pytest.mark.parametrize("cls", [Node, SearchType])
def test_classes_are_builtins_and_final(cls):
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__ == cls.__name__
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def test_node_class_docs():
    assert Node.__text_signature__ == "(name, attrs=None, children=None, text=None)"
    assert SearchType.__doc__ is None
    assert Node.children.__doc__ == "Children are shared references to the same nodes, not copies."
    for prop in (Node.name, Node.attrs, Node.text):
        assert prop.__doc__ is None


@pytest.mark.parametrize("method, signature", [
    ("__to_string", "($self, spacing=None)"),
    ("search_by_name", "($self, name, depth=None)"),
    ("search_by_attr", "($self, key, depth=None)"),
    ("search_by_text", "($self, text, depth=None)"),
    ("search", "($self, by, value, depth=None)"),
    ("from_dict", "($cls, dict_)"),
    ("to_dict", "($self)"),
])
def test_method_signatures(method, signature):
    member = getattr(Node, method)
    assert member.__text_signature__ == signature
    assert member.__doc__ is None


def test_no_instance_dict_or_weakrefs():
    node = Node("a")
    with pytest.raises(AttributeError):
        node.extra = 1
    assert not hasattr(node, "__dict__")
    import weakref
    with pytest.raises(TypeError):
        weakref.ref(node)


def test_reimport_gives_same_classes():
    old_module = sys.modules.pop("brindle")
    try:
        fresh = importlib.import_module("brindle")
        assert fresh is not old_module
        assert fresh.Node is Node
        assert fresh.SearchType is SearchType
        assert fresh.SearchType.Tag is SearchType.Tag
        assert fresh.__all__ == EXPECTED_ALL
        assert fresh.read_string is not old_module.read_string
        assert fresh.read_string.__self__ is fresh
        # Nodes made through one module object are accepted by the other's functions.
        with pytest.raises(TypeError, match="'int' object is not an instance of 'Node'"):
            fresh.write_string(5)
    finally:
        sys.modules["brindle"] = old_module


def test_the_library_exports_one_symbol():
    import shutil
    import subprocess
    if shutil.which("nm") is None:
        pytest.skip("nm is not installed")
    listing = subprocess.run(["nm", "-D", "--defined-only", brindle.__file__],
                             capture_output=True, text=True, check=True).stdout
    exported = [line.split()[-1] for line in listing.splitlines() if line.strip()]
    assert exported == ["PyInit_brindle"]
