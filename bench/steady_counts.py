"""Instructions of one read and of one drop in steady use, counted by callgrind, for one or more
builds: a process per build and document reads and drops the document twice to warm up, then
once more with each step counted on its own (bench/callgrind_count.py). The kernel's work (page
faults, madvise) is not counted: bench/steady_faults.py counts faults.

    python bench/steady_counts.py BUILD_DIR... [--corpus NAMES...] [--shapes NAMES...] [--mb MB]
"""

import argparse
import os
import subprocess
import sys
import tempfile

import callgrind_count
import documents

DRIVER = """
import sys
sys.path[:0] = [sys.argv[1], sys.argv[2]]
import brindle, callgrind_count
counter = callgrind_count.Counter(sys.argv[3])
with open(sys.argv[4], "rb") as file:
    text = file.read().decode()
root = sys.argv[5]
for _ in range(2):
    brindle.read_string(text, root)
trees = []
counter.measure("read", lambda: trees.append(brindle.read_string(text, root)))
counter.measure("drop", trees.clear)
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--corpus", nargs="*", default=["Gtk-3.0.gir", "mame-vgmplay.xml", "ssg-ubuntu2004-ds.xml"])
    parser.add_argument("--shapes", nargs="*", default=["mixed", "text"])
    parser.add_argument("--mb", type=float, default=10)
    arguments = parser.parse_args()
    docs = documents.corpus(arguments.corpus) + [d for d in documents.generated(int(arguments.mb * 1e6))
                                                 if d.label in arguments.shapes]
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as directory:
        helper = callgrind_count.build_helper(directory)
        for doc in docs:
            doc.write_to(directory)
            row = [f"{doc.label:24}"]
            for number, build in enumerate(arguments.builds):
                dumps = os.path.join(directory, f"dumps{number}_{doc.label}")
                os.mkdir(dumps)
                process = callgrind_count.start([sys.executable, "-c", DRIVER, os.path.abspath(build), here, helper,
                                                 doc.path, doc.root], dumps, "run")
                if process.wait() != 0:
                    raise RuntimeError(f"the driver failed on {doc.label} with {build}")
                counts = callgrind_count.read_counts(dumps)
                row.append(f"read {counts['read'] / 1e6:8.1f} M  drop {counts['drop'] / 1e6:6.1f} M")
            print("   |   ".join(row), flush=True)


if __name__ == "__main__":
    main()
