#!/usr/bin/env bash
# Runs fuzz_python.py against the instrumented extension of build.sh; arguments go to
# libFuzzer (flags, then corpus directories or a crash file to reproduce).
#   bash fuzz/run_python.sh -max_total_time=60 /tmp/corpus
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${PYTHON:-python3}"
# libFuzzer before the sanitizer runtime: the runtime's do-nothing coverage hooks would
# otherwise take the extension's coverage, so the order check is turned off.
export LD_PRELOAD="$root/build/fuzz-runtime/libfuzzer_no_main.so $(clang -print-file-name=libclang_rt.asan-x86_64.so)"
export ASAN_OPTIONS="detect_leaks=0:verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export PYTHONPATH="$root/build/fuzz-python"
exec "$python" "$root/fuzz/fuzz_python.py" -print_funcs=0 "$@"
