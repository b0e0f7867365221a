"""Pickling a read tree against pickling its to_dict() form, on every corpus document.

    PYTHONPATH=build/dev python3 bench/pickle_speed.py [--rounds 11] [--documents PARTS]

Contenders, each a round trip at the highest protocol that ends with its result dropped:
  node       pickle.loads(pickle.dumps(tree))
  dict       pickle.loads(pickle.dumps(tree.to_dict())), a dict back (the form users send today)
  dict+node  the same, then Node.from_dict on it, a node back as with `node`

Each contender runs in a long-lived process of its own, pinned to one core, taking turns round
by round (measure.py). The ratios are a contender's median time over `node`'s, in CPU and in
wall time. The goal: `dict` and `dict+node` at least 3x `node`'s time, and `node`'s payload no
larger than `dict`'s, on every document.
"""

import argparse
import os
import pickle
import sys
import tempfile

import documents
from measure import Recipe, interleaved_medians

CONTENDERS = ("node", "dict", "dict+node")
GOAL = 3.0
PROTOCOL = pickle.HIGHEST_PROTOCOL


def read_tree(path, root):
    import brindle
    with open(path, "rb") as file:
        return brindle.read_string(file.read().decode(), root)


def round_trip_job(contender, path, root):
    """Made in the contender's process: the tree is read once, every run starts from it."""
    from brindle import Node
    tree = read_tree(path, root)
    trips = {
        "node": lambda: pickle.loads(pickle.dumps(tree, PROTOCOL)),
        "dict": lambda: pickle.loads(pickle.dumps(tree.to_dict(), PROTOCOL)),
        "dict+node": lambda: Node.from_dict(pickle.loads(pickle.dumps(tree.to_dict(), PROTOCOL))),
    }
    return lambda: trips[contender]


def payload_sizes(path, root):
    """The sizes of the two pickles, once the node's is shown to load as the same tree."""
    tree = read_tree(path, root)
    payload = pickle.dumps(tree, PROTOCOL)
    if pickle.loads(payload).to_dict() != tree.to_dict():
        raise AssertionError(f"{path}: the round trip changed the tree")
    return len(payload), len(pickle.dumps(tree.to_dict(), PROTOCOL))


def measure_document(document, rounds):
    """Whether the goal holds on `document`; prints its line."""
    where = (document.path, document.root)
    medians = interleaved_medians({name: Recipe(name, "pickle_speed", "round_trip_job", (name,) + where)
                                   for name in CONTENDERS}, rounds)
    node_size, dict_size = payload_sizes(*where)
    ratios = {name: (medians[name].cpu / medians["node"].cpu, medians[name].wall / medians["node"].wall)
              for name in CONTENDERS[1:]}
    met = node_size <= dict_size and all(min(pair) >= GOAL for pair in ratios.values())
    times = " ".join(f"{medians[name].cpu * 1e3:6.0f}/{medians[name].wall * 1e3:<6.0f}" for name in CONTENDERS)
    shown = " ".join(f"{cpu:5.1f}/{wall:<5.1f}" for cpu, wall in ratios.values())
    print(f"{document.label:24} {document.megabytes:5.1f} {times} {shown} {node_size / dict_size:12.2f}  "
          f"{'met' if met else 'MISSED'}", flush=True)
    return met


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--documents", default="", help="keep corpus documents whose name holds one of these")
    options = parser.parse_args()
    parts = [part for part in options.documents.split(",") if part]
    labels = [label for label in documents.corpus_names() if not parts or any(part in label for part in parts)]
    if not labels:
        print("no corpus documents found at", documents.CORPUS)
        return 1
    print(f"load average at start: {os.getloadavg()[0]:.2f}; medians of at least {options.rounds} rounds; "
          "times in ms, CPU/wall; ratios over node's, CPU/wall\n")
    print(f"{'document':24} {'MB':>5} {'node':>13} {'dict':>13} {'dict+node':>13} "
          f"{'dict/node':>11} {'d+n/node':>11} {'payload/dict':>12}  goal")
    met = True
    with tempfile.TemporaryDirectory() as directory:
        for document in documents.corpus(labels):
            document.write_to(directory)
            met = measure_document(document, options.rounds) and met
    print(f"\nload average at end: {os.getloadavg()[0]:.2f}; goal {'met' if met else 'missed'} on every document")
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
