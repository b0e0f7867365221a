#!/usr/bin/env bash
# Installs what the tests need, builds and installs brindle, and runs every test suite:
# pytest for everything reachable from Python, once against the installed module and once
# against a build of the extension under AddressSanitizer and UndefinedBehaviorSanitizer; the
# growth check (no doubling of an input may cost more than 3x the instructions, counted by
# callgrind); GoogleTest (through CTest) for the structural index, and the index suites once
# more under both sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

if [ ! -e /usr/include/gtest/gtest.h ] || ! command -v cmake >/dev/null || ! command -v g++ >/dev/null \
    || ! command -v valgrind >/dev/null; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev cmake g++ valgrind >/dev/null
fi

python3 -m pip install -q --disable-pip-version-check ".[test]"

echo "== pytest"
# Run from outside the source tree so the installed module is the one under test.
python3 -m pytest -q -p no:cacheprovider --rootdir="$PWD" "$PWD/tests"

echo "== pytest against the extension under AddressSanitizer and UndefinedBehaviorSanitizer"
# The interpreter is not instrumented: the sanitizer runtime is preloaded into it, its own
# allocations are not leak-checked, and any report ends the process. Python objects come from
# malloc too (PYTHONMALLOC), so that writing past a str or a Node is caught, not lost inside a
# pymalloc pool. AddressSanitizer writes its reports to files, printed below, so that one from
# a child process fails the run too; UBSan (which ignores log_path beside AddressSanitizer)
# writes to standard error, which pytest leaves alone (--capture=sys) so that a report outlives
# the process it ends. The tests that count the C allocator or cap the address space are
# skipped there (marker `unsanitized`, conftest.py).
python=$(python3 -c 'import sys; print(sys.executable)')
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPython_EXECUTABLE="$python" \
  -DCMAKE_CXX_FLAGS="-O1 -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
cmake --build build/asan -j2 >/dev/null
reports="$PWD/build/asan/reports"
rm -rf "$reports" && mkdir -p "$reports"
status=0
BRINDLE_SANITIZED=1 PYTHONPATH="$PWD/build/asan" \
  LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
  ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:log_path=$reports/asan" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  PYTHONMALLOC=malloc "$python" -m pytest -q -p no:cacheprovider --capture=sys --rootdir="$PWD" "$PWD/tests" || status=$?
if [ -n "$(ls -A "$reports")" ]; then
  for report in "$reports"/*; do echo "-- $report"; cat "$report"; done
  echo "sanitizer reports above: failing" >&2
  exit 1
fi
[ "$status" = 0 ] || exit "$status"

echo "== growth: no doubling of a crafted input may cost over 3x the instructions (callgrind)"
python3 bench/bench_growth.py --instructions --min-n 8000 --max-n 64000

echo "== kernel tests (GoogleTest): every level the processor runs against the scalar one"
cmake -S kernels -B build/kernels-tests -DBRINDLE_KERNELS_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/kernels-tests -j2 >/dev/null
ctest --test-dir build/kernels-tests --output-on-failure

echo "== kernel tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S kernels -B build/kernels-asan -DBRINDLE_KERNELS_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
cmake --build build/kernels-asan -j2 >/dev/null
ctest --test-dir build/kernels-asan --output-on-failure

echo "== index tests (GoogleTest)"
cmake -S index -B build/index-tests -DBRINDLE_INDEX_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/index-tests -j2 >/dev/null
ctest --test-dir build/index-tests --output-on-failure

echo "== index tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S index -B build/index-asan -DBRINDLE_INDEX_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
cmake --build build/index-asan -j2 >/dev/null
ctest --test-dir build/index-asan --output-on-failure

echo "== reader core tests (GoogleTest)"
cmake -S reader -B build/reader-tests -DBRINDLE_READER_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/reader-tests -j2 >/dev/null
ctest --test-dir build/reader-tests --output-on-failure

echo "== reader core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S reader -B build/reader-asan -DBRINDLE_READER_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
cmake --build build/reader-asan -j2 >/dev/null
ctest --test-dir build/reader-asan --output-on-failure

echo "== fuzz harnesses, a short smoke run each (clang with libFuzzer, atheris)"
bash fuzz/smoke.sh
