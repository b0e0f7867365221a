"""Working with trees, against the peers, one run on the generated documents:

  to_dict    read_string + to_dict against xmltodict.parse (MB/s of document, and the ratio)
  from_dict  Node.from_dict on the dictionary that to_dict returned
  search     search_by_name over the whole tree against lxml's and ElementTree's iter(tag)
  str        str() of the whole tree (the listing; no peer has one)

Usage: python3 bench/bench_trees.py [--mb 20] [--only to_dict,from_dict,search,str]
"""

import argparse
import xml.etree.ElementTree as ElementTree

import lxml.etree
import xmltodict

import generate
from measure import megabytes, print_rows, timed
from brindle import Node, read_string

PARTS = set()  # the parts chosen with --only

# The element each shape has most of, for the search comparison.
SEARCHED_TAG = {"records": "value", "attrs": "rom", "text": "para", "tiny": "i"}


def bench_to_dict(name, document, rows):
    root = generate.root_name(document)
    size = megabytes(document)
    ours, as_dict = timed(lambda: read_string(document, root).to_dict())
    theirs, _ = timed(lambda: xmltodict.parse(document))
    rows.append((name, "read_string+to_dict", size / ours, "xmltodict.parse", size / theirs, theirs / ours))
    read_only, _ = timed(lambda: read_string(document, root))
    rows.append((name, "(read_string alone)", size / read_only, "", None, None))
    if "from_dict" in PARTS:
        back, _ = timed(lambda: Node.from_dict(as_dict))
        rows.append((name, "from_dict", size / back, "", None, None))


def bench_search(name, document, rows):
    tag = SEARCHED_TAG[name]
    ours = read_string(document, generate.root_name(document))
    lxml_root = lxml.etree.fromstring(document.encode())
    et_root = ElementTree.fromstring(document)
    size = megabytes(document)
    ours_time, found = timed(lambda: ours.search_by_name(tag))
    lxml_time, lxml_found = timed(lambda: list(lxml_root.iter(tag)))
    et_time, et_found = timed(lambda: list(et_root.iter(tag)))
    assert len(found) == len(lxml_found) == len(et_found)
    rows.append((name, "search_by_name", size / ours_time, "lxml iter(tag)", size / lxml_time, lxml_time / ours_time))
    rows.append((name, "search_by_name", size / ours_time, "ElementTree iter(tag)", size / et_time,
                 et_time / ours_time))


def bench_str(name, document, rows):
    tree = read_string(document, generate.root_name(document))
    size = megabytes(document)
    ours, listing = timed(lambda: str(tree))
    rows.append((name, f"str ({len(listing) / 1e6:.0f} MB)", size / ours, "", None, None))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mb", type=float, default=generate.TARGET_BYTES / 2 ** 20)
    parser.add_argument("--only", default="to_dict,from_dict,search,str")
    arguments = parser.parse_args()
    parts = PARTS
    parts.update(arguments.only.split(","))
    rows = []
    for name, make in generate.SHAPES.items():
        document = make(int(arguments.mb * 2 ** 20))
        if "to_dict" in parts:
            bench_to_dict(name, document, rows)
        if "search" in parts:
            bench_search(name, document, rows)
        if "str" in parts:
            bench_str(name, document, rows)
    print_rows(rows)


if __name__ == "__main__":
    main()
