"""Writing a tree to a file: brindle's write_file against writing lxml's pretty-printed output
to a file and lxml's own ElementTree.write, each library in its own process (measure.py) on its
own tree of the same document; and write_file's check of the tree alone, timed on a copy that
it refuses at its last element, before it opens the file."""

import os
from functools import partial

from measure import Recipe, cpu_and_wall, interleaved_medians
from read_speed import raw_bytes

WRITERS = ("brindle", "lxml tostring + write", "lxml ElementTree.write")


def refused_copy(brindle, tree):
    """`tree` with one more child whose text no XML document may hold."""
    bad = brindle.Node("refused", text="\x01")
    return brindle.Node(tree.name, tree.attrs, list(tree.children) + [bad], tree.text)


def job(writer, path, root, out):
    raw = raw_bytes(path)
    if writer == "brindle" or writer == "check alone":
        import brindle
        tree = brindle.read_string(raw.decode(), root)
        if writer == "brindle":
            return lambda: partial(brindle.write_file, tree, out)
        refused = refused_copy(brindle, tree)

        def check_alone():
            try:
                brindle.write_file(refused, out)
            except ValueError:
                return
            raise AssertionError("write_file did not refuse the tree")
        return lambda: check_alone
    import lxml.etree
    tree = lxml.etree.fromstring(raw, lxml.etree.XMLParser(huge_tree=True))
    if writer == "lxml ElementTree.write":
        return lambda: partial(lxml.etree.ElementTree(tree).write, out, pretty_print=True)

    def write_output():
        with open(out, "wb") as stream:
            stream.write(lxml.etree.tostring(tree, pretty_print=True))
    return lambda: write_output


def run(documents, rounds, directory):
    """({document: {writer: median CPU seconds, "check alone": ...}}, the same in wall seconds),
    printed as it goes."""
    print(f"\nWriting files (median of {rounds} interleaved rounds; MB of the document per CPU second):\n")
    print(f"{'document':24} {'MB':>6} " + " ".join(f"{name:>22}" for name in WRITERS) + f" {'check alone':>12}")
    cpu, wall = {}, {}
    for document in documents:
        out = os.path.join(directory, "written.xml")
        seconds, walls = cpu_and_wall(interleaved_medians({
            name: Recipe("brindle" if name in ("brindle", "check alone") else "lxml", __name__, "job",
                         (name, document.path, document.root, out)) for name in WRITERS + ("check alone",)
        }, rounds))
        os.remove(out)
        cpu[document.label], wall[document.label] = seconds, walls
        rates = [document.megabytes / seconds[name] for name in WRITERS + ("check alone",)]
        print(f"{document.label:24} {document.megabytes:6.1f} " + " ".join(f"{rate:22.0f}" for rate in rates[:-1]) +
              f" {rates[-1]:12.0f}", flush=True)
    return cpu, wall
