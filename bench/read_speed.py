"""Reading a document into a tree: brindle's read_string against lxml's and ElementTree's
fromstring on the same UTF-8 bytes.

brindle gets a fresh str for each run (decoded untimed), as a caller who has just read or
received the text has it: a str keeps the UTF-8 it was once asked for, and a second read of the
same object would skip that conversion."""

import xml.etree.ElementTree as ElementTree
from functools import partial

import lxml.etree

import brindle
from measure import interleaved_medians

READERS = ("brindle", "lxml", "ElementTree")


def setups(document):
    return {
        "brindle": lambda: partial(brindle.read_string, document.raw.decode(), document.root),
        "lxml": lambda: partial(lxml.etree.fromstring, document.raw, lxml.etree.XMLParser(huge_tree=True)),
        "ElementTree": lambda: partial(ElementTree.fromstring, document.raw),
    }


def run(documents, rounds):
    """{document: {reader: median seconds}}, printed as it goes."""
    print(f"\nReading (median of {rounds} interleaved rounds; MB/s, and brindle's speed over each peer's):\n")
    print(f"{'document':24} {'MB':>6} {'brindle':>9} {'lxml':>9} {'ET':>9} {'vs lxml':>8} {'vs ET':>7}")
    results = {}
    for document in documents:
        seconds = interleaved_medians(setups(document), rounds)
        results[document.label] = seconds
        rates = [document.megabytes / seconds[reader] for reader in READERS]
        print(f"{document.label:24} {document.megabytes:6.1f} " + " ".join(f"{rate:9.0f}" for rate in rates) +
              f" {seconds['lxml'] / seconds['brindle']:7.2f}x {seconds['ElementTree'] / seconds['brindle']:6.2f}x",
              flush=True)
    return results
