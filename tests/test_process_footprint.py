"""What brindle leaves in the process around a call: no thread of its own, ever, and memory kept
for reuse between calls bounded per process, whatever the number of threads that called."""

import json
import os
import subprocess
import sys
import time

import pytest

import brindle
import generated_documents

TESTS = os.path.dirname(os.path.abspath(__file__))
ON_PROC = pytest.mark.skipif(not os.path.isdir("/proc/self/task"), reason="counts through /proc")

# Another process counts this one's threads as fast as it can until its input closes, and
# prints (time, count) pairs: it sees the calls whether or not they hold the interpreter lock.
SAMPLER = """
import json, os, select, sys, time
task = f"/proc/{sys.argv[1]}/task"
samples = []
print("ready", flush=True)
while not select.select([sys.stdin], [], [], 0)[0]:
    samples.append((time.monotonic(), len(os.listdir(task))))
print(json.dumps(samples))
"""


def thread_counts_during(call):
    """The counts of this process's threads sampled while `call` ran, and its seconds."""
    sampler = subprocess.Popen([sys.executable, "-c", SAMPLER, str(os.getpid())], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, text=True)
    assert sampler.stdout.readline() == "ready\n"
    time.sleep(0.05)
    started = time.monotonic()
    result = call()
    ended = time.monotonic()
    del result
    samples, _ = sampler.communicate("", timeout=60)
    return [count for stamp, count in json.loads(samples) if started <= stamp <= ended], ended - started


@ON_PROC
def test_no_thread_but_the_callers_is_ever_seen_during_a_call(tmp_path):
    document = generated_documents.tiny(target=16_000_000)
    path = tmp_path / "large.xml"
    path.write_text(document)
    tree = brindle.read_string(document, "r")
    calls = {"read_string": lambda: brindle.read_string(document, "r"),
             "read_file": lambda: brindle.read_file(str(path), "r"),
             "write_string": lambda: brindle.write_string(tree, indent=4)}
    for name, call in calls.items():
        before = len(os.listdir("/proc/self/task"))
        counts, seconds = thread_counts_during(call)
        assert len(counts) >= 50, (name, len(counts), seconds)
        assert max(counts) <= before, name
        if name.startswith("read"):
            assert seconds >= 0.2, (name, seconds)


# Sixteen pool threads each write a 20 MB tree and read a 20 MB non-ASCII str once, or, for the
# control, make results of the same sizes without brindle; the threads stay alive while the
# resident size is taken.
POOL = """
import sys, threading
from concurrent.futures import ThreadPoolExecutor
import brindle, generated_documents
THREADS = 16

def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096

tree = brindle.read_string(generated_documents.records(target=20_000_000), "dataset")
text = generated_documents.text(target=20_000_000).replace("caf&#233;", "café")
written_size = len(brindle.write_string(tree))
barrier = threading.Barrier(THREADS)

def with_brindle():
    barrier.wait()  # sixteen threads, one call each
    written = brindle.write_string(tree)
    node = brindle.read_string(text, "book")
    return len(written) + len(node.children)

def control():
    barrier.wait()
    written = "x" * written_size
    encoded = text.encode()
    return len(written) + len(encoded)

work = with_brindle if sys.argv[1] == "brindle" else control
before = resident()
with ThreadPoolExecutor(THREADS) as pool:
    list(pool.map(lambda _: work(), range(THREADS)))
    print(resident() - before)
"""


def grown_bytes(program, mode):
    path = os.pathsep.join([TESTS, *sys.path])
    result = subprocess.run([sys.executable, "-c", program, mode], env={**os.environ, "PYTHONPATH": path},
                            capture_output=True, text=True, timeout=600, check=True)
    return int(result.stdout)


@ON_PROC
@pytest.mark.unsanitized(reason="measures the resident size, which AddressSanitizer's shadow memory swamps")
def test_sixteen_live_pool_threads_hold_at_most_64_mib_more_than_without_brindle():
    held = grown_bytes(POOL, "brindle") - grown_bytes(POOL, "control")
    assert held <= 64 << 20, held / 2**20


@ON_PROC
@pytest.mark.unsanitized(reason="measures the resident size, which AddressSanitizer's shadow memory swamps")
def test_a_tree_larger_than_the_kept_bound_gives_the_rest_back():
    program = """
import brindle, generated_documents
def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096
document = generated_documents.tiny(target=30_000_000)
before = resident()
tree = brindle.read_string(document, "r")
held = resident() - before
del tree
print(held, resident() - before)
"""
    path = os.pathsep.join([TESTS, *sys.path])
    result = subprocess.run([sys.executable, "-c", program], env={**os.environ, "PYTHONPATH": path},
                            capture_output=True, text=True, timeout=600, check=True)
    held, left = map(int, result.stdout.split())
    assert held > 3 * (64 << 20)
    assert left <= (64 << 20) + (8 << 20), (held / 2**20, left / 2**20)
