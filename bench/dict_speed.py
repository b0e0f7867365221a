"""Trees as plain dictionaries: read_string + to_dict against xmltodict.parse on the same
document, and to_dict alone on a tree in memory against the floor (dict_floor.c) making the
same dicts, lists and strs from a description prepared beforehand. brindle, xmltodict and the
floor each run in their own process (measure.py)."""

from functools import partial

import dict_floor
from measure import Recipe, cpu_and_wall, interleaved_medians
from read_speed import raw_bytes


def read_and_convert_job(path, root):
    import brindle
    raw = raw_bytes(path)
    return lambda: (lambda text: lambda: brindle.read_string(text, root).to_dict())(raw.decode())


def xmltodict_job(path):
    import xmltodict
    raw = raw_bytes(path)
    return lambda: partial(xmltodict.parse, raw)


def to_dict_job(path, root):
    import brindle
    tree = brindle.read_string(raw_bytes(path).decode(), root)
    return lambda: tree.to_dict


def floor_job(library, path, root):
    """The floor on the description of the document's tree, once shown to give exactly what
    to_dict gives."""
    import brindle
    floor = dict_floor.load(library)
    expected = brindle.read_string(raw_bytes(path).decode(), root).to_dict()
    strings, description = dict_floor.flatten(expected)
    if floor.build(strings, description) != expected:
        raise AssertionError("the floor does not build what to_dict returns")
    del expected
    return lambda: partial(floor.build, strings, description)


def run(documents, rounds, library):
    """({document: {"brindle": read+to_dict, "xmltodict": parse, "to_dict": alone, "floor": ...}}
    in median CPU seconds, the same in wall seconds), printed as it goes."""
    print(f"\nDictionaries (median of {rounds} interleaved rounds; MB of the document per CPU second; "
          "the floor's ratio is to_dict's time over the floor's, lower is better):\n")
    print(f"{'document':24} {'MB':>6} {'read+to_dict':>12} {'xmltodict':>9} {'vs xmltodict':>12} "
          f"{'to_dict':>9} {'floor':>9} {'/ floor':>8}")
    cpu, wall = {}, {}
    for document in documents:
        where = (document.path, document.root)
        seconds, walls = cpu_and_wall(interleaved_medians({
            "brindle": Recipe("brindle", __name__, "read_and_convert_job", where),
            "xmltodict": Recipe("xmltodict", __name__, "xmltodict_job", (document.path,)),
        }, rounds))
        alone, alone_walls = cpu_and_wall(interleaved_medians({
            "to_dict": Recipe("brindle", __name__, "to_dict_job", where),
            "floor": Recipe("floor", __name__, "floor_job", (library,) + where),
        }, rounds))
        seconds.update(alone)
        walls.update(alone_walls)
        cpu[document.label], wall[document.label] = seconds, walls
        rate = {name: document.megabytes / value for name, value in seconds.items()}
        print(f"{document.label:24} {document.megabytes:6.1f} {rate['brindle']:12.0f} {rate['xmltodict']:9.0f} "
              f"{seconds['xmltodict'] / seconds['brindle']:11.2f}x {rate['to_dict']:9.0f} {rate['floor']:9.0f} "
              f"{seconds['to_dict'] / seconds['floor']:7.2f}x", flush=True)
    return cpu, wall
