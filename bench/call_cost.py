"""The cost of one call on a small document (about 2 KB), where the fixed work of a call
weighs most: brindle's read_string against lxml, ElementTree and xmltodict, each library in its
own process (measure.py)."""

import documents
from measure import Recipe, interleaved_medians

CALLS = 500  # per timed run


def job(reader, raw, root):
    """Reading `raw` CALLS times with `reader`, in that library's process."""
    if reader == "brindle":
        import brindle
        text = raw.decode()
        read = lambda: brindle.read_string(text, root)  # noqa: E731
    elif reader == "lxml":
        import lxml.etree
        read = lambda: lxml.etree.fromstring(raw)  # noqa: E731
    elif reader == "ElementTree":
        import xml.etree.ElementTree as ElementTree
        read = lambda: ElementTree.fromstring(raw)  # noqa: E731
    else:
        import xmltodict
        read = lambda: xmltodict.parse(raw)  # noqa: E731
    return lambda: lambda: [read() for _ in range(CALLS)]


def run(rounds):
    """{reader: microseconds of CPU per call}, printed."""
    small = documents.small()
    readers = ("brindle", "lxml", "ElementTree", "xmltodict")
    medians = interleaved_medians({name: Recipe(name, __name__, "job", (name, small.raw, small.root))
                                   for name in readers}, rounds)
    micro = {name: one.cpu / CALLS * 1e6 for name, one in medians.items()}
    print(f"\nOne call on a {len(small.raw)}-byte document (µs of CPU, median of {rounds} interleaved rounds of "
          f"{CALLS} calls):\n")
    for name, value in micro.items():
        print(f"{name:12} {value:8.1f} µs   brindle {value / micro['brindle']:5.2f}x as fast")
    return micro
