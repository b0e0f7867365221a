"""Writing a tree out as indented text: brindle's write_string against lxml's
tostring(pretty_print=True), each on its own tree of the same document (read once, untimed)."""

from functools import partial

import lxml.etree

import brindle
from measure import interleaved_medians


def medians(document, rounds):
    """The writers' median seconds on their trees of `document` (freed on return)."""
    ours = brindle.read_string(document.raw.decode(), document.root)
    theirs = lxml.etree.fromstring(document.raw, lxml.etree.XMLParser(huge_tree=True))
    return interleaved_medians({
        "brindle": lambda: partial(brindle.write_string, ours),
        "lxml": lambda: partial(lxml.etree.tostring, theirs, pretty_print=True),
    }, rounds)


def run(documents, rounds):
    """{document: {writer: median seconds}}, printed as it goes."""
    print(f"\nWriting (median of {rounds} interleaved rounds; MB of the document per second):\n")
    print(f"{'document':24} {'MB':>6} {'brindle':>9} {'lxml':>9} {'vs lxml':>8}")
    results = {}
    for document in documents:
        seconds = results[document.label] = medians(document, rounds)
        print(f"{document.label:24} {document.megabytes:6.1f} {document.megabytes / seconds['brindle']:9.0f} "
              f"{document.megabytes / seconds['lxml']:9.0f} {seconds['lxml'] / seconds['brindle']:7.2f}x", flush=True)
    return results
