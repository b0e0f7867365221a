"""Timing shared by the peer benchmarks: the same way for every library.

This machine is shared and noisy, so a comparison never rests on one run: the contenders take
turns within each round (the order reversed every other round, so neither always runs on a
warmer or colder machine), and each reports the median of its rounds.
"""

import ctypes
import ctypes.util
import gc
import statistics
import time

# glibc keeps small freed blocks in "fast" lists and merges them all at the next large request,
# whoever makes it: after lxml frees a 20 MB document's tree (millions of small blocks), the
# next read of either library spends 100-200 ms merging lxml's garbage. malloc_trim does that
# merging (and returns free pages) outside the timed run, so each run starts from the same
# clean C heap and no library pays for another's frees.
_libc = ctypes.CDLL(ctypes.util.find_library("c"))
_malloc_trim = getattr(_libc, "malloc_trim", None)


def settle_memory():
    """Collects Python's garbage and tidies the C heap (see above)."""
    gc.collect()
    if _malloc_trim is not None:
        _malloc_trim(0)


def timed(action):
    """Seconds for one run of `action` (with the collector on, as users have it) and its result.
    Garbage left by earlier runs is collected first so no run pays for another's."""
    settle_memory()
    start = time.perf_counter()
    result = action()
    return time.perf_counter() - start, result


def interleaved_medians(setups, rounds):
    """{name: median seconds} over `rounds` rounds in which every contender runs once.

    `setups` maps a name to a function that prepares one run (untimed: a fresh input, say)
    and returns the action to time. Each result is dropped before the next run starts."""
    names = list(setups)
    seconds = {name: [] for name in names}
    for round_index in range(rounds):
        for name in names if round_index % 2 == 0 else reversed(names):
            action = setups[name]()
            elapsed, result = timed(action)
            del action, result
            seconds[name].append(elapsed)
    return {name: statistics.median(values) for name, values in seconds.items()}
