"""Working with a tree in memory: Node.from_dict on the dictionary to_dict returned,
search_by_name over the whole tree against lxml's and ElementTree's iter(tag), and str() of
the whole tree (the listing, which no peer has)."""

import xml.etree.ElementTree as ElementTree
from functools import partial

import lxml.etree

import brindle
from measure import interleaved_medians

OPERATIONS = ("from_dict", "search_by_name", "lxml iter", "ElementTree iter", "str")


# The element each generated shape has most of, for the search (the corpus documents' names
# carry prefixes, which the peers see as namespaces).
SEARCHED = {"records": "value", "attrs": "rom", "text": "para", "tiny": "i"}


def same_finds(ours, lxml_root, et_root, tag):
    counts = {len(ours.search_by_name(tag)), len(list(lxml_root.iter(tag))), len(list(et_root.iter(tag)))}
    if len(counts) != 1:
        raise AssertionError(f"the searches for {tag!r} found different numbers of elements")


def medians(document, rounds, tag):
    """Median seconds of each operation on trees of `document` (freed on return)."""
    ours = brindle.read_string(document.raw.decode(), document.root)
    lxml_root = lxml.etree.fromstring(document.raw, lxml.etree.XMLParser(huge_tree=True))
    et_root = ElementTree.fromstring(document.raw)
    same_finds(ours, lxml_root, et_root, tag)
    as_dict = ours.to_dict()
    return interleaved_medians({
        "from_dict": lambda: partial(brindle.Node.from_dict, as_dict),
        "search_by_name": lambda: partial(ours.search_by_name, tag),
        "lxml iter": lambda: lambda: list(lxml_root.iter(tag)),
        "ElementTree iter": lambda: lambda: list(et_root.iter(tag)),
        "str": lambda: partial(str, ours),
    }, rounds)


def run(documents, rounds):
    """{document: {operation: median seconds}} for the generated documents, printed as it goes."""
    print(f"\nTrees in memory (median of {rounds} interleaved rounds; MB of the document per second):\n")
    print(f"{'document':24} {'MB':>6} " + " ".join(f"{name:>16}" for name in OPERATIONS))
    results = {}
    for document in (one for one in documents if one.label in SEARCHED):
        seconds = results[document.label] = medians(document, rounds, SEARCHED[document.label])
        print(f"{document.label:24} {document.megabytes:6.1f} " +
              " ".join(f"{document.megabytes / seconds[name]:16.0f}" for name in OPERATIONS), flush=True)
    return results
