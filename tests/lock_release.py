"""Whether a call releases the interpreter lock while it works."""

import sys
import threading
import time


def lets_other_threads_run(call, attempts=20):
    """True when another Python thread made progress during one of up to `attempts` calls.

    With a switch interval this long, the calling thread lets the other run only when it
    releases the lock itself; it is set before the other thread starts waiting for the lock.
    A busy machine may wake the other thread too late for one call; holding the lock for the
    whole call would keep it still in every one."""
    ticks = 0
    stop = threading.Event()

    def ticker():
        nonlocal ticks
        while not stop.is_set():
            ticks += 1
            time.sleep(0)

    previous = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    thread = threading.Thread(target=ticker)
    try:
        thread.start()
        for _ in range(attempts):
            before = ticks
            call()
            if ticks > before:
                return True
        return False
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(previous)
