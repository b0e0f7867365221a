"""The floor row of to_dict: dict_floor.c, compiled here against this interpreter's headers,
builds a tree's dictionary form from a flat description made beforehand (see the C file for
its layout), so its time is what making those objects costs at the least."""

import importlib.machinery
import importlib.util
import os
import shutil
import subprocess
import sysconfig
from array import array

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "dict_floor.c")


class Unavailable(Exception):
    """No C compiler, or the floor did not compile."""


def build(directory):
    """The path of the floor module, compiled into `directory`."""
    compiler = os.environ.get("CC") or shutil.which("cc") or shutil.which("gcc")
    if compiler is None:
        raise Unavailable("no C compiler to build the floor")
    library = os.path.join(directory, "dict_floor" + sysconfig.get_config_var("EXT_SUFFIX"))
    command = [compiler, "-shared", "-fPIC", "-O2", "-I", sysconfig.get_paths()["include"], "-o", library, SOURCE]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise Unavailable("the floor did not compile:\n" + result.stderr)
    return library


def load(library):
    """The floor module compiled at `library`."""
    loader = importlib.machinery.ExtensionFileLoader("dict_floor", library)
    spec = importlib.util.spec_from_file_location("dict_floor", library, loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


class _Flattener:
    def __init__(self):
        self.strings = bytearray()
        self.name_ranges = array("q")
        self.name_indexes = {}
        self.nodes = array("q")

    def place(self, text):
        data = text.encode()
        self.nodes.extend((len(self.strings), len(data)))
        self.strings += data

    def name(self, text):
        index = self.name_indexes.get(text)
        if index is None:
            index = self.name_indexes[text] = len(self.name_indexes)
            data = text.encode()
            self.name_ranges.extend((len(self.strings), len(data)))
            self.strings += data
        self.nodes.append(index)

    def node(self, form):
        self.name(form["name"])
        if form["text"] is None:
            self.nodes.extend((0, -1))
        else:
            self.place(form["text"])
        self.nodes.append(len(form["attrs"]))
        for key, value in form["attrs"].items():
            self.name(key)
            self.place(value)
        self.nodes.append(len(form["children"]))


def flatten(form):
    """(strings, description) for dict_floor.build, from a dictionary form such as to_dict's."""
    flattener = _Flattener()
    pending = [form]
    while pending:
        node = pending.pop()
        flattener.node(node)
        pending.extend(reversed(node["children"]))
    description = array("q", [len(flattener.name_indexes)]) + flattener.name_ranges + flattener.nodes
    return bytes(flattener.strings), description.tobytes()
