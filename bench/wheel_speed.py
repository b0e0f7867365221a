"""The release wheel against the in-tree build: read_string plus dropping its result, on every
generated shape (20 MB) and corpus document, each build in a venv and a long-lived process of its own.

    python3 bench/wheel_speed.py (--wheel WHEEL | --wheel-venv VENV) [--in-tree DIR | --in-tree-venv VENV]
        [--rounds 15] [--limit 1.05] [--documents ssg,mame] [--keep DIR]

The wheel is installed in a fresh venv of the Python its tag names (python3.X on PATH), or
taken from an existing venv (--wheel-venv). The in-tree build is `pip install DIR` (the project
root by default) in another venv, or an existing venv given with --in-tree-venv (say, one built
from an earlier commit). Both run the same job as the read section of bench_all.py
(read_speed.py: a fresh str for each run), taking turns round by round in their own processes,
pinned to one core (measure.py). The table gives each build's median CPU time per read and the
wheel's over the in-tree build's; the exit status is 1 when a document's ratio is above --limit.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

import documents as document_sets
import measure as timing
from measure import Recipe

PROJECT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONTENDERS = ("wheel", "in-tree")
SHAPE_BYTES = 20 * 2 ** 20  # as bench_all.py measures them


def options():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    wheel = parser.add_mutually_exclusive_group(required=True)
    wheel.add_argument("--wheel", help="the wheel file to measure")
    wheel.add_argument("--wheel-venv", help="an existing venv holding the wheel")
    baseline = parser.add_mutually_exclusive_group()
    baseline.add_argument("--in-tree", default=PROJECT, help="the source folder pip installs (default: this project)")
    baseline.add_argument("--in-tree-venv", help="an existing venv holding the in-tree build, of the wheel's Python")
    parser.add_argument("--rounds", type=int, default=15, help="interleaved rounds (default 15, least 11)")
    parser.add_argument("--limit", type=float, default=1.05, help="the highest wheel/in-tree ratio that passes")
    parser.add_argument("--documents", help="comma-separated parts of document names to keep")
    parser.add_argument("--keep", help="a folder for the venvs, kept and reused (default: a temporary one)")
    return parser.parse_args()


def wheel_python(wheel):
    """python3.X for a wheel tagged cp3X."""
    found = re.search(r"-cp3(\d+)-", os.path.basename(wheel))
    if found is None:
        sys.exit(f"{wheel}: no CPython tag (cp3X) in the file name")
    return f"python3.{found.group(1)}"


def make_venv(python, folder, install):
    """A venv at `folder` (made once) with `install` installed; returns its interpreter."""
    interpreter = os.path.join(folder, "bin", "python")
    if not os.path.exists(interpreter):
        subprocess.run([python, "-m", "venv", folder], check=True)
    subprocess.run([interpreter, "-m", "pip", "install", "-q", "--disable-pip-version-check", "--force-reinstall",
                    "--no-deps", install], check=True)
    return interpreter


def venv_of(interpreter):
    return os.path.dirname(os.path.dirname(os.path.abspath(interpreter)))


def checked_job(venv, path, root):
    """read_speed's job, in a contender's process that has imported brindle from `venv`."""
    import brindle

    import read_speed
    if not os.path.abspath(brindle.__file__).startswith(venv + os.sep):
        raise RuntimeError(f"brindle was imported from {brindle.__file__}, outside {venv}")
    return read_speed.brindle_job(path, root)


def recipes(document):
    return {name: Recipe(name, "wheel_speed", "checked_job",
                         (venv_of(timing.interpreters[name]), document.path, document.root))
            for name in CONTENDERS}


def main():
    chosen = options()
    with tempfile.TemporaryDirectory(prefix="brindle-wheel-speed-") as scratch:
        venvs = chosen.keep or scratch
        if chosen.wheel_venv:
            timing.interpreters["wheel"] = os.path.join(chosen.wheel_venv, "bin", "python")
            python = timing.interpreters["wheel"]
        else:
            python = wheel_python(chosen.wheel)
            timing.interpreters["wheel"] = make_venv(python, os.path.join(venvs, "wheel"),
                                                     os.path.abspath(chosen.wheel))
        if chosen.in_tree_venv:
            timing.interpreters["in-tree"] = os.path.join(chosen.in_tree_venv, "bin", "python")
        else:
            timing.interpreters["in-tree"] = make_venv(python, os.path.join(venvs, "in-tree"), chosen.in_tree)
        for name in CONTENDERS:
            print(f"{name:8} brindle from {venv_of(timing.interpreters[name])}")

        def wanted(name):
            return not chosen.documents or any(part in name for part in chosen.documents.split(","))

        shapes = [document for document in document_sets.generated(SHAPE_BYTES) if wanted(document.label)]
        names = [name for name in document_sets.corpus_names() if wanted(name)]
        if not names and not chosen.documents:
            sys.exit(f"no corpus documents in {document_sets.CORPUS}")
        print(f"\nload average at the start: {' '.join(f'{load:.2f}' for load in os.getloadavg())}; "
              f"one core (cpu {timing.pinned_core}), median of {max(chosen.rounds, timing.LEAST_ROUNDS)} "
              "interleaved rounds, CPU ms per read_string + drop\n")
        print(f"| document | MB | wheel ms | in-tree ms | wheel / in-tree |\n|---|---|---|---|---|")
        worst = 0.0
        for document in shapes + document_sets.corpus(names):
            document.write_to(scratch)
            cpu, _ = timing.cpu_and_wall(timing.interleaved_medians(recipes(document), chosen.rounds))
            ratio = cpu["wheel"] / cpu["in-tree"]
            worst = max(worst, ratio)
            print(f"| {document.label} | {document.megabytes:.1f} | {cpu['wheel'] * 1e3:.1f} | "
                  f"{cpu['in-tree'] * 1e3:.1f} | {ratio:.3f} |", flush=True)
        print(f"\nload average at the end: {' '.join(f'{load:.2f}' for load in os.getloadavg())}; "
              f"worst ratio {worst:.3f} (limit {chosen.limit})")
        return 0 if worst <= chosen.limit else 1


if __name__ == "__main__":
    sys.exit(main())
