"""Trees as plain dictionaries: read_string + to_dict against xmltodict.parse on the same
document, and to_dict alone on a tree in memory against the floor (dict_floor.c) making the
same dicts, lists and strs from a description prepared beforehand."""

from functools import partial

import xmltodict

import brindle
import dict_floor
from measure import interleaved_medians


def read_and_convert(document):
    text = document.raw.decode()  # fresh for every run, as in read_speed
    return lambda: brindle.read_string(text, document.root).to_dict()


def checked_description(floor, tree):
    """The floor's input for `tree`, once shown to give exactly what to_dict gives."""
    expected = tree.to_dict()
    strings, description = dict_floor.flatten(expected)
    if floor.build(strings, description) != expected:
        raise AssertionError("the floor does not build what to_dict returns")
    return strings, description


def alone(document, rounds, floor):
    """Median seconds of to_dict and of the floor on one tree of `document` (freed on return)."""
    tree = brindle.read_string(document.raw.decode(), document.root)
    strings, description = checked_description(floor, tree)
    return interleaved_medians({
        "to_dict": lambda: tree.to_dict,
        "floor": lambda: partial(floor.build, strings, description),
    }, rounds)


def run(documents, rounds, floor):
    """{document: {"brindle": read+to_dict, "xmltodict": parse, "to_dict": alone, "floor": ...}}
    in median seconds, printed as it goes."""
    print(f"\nDictionaries (median of {rounds} interleaved rounds; MB of the document per second; "
          "the floor's ratio is to_dict's time over the floor's, lower is better):\n")
    print(f"{'document':24} {'MB':>6} {'read+to_dict':>12} {'xmltodict':>9} {'vs xmltodict':>12} "
          f"{'to_dict':>9} {'floor':>9} {'/ floor':>8}")
    results = {}
    for document in documents:
        seconds = interleaved_medians({
            "brindle": partial(read_and_convert, document),
            "xmltodict": lambda: partial(xmltodict.parse, document.raw),
        }, rounds)
        seconds.update(alone(document, rounds, floor))
        results[document.label] = seconds
        rate = {name: document.megabytes / value for name, value in seconds.items()}
        print(f"{document.label:24} {document.megabytes:6.1f} {rate['brindle']:12.0f} {rate['xmltodict']:9.0f} "
              f"{seconds['xmltodict'] / seconds['brindle']:11.2f}x {rate['to_dict']:9.0f} {rate['floor']:9.0f} "
              f"{seconds['to_dict'] / seconds['floor']:7.2f}x", flush=True)
    return results
