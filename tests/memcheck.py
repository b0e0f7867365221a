"""Leak checks that count memory, not time.

Two counters together see every allocation the module makes: the interpreter's count of live
allocated blocks (every leaked Python object) and the C allocator's bytes in use (every leaked
native string, vector or buffer, which C++ takes from malloc).
"""

import contextlib
import ctypes
import ctypes.util
import gc
import resource
import sys

import pytest

# Markers of the tests that cannot run against the build under AddressSanitizer (conftest.py).
COUNTS_ALLOCATOR = pytest.mark.unsanitized(
    reason="counts the C allocator's bytes in use, and AddressSanitizer replaces the allocator")
LIMITS_ADDRESS_SPACE = pytest.mark.unsanitized(
    reason="caps the address space (RLIMIT_AS), and AddressSanitizer reserves terabytes of it")

# The rounds of a leak loop, and the native bytes it may gain per round: a leak of one small
# object per call (a 32-byte block at least) gains twelve times as much.
ROUNDS = 10_000
BYTE_SLACK_PER_ROUND = 256 * 1024 / 100_000


class _Mallinfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks",
                 "uordblks", "fordblks", "keepcost")]


_libc = ctypes.CDLL(ctypes.util.find_library("c"))
_mallinfo2 = getattr(_libc, "mallinfo2", None)
if _mallinfo2 is not None:
    _mallinfo2.restype = _Mallinfo2


def native_bytes_in_use():
    """Bytes the C allocator has handed out and not taken back (0 where unknown)."""
    if _mallinfo2 is None:
        return 0
    info = _mallinfo2()
    return info.uordblks + info.hblkhd


def _snapshot():
    gc.collect()
    return sys.getallocatedblocks(), native_bytes_in_use()


# Live blocks may drift by a few hundred while the interpreter's own caches settle (seen on 3.12:
# 247 over 10,000 calls that raise); a leak of one object per call is ten thousand.
BLOCK_SLACK = 1_000


def assert_flat_memory(action, rounds=ROUNDS, warmup=2_000, block_slack=BLOCK_SLACK, byte_slack=None):
    """Runs `action` `rounds` times and fails when memory grew: a leak of even one small object
    or a few bytes per call shows up as thousands of blocks or hundreds of kilobytes. The byte
    slack defaults to BYTE_SLACK_PER_ROUND for each round."""
    if byte_slack is None:
        byte_slack = int(rounds * BYTE_SLACK_PER_ROUND)
    for _ in range(warmup):
        action()
    blocks_before, bytes_before = _snapshot()
    for _ in range(rounds):
        action()
    blocks_after, bytes_after = _snapshot()
    assert blocks_after - blocks_before <= block_slack, (
        f"{blocks_after - blocks_before} Python blocks leaked over {rounds} calls")
    assert bytes_after - bytes_before <= byte_slack, (
        f"{bytes_after - bytes_before} native bytes leaked over {rounds} calls")


def raising(action, exception=BaseException):
    """Wraps an action that must raise, so error paths can be repeated by assert_flat_memory."""
    def run():
        try:
            action()
        except exception:
            return
        raise AssertionError("expected an exception")
    return run


@contextlib.contextmanager
def address_space_headroom(headroom=512 * 1024 * 1024):
    """Lets the process map at most `headroom` more bytes meanwhile, so that an oversized
    reservation fails as MemoryError instead of quietly claiming gigabytes of address space
    that the kernel would otherwise grant without touching."""
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    with open("/proc/self/statm") as statm:
        mapped = int(statm.read().split()[0]) * resource.getpagesize()
    limit = mapped + headroom if hard == resource.RLIM_INFINITY else min(mapped + headroom, hard)
    resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
    try:
        yield
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
