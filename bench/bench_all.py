"""Every speed and memory goal of brindle, measured as ratios against lxml, ElementTree and
xmltodict on the same documents in one run, then summed up goal by goal.

    python3 bench/bench_all.py [--quick] [--only read,write,...] [--index]
        [--rounds 11] [--all-cores] [--processes 5] [--documents records,mame] [--update-readme]

It measures the brindle that `import brindle` finds: the installed one (`pip install .[bench]`,
which brings the peers and matplotlib too), or a build tree named by PYTHONPATH.

Sections (--only picks some; by default those above the line; --index adds index):
  read     read_string vs lxml fromstring (huge_tree) and ElementTree fromstring, every document
  threads  12 reads and drops on one thread vs 6 on each of two (fresh processes)
  memory   peak memory growth of read_file vs lxml parse, and the memory given back after del
  write    write_string vs lxml tostring(pretty_print=True)
  dict     read_string + to_dict vs xmltodict.parse; to_dict alone vs the floor (dict_floor.c)
  calls    one call on a 2 KB document, all four readers
  ----
  index    the structural index micro-benchmark (C++, built with CMake)
  files    write_file vs writing lxml's output, and write_file's check of the tree alone
  trees    from_dict, search_by_name vs iter(tag), str(), on the generated documents

The documents are the generated shapes (about 20 MB each, 2 MB with --quick) and the shared
corpus (../shared/corpus beside the project, or the folder BRINDLE_CORPUS names); without it,
the generated shapes alone, and no README update. Results go to --out (bench/results by default; a temporary folder with --quick):
results.json and the chart brindle-vs-peers.png. --from results.json redoes the summary, chart
and README section from a saved run without measuring.
"""

import argparse
import contextlib
import datetime
import importlib.util
import json
import os
import platform
import sys
import tempfile
import time
from dataclasses import dataclass

import documents as document_sets
import measure as timing
import report

DEFAULT_SECTIONS = ("read", "threads", "memory", "write", "dict", "calls")
BENCH = os.path.dirname(os.path.abspath(__file__))
README = os.path.join(os.path.dirname(BENCH), "README.md")
CHART = "brindle-vs-peers.png"
# The smaller corpus documents, for --quick.
QUICK_CORPUS = ("freedesktop.org.xml", "josm-boundaries.osm")


def options():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("--quick", action="store_true", help="2 MB shapes, two small corpus documents, "
                        "2 fresh processes per thread and memory figure: a smoke check")
    parser.add_argument("--only", help="comma-separated sections (default: all but index, files and trees)")
    parser.add_argument("--index", action="store_true", help="also build and run the index benchmark")
    parser.add_argument("--rounds", type=int, help="interleaved rounds per timing (default and least 11)")
    parser.add_argument("--all-cores", action="store_true",
                        help="leave the contenders' processes unpinned (by default all run on one core, in turns)")
    parser.add_argument("--processes", type=int,
                        help="fresh processes per thread reader (default 5) and per memory reader (default 3)")
    parser.add_argument("--mb", type=float, help="size of each generated document (default 20)")
    parser.add_argument("--documents", help="comma-separated parts of document names to keep")
    parser.add_argument("--out", help="folder for results.json and the chart")
    parser.add_argument("--from", dest="saved", help="a saved results.json: report it, measure nothing")
    parser.add_argument("--markdown", action="store_true", help="print only the README's Benchmarks section on standard output (the rest on standard error)")
    parser.add_argument("--update-readme", action="store_true", help="write that section into README.md")
    chosen = parser.parse_args()
    chosen.sections = chosen.only.split(",") if chosen.only else list(DEFAULT_SECTIONS)
    if chosen.index and "index" not in chosen.sections:
        chosen.sections.append("index")
    unknown = set(chosen.sections) - set(SECTION_RUNS)
    if unknown:
        parser.error(f"unknown sections: {', '.join(sorted(unknown))}")
    if chosen.update_readme and (chosen.quick or chosen.out):
        parser.error("--update-readme takes a full run into bench/results (no --quick, no --out)")
    if chosen.update_readme and not document_sets.corpus_names():
        parser.error(f"--update-readme needs the corpus, and {document_sets.CORPUS} holds none (BRINDLE_CORPUS names another folder)")
    if chosen.update_readme and importlib.util.find_spec("matplotlib") is None:
        parser.error("--update-readme draws the README's chart with matplotlib: pip install matplotlib (or .[bench])")
    chosen.rounds = max(chosen.rounds or 0, timing.LEAST_ROUNDS)
    if chosen.all_cores:
        timing.pinned_core = None
    chosen.mb = chosen.mb or (2 if chosen.quick else 20)
    chosen.out = chosen.out or (os.path.join(tempfile.gettempdir(), "brindle-bench-quick") if chosen.quick
                                else os.path.join(BENCH, "results"))
    return chosen


def chosen_documents(chosen):
    def wanted(label):
        return not chosen.documents or any(part in label for part in chosen.documents.split(","))

    shapes = [document for document in document_sets.generated(int(chosen.mb * 2 ** 20)) if wanted(document.label)]
    names = [name for name in document_sets.corpus_names()
             if wanted(name) and (name in QUICK_CORPUS or not chosen.quick)]
    if not document_sets.corpus_names():
        print(f"corpus: none at {document_sets.CORPUS} (BRINDLE_CORPUS names another folder): "
              "the generated shapes only")
    return shapes + document_sets.corpus(names)


@dataclass
class Plan:
    """What the sections measure on, and how many times."""
    documents: list
    rounds: int
    thread_processes: int
    memory_processes: int
    scratch: str  # a temporary folder for files, the floor and the children's documents

    @property
    def real(self):
        return [document for document in self.documents if document.real]

    @property
    def memory_documents(self):
        """The largest corpus document and the records shape."""
        largest = sorted(self.real, key=lambda document: -document.megabytes)[:1]
        return largest + [document for document in self.documents if document.label == "records"]


