#!/usr/bin/env bash
# Builds every harness and runs each for a short while from its committed seeds (FUZZ_SECONDS
# each, 45 by default); exits non-zero on the first finding: a failed expectation, a crash, a
# sanitizer report, a leak, a hang or an uncaught Python exception. The corpora grow in a
# temporary directory, never in the repository.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${FUZZ_SECONDS:-45}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

bash "$root/fuzz/build.sh"

# Runs one harness: its name, then the command that starts it. Harnesses whose input is
# markup or text get the XML dictionary; the others read their input as choices.
run() {
    local name="$1"
    shift
    local limit="$seconds"
    # The tree codec's grammar is small: its coverage stops growing within ten seconds.
    if [ "$name" = fuzz_tree_codec ] && [ "$limit" -gt 15 ]; then
        limit=15
    fi
    local flags=(-max_total_time="$limit" -timeout=10 -artifact_prefix="$work/$name-")
    case "$name" in
        fuzz_index | fuzz_escape | fuzz_reader | fuzz_stream | fuzz_kernels) flags+=(-dict="$root/fuzz/xml.dict") ;;
    esac
    mkdir -p "$work/$name"
    if [ -d "$root/fuzz/corpus/$name" ]; then
        cp -r "$root/fuzz/corpus/$name/." "$work/$name/"
    fi
    if ! "$@" "${flags[@]}" "$work/$name" >"$work/$name.log" 2>&1; then
        tail -n 60 "$work/$name.log"
        echo "fuzz smoke: $name found a fault; the input is $(ls "$work/$name"-* 2>/dev/null | head -n 1)"
        echo "  (copied to $root/build/fuzz-findings/)"
        mkdir -p "$root/build/fuzz-findings"
        cp "$work/$name"-* "$root/build/fuzz-findings/" 2>/dev/null || true
        exit 1
    fi
    echo "fuzz smoke: $name: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$name.log" | tail -n 1)"
}

for harness in "$root"/build/fuzz/fuzz_*; do
    if [ -x "$harness" ]; then
        run "$(basename "$harness")" "$harness"
    fi
done
run fuzz_python bash "$root/fuzz/run_python.sh"
