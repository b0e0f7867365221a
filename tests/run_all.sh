#!/usr/bin/env bash
# Installs what the tests need, builds and installs brindle, and runs every test suite:
# pytest for everything reachable from Python, GoogleTest (through CTest) for the structural
# index, and the index suites once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

if [ ! -e /usr/include/gtest/gtest.h ] || ! command -v cmake >/dev/null || ! command -v g++ >/dev/null; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev cmake g++ >/dev/null
fi

python3 -m pip install -q --disable-pip-version-check ".[test]"

echo "== pytest"
# Run from outside the source tree so the installed module is the one under test.
python3 -m pytest -q -p no:cacheprovider --rootdir="$PWD" "$PWD/tests"

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
