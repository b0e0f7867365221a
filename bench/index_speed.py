"""The structural index micro-benchmark (bench/index, C++): built with CMake into
build/bench-index, run, and its table read back by column name."""

import os
import subprocess

PROJECT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = os.path.join(PROJECT, "bench", "index")
BUILD = os.path.join(PROJECT, "build", "bench-index")


def build():
    subprocess.run(["cmake", "-S", SOURCE, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2"], check=True, stdout=subprocess.DEVNULL)


def parse(output):
    """{document: {column: value}} from the table: two header lines name each column ("direct"
    over "windows" is "direct windows"), then one line per document. A level the processor
    lacks shows "-", read as NaN."""
    lines = output.splitlines()
    start = next(i for i, line in enumerate(lines) if line.split()[:1] == ["document"])
    first, second = lines[start].split()[3:], lines[start + 1].split()
    columns = [f"{top} {bottom}" for top, bottom in zip(first, second)]
    table = {}
    for line in lines[start + 2:]:
        cells = line.split()
        if len(cells) == len(columns) + 3:
            table[cells[0]] = dict(zip(columns, (float("nan") if cell == "-" else float(cell) for cell in cells[3:])))
    return table


def run():
    """{document: {column: GB/s}}; the benchmark's own output is printed as it is."""
    print("\nStructural index (bench/index):\n", flush=True)
    build()
    output = subprocess.run([os.path.join(BUILD, "index_bench")], check=True, capture_output=True,
                            text=True).stdout
    print(output, flush=True)
    return parse(output)
