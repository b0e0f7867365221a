"""Memory of reading a file into a tree: brindle's read_file against lxml's parse, each in a
fresh process (this file run with --child) that has imported both libraries.

The process reports, from /proc/self/status: the resident size before the read (VmRSS), its
peak during the read (VmHWM, which starts afresh at exec, unlike ru_maxrss, which carries over
the parent's peak on Linux), the resident size once the read returned, and again after
`del tree` and a collection. The read's peak growth is peak minus before; of the growth the
tree held once the read returned, `given back` is the part the process no longer holds after
the del. The processes of the two readers take turns; each figure is the median over its
processes."""

import gc
import statistics
import sys

from fresh_processes import child_outputs

READERS = ("brindle", "lxml")
FIGURES = ("before", "peak", "after_read", "after_del")


def status_kilobytes(field):
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith(field + ":"))


def child(path, root, name):
    import brindle
    import lxml.etree
    gc.collect()
    before = status_kilobytes("VmRSS")
    if name == "brindle":
        tree = brindle.read_file(path, root)
    else:
        tree = lxml.etree.parse(path, lxml.etree.XMLParser(huge_tree=True))
    peak = status_kilobytes("VmHWM")
    after_read = status_kilobytes("VmRSS")
    del tree
    gc.collect()
    print(before, peak, after_read, status_kilobytes("VmRSS"))


def megabytes(words):
    """The child's figures by name, in megabytes."""
    return dict(zip(FIGURES, (int(value) / 1024 for value in words)))


def summary(probes):
    """Median megabytes of peak growth and held after the read, and the fraction given back."""
    def median(figure):
        return statistics.median(figure(one) for one in probes)
    return {
        "peak_growth": median(lambda one: one["peak"] - one["before"]),
        "held_after_read": median(lambda one: one["after_read"] - one["before"]),
        "given_back": median(lambda one: (one["after_read"] - one["after_del"]) /
                             max(one["after_read"] - one["before"], 1e-9)),
    }


def run(documents, processes, directory):
    """{document: {reader: summary}}, printed as it goes."""
    print(f"\nMemory of reading a file (MB; median of {processes} fresh processes):\n")
    print(f"{'document':24} {'MB':>6} {'reader':8} {'peak growth':>11} {'held':>7} {'given back':>10} {'vs lxml':>8}")
    results = {}
    for document in documents:
        outputs = child_outputs(__file__, document, directory, processes, READERS)
        figures = results[document.label] = {name: summary([megabytes(words) for words in runs])
                                             for name, runs in outputs.items()}
        for name in READERS:
            one = figures[name]
            ratio = one["peak_growth"] / figures["lxml"]["peak_growth"]
            print(f"{document.label:24} {document.megabytes:6.1f} {name:8} {one['peak_growth']:11.0f} "
                  f"{one['held_after_read']:7.0f} {one['given_back']:9.0%} {ratio:7.2f}x", flush=True)
    return results


if __name__ == "__main__" and sys.argv[1:2] == ["--child"]:
    child(*sys.argv[2:])
