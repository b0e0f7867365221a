"""The benchmarks that want every measurement from a fresh process (threads, memory): the
script runs itself with --child, once per measurement, and reads what the child printed."""

import os
import subprocess
import sys


def child_outputs(script, document, directory, processes, readers):
    """{reader: [the words each child printed]}: `script --child PATH ROOT READER` run
    `processes` times for each reader, on `document` written as a file in `directory`. The
    readers take turns, so that neither always runs on a warmer or colder machine."""
    path = document.path or document.write_to(directory)
    outputs = {name: [] for name in readers}
    for _ in range(processes):
        for name in readers:
            command = [sys.executable, os.path.abspath(script), "--child", path, document.root, name]
            outputs[name].append(subprocess.run(command, capture_output=True, text=True, check=True).stdout.split())
    return outputs
