"""Timing and reporting shared by the peer benchmarks: one run per measurement, the same way
for every library, and one table layout."""

import gc
import time


def timed(action):
    """Seconds for one run of `action` (with the collector on, as users have it) and its result.
    Garbage left by earlier runs is collected first so no run pays for another's."""
    gc.collect()
    start = time.perf_counter()
    result = action()
    return time.perf_counter() - start, result


def megabytes(document):
    return len(document.encode()) / 1e6


def print_rows(rows, label_width=22):
    """Rows of (shape, brindle operation, MB/s, peer operation, peer MB/s, peer time / ours)."""
    print(f"{'shape':8} {'brindle':{label_width}} {'MB/s':>9}   {'peer':{label_width}} {'MB/s':>9} {'ratio':>7}")
    for shape, ours, ours_rate, peer, peer_rate, ratio in rows:
        peer_text = f"{peer_rate:9.1f}" if peer_rate is not None else " " * 9
        ratio_text = f"{ratio:6.2f}x" if ratio is not None else ""
        print(f"{shape:8} {ours:{label_width}} {ours_rate:9.1f}   {peer:{label_width}} {peer_text} {ratio_text:>7}")
