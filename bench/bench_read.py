"""Reading throughput of brindle against lxml, ElementTree and xmltodict, in one run on the
same documents.

    PYTHONPATH=build/<dir> python3 bench/bench_read.py [--mb 20] [--skip-corpus]

Prints, per generated shape (records, attrs, text, tiny at about --mb megabytes) and per
corpus document: MB/s of each parser and brindle's speed as a multiple of each peer's;
the per-call time on a 2 KB document; the peak memory (ru_maxrss, each in a fresh process)
of read_file and of lxml.etree.parse on the records document; and the throughput of two
threads reading two large documents at once. Each large document is read once per parser.
"""

import argparse
import gc
import lzma
import os
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ET

import lxml.etree
import xmltodict

import brindle
import generate
from measure import timed

# The corpus lies beside the project: <project>/../shared/corpus.
CORPUS = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                      "shared", "corpus")


def parsers(document, root_tag):
    data = document.encode()
    return {
        "brindle": lambda: brindle.read_string(document, root_tag),
        "lxml": lambda: lxml.etree.fromstring(data),
        "ElementTree": lambda: ET.fromstring(document),
        "xmltodict": lambda: xmltodict.parse(data),
    }


def throughput_table(named_documents, skip):
    print("| document | MB | " + " | ".join(f"{name} MB/s" for name in parsers("", "")) +
          " | vs lxml | vs ElementTree | vs xmltodict |")
    print("|---|---:|" + "---:|" * 7)
    for label, document in named_documents:
        megabytes = len(document.encode()) / 1e6
        root_tag = generate.root_name(document)
        rates = {}
        for name, action in parsers(document, root_tag).items():
            if name in skip:
                rates[name] = None
                continue
            rates[name] = megabytes / timed(action)[0]
        cells = [f"{rate:.0f}" if rate else "-" for rate in rates.values()]
        ratios = [f"{rates['brindle'] / rates[peer]:.2f}x" if rates[peer] else "-"
                  for peer in ("lxml", "ElementTree", "xmltodict")]
        print(f"| {label} | {megabytes:.1f} | " + " | ".join(cells + ratios) + " |", flush=True)


def per_call_overhead():
    document = generate.small()
    root_tag = generate.root_name(document)
    print(f"\nPer call on a {len(document.encode())}-byte document (µs, lower is better):\n")
    print("| parser | µs per call | brindle vs peer |")
    print("|---|---:|---:|")
    calls = 2000
    times = {}
    for name, action in parsers(document, root_tag).items():
        times[name] = timed(lambda: [action() for _ in range(calls)])[0] / calls * 1e6
    for name, micro in times.items():
        print(f"| {name} | {micro:.1f} | {micro / times['brindle']:.2f}x |")


# Peak resident memory of the probe process itself: VmHWM, which (unlike ru_maxrss on Linux)
# starts afresh at exec instead of carrying over the benchmark's own peak.
MEMORY_PROBE = """
import resource, sys
def peak_kb():
    try:
        with open("/proc/self/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
    except OSError:
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
path, root_tag, which = sys.argv[1:]
import brindle, lxml.etree
before = peak_kb()
if which == "brindle":
    tree = brindle.read_file(path, root_tag)
else:
    tree = lxml.etree.parse(path)
print(before, peak_kb())
"""


def peak_memory(document):
    root_tag = generate.root_name(document)
    with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False, encoding="utf-8") as handle:
        handle.write(document)
        path = handle.name
    try:
        print(f"\nPeak memory reading the {len(document.encode()) / 1e6:.1f} MB records file "
              "(peak resident size of a fresh process; growth = peak minus the peak after imports):\n")
        print("| reader | peak MB | growth MB |")
        print("|---|---:|---:|")
        for which, label in (("brindle", "brindle.read_file"), ("lxml", "lxml.etree.parse")):
            output = subprocess.run([sys.executable, "-c", MEMORY_PROBE, path, root_tag, which],
                                    capture_output=True, text=True, check=True, env=os.environ).stdout
            before, after = (int(value) / 1024 for value in output.split())
            print(f"| {label} | {after:.0f} | {after - before:.0f} |")
    finally:
        os.unlink(path)


def two_threads(first, second):
    pairs = [(first, generate.root_name(first)), (second, generate.root_name(second))]
    megabytes = sum(len(document.encode()) for document, _ in pairs) / 1e6
    print(f"\nTwo documents ({megabytes:.1f} MB together), read one after the other and by two "
          "threads at once (MB/s over both):\n")
    print("| reader | sequential | two threads | speed-up |")
    print("|---|---:|---:|---:|")
    readers = {
        "brindle": lambda document, root_tag: brindle.read_string(document, root_tag),
        "lxml": lambda document, root_tag: lxml.etree.fromstring(document.encode()),
    }
    for name, read in readers.items():
        sequential = timed(lambda: [read(document, root_tag) for document, root_tag in pairs])[0]
        threads = [threading.Thread(target=read, args=pair) for pair in pairs]
        gc.collect()
        started = time.perf_counter()
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        parallel = time.perf_counter() - started
        print(f"| {name} | {megabytes / sequential:.0f} | {megabytes / parallel:.0f} | "
              f"{sequential / parallel:.2f}x |")


def corpus_documents():
    for name in sorted(os.listdir(CORPUS)):
        if name.endswith(".xz"):
            with lzma.open(os.path.join(CORPUS, name), "rt", encoding="utf-8") as stream:
                yield name[:-3], stream.read()


def main():
    options = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    options.add_argument("--mb", type=float, default=20, help="size of each generated document")
    options.add_argument("--skip-corpus", action="store_true")
    options.add_argument("--skip", action="append", default=[], help="a peer to leave out")
    options.add_argument("--shape", action="append", choices=sorted(generate.SHAPES),
                         help="only these generated shapes (default: all)")
    arguments = options.parse_args()
    target = int(arguments.mb * 1024 * 1024)
    shapes = {name: generate.SHAPES[name](target) for name in (arguments.shape or generate.SHAPES)}

    print("Throughput (MB/s, one read per parser; the ratios are brindle's speed over the peer's):\n")
    named = list(shapes.items())
    if not arguments.skip_corpus and os.path.isdir(CORPUS):
        named += list(corpus_documents())
    throughput_table(named, set(arguments.skip))
    per_call_overhead()
    if "records" in shapes:
        peak_memory(shapes["records"])
    if "records" in shapes and "attrs" in shapes:
        two_threads(shapes["records"], shapes["attrs"])


if __name__ == "__main__":
    main()
