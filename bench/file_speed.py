"""Writing a tree to a file: brindle's write_file against writing lxml's pretty-printed output
to a file and lxml's own ElementTree.write, each on its own tree of the same document; and
write_file's check of the tree alone, timed on a copy that it refuses at its last element,
before it opens the file."""

import os
from functools import partial

import lxml.etree

import brindle
from measure import interleaved_medians, timed

WRITERS = ("brindle", "lxml tostring + write", "lxml ElementTree.write")


def write_lxml_output(root, path):
    with open(path, "wb") as stream:
        stream.write(lxml.etree.tostring(root, pretty_print=True))


def refused_copy(tree):
    """`tree` with one more child whose text no XML document may hold."""
    bad = brindle.Node("refused", text="\x01")
    return brindle.Node(tree.name, tree.attrs, list(tree.children) + [bad], tree.text)


def check_alone(tree, path):
    try:
        brindle.write_file(tree, path)
    except ValueError:
        return
    raise AssertionError("write_file did not refuse the tree")


def medians(document, rounds, path):
    """The writers' median seconds on their trees of `document` (freed on return), and the
    seconds of one check alone."""
    ours = brindle.read_string(document.raw.decode(), document.root)
    theirs = lxml.etree.fromstring(document.raw, lxml.etree.XMLParser(huge_tree=True))
    seconds = interleaved_medians({
        "brindle": lambda: partial(brindle.write_file, ours, path),
        "lxml tostring + write": lambda: partial(write_lxml_output, theirs, path),
        "lxml ElementTree.write": lambda: partial(lxml.etree.ElementTree(theirs).write, path, pretty_print=True),
    }, rounds)
    os.remove(path)
    seconds["check alone"] = timed(partial(check_alone, refused_copy(ours), path))[0]
    return seconds


def run(documents, rounds, directory):
    """{document: {writer: median seconds, "check alone": seconds}}, printed as it goes."""
    print(f"\nWriting files (median of {rounds} interleaved rounds; MB of the document per second):\n")
    print(f"{'document':24} {'MB':>6} " + " ".join(f"{name:>22}" for name in WRITERS) + f" {'check alone':>12}")
    results = {}
    for document in documents:
        seconds = results[document.label] = medians(document, rounds, os.path.join(directory, "written.xml"))
        rates = [document.megabytes / seconds[name] for name in WRITERS + ("check alone",)]
        print(f"{document.label:24} {document.megabytes:6.1f} " + " ".join(f"{rate:22.0f}" for rate in rates[:-1]) +
              f" {rates[-1]:12.0f}", flush=True)
    return results