def read_section(plan):
    import read_speed
    return read_speed.run(plan.documents, plan.rounds)


def threads_section(plan):
    import thread_speed
    return thread_speed.run(plan.real, plan.thread_processes, plan.scratch) if plan.real else None


def memory_section(plan):
    import memory_use
    documents = plan.memory_documents
    return memory_use.run(documents, plan.memory_processes, plan.scratch) if documents else None


def write_section(plan):
    import write_speed
    return write_speed.run(plan.documents, plan.rounds)


def dict_section(plan):
    import dict_floor
    import dict_speed
    return dict_speed.run(plan.documents, plan.rounds, dict_floor.build(plan.scratch))


def calls_section(plan):
    import call_cost
    return call_cost.run(plan.rounds)


def index_section(plan):
    import index_speed
    return index_speed.run()


def files_section(plan):
    import file_speed
    return file_speed.run(plan.documents, plan.rounds, plan.scratch)


def trees_section(plan):
    import tree_speed
    return tree_speed.run(plan.documents, plan.rounds)


SECTION_RUNS = {"read": read_section, "threads": threads_section, "memory": memory_section,
                "write": write_section, "dict": dict_section, "calls": calls_section,
                "index": index_section, "files": files_section, "trees": trees_section}


def measure(chosen, scratch):
    plan = Plan(chosen_documents(chosen), chosen.rounds,
                thread_processes=chosen.processes or (2 if chosen.quick else 5),
                memory_processes=chosen.processes or (1 if chosen.quick else 3), scratch=scratch)
    results = {"documents": [{"label": document.label, "megabytes": document.megabytes, "real": document.real}
                             for document in plan.documents]}
    for document in plan.documents:
        document.write_to(scratch)
    for section in chosen.sections:
        measured = SECTION_RUNS[section](plan)
        if isinstance(measured, tuple):  # CPU seconds, which the ratios compare, and wall seconds
            results[section], results[section + " wall"] = measured
        elif measured is not None:
            results[section] = measured
    return results


def measured_build():
    """Where the measured brindle came from, as pip recorded it: a wheel file, a source folder,
    or neither (a build tree on PYTHONPATH)."""
    import importlib.metadata
    try:
        recorded = importlib.metadata.distribution("brindle-xml").read_text("direct_url.json")
    except importlib.metadata.PackageNotFoundError:
        recorded = None
    url = json.loads(recorded).get("url", "") if recorded else ""
    if url.endswith(".whl"):
        return f"the wheel {os.path.basename(url)}"
    if url.startswith("file://"):
        return "`pip install .` of the source folder"
    return "a build on PYTHONPATH"


def run_and_save(chosen):
    started = time.perf_counter()
    load_before = os.getloadavg()[0]
    print(f"load average at the start: {load_before:.1f} on {os.cpu_count()} cores", flush=True)
    import brindle
    print(f"brindle measured: {brindle.__file__} ({measured_build()})", flush=True)
    with tempfile.TemporaryDirectory() as scratch:
        results = measure(chosen, scratch)
    results["meta"] = {
        "date": datetime.date.today().isoformat(),
        "seconds": time.perf_counter() - started,
        "rounds": chosen.rounds,
        "pinned": timing.pinned_core is not None,
        "quick": chosen.quick,
        "python": platform.python_version(),
        "processor": processor_name(),
        "load": [round(load_before, 1), round(os.getloadavg()[0], 1)],
        "command": " ".join(["python3", "bench/bench_all.py"] + sys.argv[1:]),
        "build": measured_build(),
    }
    with open(os.path.join(chosen.out, "results.json"), "w") as file:
        json.dump(results, file, indent=1)
    return results


def processor_name():
    """The processor's model name as Linux tells it, or "" where it does not: the same code runs
    at different speeds, and in different ratios to the peers, on different processors."""
    try:
        with open("/proc/cpuinfo") as info:
            return next((line.split(":", 1)[1].strip() for line in info if line.startswith("model name")), "")
    except OSError:
        return ""


def obtain_results(chosen):
    if not chosen.saved:
        return run_and_save(chosen)
    with open(chosen.saved) as file:
        return json.load(file)


def report_results(chosen, results):
    """The goal summary, the chart and, when asked, the README section; returns that section."""
    rows = report.goals(results)
    if rows:
        report.print_summary(rows)
    if importlib.util.find_spec("matplotlib") is None:
        print("\nchart: not drawn, matplotlib is not installed (pip install matplotlib, or .[bench])")
    else:
        import chart
        chart_path = os.path.join(chosen.out, CHART)
        if chart.draw(results, chart_path):
            print(f"\nchart: {chart_path}")
    meta = results["meta"]
    print(f"results: {os.path.join(chosen.out, 'results.json')}; the run took {meta['seconds'] / 60:.1f} minutes, "
          f"load average {meta['load'][0]} at its start and {meta['load'][1]} at its end")
    section = report.markdown(results, rows)
    if chosen.update_readme:
        report.update_readme(README, section)
        print("README.md's Benchmarks section rewritten")
    return section


def main():
    chosen = options()
    os.makedirs(chosen.out, exist_ok=True)
    # With --markdown, standard output carries the README section alone; the rest goes to stderr.
    with contextlib.redirect_stdout(sys.stderr if chosen.markdown else sys.stdout):
        section = report_results(chosen, obtain_results(chosen))
    if chosen.markdown:
        print(section, end="")
    return 0


if __name__ == "__main__":
    sys.exit(main())
