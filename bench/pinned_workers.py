"""The plumbing of the benchmarks that read one large file per run (stream_speed.py,
table_speed.py): each contender in a long-lived worker process of its own, started as
`SCRIPT --worker NAME`, pinned to one core (`taskset -c CORE`) and fed one job at a time; the
contenders take turns round by round, the order reversed every other round; nothing is tidied
between runs (no forced collection, no heap trimming).

A worker answers each job with the run's wall time and the CPU time of its whole process (every
thread), what the run returned, and its peak RSS growth: VmHWM after the run less VmRSS before
the first run (the worker imports its libraries before that). After the first run, that is what
a fresh process needs for the run.
"""

import importlib
import json
import os
import subprocess
import sys
import time


def status_bytes(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise LookupError(field)


def serve(action, imports=()):
    """A worker's loop: each line of standard input is a JSON object of keyword arguments for
    `action`, answered by a line {"wall", "cpu", "result", "peak_growth"}."""
    for module in imports:
        importlib.import_module(module)
    before = status_bytes("VmRSS")
    for line in sys.stdin:
        job = json.loads(line)
        wall, cpu = time.perf_counter(), time.process_time()
        result = action(**job)
        answer = {"wall": time.perf_counter() - wall, "cpu": time.process_time() - cpu, "result": result,
                  "peak_growth": status_bytes("VmHWM") - before}
        print(json.dumps(answer), flush=True)


def start(script, name, core=0):
    return subprocess.Popen(["taskset", "-c", str(core), sys.executable, script, "--worker", name],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)


def ask(process, job):
    process.stdin.write(json.dumps(job) + "\n")
    process.stdin.flush()
    answer = process.stdout.readline()
    if not answer:
        raise RuntimeError(f"a worker ended without answering (exit {process.wait()})")
    return json.loads(answer)


def stop(workers):
    for process in workers.values():
        process.stdin.close()
        process.wait()


def take_turns(workers, job, rounds, on_answer=None):
    """{name: [answer, ...]}: round by round, each contender that has rounds left runs `job`
    once. `rounds` is a number for all, or {name: number} (fewer for slow contenders);
    `on_answer(name, answer)`, when given, sees each answer as it comes."""
    names = list(workers)
    wanted = rounds if isinstance(rounds, dict) else dict.fromkeys(names, rounds)
    answers = {name: [] for name in names}
    for index in range(max(wanted.values())):
        for name in names if index % 2 == 0 else reversed(names):
            if index < wanted[name]:
                answers[name].append(ask(workers[name], job))
                if on_answer:
                    on_answer(name, answers[name][-1])
    return answers


def load_average():
    return "load average " + ", ".join(f"{load:.2f}" for load in os.getloadavg())
