"""Every speed and memory goal of brindle, measured as ratios against lxml, ElementTree and
xmltodict on the same documents in one run, then summed up goal by goal.

    PYTHONPATH=build/dev python3 bench/bench_all.py [--quick] [--only read,write,...] [--index]
        [--rounds 5] [--processes 5] [--documents records,mame] [--update-readme]

Sections (--only picks some; by default those above the line; --index adds index):
  read     read_string vs lxml fromstring (huge_tree) and ElementTree fromstring, every document
  threads  two threads reading two documents vs one thread reading both (fresh processes)
  memory   peak memory growth of read_file vs lxml parse, and the memory given back after del
  write    write_string vs lxml tostring(pretty_print=True)
  dict     read_string + to_dict vs xmltodict.parse; to_dict alone vs the floor (dict_floor.c)
  calls    one call on a 2 KB document, all four readers
  ----
  index    the structural index micro-benchmark (C++, built with CMake)
  files    write_file vs writing lxml's output, and write_file's check of the tree alone
  trees    from_dict, search_by_name vs iter(tag), str(), on the generated documents

The documents are the generated shapes (about 20 MB each, 2 MB with --quick) and the shared
corpus. Results go to --out (bench/results by default; a temporary folder with --quick):
results.json and the chart brindle-vs-peers.png. --from results.json redoes the summary, chart
and README section from a saved run without measuring.
"""

import argparse
import datetime
import json
import os
import platform
import sys
import tempfile
import time

import documents as document_sets
import report

SECTIONS = ("read", "threads", "memory", "write", "dict", "calls", "index", "files", "trees")
DEFAULT_SECTIONS = SECTIONS[:SECTIONS.index("index")]
BENCH = os.path.dirname(os.path.abspath(__file__))
README = os.path.join(os.path.dirname(BENCH), "README.md")
CHART = "brindle-vs-peers.png"
# The smaller corpus documents, for --quick.
QUICK_CORPUS = ("freedesktop.org.xml", "josm-boundaries.osm")


def options():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("--quick", action="store_true", help="2 MB shapes, two small corpus documents, "
                        "2 rounds and processes: a smoke check")
    parser.add_argument("--only", help="comma-separated sections (default: all but index)")
    parser.add_argument("--index", action="store_true", help="also build and run the index benchmark")
    parser.add_argument("--rounds", type=int, help="interleaved rounds per timing (default 5, 2 with --quick)")
    parser.add_argument("--processes", type=int,
                        help="fresh processes per thread reader (default 5) and per memory reader (default 3)")
    parser.add_argument("--mb", type=float, help="size of each generated document (default 20)")
    parser.add_argument("--documents", help="comma-separated parts of document names to keep")
    parser.add_argument("--out", help="folder for results.json and the chart")
    parser.add_argument("--from", dest="saved", help="a saved results.json: report it, measure nothing")
    parser.add_argument("--markdown", action="store_true", help="print the README's Benchmarks section at the end")
    parser.add_argument("--update-readme", action="store_true", help="write that section into README.md")
    chosen = parser.parse_args()
    chosen.sections = chosen.only.split(",") if chosen.only else list(DEFAULT_SECTIONS)
    if chosen.index and "index" not in chosen.sections:
        chosen.sections.append("index")
    unknown = set(chosen.sections) - set(SECTIONS)
    if unknown:
        parser.error(f"unknown sections: {', '.join(sorted(unknown))}")
    if chosen.update_readme and (chosen.quick or chosen.out):
        parser.error("--update-readme takes a full run into bench/results (no --quick, no --out)")
    chosen.rounds = chosen.rounds or (2 if chosen.quick else 5)
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
    return shapes + document_sets.corpus(names)


def measure(chosen, scratch):
    everything = chosen_documents(chosen)
    real = [document for document in everything if document.real]
    generated = [document for document in everything if not document.real]
    largest_real = sorted(real, key=lambda document: -document.megabytes)[:1]
    records = [document for document in generated if document.label == "records"]
    thread_processes = chosen.processes or (2 if chosen.quick else 5)
    memory_processes = chosen.processes or (1 if chosen.quick else 3)
    results = {"documents": [{"label": document.label, "megabytes": document.megabytes, "real": document.real}
                             for document in everything]}
    for section in chosen.sections:
        if section == "read":
            import read_speed
            results["read"] = read_speed.run(everything, chosen.rounds)
        elif section == "threads" and real:
            import thread_speed
            results["threads"] = thread_speed.run(real, thread_processes, scratch)
        elif section == "memory" and largest_real + records:
            import memory_use
            results["memory"] = memory_use.run(largest_real + records, memory_processes, scratch)
        elif section == "write":
            import write_speed
            results["write"] = write_speed.run(everything, chosen.rounds)
        elif section == "dict":
            import dict_floor
            import dict_speed
            results["dict"] = dict_speed.run(everything, chosen.rounds, dict_floor.load(scratch))
        elif section == "calls":
            import call_cost
            results["calls"] = call_cost.run(chosen.rounds)
        elif section == "index":
            import index_speed
            results["index"] = index_speed.run()
        elif section == "files":
            import file_speed
            results["files"] = file_speed.run(everything, chosen.rounds, scratch)
        elif section == "trees":
            import tree_speed
            results["trees"] = tree_speed.run(everything, chosen.rounds)
    return results


def run_and_save(chosen):
    started = time.perf_counter()
    load_before = os.getloadavg()[0]
    print(f"load average at the start: {load_before:.1f} on {os.cpu_count()} cores", flush=True)
    with tempfile.TemporaryDirectory() as scratch:
        results = measure(chosen, scratch)
    results["meta"] = {
        "date": datetime.date.today().isoformat(),
        "seconds": time.perf_counter() - started,
        "rounds": chosen.rounds,
        "quick": chosen.quick,
        "python": platform.python_version(),
        "load": [round(load_before, 1), round(os.getloadavg()[0], 1)],
    }
    with open(os.path.join(chosen.out, "results.json"), "w") as file:
        json.dump(results, file, indent=1)
    return results


def main():
    chosen = options()
    os.makedirs(chosen.out, exist_ok=True)
    if chosen.saved:
        with open(chosen.saved) as file:
            results = json.load(file)
    else:
        results = run_and_save(chosen)
    rows = report.goals(results)
    if rows:
        report.print_summary(rows)
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
    if chosen.markdown:
        print("\n" + section)
    return 0


if __name__ == "__main__":
    sys.exit(main())
