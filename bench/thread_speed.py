"""Two threads reading two documents against one thread reading both, for brindle's
read_string and lxml's fromstring.

Each measurement is a fresh process (this file run with --child), so every one starts from the
same memory state: it reads the document twice in one thread, then twice at once in two
threads, and prints both times. The two documents are two copies of one document, so the
threads have equal work and a perfect speed-up is 2. The processes of the two readers take
turns, and each reader's speed-up is the median over its processes."""

import statistics
import sys
import threading
import time

READERS = ("brindle", "lxml")


def reader(name, root):
    """The read of one input, and how to make a fresh input from the file's bytes."""
    if name == "brindle":
        import brindle
        return (lambda text: brindle.read_string(text, root)), bytes.decode
    import lxml.etree
    return (lambda raw: lxml.etree.fromstring(raw, lxml.etree.XMLParser(huge_tree=True))), bytes


from fresh_processes import child_outputs  # noqa: E402  (bench/ is on the path as the script's folder)
from measure import timed  # noqa: E402


def in_two_threads(read, inputs):
    """Seconds until both threads have read; the trees are kept until then, as in the
    sequential run, so that neither times the freeing of a tree."""
    trees = []
    threads = [threading.Thread(target=lambda one=one: trees.append(read(one))) for one in inputs]
    started = time.perf_counter()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.perf_counter() - started
    if len(trees) != len(inputs):
        raise RuntimeError("a thread did not read its document")
    return elapsed


def child(path, root, name):
    read, fresh = reader(name, root)
    with open(path, "rb") as file:
        raw = file.read()
    # Both runs get their inputs made before the clock starts: making a str of the bytes is
    # not part of a read.
    inputs = [fresh(raw), fresh(raw)]
    sequential, trees = timed(lambda: [read(one) for one in inputs])
    del trees
    inputs = [fresh(raw), fresh(raw)]
    parallel = in_two_threads(read, inputs)
    print(sequential, parallel)


def run(documents, processes, directory):
    """{document: {reader: median speed-up}}, printed as it goes."""
    print(f"\nTwo threads (speed-up of two threads reading two copies over one thread reading both; "
          f"median of {processes} fresh processes):\n")
    print(f"{'document':24} {'MB':>6} " + " ".join(f"{name:>9}" for name in READERS))
    results = {}
    for document in documents:
        outputs = child_outputs(__file__, document, directory, processes, READERS)
        results[document.label] = {name: statistics.median(float(sequential) / float(parallel)
                                                           for sequential, parallel in runs)
                                   for name, runs in outputs.items()}
        print(f"{document.label:24} {document.megabytes:6.1f} " +
              " ".join(f"{results[document.label][name]:8.2f}x" for name in READERS), flush=True)
    return results


if __name__ == "__main__" and sys.argv[1:2] == ["--child"]:
    child(*sys.argv[2:])
