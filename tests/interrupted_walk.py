"""One long walk over shared children, stopped by a signal; run by test_interrupt.py in a
process of its own, so a walk that cannot be stopped only costs that process.

    python3 interrupted_walk.py OPERATION ctrl-c   Ctrl-C stops it with KeyboardInterrupt within
                                                   REACTION seconds, and memory comes back
    python3 interrupted_walk.py OPERATION handler  a SIGINT handler's RuntimeError comes out

Exits with 0 when every check passed. Address space and file size are capped, so a broken
build fails with MemoryError or OSError instead of filling the machine's memory or disk.
"""

import faulthandler
import os
import resource
import signal
import subprocess
import sys
import tempfile
import time

from memcheck import assert_flat_memory

import brindle
from brindle import Node, SearchType

DELAY = 0.2  # seconds into the walk when SIGINT arrives
REACTION = 2.0  # seconds the walk may take to stop after it; generous on a shared machine
WATCHDOG = 20.0  # seconds after which a walk that ignored the signal ends the process
OUTPUT_STARTED = 1_100  # bytes: the declaration, "<p>" and a first line of indentation
LEVELS = 40  # 2**40 occurrences: hours of work for every operation


def shared_tree(levels, leaf):
    for _ in range(levels):
        leaf = Node("p", children=[leaf, leaf])
    return leaf


def shared_dict(levels):
    form = {"name": "x", "attrs": {}, "children": []}
    for _ in range(levels):
        form = {"name": "p", "attrs": {}, "children": [form, form]}
    return form


def operations(path):
    tree = shared_tree(LEVELS, Node("x", {"k": "v"}, text="t"))
    # A million elements are checked at once, but their lines of indentation run to terabytes:
    # the interrupt comes while the file is being written.
    indented = shared_tree(20, Node("x"))
    return {
        "search_by_name": lambda: tree.search_by_name("absent"),
        "search_by_attr": lambda: tree.search_by_attr("absent"),
        "search_by_text": lambda: tree.search_by_text("absent"),
        "search": lambda: tree.search(SearchType.Tag, "absent"),
        "str": lambda: str(tree),
        "__to_string": lambda: getattr(tree, "__to_string")(3),
        "to_dict": tree.to_dict,
        "from_dict": lambda: Node.from_dict(shared_dict(LEVELS)),
        "write_string": lambda: brindle.write_string(tree),
        "write_file (check)": lambda: brindle.write_file(tree, path),
        "write_file (output)": lambda: brindle.write_file(indented, path, indent=10 ** 6),
    }


def send_sigint_later(delay, output=None):
    """Another process sends SIGINT to this one `delay` seconds after it starts, or, given an
    `output` path, `delay` seconds after a first line has been written there; it prints when it
    sent the signal, and this function returns that process. Waiting for the output, not for
    a time, keeps an interrupt meant for the writing out of the check before it, however slowly
    a loaded machine runs this process. A fresh process, not a fork: a forked child of a process
    under the sanitizers could inherit its allocator's lock, held by a thread that was just
    ending, and wait on it for good (seen once, as a run that hung)."""
    program = ("import os, signal, sys, time\n"
               "output = sys.argv[1]\n"
               f"deadline = time.monotonic() + {WATCHDOG}\n"
               "while output and time.monotonic() < deadline and not (\n"
               f"        os.path.exists(output) and os.path.getsize(output) >= {OUTPUT_STARTED}):\n"
               "    time.sleep(0.005)\n"
               f"time.sleep({delay})\n"
               "sent = time.monotonic()\n"
               f"os.kill({os.getpid()}, signal.SIGINT)\n"
               "print(repr(sent))\n")
    return subprocess.Popen([sys.executable, "-c", program, output or ""], stdout=subprocess.PIPE, text=True)


def interrupted(action, output=None):
    """The exception that stopped `action` and the seconds from the signal to it. Given the
    `output` path that `action` writes, the signal comes once the writing has begun there."""
    if output is not None and os.path.exists(output):
        os.remove(output)  # the last round's file must not count as this one's output
    sender = send_sigint_later(DELAY, output)
    faulthandler.dump_traceback_later(WATCHDOG, exit=True)
    try:
        action()
    except BaseException as exception:  # which one arrives is the point
        raised, stopped_by = time.monotonic(), exception
    else:
        raise AssertionError("the walk ended before the signal")
    finally:
        faulthandler.cancel_dump_traceback_later()
        sent = float(sender.communicate(timeout=60)[0])
    return stopped_by, raised - sent


# write_string's output buffer goes to the memory kept for later calls (at most 64 MiB in all).
# Whether an interrupted write leaves one behind depends on how far it got, so one round may end
# with a buffer kept where the round before freed it (seen once on 3.10: exactly 64 MiB more).
KEPT_OUTPUT_BUFFER = 64 << 20


def check_ctrl_c(action, byte_slack, output=None):
    def once():
        exception, seconds = interrupted(action, output)
        assert isinstance(exception, KeyboardInterrupt), repr(exception)
        assert seconds < REACTION, f"stopped {seconds:.2f} s after the signal"
    # A fifth of a second of walking builds megabytes: a walk that kept its work would leak far
    # more than the allocator's own drift between rounds.
    assert_flat_memory(once, rounds=3, warmup=1, byte_slack=byte_slack)


def raise_runtime_error(signum, frame):
    raise RuntimeError("from the handler")


def check_handler(action, output=None):
    previous = signal.signal(signal.SIGINT, raise_runtime_error)
    try:
        exception, _ = interrupted(action, output)
    finally:
        signal.signal(signal.SIGINT, previous)
    assert isinstance(exception, RuntimeError) and str(exception) == "from the handler", repr(exception)


def cap_resources():
    kinds = [resource.RLIMIT_FSIZE]
    if not os.environ.get("BRINDLE_SANITIZED"):  # AddressSanitizer reserves terabytes up front
        kinds.append(resource.RLIMIT_AS)
    for kind in kinds:
        hard = resource.getrlimit(kind)[1]
        resource.setrlimit(kind, (4 << 30 if hard == resource.RLIM_INFINITY else min(4 << 30, hard), hard))
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write past the cap fails instead of killing


def main(name, mode):
    # A process started in the background by a shell without job control inherits SIGINT
    # ignored, and Python then installs no handler of its own: put Ctrl-C's back.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    cap_resources()
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "out.xml")
        action = operations(path)[name]
        output = path if name == "write_file (output)" else None
        if mode == "ctrl-c":
            check_ctrl_c(action, (1 << 20) + (KEPT_OUTPUT_BUFFER if name == "write_string" else 0), output)
        else:
            check_handler(action, output)
        if name == "write_file (check)":
            assert not os.path.exists(path), "the file was opened before the tree was checked"
        if name == "write_file (output)":
            prefix = b'<?xml version="1.0" encoding="utf-8"?>\n<p>\n' + b" " * 1000
            with open(path, "rb") as written:
                assert written.read(len(prefix)) == prefix
    print("ok")


if __name__ == "__main__":
    main(*sys.argv[1:])
