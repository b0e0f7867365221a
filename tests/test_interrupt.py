"""Ctrl-C stops every long walk over a tree of shared children, and what it built is released.

Each case runs in a process of its own (interrupted_walk.py), under a timeout, so a walk that
ignores the signal fails its case instead of hanging the suite."""

import os
import subprocess
import sys

import pytest

WALK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "interrupted_walk.py")

OPERATIONS = ["search_by_name", "search_by_attr", "search_by_text", "search", "str", "__to_string",
              "to_dict", "from_dict", "write_string", "write_file (check)", "write_file (output)"]


def run_walk(operation, mode):
    result = subprocess.run([sys.executable, WALK, operation, mode], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "ok\n"


@pytest.mark.parametrize("operation", OPERATIONS)
def test_ctrl_c_stops_the_walk_and_frees_its_work(operation):
    run_walk(operation, "ctrl-c")


@pytest.mark.parametrize("operation", OPERATIONS)
def test_exception_of_a_sigint_handler_comes_out(operation):
    run_walk(operation, "handler")
