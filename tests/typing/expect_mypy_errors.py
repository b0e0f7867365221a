"""Runs `mypy --strict` on a file of planted mistakes and checks that mypy reports exactly the
planted ones: every line marked `# expect: CODE[, CODE...]` gets those error codes, and no other
line gets any error. Usage: expect_mypy_errors.py FILE [MYPY_OPTION...]; exits 1 on a mismatch."""

import re
import subprocess
import sys
from collections import Counter

EXPECT = re.compile(r"#\s*expect:\s*(?P<codes>[\w-]+(?:\s*,\s*[\w-]+)*)\s*$")
REPORTED = re.compile(r"^(?P<path>[^:]+):(?P<line>\d+): error: .*\[(?P<code>[\w-]+)\]$")


def planted(path: str) -> Counter[tuple[int, str]]:
    expected: Counter[tuple[int, str]] = Counter()
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, start=1):
            match = EXPECT.search(line)
            if match:
                expected.update((number, code.strip()) for code in match["codes"].split(","))
    return expected


def reported(path: str, options: list[str]) -> Counter[tuple[int, str]]:
    run = subprocess.run([sys.executable, "-m", "mypy", "--strict", *options, path],
                         capture_output=True, text=True, check=False)
    if run.returncode not in (0, 1):  # 2 is a crash or a bad invocation, not a verdict
        sys.exit(f"mypy failed to run:\n{run.stdout}{run.stderr}")
    found: Counter[tuple[int, str]] = Counter()
    for line in run.stdout.splitlines():
        match = REPORTED.match(line)
        if match and match["path"] == path:
            found[(int(match["line"]), match["code"])] += 1
        elif ": error:" in line:  # in another file (the stubs themselves), or with no code
            sys.exit(f"an error outside the planted mistakes: {line}")
    return found


def main() -> int:
    path, options = sys.argv[1], sys.argv[2:]
    expected, found = planted(path), reported(path, options)
    if not expected:
        sys.exit(f"{path} plants no mistake")
    missed, unexpected = expected - found, found - expected
    for line, code in sorted(missed.elements()):
        print(f"{path}:{line}: mypy did not report [{code}]")
    for line, code in sorted(unexpected.elements()):
        print(f"{path}:{line}: mypy reported [{code}], which is not planted there")
    caught = sum((expected & found).values())
    print(f"planted mistakes: {caught} reported, {sum(missed.values())} missed, "
          f"{sum(unexpected.values())} unexpected errors")
    return 1 if missed or unexpected else 0


if __name__ == "__main__":
    sys.exit(main())
