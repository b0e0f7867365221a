"""Reading a document into a tree: brindle's read_string against lxml's and ElementTree's
fromstring on the same UTF-8 bytes, each library in its own process (measure.py).

brindle gets a fresh str for each run (decoded untimed), as a caller who has just read or
received the text has it: a str keeps the UTF-8 it was once asked for, and a second read of the
same object would skip that conversion."""

from functools import partial

from measure import Recipe, cpu_and_wall, interleaved_medians

READERS = ("brindle", "lxml", "ElementTree")


def raw_bytes(path):
    with open(path, "rb") as file:
        return file.read()


# The jobs, made in each library's own process.

def brindle_job(path, root):
    import brindle
    raw = raw_bytes(path)
    return lambda: partial(brindle.read_string, raw.decode(), root)


def lxml_job(path):
    import lxml.etree
    raw = raw_bytes(path)
    return lambda: partial(lxml.etree.fromstring, raw, lxml.etree.XMLParser(huge_tree=True))


def elementtree_job(path):
    import xml.etree.ElementTree as ElementTree
    raw = raw_bytes(path)
    return lambda: partial(ElementTree.fromstring, raw)


def recipes(document):
    return {
        "brindle": Recipe("brindle", __name__, "brindle_job", (document.path, document.root)),
        "lxml": Recipe("lxml", __name__, "lxml_job", (document.path,)),
        "ElementTree": Recipe("ElementTree", __name__, "elementtree_job", (document.path,)),
    }


def run(documents, rounds):
    """({document: {reader: median CPU seconds}}, the same in wall seconds), printed as it goes."""
    print(f"\nReading (median of {rounds} interleaved rounds, each library in its own process; MB/s in CPU time, "
          "and brindle's speed over each peer's in CPU time and in wall time):\n")
    print(f"{'document':24} {'MB':>6} {'brindle':>9} {'lxml':>9} {'ET':>9} {'vs lxml':>8} {'wall':>7} {'vs ET':>7}")
    cpu, wall = {}, {}
    for document in documents:
        seconds, walls = cpu_and_wall(interleaved_medians(recipes(document), rounds))
        cpu[document.label], wall[document.label] = seconds, walls
        rates = [document.megabytes / seconds[reader] for reader in READERS]
        print(f"{document.label:24} {document.megabytes:6.1f} " + " ".join(f"{rate:9.0f}" for rate in rates) +
              f" {seconds['lxml'] / seconds['brindle']:7.2f}x {walls['lxml'] / walls['brindle']:6.2f}x"
              f" {seconds['ElementTree'] / seconds['brindle']:6.2f}x", flush=True)
    return cpu, wall
