"""What a run of bench_all.py means against the goals: each goal's measured ratio and whether
it is met, as a plain table for the terminal and as the README's Benchmarks section."""

import statistics
import textwrap
from dataclasses import dataclass

CHART_IN_README = "bench/results/brindle-vs-peers.png"


@dataclass
class Goal:
    text: str
    target: str      # as printed, e.g. ">= 3x"
    measured: str    # as printed, e.g. "2.41x (tiny)"
    met: object      # True, False, or None when the row has no goal


def _ratios(section, over, under):
    """{document: section[over] / section[under]} for each measured document."""
    return {label: values[over] / values[under] for label, values in section.items()}


def _worst(ratios, lowest):
    label = (min if lowest else max)(ratios, key=ratios.get)
    return ratios[label], label


def _at_least(text, ratios, target, unit="x"):
    value, label = _worst(ratios, lowest=True)
    return Goal(text, f">= {_target(target, unit)}", f"{_number(value, unit)} (lowest: {label})", value >= target)


def _at_most(text, ratios, target, unit="x"):
    value, label = _worst(ratios, lowest=False)
    return Goal(text, f"<= {_target(target, unit)}", f"{_number(value, unit)} (highest: {label})", value <= target)


def _target(value, unit):
    return f"{value:.0%}" if unit == "%" else f"{value:g}{unit}"


def _number(value, unit):
    return f"{value:.0%}" if unit == "%" else f"{value:.2f}{unit}"


def _spread(text, ratios):
    low, high = min(ratios.values()), max(ratios.values())
    return Goal(text, "-", f"{low:.2f}x to {high:.2f}x, median {statistics.median(ratios.values()):.2f}x", None)


def goals(results):
    """The goal rows a run measured, in the order of the goals."""
    rows = []
    if "read" in results:
        vs_lxml = _ratios(results["read"], "lxml", "brindle")
        median = statistics.median(vs_lxml.values())
        rows += [_at_least("read_string vs lxml fromstring, every document", vs_lxml, 3),
                 Goal("read_string vs lxml fromstring, median of the documents", ">= 4x", f"{median:.2f}x",
                      median >= 4),
                 _spread("read_string vs ElementTree fromstring", _ratios(results["read"], "ElementTree", "brindle"))]
    if "threads" in results:
        brindle = {label: values["brindle"] for label, values in results["threads"].items()}
        lxml = {label: values["lxml"] for label, values in results["threads"].items()}
        rows += [_at_least("two threads over one thread, brindle, every document", brindle, 1.8),
                 _spread("two threads over one thread, lxml (for comparison)", lxml)]
    if "memory" in results:
        memory = results["memory"]
        peak = {label: values["brindle"]["peak_growth"] / values["lxml"]["peak_growth"]
                for label, values in memory.items()}
        kept = {label: _held_after_del(values["brindle"]) for label, values in memory.items()}
        rows += [_at_most("read_file peak memory growth vs lxml parse", peak, 0.4),
                 _at_most("read_file memory still held after del (MiB: at most 64 kept by brindle for reuse, "
                          "4 more for the allocators' own)", kept, 68, unit=" MiB")]
    if "write" in results:
        rows.append(_at_least("write_string vs lxml tostring(pretty_print=True), every document",
                              _ratios(results["write"], "lxml", "brindle"), 2.5))
    if "dict" in results:
        rows += [_spread("read_string + to_dict vs xmltodict.parse", _ratios(results["dict"], "xmltodict", "brindle")),
                 _at_most("to_dict time over the floor's, every document", _ratios(results["dict"], "to_dict", "floor"),
                          1.25)]
    if "index" in results:
        rows += _index_goals(results["index"])
    return rows


def _index_goals(table):
    rows = []
    direct = table.get("record-like", {}).get("direct windows")
    if direct is not None:
        rows.append(Goal("index: direct builder on record-like data (GB/s)", ">= 2 GB/s", f"{direct:.2f} GB/s",
                         direct >= 2))
    scans = {label: values["find_b scan"] / values["memchr scan"] for label, values in table.items()
             if "find_b scan" in values and "memchr scan" in values}
    if scans:
        rows.append(_at_least("index: '<' search vs memchr over the same bytes", scans, 0.5))
    return rows


def _held_after_del(figures):
    """MiB the process still holds of a read's growth once the tree is gone."""
    return figures["held_after_read"] * (1 - figures["given_back"])


def _verdict(goal):
    return {True: "met", False: "NOT met", None: ""}[goal.met]


def print_summary(rows):
    width = max(len(row.text) for row in rows)
    measured = max(len(row.measured) for row in rows)
    print(f"\n{'goal':{width}}  {'target':10} {'measured':{measured}}  verdict")
    for row in rows:
        print(f"{row.text:{width}}  {row.target:10} {row.measured:{measured}}  {_verdict(row)}")


def _table(header, lines, first_right=1):
    """A markdown table; columns from `first_right` on are aligned right (numbers)."""
    rule = "|" + "|".join("---:" if i >= first_right else "---" for i in range(len(header))) + "|"
    return ["| " + " | ".join(header) + " |", rule] + ["| " + " | ".join(line) + " |" for line in lines]


