"""Writing trees back out, against the peers, one run on the generated documents.

Each library first parses the same document with its own parser (not timed), then:

  string  write_string against lxml.etree.tostring(pretty_print=True) (bytes, its default, and
          str) and ElementTree.tostring
  file    write_file against writing lxml's pretty-printed output to a file, and lxml's own
          ElementTree.write; and write_file's check of the tree alone, timed on a copy that it
          refuses at its last element, before it opens the file

Rates are MB of the generated document per second; ratio is the peer's time over ours
(above 1: brindle is faster).

Usage: python3 bench/bench_write.py [--mb 20] [--only string,file]
"""

import argparse
import os
import tempfile
import xml.etree.ElementTree as ElementTree

import lxml.etree

import generate
from measure import print_rows, timed
from brindle import Node, read_string, write_file, write_string



def bench_string(name, size, ours, lxml_root, et_root, rows):
    ours_time, text = timed(lambda: write_string(ours))
    peers = [
        ("lxml tostring(pretty)", lambda: lxml.etree.tostring(lxml_root, pretty_print=True)),
        ("lxml tostring(pretty,str)",
         lambda: lxml.etree.tostring(lxml_root, pretty_print=True, encoding="unicode")),
        ("ElementTree.tostring", lambda: ElementTree.tostring(et_root)),
    ]
    rows.append((name, f"write_string ({len(text) / 1e6:.1f} MB)", size / ours_time, "", None, None))
    del text
    for label, action in peers:
        peer_time, _ = timed(action)
        rows.append((name, "write_string", size / ours_time, label, size / peer_time, peer_time / ours_time))


def write_lxml_output(root, path):
    with open(path, "wb") as stream:
        stream.write(lxml.etree.tostring(root, pretty_print=True))


def bench_file(name, size, ours, lxml_root, directory, rows):
    path = os.path.join(directory, f"{name}.xml")
    ours_time, _ = timed(lambda: write_file(ours, path))
    peers = [
        ("lxml tostring + write", lambda: write_lxml_output(lxml_root, path)),
        ("lxml ElementTree.write",
         lambda: lxml.etree.ElementTree(lxml_root).write(path, pretty_print=True)),
    ]
    for label, action in peers:
        peer_time, _ = timed(action)
        rows.append((name, "write_file", size / ours_time, label, size / peer_time, peer_time / ours_time))
    os.remove(path)
    refused = Node(ours.name, ours.attrs, list(ours.children) + [Node("refused", text="\x01")], ours.text)
    check_time, _ = timed(lambda: refuse(lambda: write_file(refused, path)))
    rows.append((name, "write_file check alone", size / check_time, "", None, None))


def refuse(action):
    try:
        action()
    except ValueError:
        return
    raise AssertionError("the tree was not refused")



def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mb", type=float, default=generate.TARGET_BYTES / 2 ** 20)
    parser.add_argument("--only", default="string,file")
    parser.add_argument("--shapes", default=",".join(generate.SHAPES))
    args = parser.parse_args()
    parts = set(args.only.split(","))
    rows = []
    with tempfile.TemporaryDirectory() as directory:
        for name in args.shapes.split(","):
            document = generate.SHAPES[name](target=int(args.mb * 2 ** 20))
            size = len(document.encode()) / 1e6
            ours = read_string(document, generate.root_name(document))
            lxml_root = lxml.etree.fromstring(document.encode())
            et_root = ElementTree.fromstring(document)
            del document
            if "string" in parts:
                bench_string(name, size, ours, lxml_root, et_root, rows)
            if "file" in parts:
                bench_file(name, size, ours, lxml_root, directory, rows)
            del ours, lxml_root, et_root
    print_rows(rows, label_width=26)


if __name__ == "__main__":
    main()
