"""Pickling a read tree against pickling its to_dict() form, on every corpus document.

    PYTHONPATH=build/dev taskset -c 0 python3 bench/pickle_speed.py [--rounds 5] [--documents PARTS]

Contenders, each a round trip that ends with its result dropped:
  node       pickle.loads(pickle.dumps(tree))
  dict       pickle.loads(pickle.dumps(tree.to_dict())), a dict back (the form users send today)
  dict+node  the same, then Node.from_dict on it, a node back as with `node`

Each contender runs in a long-lived process of its own (this file with --worker), which reads
every document once and keeps its tree; the processes take turns within each round, in an order
reversed every other round, the collector on as users have it, nothing trimmed. A run's time is
its wall time and the CPU time of its whole process (every thread), each the median of the
rounds. The ratios are a contender's time over `node`'s; the payload sizes are of the highest
protocol. The goal: `dict` and `dict+node` at least 3x `node`'s time, and `node`'s payload no
larger than `dict`'s, on every document.
"""

import argparse
import json
import os
import pickle
import statistics
import subprocess
import sys
import time

import documents

CONTENDERS = ("node", "dict", "dict+node")
GOAL = 3.0


def round_trip(contender, tree):
    from brindle import Node
    if contender == "node":
        return lambda: pickle.loads(pickle.dumps(tree, pickle.HIGHEST_PROTOCOL))
    if contender == "dict":
        return lambda: pickle.loads(pickle.dumps(tree.to_dict(), pickle.HIGHEST_PROTOCOL))
    return lambda: Node.from_dict(pickle.loads(pickle.dumps(tree.to_dict(), pickle.HIGHEST_PROTOCOL)))


def worker(contender, labels):
    """Answers each line `INDEX` on stdin with the wall and CPU seconds of one round trip of
    that document's tree, as a JSON line."""
    import brindle
    trees = [brindle.read_string(document.raw.decode(), document.root) for document in documents.corpus(labels)]
    actions = [round_trip(contender, tree) for tree in trees]
    for line in sys.stdin:
        action = actions[int(line)]
        wall, cpu = time.perf_counter(), time.process_time()
        result = action()
        del result
        wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
        print(json.dumps({"wall": wall, "cpu": cpu}), flush=True)


def payload_sizes(document):
    import brindle
    tree = brindle.read_string(document.raw.decode(), document.root)
    payload = pickle.dumps(tree, pickle.HIGHEST_PROTOCOL)
    if pickle.loads(payload).to_dict() != tree.to_dict():
        raise AssertionError(f"{document.label}: the round trip changed the tree")
    return len(payload), len(pickle.dumps(tree.to_dict(), pickle.HIGHEST_PROTOCOL))


def measure(labels, rounds):
    """{label: {contender: {"wall": median, "cpu": median}}}."""
    workers = {name: subprocess.Popen([sys.executable, os.path.abspath(__file__), "--worker", name, *labels],
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
               for name in CONTENDERS}
    times = {label: {name: {"wall": [], "cpu": []} for name in CONTENDERS} for label in labels}
    try:
        for round_index in range(rounds):
            order = CONTENDERS if round_index % 2 == 0 else CONTENDERS[::-1]
            for index, label in enumerate(labels):
                for name in order:
                    process = workers[name]
                    process.stdin.write(f"{index}\n")
                    process.stdin.flush()
                    answer = json.loads(process.stdout.readline())
                    for clock in ("wall", "cpu"):
                        times[label][name][clock].append(answer[clock])
    finally:
        for process in workers.values():
            process.stdin.close()
            process.wait()
    return {label: {name: {clock: statistics.median(values) for clock, values in clocks.items()}
                    for name, clocks in by_name.items()} for label, by_name in times.items()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--documents", default="", help="keep corpus documents whose name holds one of these")
    parser.add_argument("--worker", nargs="+", help=argparse.SUPPRESS)
    options = parser.parse_args()
    if options.worker:
        worker(options.worker[0], options.worker[1:])
        return 0
    parts = [part for part in options.documents.split(",") if part]
    labels = [label for label in documents.corpus_names() if not parts or any(part in label for part in parts)]
    if not labels:
        print("no corpus documents found at", documents.CORPUS)
        return 1
    print(f"load average at start: {os.getloadavg()[0]:.2f}; median of {options.rounds} rounds; "
          "times in ms, wall / CPU; ratios over node's wall / CPU\n")
    print(f"{'document':24} {'MB':>5} {'node':>13} {'dict':>13} {'dict+node':>13} "
          f"{'dict/node':>11} {'d+n/node':>11} {'payload/dict':>12}  goal")
    results = measure(labels, options.rounds)
    met = True
    for document in documents.corpus(labels):
        seconds = results[document.label]
        ms = {name: f"{seconds[name]['wall'] * 1e3:6.0f}/{seconds[name]['cpu'] * 1e3:<6.0f}" for name in CONTENDERS}
        ratios = {name: [seconds[name][clock] / seconds["node"][clock] for clock in ("wall", "cpu")]
                  for name in CONTENDERS[1:]}
        node_size, dict_size = payload_sizes(document)
        ok = node_size <= dict_size and all(min(pair) >= GOAL for pair in ratios.values())
        met = met and ok
        shown = {name: f"{pair[0]:5.1f}/{pair[1]:<5.1f}" for name, pair in ratios.items()}
        print(f"{document.label:24} {document.megabytes:5.1f} {ms['node']} {ms['dict']} {ms['dict+node']} "
              f"{shown['dict']} {shown['dict+node']} {node_size / dict_size:12.2f}  {'met' if ok else 'MISSED'}",
              flush=True)
    print(f"\nload average at end: {os.getloadavg()[0]:.2f}; goal {'met' if met else 'missed'} on every document")
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
