"""Timing shared by the peer benchmarks: the same way for every library.

Each library runs in a long-lived process of its own (a contender), started once for the whole
benchmark, so that its allocator holds only its own garbage, as in a program that reads
document after document: no library pays for another's frees, and nothing is tidied between
runs (no forced collection, no heap trimming). The contenders take turns round by round (the
order reversed every other round, so neither always runs on a warmer or colder machine); a
timed run is one call plus dropping its result. Each run is timed in wall time and in CPU time
of its whole process (every thread), and each figure is the median of at least 11 rounds. For
one-core figures every contender is pinned to the same core (the first this process may use),
where they never run at once.
"""

import importlib
import multiprocessing
import os
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass

LEAST_ROUNDS = 11


@dataclass(frozen=True)
class Recipe:
    """How a contender's process makes a job: `module.function(*args)` returns a callable that
    prepares one run (untimed: a fresh input, say) and returns the action to time."""
    process: str     # the contender's process, by library: "brindle", "lxml", ...
    module: str
    function: str
    args: tuple = ()


@dataclass
class Times:
    wall: float
    cpu: float


def _serve(connection, core, path=None):
    """The loop of a contender's process; `path`, when given, is its own interpreter's import
    path (a process started from another interpreter inherits the parent's)."""
    if path is not None:
        sys.path[:] = path
    if core is not None:
        os.sched_setaffinity(0, {core})
    jobs = {}
    while True:
        message = connection.recv()
        try:
            if message[0] == "jobs":
                jobs.clear()  # the previous comparison's inputs go first
                for label, recipe in message[1].items():
                    jobs[label] = getattr(importlib.import_module(recipe.module), recipe.function)(*recipe.args)
                connection.send(None)
            elif message[0] == "run":
                connection.send(_timed_run(jobs[message[1]]))
            else:
                return
        except Exception as error:  # shown by the parent, which stops the benchmark
            connection.send(error)


def _timed_run(job):
    action = job()
    wall, cpu = time.perf_counter(), time.process_time()
    result = action()
    del result
    return Times(time.perf_counter() - wall, time.process_time() - cpu)


class _Contender:
    def __init__(self, name, core, interpreter=None):
        context = multiprocessing.get_context("spawn")
        self.connection, theirs = context.Pipe()
        path = None
        if interpreter is not None:
            path = [_BENCH] + _import_path(interpreter)
            context.set_executable(interpreter)
        try:
            self.process = context.Process(target=_serve, args=(theirs, core, path), name=f"bench {name}", daemon=True)
            self.process.start()
        finally:
            context.set_executable(sys.executable)

    def ask(self, *message):
        self.connection.send(message)
        answer = self.connection.recv()
        if isinstance(answer, Exception):
            raise answer
        return answer


_contenders = {}
pinned_core = min(os.sched_getaffinity(0))  # None for figures on every core
# {process: interpreter} for contenders that run in another interpreter than this one (a venv
# of their own, say); the others run in this one.
interpreters = {}
_BENCH = os.path.dirname(os.path.abspath(__file__))


def _import_path(interpreter):
    """The import path `interpreter` starts with, PYTHONPATH aside."""
    environment = {key: value for key, value in os.environ.items() if key != "PYTHONPATH"}
    found = subprocess.run([interpreter, "-c", "import sys; print('\\n'.join(sys.path[1:]))"], env=environment,
                           capture_output=True, text=True, check=True)
    return found.stdout.splitlines()


def _contender(name):
    if name not in _contenders:
        _contenders[name] = _Contender(name, pinned_core, interpreters.get(name))
    return _contenders[name]


def interleaved_medians(recipes, rounds):
    """{label: Times of medians} over `rounds` (at least LEAST_ROUNDS) rounds in which every
    labelled recipe runs once, in its library's process."""
    rounds = max(rounds, LEAST_ROUNDS)
    by_process = {}
    for label, recipe in recipes.items():
        by_process.setdefault(recipe.process, {})[label] = recipe
    for process, labelled in by_process.items():
        _contender(process).ask("jobs", labelled)
    labels = list(recipes)
    times = {label: [] for label in labels}
    for round_index in range(rounds):
        for label in labels if round_index % 2 == 0 else reversed(labels):
            times[label].append(_contender(recipes[label].process).ask("run", label))
    for process in by_process:
        _contender(process).ask("jobs", {})  # inputs and results dropped between comparisons
    return {label: Times(statistics.median(one.wall for one in runs), statistics.median(one.cpu for one in runs))
            for label, runs in times.items()}


def cpu_and_wall(medians):
    """The section's form of `interleaved_medians`' result: CPU seconds by label (what ratios
    compare) and wall seconds by label."""
    return {label: one.cpu for label, one in medians.items()}, {label: one.wall for label, one in medians.items()}


def timed(action):
    """Seconds of one run of `action` in this process and its result, for the benchmarks that
    time one library at a time (growth, threads); nothing is tidied before it."""
    start = time.perf_counter()
    result = action()
    return time.perf_counter() - start, result