def _per_document(results):
    columns = [("read", "lxml", "brindle", "`read_string` vs lxml (CPU)"),
               ("read wall", "lxml", "brindle", "(wall)"),
               ("read", "ElementTree", "brindle", "vs ElementTree"),
               ("write", "lxml", "brindle", "`write_string` vs lxml"),
               ("dict", "xmltodict", "brindle", "`read_string`+`to_dict` vs xmltodict"),
               ("dict", "to_dict", "floor", "`to_dict` / floor")]
    columns = [column for column in columns if column[0] in results]
    lines = []
    for document in results["documents"]:
        cells = [document["label"], f"{document['megabytes']:.1f}"]
        for section, over, under, _ in columns:
            values = results[section].get(document["label"])
            cells.append(f"{values[over] / values[under]:.2f}x" if values else "")
        lines.append(cells)
    return _table(["document", "MB"] + [column[3] for column in columns], lines)


def _threads_and_memory(results):
    parts = []
    if "threads" in results:
        lines = [[label, f"{values['brindle']:.2f}x", f"{values['lxml']:.2f}x"]
                 for label, values in results["threads"].items()]
        parts += [""] + _table(["two threads over one", "brindle", "lxml"], lines)
    if "memory" in results:
        lines = []
        for label, values in results["memory"].items():
            ours, theirs = values["brindle"], values["lxml"]
            lines.append([label, f"{ours['peak_growth']:.0f}", f"{theirs['peak_growth']:.0f}",
                          f"{ours['peak_growth'] / theirs['peak_growth']:.2f}x",
                          f"{_held_after_del(ours):.0f}", f"{_held_after_del(theirs):.0f}"])
        parts += [""] + _table(["reading a file", "brindle peak growth MiB", "lxml MiB", "ratio",
                                "brindle held after del MiB", "lxml MiB"], lines)
    return parts


def markdown(results, rows):
    """The README's Benchmarks section, from its heading to the end of the file."""
    meta = results["meta"]
    text = [
        "## Benchmarks",
        "",
        textwrap.fill(
            "Benchmarks are programs, not tests; `bench/README.md` describes them. One command measures "
            "every goal as a ratio against the peers, on the same documents in one run, and regenerates "
            "this section and its chart. It measures the brindle that `import brindle` finds (here the "
            "installed one; the `bench` extra brings the peers and matplotlib), and needs a C compiler, "
            "CMake and the corpus of five real documents, which lies outside the repository "
            "(`../shared/corpus` beside the checkout, or the folder `BRINDLE_CORPUS` names; without it "
            "the run measures the generated documents only and leaves this section as it is):",
            width=96),
        "",
        "```sh",
        f"pip install \".[bench]\" && {meta.get('command', 'python3 bench/bench_all.py --update-readme')}",
        "```",
        "",
        textwrap.fill(
            (f"The figures below measure {meta['build']}. " if meta.get("build") else "")
            + f"The run below took {meta['seconds'] / 60:.1f} minutes on the 2-core development machine"
            + (f" ({meta['processor']})" if meta.get("processor") else "") + ", "
            f"shared with other work (load average {meta['load'][0]} at the start, {meta['load'][1]} at the end; "
            f"{meta['date']}, Python {meta['python']}). How it measures: each library runs in a long-lived "
            "process of its own, the processes take turns round by round, a timed run is one call plus dropping "
            "its result, no heap is trimmed and no collection forced; each time is the median of "
            f"{meta['rounds']} rounds, in CPU time of the whole process (every thread)"
            + (", all processes pinned to one core" if meta.get("pinned") else "") +
            "; the per-document table gives the read ratio in wall time too. The thread and memory rows are "
            "medians over fresh processes, on both cores. Ratios above 1x mean brindle is faster, except for "
            "memory and the floor, where lower is better. Two threads cannot get two cores while other work "
            "runs, so the thread rows suffer most from load.",
            width=96),
        "",
        f"![brindle against lxml, ElementTree and xmltodict per document]({CHART_IN_README})",
        "",
    ]
    text += _table(["goal", "target", "measured", "verdict"],
                   [[row.text, row.target, row.measured, _verdict(row)] for row in rows], first_right=4)
    text += [""] + _per_document(results) + _threads_and_memory(results)
    text += ["", "The floor is CPython making the same dicts, lists and strs as `to_dict` from a description",
             "prepared beforehand, with the least work its C API allows (`bench/dict_floor.c`). Why the",
             "tiny elements and two threads stay below their goals: `bench/README.md`, \"Measured limits\".",
             ""]
    return "\n".join(text)


def update_readme(path, section):
    """Replaces the README's Benchmarks section, which is its last, with `section`."""
    with open(path, encoding="utf-8") as file:
        content = file.read()
    start = content.index("\n## Benchmarks\n") + 1
    with open(path, "w", encoding="utf-8") as file:
        file.write(content[:start] + section)
