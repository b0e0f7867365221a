"""Growth of read_string's time with the length of inputs made of one piece repeated n times,
pieces that open markup and never close it (most are not well formed).

    PYTHONPATH=build/<dir> python3 bench/bench_growth.py [--max-n 800000] [--budget 20] [--family NAME]

For each family, at n = 100 000, 200 000, 400 000 and 800 000 (up to --max-n, and for the
'<a' family up to 200 000): brindle's time, its growth per doubling of n (about 2.0 when the
time grows linearly, about 4.0 when it grows with the square), what brindle answered, and
lxml.etree.fromstring on the same bytes (recover=False) with what it answered; lxml's growth
is shown only where it parsed the input, since a parser that rejects at the first bad byte
does not scan the rest. A reading error is timed like a tree. Each time is the best of a few
runs while the runs are short (one run alone is too noisy for a ratio), one run otherwise.
Once a family's read takes longer than --budget seconds, its larger n are skipped.
"""

import argparse

import lxml.etree

import brindle
from measure import timed

# "quotes": 4096 double quotes and no '<' in front, so that the quote-dense builder reads the rest.
QUOTE_DENSE = '""' * 2048
SIZES = [100_000, 200_000, 400_000, 800_000]


def families():
    """(name, document for n, largest n worth timing or None)."""
    doctypes = [('"<!DOCTYPE r [" * n', lambda n: "<!DOCTYPE r [" * n),
                ('"<!DOCTYPE r \\"" * n', lambda n: '<!DOCTYPE r "' * n),
                ('"<!DOCTYPE" * n', lambda n: "<!DOCTYPE" * n)]
    rows = [('"<r>" + "<!" * n', lambda n: "<r>" + "<!" * n, None),
            ('"<r>" + "<![" * n', lambda n: "<r>" + "<![" * n, None),
            ('quotes + "<" * n + ">"', lambda n: QUOTE_DENSE + "<" * n + ">", None),
            ('quotes + "<r>" + "<a" * n + "/></r>"', lambda n: QUOTE_DENSE + "<r>" + "<a" * n + "/></r>", 200_000)]
    for name, build in doctypes:
        rows.append((name, build, None))
        rows.append(("quotes + " + name, lambda n, build=build: QUOTE_DENSE + build(n), None))
    return rows


def best_time(action):
    """The shortest of up to ten runs while the runs stay under 0.2 s in all; one run otherwise."""
    best, result = timed(action)
    total = best
    for _ in range(9):
        if total > 0.2:
            break
        seconds, result = timed(action)
        best, total = min(best, seconds), total + seconds
    return best, result


def answer(action):
    """What a reader made of the input: a tree, or the start of its error message."""
    try:
        result = action()
    except (ValueError, lxml.etree.XMLSyntaxError) as error:
        return "error: " + str(error)[:34]
    return "tree <" + (result.name if hasattr(result, "name") else result.tag) + ">"


def measure(document, root_tag):
    data = document.encode()
    parser = lxml.etree.XMLParser(recover=False)
    ours, ours_answer = best_time(lambda: answer(lambda: brindle.read_string(document, root_tag)))
    peer, peer_answer = best_time(lambda: answer(lambda: lxml.etree.fromstring(data, parser)))
    return ours, ours_answer, peer, peer_answer


def main():
    options = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    options.add_argument("--max-n", type=int, default=SIZES[-1], help="the largest n to time")
    options.add_argument("--budget", type=float, default=20.0,
                         help="seconds of one read after which a family's larger n are skipped")
    options.add_argument("--family", action="append", help="only the families whose name holds this text")
    arguments = options.parse_args()

    print("| family | n | MB | brindle ms | growth | brindle answered | lxml ms | growth | lxml answered |")
    print("|---|---:|---:|---:|---:|---|---:|---:|---|")
    for name, build, cap in families():
        if arguments.family and not any(part in name for part in arguments.family):
            continue
        previous = None
        for n in SIZES:
            if n > arguments.max_n or (cap and n > cap):
                break
            document = build(n)
            ours, ours_answer, peer, peer_answer = measure(document, "r")
            ours_growth = f"{ours / previous[0]:.2f}" if previous else ""
            peer_parsed = peer_answer.startswith("tree")
            peer_growth = f"{peer / previous[1]:.2f}" if previous and peer_parsed else ""
            print(f"| `{name}` | {n:,} | {len(document) / 1e6:.1f} | {ours * 1e3:.2f} | {ours_growth} | "
                  f"{ours_answer} | {peer * 1e3:.2f} | {peer_growth} | {peer_answer} |", flush=True)
            if ours > arguments.budget:
                print(f"| `{name}` | larger n skipped: one read took over {arguments.budget:g} s |||||||")
                break
            previous = (ours, peer)


if __name__ == "__main__":
    main()
