"""Growth of brindle's cost with the size n of crafted inputs: read_string on documents made of
one piece repeated n times (pieces that open markup and never close it, runs of quotes,
dashes, brackets, references or white space, deep and wide trees), each plain and behind a
prefix of quotes that sends it to the other index builder, write_string on deep and wide
trees, and streams (iter_string and iter_file, with a 64-byte and the default buffer) of deep
documents.

    PYTHONPATH=build/<dir> python3 bench/bench_growth.py [--max-n 800000] [--budget 20] [--family NAME]
    PYTHONPATH=build/<dir> python3 bench/bench_growth.py --instructions [--min-n 8000] [--max-n 64000]
        [--limit 3] [--jobs 2] [--family NAME]

Time (the default): for each family, at n = 100 000, 200 000, 400 000 and 800 000 (up to
--max-n, and for the '<a' families up to 200 000): brindle's time, its growth per doubling of n
(about 2.0 when the time grows linearly, about 4.0 when it grows with the square), what brindle
answered, and for a document lxml.etree.fromstring on the same bytes (recover=False) with what
it answered; lxml's growth is shown only where it parsed the input, since a parser that rejects
at the first bad byte does not scan the rest. A reading error is timed like a tree. Each time is
the best of a few runs while the runs are short (one run alone is too noisy for a ratio), one
run otherwise. Once a family's call takes longer than --budget seconds, its larger n are skipped.

Instructions (--instructions): the same families at n = --min-n, doubling up to --max-n, each
call counted in instructions by valgrind's callgrind (the call alone, the dropping of its
result included; see callgrind_count.py), which no other load on the machine changes. Exits
with status 1 when any doubling of n costs more than --limit times the instructions (3 by
default: linear growth is about 2, quadratic about 4), 2 when valgrind cannot run.
"""

import argparse
import os
import sys
import tempfile

import brindle
from brindle import Node

# "quotes": 4096 double quotes and no '<' in front, so that the quote-dense builder reads the rest.
QUOTE_DENSE = '""' * 2048
TIME_SIZES = [100_000, 200_000, 400_000, 800_000]
# White space to Unicode, none of it XML's: it must stay in the text, and a reader that trims
# Unicode white space must not scan a run more than once.
UNICODE_SPACE = "\x85\xa0\u1680\u2000\u2028\u202f\u205f\u3000"


def many_attributes(n):
    return "<r" + "".join(f' a{i:06x}="v"' for i in range(n)) + "/>"


# (name, document for n, largest n worth timing or None)
DOCUMENTS = [
    ('"<r>" + "<!" * n', lambda n: "<r>" + "<!" * n, None),
    ('"<r>" + "<?" * n', lambda n: "<r>" + "<?" * n, None),
    ('"<r>" + "<![" * n', lambda n: "<r>" + "<![" * n, None),
    ('"<" * n + ">"', lambda n: "<" * n + ">", None),
    ('"<r>" + "<a" * n + "/></r>"', lambda n: "<r>" + "<a" * n + "/></r>", 200_000),
    ('"<!DOCTYPE r [" * n', lambda n: "<!DOCTYPE r [" * n, None),
    ('"<!DOCTYPE r \\"" * n', lambda n: '<!DOCTYPE r "' * n, None),
    ('"<!DOCTYPE" * n', lambda n: "<!DOCTYPE" * n, None),
    ("n attributes on one tag", many_attributes, None),
    ('"<r " + "\\"" * n + ">"', lambda n: '<r ' + '"' * n + ">", None),
    ('"<r>" + "<a q=\'\\"\'/>" * n + "</r>"', lambda n: "<r>" + "<a q='\"'/>" * n + "</r>", None),
    ('"<r><!--" + "-" * n + "--></r>"', lambda n: "<r><!--" + "-" * n + "--></r>", None),
    ('"<r><![CDATA[" + "]]" * n + "]]></r>"', lambda n: "<r><![CDATA[" + "]]" * n + "]]></r>", None),
    ('"<r>" + "&amp;" * n + "</r>"', lambda n: "<r>" + "&amp;" * n + "</r>", None),
    ('"<r>" + "&#x41;" * n + "</r>"', lambda n: "<r>" + "&#x41;" * n + "</r>", None),
    ('"<r a=\'" + "&amp;&#x41;" * n + "\'/>"', lambda n: "<r a='" + "&amp;&#x41;" * n + "'/>", None),
    ('"<r>" + space * n + "x" + space * n + "</r>"',
     lambda n: "<r>" + UNICODE_SPACE * n + "x" + UNICODE_SPACE * n + "</r>", None),
    ('"<r>" + "<a>" * n + "</a>" * n + "</r>"', lambda n: "<r>" + "<a>" * n + "</a>" * n + "</r>", None),
    ('"<r>" + "<a/>" * n + "</r>"', lambda n: "<r>" + "<a/>" * n + "</r>", None),
]


