#!/usr/bin/env bash
# Builds and installs brindle, and runs every test suite. On the interpreter `python3` (3.11 in
# CI): pytest against the installed module, and once more against a build of the extension under
# AddressSanitizer and UndefinedBehaviorSanitizer; the growth check (no doubling of an input may
# cost more than 3x the instructions, counted by callgrind); GoogleTest (through CTest) for the
# structural index and the reader core, plain and under both sanitizers; the fuzz harnesses'
# smoke runs; the pytest suite against a build with what aarch64 changes (no SSE2 code paths,
# unsigned char) and against one that makes read nodes under the interpreter lock (the path of
# Python 3.14 and later). On each other Python from 3.10 to 3.13: a build of the extension and the
# pytest suite against it, in a venv of that version under build/.
#
# About 24 minutes on two cores. tests/install_deps.sh first installs what is missing (Debian
# packages only then, and so root only then) and says what; inside a venv, brindle and the test
# packages go into that venv. A Python of 3.10 to 3.13 that is not on PATH (as python3.X) is
# skipped with a message, except in CI (CI=true), where all four must be there.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each step's header says when it started, so that a log shows what each step costs.
step() { printf '== [%d:%02d] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }

pyenv="$(command -v pyenv || echo "${PYENV_ROOT:-$HOME/.pyenv}/bin/pyenv")"
if [ -x "$pyenv" ] && [ -z "${PYENV_VERSION:-}" ]; then
  # pyenv's shims resolve python3.10 ... python3.13 only for versions named here; python3 stays
  # the default one.
  PYENV_VERSION="$("$pyenv" version-name):$("$pyenv" versions --bare | grep -E '^3\.1[0-3]\.[0-9]+$' | paste -sd: -)"
  export PYENV_VERSION
fi

python=$(python3 -c 'import sys; print(sys.executable)')
main_version=$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
other_versions=()
for version in ${BRINDLE_PYTHONS:-3.10 3.11 3.12 3.13}; do
  [ "$version" = "$main_version" ] || other_versions+=("$version")
done

step "what the tests need"
# One venv per other Python, made before anything is installed so that one step installs all.
other_pythons=()
other_run=()  # the versions that other_pythons holds
for version in "${other_versions[@]}"; do
  venv="$PWD/build/venv-py${version/./}"
  if [ ! -x "$venv/bin/python" ]; then
    if ! "python$version" -c pass 2>/dev/null; then
      if [ "${CI:-}" = true ]; then
        echo "python$version is not on PATH: CI tests every Python from 3.10 to 3.13" >&2
        exit 1
      fi
      echo "python$version is not on PATH: its run is skipped"
      continue
    fi
    "python$version" -m venv "$venv"
  fi
  other_pythons+=("$venv/bin/python")
  other_run+=("$version")
done
bash tests/install_deps.sh "$python" "${other_pythons[@]}"

step "installing brindle into $(python3 -c 'import sys; print(sys.prefix)') (about a minute)"
python3 -m pip install -q --disable-pip-version-check ".[test]"

step "layout: every C++ file as the repository's .clang-format lays it out"
git ls-files '*.cpp' '*.hpp' | xargs clang-format-19 --dry-run -Werror

step "pytest ($main_version)"
# Run from outside the source tree so the installed module is the one under test. The Dask
# example's test (two worker processes) runs here only: Dask is installed on this Python alone.
python3 -m pytest -q -p no:cacheprovider --rootdir="$PWD" "$PWD/tests"

# Typing: the stub package's checks against the installed module, once they exist.
if [ -f tests/typing/check.sh ]; then
  step "typing"
  bash tests/typing/check.sh
fi

# Builds the extension in build/NAME for an interpreter, with extra compiler flags and an
# optional switch (a CMake option turned on, and told to the tests by the same name in the
# environment), and runs the pytest suite against that build.
pytest_on_build() {
  local name="$1" interpreter="$2" flags="${3:-}" switch="${4:-}"
  cmake -S . -B "build/$name" -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$interpreter" \
    -DCMAKE_CXX_FLAGS="$flags" ${switch:+"-D$switch=ON"} >/dev/null &&
    cmake --build "build/$name" -j1 >/dev/null &&
    env ${switch:+"$switch=1"} PYTHONPATH="$PWD/build/$name" \
      "$interpreter" -m pytest -q -p no:cacheprovider --rootdir="$PWD" "$PWD/tests" \
      --ignore="$PWD/tests/test_stream_dask.py"
}

# The other Pythons: the C API differs between versions (exception notes from 3.11, the saved
# exception's calls from 3.12), so each builds the extension and runs the pytest suite on it.
# Then the suite once more against a build with what aarch64 changes: the SSE2 code paths left
# out for their portable twins, and char unsigned; and against a build that makes read nodes
# the documented way under the interpreter lock, as every interpreter after 3.13 and every
# free-threaded or debug build does. These run one after another in the
# background, beside the steps below, which leave a core idle for most of their time (one
# pytest process, the fuzz runs' fixed durations); their output is shown at the end.
background_runs() {
  local status=0 venv_python tag
  for venv_python in "${other_pythons[@]}"; do
    tag="$(basename "$(dirname "$(dirname "$venv_python")")")"
    tag="${tag#venv-}"
    step "pytest on $("$venv_python" -c 'import sys; print("%d.%d" % sys.version_info[:2])') (build/$tag)"
    pytest_on_build "$tag" "$venv_python" || status=1
  done
  step "pytest on $main_version without the SSE2 code paths and with unsigned char, as on aarch64 (build/portable)"
  pytest_on_build portable "$python" "-U__SSE2__ -funsigned-char" || status=1
  step "pytest on $main_version with read nodes made under the interpreter lock, as on 3.14 and later (build/locked)"
  pytest_on_build locked "$python" "" BRINDLE_NODES_UNDER_LOCK || status=1
  return "$status"
}
mkdir -p build
background_log="$PWD/build/background-runs.log"
background_runs >"$background_log" 2>&1 &
background_pid=$!
# A failure below ends the run: the background runs go with it.
trap 'pkill -P "$background_pid" 2>/dev/null; kill "$background_pid" 2>/dev/null' EXIT
step "started in the background: the pytest suite on ${other_run[*]:-no other Python}, and as on aarch64 (build/background-runs.log)"

step "pytest against the extension under AddressSanitizer and UndefinedBehaviorSanitizer"
# The interpreter is not instrumented: the sanitizer runtime is preloaded into it, its own
# allocations are not leak-checked, and any report ends the process. Python objects come from
# malloc too (PYTHONMALLOC), so that writing past a str or a Node is caught, not lost inside a
# pymalloc pool. AddressSanitizer writes its reports to files, printed below, so that one from
# a child process fails the run too; UBSan (which ignores log_path beside AddressSanitizer)
# writes to standard error, which pytest leaves alone (--capture=sys) so that a report outlives
# the process it ends. The tests that count the C allocator or cap the address space are
# skipped there (marker `unsanitized`, conftest.py).
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

step "growth: no doubling of a crafted input may cost over 3x the instructions (callgrind)"
python3 bench/bench_growth.py --instructions --min-n 8000 --max-n 64000

# A Python-free library's GoogleTest suites (through CTest), plain and then under both
# sanitizers: the library's folder, the word in its BRINDLE_<WORD>_TESTS option, what to call it.
ctest_suites() {
  local folder="$1" option="BRINDLE_$2_TESTS" label="$3"
  step "$label tests (GoogleTest)"
  cmake -S "$folder" -B "build/$folder-tests" "-D$option=ON" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "build/$folder-tests" -j2 >/dev/null
  ctest --test-dir "build/$folder-tests" --output-on-failure
  step "$label tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake -S "$folder" -B "build/$folder-asan" "-D$option=ON" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
  cmake --build "build/$folder-asan" -j2 >/dev/null
  ctest --test-dir "build/$folder-asan" --output-on-failure
}
ctest_suites kernels KERNELS "kernel (every level the processor runs against the scalar one)"
ctest_suites index INDEX "index"
ctest_suites reader READER "reader core"

step "fuzz harnesses, a short smoke run each (clang with libFuzzer, atheris)"
bash fuzz/smoke.sh

step "the background runs end"
background_status=0
wait "$background_pid" || background_status=$?
trap - EXIT
cat "$background_log"
if [ "$background_status" != 0 ]; then
  echo "a background run of the pytest suite failed (above)" >&2
  exit "$background_status"
fi
step "all suites passed"
