"""Instructions of single calls, counted by valgrind's callgrind.

A program runs a driver under `valgrind --tool=callgrind`. Around each measured call the driver
zeroes callgrind's counters and then dumps them under a label, through callgrind's client
requests (a ten-line C helper, compiled here with the system's C compiler against valgrind's
own header), so that a count holds the call alone: no interpreter start-up, no building of the
input. Outside valgrind the requests do nothing, so a driver also runs natively.
"""

import ctypes
import gc
import os
import re
import shutil
import subprocess

HELPER_SOURCE = r"""
#include <valgrind/callgrind.h>
void count_zero(void) { CALLGRIND_ZERO_STATS; }
void count_dump(const char* label) { CALLGRIND_DUMP_STATS_AT(label); }
"""


class Unavailable(Exception):
    """valgrind, its header or a C compiler is missing."""


def build_helper(directory):
    """Compiles the helper into `directory` and returns the shared library's path."""
    if shutil.which("valgrind") is None:
        raise Unavailable("valgrind is not installed (Debian package 'valgrind')")
    compiler = os.environ.get("CC") or shutil.which("cc") or shutil.which("gcc")
    if compiler is None:
        raise Unavailable("no C compiler to build the callgrind helper")
    source = os.path.join(directory, "count_helper.c")
    library = os.path.join(directory, "count_helper.so")
    with open(source, "w") as file:
        file.write(HELPER_SOURCE)
    result = subprocess.run([compiler, "-shared", "-fPIC", "-O1", "-o", library, source],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise Unavailable("the callgrind helper did not compile (is valgrind's callgrind.h "
                          "installed?):\n" + result.stderr)
    return library


class Counter:
    """The driver's side: counts one call at a time."""

    def __init__(self, helper):
        self._helper = ctypes.CDLL(helper)
        self._helper.count_dump.argtypes = [ctypes.c_char_p]

    def measure(self, label, action):
        """Runs `action` once between a zeroing and a dump labelled `label`. Garbage left by
        earlier calls is collected first, so that no call pays for another's."""
        gc.collect()
        self._helper.count_zero()
        action()
        self._helper.count_dump(label.encode())


def start(command, directory, name, **popen_options):
    """Starts `command` (a list) under callgrind, its dumps going to `directory`."""
    valgrind = ["valgrind", "--tool=callgrind", "-q",
                f"--callgrind-out-file={os.path.join(directory, name)}.%p"]
    return subprocess.Popen(valgrind + command, **popen_options)


_LABELLED = "desc: Trigger: Client Request: "


def read_counts(directory):
    """{label: instructions} from every labelled dump in `directory`: the label and the
    summary (the dump's total) stand in each dump's header."""
    counts = {}
    for name in os.listdir(directory):
        if not re.search(r"\.\d+\.\d+$", name):
            continue  # the dump at program termination, or the helper
        label = None
        with open(os.path.join(directory, name), errors="replace") as file:
            for line in file:
                if line.startswith(_LABELLED):
                    label = line[len(_LABELLED):].rstrip("\n")
                elif line.startswith("summary: ") and label is not None:
                    counts[label] = int(line.split()[1])
                    break
    return counts
