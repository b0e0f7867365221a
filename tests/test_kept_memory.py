"""How the memory kept for reuse between calls behaves in steady use: blocks that the next call
takes again are kept as written (not marked free to the kernel), blocks left unused are marked,
and a read in steady use lands in pages that earlier reads wrote instead of fresh ones."""

import os
import subprocess
import sys

import pytest

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
