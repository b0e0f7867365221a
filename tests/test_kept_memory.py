"""How the memory kept for reuse between calls behaves in steady use: blocks that the next call
takes again are kept as written (not marked free to the kernel), blocks left unused are marked,
and a read in steady use lands in pages that earlier reads wrote instead of fresh ones. And its
bound: 64 MiB for each call running, 64 MiB once none runs, counted by the pages written."""

import os
import signal
import subprocess
import sys

import pytest

import brindle

TESTS = os.path.dirname(os.path.abspath(__file__))
ON_PROC = pytest.mark.skipif(not os.path.isfile("/proc/self/smaps_rollup"), reason="reads /proc/self/smaps_rollup")


def run(program):
    path = os.pathsep.join([TESTS, *sys.path])
    result = subprocess.run([sys.executable, "-c", program], env={**os.environ, "PYTHONPATH": path},
                            capture_output=True, text=True, timeout=600, check=True)
    return [int(float(word)) for word in result.stdout.split()]


# Reads and drops a document a few times in a row, then leaves the store alone for longer than a
# block may stay unused, then makes a small write, which takes a block from the store. Prints the
# bytes marked free to the kernel after the steady reads and after the write.
MARKING = """
import time
import brindle, generated_documents

def lazy_free():
    with open("/proc/self/smaps_rollup") as rollup:
        for line in rollup:
            if line.startswith("LazyFree:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no LazyFree line")

document = generated_documents.records(target=3_000_000)
root = generated_documents.root_name(document)
for _ in range(4):
    brindle.read_string(document, root)
steady = lazy_free()
time.sleep(1.3)
brindle.write_string(brindle.read_string("<a>b</a>", "a"))
print(steady, lazy_free())
"""


@ON_PROC
@pytest.mark.unsanitized(reason="AddressSanitizer's allocator stands between the store and the kernel's counts")
def test_blocks_in_steady_use_stay_unmarked_and_blocks_left_unused_are_marked():
    steady, after_idle = run(MARKING)
    assert steady == 0, steady
    assert after_idle >= 2 << 20, after_idle  # the tree's chunks


# Reads and drops a document of 9 MB that one character outside the BMP makes a str of 4 bytes
# per character, whose UTF-8 buffer is sized for the longest form (36 MB): the store must count
# the pages written (9 MB), not those reserved, or the buffer and the tree's arena (over 30 MB)
# overflow the 64 MiB bound and every read faults its buffer in anew. Prints the median of the
# page faults of the steady reads, and the document's pages.
STEADY_FAULTS = """
import resource, statistics
import brindle, generated_documents

document = generated_documents.records(target=9_000_000) + "<!-- \\U0001F600 -->"
root = generated_documents.root_name(document)
faults = []
for _ in range(5):
    before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    brindle.read_string(document, root)
    faults.append(resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before)
print(statistics.median(faults[2:]), len(document.encode()) // 4096)
"""


@pytest.mark.unsanitized(reason="AddressSanitizer's allocator stands between the store and the kernel's counts")
def test_a_steady_read_of_a_non_ascii_str_faults_in_few_fresh_pages():
    faults, document_pages = run(STEADY_FAULTS)
    assert faults < document_pages // 4, (faults, document_pages)


# Two streams stop inside their first read (their file objects wait), so that two calls run
# while the main thread drops two read trees of about 55 MB each; then the streams go on to
# their end. Prints the calls counted while they waited, the bytes kept then, and the bytes kept
# and the calls counted once they ended.
TWO_CALLS = """
import threading
import brindle, generated_documents

class WaitingFile:
    def __init__(self, entered, go):
        self.entered, self.go, self.done = entered, go, False

    def read(self, size):
        if self.done:
            return b""
        self.entered.release()
        self.go.wait()
        self.done = True
        return b"<r><x/></r>"

document = generated_documents.tiny(target=8_000_000)
trees = [brindle.read_string(document, "r") for _ in range(2)]
entered, go = threading.Semaphore(0), threading.Event()
threads = [threading.Thread(target=lambda: list(brindle.iter_file(WaitingFile(entered, go), "x")))
           for _ in range(2)]
for thread in threads:
    thread.start()
for _ in threads:
    entered.acquire()
running = brindle._kept_memory()[1]
del trees
kept_while_running = brindle._kept_memory()[0]
go.set()
for thread in threads:
    thread.join()
print(running, kept_while_running, *brindle._kept_memory())
"""


def test_two_running_calls_keep_up_to_twice_the_bound_and_their_end_trims_to_it():
    running, kept_while_running, kept_after, running_after = run(TWO_CALLS)
    assert running == 2
    assert kept_while_running > 64 << 20, kept_while_running / 2**20
    assert kept_after <= 64 << 20, kept_after / 2**20
    assert running_after == 0


# A write of 20 MB, whose buffer doubled to 32 MiB, in a process whose store holds nothing yet:
# prints the bytes kept before and after it, and the output's length (ASCII: one byte a character).
SINK = """
import brindle
tree = brindle.Node("r", children=[brindle.Node("a", text="x" * 1000)] * 20_000)
before = brindle._kept_memory()[0]
written = brindle.write_string(tree)
print(before, brindle._kept_memory()[0], len(written))
"""


def test_a_write_keeps_the_pages_of_its_output_not_its_whole_buffer():
    before, kept, length = run(SINK)
    assert before == 0
    assert kept == -(-length // 4096) * 4096, (kept, length)


class RaisingFile:
    def __init__(self, error):
        self.error = error

    def read(self, size):
        raise self.error


def write_stopped_by_a_signal():
    # 2**40 leaves through shared children: the write runs until the alarm's handler raises.
    tree = brindle.Node("x")
    for _ in range(40):
        tree = brindle.Node("p", children=[tree, tree])

    def interrupt(signum, frame):
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, interrupt)
    signal.setitimer(signal.ITIMER_REAL, 0.05)
    try:
        brindle.write_string(tree)
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


@pytest.mark.parametrize("call, error", [
    (lambda: brindle.read_string("<r><x></r>", "r"), ValueError),
    (lambda: next(brindle.iter_file(RaisingFile(OSError("gone")), "x")), OSError),
    (lambda: next(brindle.iter_file(RaisingFile(KeyboardInterrupt()), "x")), KeyboardInterrupt),
    (lambda: brindle.read_table(RaisingFile(KeyboardInterrupt()), "x"), KeyboardInterrupt),
    (write_stopped_by_a_signal, KeyboardInterrupt),
], ids=["read error", "stream source error", "stream interrupted", "table interrupted", "write interrupted"])
def test_a_call_that_fails_or_is_interrupted_is_counted_no_longer(call, error):
    with pytest.raises(error):
        call()
    assert brindle._kept_memory()[1] == 0
