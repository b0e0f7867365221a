"""Writing a tree out as indented text: brindle's write_string against lxml's
tostring(pretty_print=True), each library in its own process on its own tree of the same
document (read once, untimed)."""

from functools import partial

from measure import Recipe, cpu_and_wall, interleaved_medians
from read_speed import raw_bytes


def brindle_job(path, root):
    import brindle
    tree = brindle.read_string(raw_bytes(path).decode(), root)
    return lambda: partial(brindle.write_string, tree)


def lxml_job(path):
    import lxml.etree
    tree = lxml.etree.fromstring(raw_bytes(path), lxml.etree.XMLParser(huge_tree=True))
    return lambda: partial(lxml.etree.tostring, tree, pretty_print=True)


def run(documents, rounds):
    """({document: {writer: median CPU seconds}}, the same in wall seconds), printed as it goes."""
    print(f"\nWriting (median of {rounds} interleaved rounds; MB of the document per CPU second):\n")
    print(f"{'document':24} {'MB':>6} {'brindle':>9} {'lxml':>9} {'vs lxml':>8} {'wall':>7}")
    cpu, wall = {}, {}
    for document in documents:
        seconds, walls = cpu_and_wall(interleaved_medians({
            "brindle": Recipe("brindle", __name__, "brindle_job", (document.path, document.root)),
            "lxml": Recipe("lxml", __name__, "lxml_job", (document.path,)),
        }, rounds))
        cpu[document.label], wall[document.label] = seconds, walls
        print(f"{document.label:24} {document.megabytes:6.1f} {document.megabytes / seconds['brindle']:9.0f} "
              f"{document.megabytes / seconds['lxml']:9.0f} {seconds['lxml'] / seconds['brindle']:7.2f}x "
              f"{walls['lxml'] / walls['brindle']:6.2f}x", flush=True)
    return cpu, wall