# Streamed with iter_string and iter_file: (name, document for n). Their records are the
# elements <r>.
STREAM_DOCUMENTS = [
    ('"<d>" * n + "<r/>" + "</d>" * n', lambda n: "<d>" * n + "<r/>" + "</d>" * n),
    ('"<d>" * n + "<r>" + "<a>" * n + "</a>" * n + "</r>" + "</d>" * n',
     lambda n: "<d>" * n + "<r>" + "<a>" * n + "</a>" * n + "</r>" + "</d>" * n),
]


def stream_file(document):
    """The document in a file of its own, removed when the process ends."""
    import atexit
    handle = tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".xml", delete=False)
    with handle:
        handle.write(document)
    atexit.register(os.unlink, handle.name)
    return handle.name


def deep_tree(n):
    """n nested nodes, written without indentation: indented, the output itself grows with the
    square of the depth."""
    node = Node("a", {"k": "v"}, text="t")
    for _ in range(n - 1):
        node = Node("a", {"k": "v"}, [node], "t")
    return node, 0


def wide_tree(n):
    """n children of one node, written with the default indentation."""
    return Node("r", children=[Node("a", {"k": str(i)}, text="t") for i in range(n)]), None


def families():
    """(name, kind, input for n, largest n worth timing or None); kind is "read", "stream" or
    "write"."""
    rows = []
    for name, build, cap in DOCUMENTS:
        rows.append((name, "read", build, cap))
        rows.append(("quotes + " + name, "read", lambda n, build=build: QUOTE_DENSE + build(n), cap))
    for name, build in STREAM_DOCUMENTS:
        for buffer_size in (64, None):
            size = f"buffer_size={buffer_size}" if buffer_size else "default buffer"
            rows.append((f"iter_string({name}, {size})", "stream",
                         lambda n, build=build, b=buffer_size: (build(n), b, False), None))
            rows.append((f"iter_file({name}, {size})", "stream",
                         lambda n, build=build, b=buffer_size: (stream_file(build(n)), b, True), None))
    rows.append(("write_string(n nested nodes, indent=0)", "write", deep_tree, None))
    rows.append(("write_string(n children)", "write", wide_tree, None))
    return rows


def brindle_call(kind, subject):
    """The call measured on an input: read its root <r>, or write the tree (with its indent)."""
    if kind == "read":
        return lambda: brindle.read_string(subject, "r")
    if kind == "stream":
        source, buffer_size, from_file = subject
        stream = brindle.iter_file if from_file else brindle.iter_string
        return lambda: len(list(stream(source, "r", buffer_size=buffer_size)))
    tree, indent = subject
    return lambda: brindle.write_string(tree, indent)


def answer(action, errors=ValueError):
    """What a reader or writer made of the input: a tree, a length of output, or the start of
    its error message."""
    try:
        result = action()
    except errors as error:
        return "error: " + str(error)[:34]
    if isinstance(result, str):
        return f"{len(result):,} characters"
    if isinstance(result, int):
        return f"{result:,} records"
    return "tree <" + (result.name if hasattr(result, "name") else result.tag) + ">"


def selected(arguments):
    """(index, family) for the families --family picked (all without it)."""
    return [(index, family) for index, family in enumerate(families())
            if not arguments.family or any(part in family[0] for part in arguments.family)]


# --- time ---------------------------------------------------------------------------------

def best_time(action):
    """The shortest of up to ten runs while the runs stay under 0.2 s in all; one run otherwise."""
    from measure import timed
    best, result = timed(action)
    total = best
    for _ in range(9):
        if total > 0.2:
            break
        seconds, result = timed(action)
        best, total = min(best, seconds), total + seconds
    return best, result


def measure_time(kind, subject):
    import lxml.etree
    ours, ours_answer = best_time(lambda: answer(brindle_call(kind, subject)))
    if kind != "read":
        return ours, ours_answer, None, ""
    data = subject.encode()
    parser = lxml.etree.XMLParser(recover=False)
    peer, peer_answer = best_time(lambda: answer(lambda: lxml.etree.fromstring(data, parser),
                                                 lxml.etree.XMLSyntaxError))
    return ours, ours_answer, peer, peer_answer


def main_time(arguments):
    print("| family | n | MB | brindle ms | growth | brindle answered | lxml ms | growth | lxml answered |")
    print("|---|---:|---:|---:|---:|---|---:|---:|---|")
    for _, (name, kind, build, cap) in selected(arguments):
        previous = None
        for n in TIME_SIZES:
            if n > arguments.max_n or (cap and n > cap):
                break
            subject = build(n)
            size = f"{len(subject) / 1e6:.1f}" if kind == "read" else ""
            ours, ours_answer, peer, peer_answer = measure_time(kind, subject)
            ours_growth = f"{ours / previous[0]:.2f}" if previous else ""
            peer_parsed = peer_answer.startswith("tree")
            peer_growth = f"{peer / previous[1]:.2f}" if previous and peer_parsed else ""
            peer_ms = f"{peer * 1e3:.2f}" if peer is not None else ""
            print(f"| `{name}` | {n:,} | {size} | {ours * 1e3:.2f} | {ours_growth} | "
                  f"{ours_answer} | {peer_ms} | {peer_growth} | {peer_answer} |", flush=True)
            if ours > arguments.budget:
                print(f"| `{name}` | larger n skipped: one call took over {arguments.budget:g} s |||||||")
                break
            previous = (ours, peer)


