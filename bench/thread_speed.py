"""Two threads reading against one, for brindle's read_string and lxml's fromstring: how close
two threads in steady use come to twice the work of one.

Each measurement is a fresh process (this file run with --child): it warms up with two rounds
(one read on one thread, then one on each of two threads at once), then times 12 reads on one
thread against 6 reads on each of two threads at once, every read followed by dropping its tree,
in wall time, and counts the minor page faults of both runs (a read that lands in pages earlier
reads wrote faults few). The speed-up is the one thread's time over the two threads'; a perfect
one is 2. The readers' processes take turns, and each figure is the median over the processes.
The load average before and after each document is printed beside its figures: on a shared
machine other work takes the cores too, and a busy machine lowers the speed-up.

    python bench/thread_speed.py [--processes N] [--readers NAMES...] [--corpus NAMES...]
                                 [--shapes NAMES...] [--mb MB...]

With PYTHONPATH naming a build folder, that build is measured."""

import argparse
import os
import resource
import statistics
import sys
import tempfile
import threading
import time

READERS = ("brindle", "lxml")
READS = 12  # on one thread; half of them on each of two


def reader(name, root):
    """The read of one input, and how to make the input from the file's bytes."""
    if name == "brindle":
        import brindle
        return (lambda text: brindle.read_string(text, root)), bytes.decode
    import lxml.etree
    return (lambda raw: lxml.etree.fromstring(raw, lxml.etree.XMLParser(huge_tree=True))), bytes


from fresh_processes import child_outputs  # noqa: E402  (bench/ is on the path as the script's folder)


def reads_and_drops(read, one, count):
    for _ in range(count):
        read(one)  # the tree is dropped at once


def in_two_threads(read, one, count):
    """Each of two threads reads `count` times; returns once both are done."""
    threads = [threading.Thread(target=reads_and_drops, args=(read, one, count)) for _ in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def measured(run):
    """Wall seconds and minor page faults (every thread of the process) of `run()`."""
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    started = time.perf_counter()
    run()
    elapsed = time.perf_counter() - started
    return elapsed, resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults


def child(path, root, name):
    read, fresh = reader(name, root)
    with open(path, "rb") as file:
        one = fresh(file.read())  # made before any clock starts: making a str is not a read
    for _ in range(2):
        reads_and_drops(read, one, 1)
        in_two_threads(read, one, 1)
    one_thread, one_faults = measured(lambda: reads_and_drops(read, one, READS))
    two_threads, two_faults = measured(lambda: in_two_threads(read, one, READS // 2))
    print(one_thread, two_threads, one_faults, two_faults)


def run(documents, processes, directory, readers=READERS):
    """{document: {reader: median speed-up}}, printed as it goes with the faults per read and the
    load average."""
    print(f"\nTwo threads ({READS} reads and drops on one thread against {READS // 2} on each of two; "
          f"median of {processes} fresh processes; faults per read on one / two threads):\n")
    print(f"{'document':24} {'MB':>6} " + " ".join(f"{name:>24}" for name in readers) + "   load average")
    results = {}
    for document in documents:
        load_before = os.getloadavg()[0]
        outputs = child_outputs(__file__, document, directory, processes, readers)
        load_after = os.getloadavg()[0]
        results[document.label] = {}
        cells = []
        for name, runs in outputs.items():
            speed_up = statistics.median(float(one) / float(two) for one, two, _, _ in runs)
            one_faults = statistics.median(int(faults) / READS for _, _, faults, _ in runs)
            two_faults = statistics.median(int(faults) / READS for _, _, _, faults in runs)
            results[document.label][name] = speed_up
            cells.append(f"{speed_up:5.2f}x {one_faults:8.0f} /{two_faults:7.0f}")
        print(f"{document.label:24} {document.megabytes:6.1f} " + " ".join(f"{cell:>24}" for cell in cells) +
              f"   {load_before:.1f} -> {load_after:.1f}", flush=True)
    return results


def main():
    import documents
    parser = argparse.ArgumentParser()
    parser.add_argument("--processes", type=int, default=5)
    parser.add_argument("--readers", nargs="*", default=list(READERS), choices=READERS)
    parser.add_argument("--corpus", nargs="*", default=["Gtk-3.0.gir", "mame-vgmplay.xml", "ssg-ubuntu2004-ds.xml"])
    parser.add_argument("--shapes", nargs="*", default=list(documents.generate.SHAPES))
    parser.add_argument("--mb", nargs="*", type=float, default=[5, 20])
    arguments = parser.parse_args()
    chosen = documents.corpus(arguments.corpus)
    for megabytes in arguments.mb:
        for document in documents.generated(int(megabytes * 1e6)):
            if document.label in arguments.shapes:
                document.label = f"{document.label} {megabytes:g} MB"
                chosen.append(document)
    with tempfile.TemporaryDirectory() as directory:
        run(chosen, arguments.processes, directory, tuple(arguments.readers))


if __name__ == "__main__" and sys.argv[1:2] == ["--child"]:
    child(*sys.argv[2:])
elif __name__ == "__main__":
    main()
