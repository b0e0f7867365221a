"""Page faults and CPU time of one read+drop in steady use: a fresh process per document reads it
twice to warm up, then reads and drops it `--reads` times on one thread; it reports the median
of the minor faults (getrusage) and of the CPU time of each read, and the faults of one round of
two reads at once on two threads. A read in steady use should land in pages that earlier reads
wrote: each fresh page is a fault.

    python bench/steady_faults.py [--reads N] [--corpus NAMES...] [--shapes NAMES...] [--mb MB]

With PYTHONPATH naming a build folder, that build is measured."""

import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import threading
import time

import documents


def child(path, root, reads):
    import brindle
    with open(path, "rb") as file:
        text = file.read().decode()

    def read_drop():
        brindle.read_string(text, root)

    for _ in range(2):
        read_drop()
    faults, cpu = [], []
    for _ in range(reads):
        before = resource.getrusage(resource.RUSAGE_SELF)
        started = time.process_time()
        read_drop()
        cpu.append(time.process_time() - started)
        faults.append(resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before.ru_minflt)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    threads = [threading.Thread(target=read_drop) for _ in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    two = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before
    print(json.dumps({"faults": statistics.median(faults), "cpu_ms": statistics.median(cpu) * 1e3,
                      "two_threads_faults": two}))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reads", type=int, default=7)
    parser.add_argument("--corpus", nargs="*", default=["Gtk-3.0.gir", "mame-vgmplay.xml", "ssg-ubuntu2004-ds.xml"])
    parser.add_argument("--shapes", nargs="*", default=["mixed", "text"])
    parser.add_argument("--mb", type=float, default=10)
    parser.add_argument("--child", nargs=3)
    arguments = parser.parse_args()
    if arguments.child:
        path, root, reads = arguments.child
        return child(path, root, int(reads))
    docs = documents.corpus(arguments.corpus) + [d for d in documents.generated(int(arguments.mb * 1e6))
                                                 if d.label in arguments.shapes]
    directory = f"/tmp/steady_faults_{os.getpid()}"
    os.makedirs(directory, exist_ok=True)
    for doc in docs:
        doc.write_to(directory)
        result = subprocess.run([sys.executable, __file__, "--child", doc.path, doc.root, str(arguments.reads)],
                                capture_output=True, text=True, check=True)
        print(f"{doc.label:24} {doc.megabytes:6.1f} MB  {result.stdout.strip()}")
        os.remove(doc.path)
    os.rmdir(directory)


if __name__ == "__main__":
    main()