# --- instructions -------------------------------------------------------------------------

def sizes(arguments):
    n, result = arguments.min_n, []
    while n <= arguments.max_n:
        result.append(n)
        n *= 2
    return result


def label(index, n):
    return f"{index}:{n}"


def drive(arguments):
    """Runs under callgrind: each chosen family at each size, one counted call each, and prints
    what brindle answered, one line per call."""
    from callgrind_count import Counter
    counter = Counter(arguments.helper)
    chosen = [int(index) for index in arguments.drive.split(",")]
    all_families = families()
    for index in chosen:
        _, kind, build, _ = all_families[index]
        # A first, small call pays for what happens once per process, uncounted.
        answer(brindle_call(kind, build(16)))
        for n in sizes(arguments):
            subject = build(n)
            outcome = []
            counter.measure(label(index, n), lambda: outcome.append(answer(brindle_call(kind, subject))))
            print(f"{label(index, n)}\t{outcome[0]}", flush=True)
            del subject


def main_instructions(arguments):
    import callgrind_count
    chosen = [index for index, _ in selected(arguments)]
    if not chosen or len(sizes(arguments)) < 2:
        print("nothing to measure: no family chosen, or fewer than two sizes", file=sys.stderr)
        return 2
    print(f"brindle under test: {brindle.__file__}")
    with tempfile.TemporaryDirectory(prefix="growth-") as directory:
        try:
            helper = callgrind_count.build_helper(directory)
        except callgrind_count.Unavailable as error:
            print(f"cannot count instructions: {error}", file=sys.stderr)
            return 2
        jobs = max(1, min(arguments.jobs, len(chosen)))
        environment = dict(os.environ, PYTHONHASHSEED="0")
        drivers = []
        for job in range(jobs):
            part = chosen[job::jobs]
            command = [sys.executable, os.path.abspath(__file__), "--helper", helper,
                       "--drive", ",".join(map(str, part)),
                       "--min-n", str(arguments.min_n), "--max-n", str(arguments.max_n)]
            output = open(os.path.join(directory, f"answers{job}.txt"), "w+")
            drivers.append((callgrind_count.start(command, directory, f"job{job}", env=environment,
                                                  stdout=output), output))
        answers = {}
        failed = False
        for driver, output in drivers:
            if driver.wait() != 0:
                print(f"a driver under callgrind failed with status {driver.returncode}", file=sys.stderr)
                failed = True
            with output:
                output.seek(0)
                for line in output:
                    key, _, text = line.rstrip("\n").partition("\t")
                    answers[key] = text
        counts = callgrind_count.read_counts(directory)
    if failed:
        return 2

    all_families = families()
    violations = []
    print(f"| family | n | instructions | growth | brindle answered |")
    print("|---|---:|---:|---:|---|")
    for index in chosen:
        name = all_families[index][0]
        previous = None
        for n in sizes(arguments):
            count = counts.get(label(index, n))
            if count is None:
                print(f"no count for `{name}` at n = {n:,}", file=sys.stderr)
                return 2
            growth = count / previous if previous else None
            print(f"| `{name}` | {n:,} | {count:,} | {f'{growth:.2f}' if growth else ''} | "
                  f"{answers.get(label(index, n), '')} |")
            if growth is not None and growth > arguments.limit:
                violations.append(f"`{name}`: {growth:.2f}x the instructions from n = {n // 2:,} to {n:,}")
            previous = count
    if violations:
        print(f"\ngrowth above {arguments.limit:g}x per doubling of n:")
        for violation in violations:
            print("  " + violation)
        return 1
    print(f"\nevery doubling of n stayed within {arguments.limit:g}x the instructions")
    return 0


def main():
    options = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    options.add_argument("--instructions", action="store_true",
                         help="count instructions under callgrind instead of timing, and fail on growth")
    options.add_argument("--min-n", type=int, default=8_000, help="the smallest n to count (instructions)")
    options.add_argument("--max-n", type=int, help="the largest n to time or count "
                         f"(default {TIME_SIZES[-1]:,} for time, 64,000 for instructions)")
    options.add_argument("--budget", type=float, default=20.0,
                         help="seconds of one call after which a family's larger n are skipped (time)")
    options.add_argument("--limit", type=float, default=3.0,
                         help="the largest growth of instructions allowed per doubling of n")
    options.add_argument("--jobs", type=int, default=2, help="programs under callgrind at once")
    options.add_argument("--family", action="append", help="only the families whose name holds this text")
    options.add_argument("--drive", help=argparse.SUPPRESS)
    options.add_argument("--helper", help=argparse.SUPPRESS)
    arguments = options.parse_args()
    if arguments.max_n is None:
        arguments.max_n = 64_000 if arguments.instructions or arguments.drive else TIME_SIZES[-1]
    if arguments.drive:
        drive(arguments)
        return 0
    if arguments.instructions:
        return main_instructions(arguments)
    main_time(arguments)
    return 0


if __name__ == "__main__":
    sys.exit(main())
