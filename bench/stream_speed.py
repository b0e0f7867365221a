"""Streaming: brindle.iter_file against read_file on the corpus (each document's most frequent
element as the record), and against lxml's iterparse with the clear-and-delete-previous-siblings
idiom on a generated OpenStreetMap-like file of a GiB or more (bench/osm_records.py).

Each contender runs in a long-lived process of its own, pinned to core 0 (`taskset -c 0`); the
contenders take turns round by round, the order reversed every other round; a timed run includes
dropping what it made; no heap is trimmed. Wall and CPU time (the process's, every thread) per
run; the table gives the median MB/s and the range over the rounds. Peak RSS growth is each
contender's first run's (bench/pinned_workers.py): VmHWM after it less VmRSS before it.

    python3 bench/stream_speed.py [--gib 1] [--rounds 3] [--dir /tmp/brindle-stream]
"""

import argparse
import collections
import lzma
import os
import statistics
import sys
from collections import Counter

import pinned_workers

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(os.path.dirname(os.path.dirname(HERE)), "shared", "corpus")


# ---- the contenders, each in its worker process -------------------------------------------

def run_read_file(path, root, tag):
    import brindle
    tree = brindle.read_file(path, root)
    del tree


# Against read_file, which visits nothing, the records are only taken and dropped.
def run_iter_file_only(path, root, tag):
    import brindle
    collections.deque(brindle.iter_file(path, tag), maxlen=0)


# Both streams visit each record the same way: its name, and nothing that builds a new object.
def run_iter_file(path, root, tag):
    import brindle
    for record in brindle.iter_file(path, tag):
        record.name


def run_lxml_iterparse(path, root, tag):
    import lxml.etree
    for _, element in lxml.etree.iterparse(path, events=("end",), tag=tag, huge_tree=True):
        element.tag
        element.clear()
        while element.getprevious() is not None:
            del element.getparent()[0]


CONTENDERS = {"read_file": run_read_file, "iter_file": run_iter_file_only, "iter_file_visiting": run_iter_file,
              "lxml_iterparse": run_lxml_iterparse}
# What each imports, before its first run.
IMPORTS = {"read_file": ("brindle",), "iter_file": ("brindle",), "iter_file_visiting": ("brindle",),
           "lxml_iterparse": ("lxml.etree",)}


# ---- the driver ------------------------------------------------------------------------------

def rate(megabytes, seconds):
    values = [megabytes / s for s in seconds]
    return f"{statistics.median(values):6.0f} [{min(values):.0f}-{max(values):.0f}]"


def root_and_record(document):
    import brindle
    from documents import generate
    root = generate.root_name(document)
    counts, stack = Counter(), [brindle.read_string(document, root)]
    while stack:
        node = stack.pop()
        counts[node.name] += 1
        stack.extend(node.children)
    return root, counts.most_common(1)[0][0]


def corpus_jobs(directory):
    jobs = []
    for name in sorted(os.listdir(CORPUS)):
        if not name.endswith(".xz"):
            continue
        path = os.path.join(directory, name[:-3])
        if not os.path.exists(path):
            with lzma.open(os.path.join(CORPUS, name)) as packed, open(path, "wb") as out:
                out.write(packed.read())
        with open(path, encoding="utf-8") as text:
            root, tag = root_and_record(text.read())
        jobs.append({"path": path, "root": root, "tag": tag})
    return jobs


def report(title, names, jobs, rounds):
    """The table of `jobs`; the peak RSS growth of each contender's first run, by name."""
    workers = {name: pinned_workers.start(__file__, name) for name in names}
    print(f"\n{title} (MB/s, median [range] of {rounds} rounds, wall | CPU; one core; "
          f"{pinned_workers.load_average()})")
    print(f"{'document':28} {'record':10} {'MB':>7}  " + "  ".join(f"{name + ' wall':>22} {name + ' CPU':>22}"
                                                           for name in names) + "  CPU ratio")
    peaks = {}
    try:
        for job in jobs:
            megabytes = os.path.getsize(job["path"]) / 1e6
            answers = pinned_workers.take_turns(workers, job, rounds)
            for name in names:
                peaks.setdefault(name, answers[name][0]["peak_growth"] / 2 ** 20)
            cells = "  ".join(f"{rate(megabytes, [a['wall'] for a in answers[name]]):>22} "
                              f"{rate(megabytes, [a['cpu'] for a in answers[name]]):>22}" for name in names)
            ratio = (statistics.median(a["cpu"] for a in answers[names[1]]) /
                     statistics.median(a["cpu"] for a in answers[names[0]]))
            print(f"{os.path.basename(job['path'])[:28]:28} {job['tag'][:10]:10} {megabytes:7.1f}  {cells}  "
                  f"{ratio:.2f}", flush=True)
    finally:
        pinned_workers.stop(workers)
    print(pinned_workers.load_average())
    return peaks


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--gib", type=float, default=1.0)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--dir", default="/tmp/brindle-stream")
    parser.add_argument("--worker")
    options = parser.parse_args()
    if options.worker:
        return pinned_workers.serve(CONTENDERS[options.worker], IMPORTS[options.worker])
    os.makedirs(options.dir, exist_ok=True)
    report("Corpus: iter_file over each document's most frequent element against read_file",
           ["iter_file", "read_file"], corpus_jobs(options.dir), options.rounds)
    osm = os.path.join(options.dir, f"osm-{options.gib:g}gib.osm")
    if not os.path.exists(osm):
        sys.path.insert(0, HERE)
        import osm_records
        osm_records.write(osm, int(options.gib * 2 ** 30))
    job = {"path": osm, "root": "osm", "tag": "node"}
    peaks = report("Generated OpenStreetMap-like file: iter_file against lxml's iterparse idiom",
                   ["iter_file_visiting", "lxml_iterparse"], [job], options.rounds)
    print("\nPeak RSS growth, each contender's first run (MiB): " +
          ", ".join(f"{name} {peak:.1f}" for name, peak in peaks.items()))


if __name__ == "__main__":
    main()
