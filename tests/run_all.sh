#!/usr/bin/env bash
# Builds and installs brindle, and runs every test suite. On the interpreter `python3` (3.11 in
# CI): pytest against the installed module, and once more against a build of the extension under
# AddressSanitizer and UndefinedBehaviorSanitizer; the growth check (no doubling of an input may
# cost more than 3x the instructions, counted by callgrind); GoogleTest (through CTest) for the
# structural index and the reader core, plain and under both sanitizers; the fuzz harnesses'
# smoke runs; the pytest suite against a build with what aarch64 changes (no SSE2 code paths,
# unsigned char) and against one that makes read nodes under the interpreter lock. On each other
# Python from 3.10 to 3.13: a build of the extension and the pytest suite against it, in a venv
# of that version under build/. On Python 3.14 and 3.15, which the machine lacks: the pytest
# suite in a Debian unstable chroot (tests/chroot_pytest.sh, which makes the chroot once per
# machine and reuses it).
#
# Every step runs, whether or not one before it failed; the run ends with one line per step
# (passed or failed, and its time in m:ss) and exits non-zero when any step failed. The builds
# for other Pythons and the chroot's runs go in two lanes beside the main one (below).
#
# tests/install_deps.sh first installs what is missing (Debian packages only then, and so root
# only then) and says what; inside a venv, brindle and the test packages go into that venv. A
# Python of 3.10 to 3.13 that is not on PATH (as python3.X) is skipped with a message, except in
# CI (CI=true), where its step fails.
#
# BRINDLE_STEPS=REGEX runs only the steps whose names match (an extended regular expression,
# e.g. 'layout|typing'); the others are listed as skipped. For reruns by hand: .ci/run ignores it.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each step's header says when it started, so that a log shows what each step costs.
step() { printf '== [%d:%02d] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }
minutes() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }

mkdir -p build
# One line per step run or skipped, in the order they ended, a file per lane: outcome, seconds,
# name (tab-separated). The summary at the end reads them.
results_dir="$PWD/build/run_all-steps"
rm -rf "$results_dir" && mkdir -p "$results_dir"
results="$results_dir/1-main"

record() {  # OUTCOME SECONDS NAME: one line of the summary
  printf '%s\t%s\t%s\n' "$1" "$2" "$3" >>"$results"
}

# Runs a step: its name, then the command (often a function below). The command runs in a
# subshell with errexit, so its first failing command ends it, and only it.
run_step() {
  local name="$1" started=$SECONDS status=0
  shift
  if [ -n "${BRINDLE_STEPS:-}" ] && ! [[ $name =~ $BRINDLE_STEPS ]]; then
    record skipped 0 "$name"
    return 0
  fi
  step "$name"
  set +e
  (set -e; "$@")
  status=$?
  set -e
  if [ "$status" = 0 ]; then
    record passed $((SECONDS - started)) "$name"
  else
    record "failed (exit $status)" $((SECONDS - started)) "$name"
    echo "== step failed: $name (exit $status)" >&2
  fi
}

# The processes a lane started, and theirs, ended when the run is interrupted: a lane's pid
# and every process below it, by id.
kill_tree() {
  local child
  for child in $(pgrep -P "$1" 2>/dev/null); do kill_tree "$child"; done
  kill "$1" 2>/dev/null || true
}
lane_pids=()
trap 'for pid in "${lane_pids[@]}"; do kill_tree "$pid"; done' EXIT

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

# One venv per other Python, made before anything is installed so that one step installs all.
other_pythons=()
for version in "${other_versions[@]}"; do
  venv="$PWD/build/venv-py${version/./}"
  if [ ! -x "$venv/bin/python" ] && ! { "python$version" -c pass 2>/dev/null && "python$version" -m venv "$venv"; }; then
    if [ "${CI:-}" = true ]; then
      echo "python$version is not on PATH (or makes no venv): CI tests every Python from 3.10 to 3.13" >&2
      record "failed (python$version is not on PATH)" 0 "pytest on $version (build/py${version/./})"
    else
      echo "python$version is not on PATH: its run is skipped"
      record "skipped (python$version is not on PATH)" 0 "pytest on $version (build/py${version/./})"
    fi
    continue
  fi
  other_pythons+=("$venv/bin/python")
done

run_step "what the tests need (tests/install_deps.sh)" bash tests/install_deps.sh "$python" "${other_pythons[@]}"

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

# Starts a lane: a function run in the background, its output in build/NAME.log and its
# summary lines in a file of their own.
start_lane() {
  local name="$1" order="$2"
  (results="$results_dir/$order-$name"; "$name") >"$PWD/build/$name.log" 2>&1 &
  lane_pids+=($!)
}

# Two lanes run in the background from here on, beside the steps below, which leave a core idle
# for most of their time (one pytest process, the fuzz runs' fixed durations); a full run ends
# when the longer lane does, so the work is split to end them about together.
#
# The chroot lane: Python 3.14 and 3.15, which the machine lacks, from Debian's unstable suite.
# Making the chroot (once per machine) waits on the network and the disk more than on the
# processor; then each builds and runs the suite on one core. CI must never pass without these
# two: a chroot that cannot be made fails both steps. Then the suite against a build that makes
# read nodes the documented way under the interpreter lock, as every free-threaded or debug
# build does (and 3.16 and later, where the node layout is not checked at compile time).
chroot_lane() {
  local version
  for version in 3.14 3.15; do
    run_step "pytest on $version (Debian unstable chroot, tests/chroot_pytest.sh)" \
      bash tests/chroot_pytest.sh "$version"
  done
  run_step "pytest on $main_version with read nodes made under the lock (build/locked)" \
    pytest_on_build locked "$python" "" BRINDLE_NODES_UNDER_LOCK
}

# The builds lane: the C API differs between versions (exception notes from 3.11, the saved
# exception's calls from 3.12), so each other Python builds the extension and runs the pytest
# suite on it. Then the suite once more against a build with what aarch64 changes: the SSE2
# code paths left out for their portable twins, and char unsigned.
builds_lane() {
  local venv_python tag version
  for venv_python in "${other_pythons[@]}"; do
    tag="$(basename "$(dirname "$(dirname "$venv_python")")")"
    tag="${tag#venv-}"
    version="$("$venv_python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
    run_step "pytest on $version (build/$tag)" pytest_on_build "$tag" "$venv_python"
  done
  run_step "pytest on $main_version without SSE2 code paths, unsigned char, as on aarch64 (build/portable)" \
    pytest_on_build portable "$python" "-U__SSE2__ -funsigned-char"
}
start_lane builds_lane 2
step "started in the background: the pytest suite on ${other_versions[*]:-no other Python}, and as on aarch64 (build/builds_lane.log)"
start_lane chroot_lane 3
step "started in the background: the pytest suite on 3.14 and 3.15 in a chroot, and under the lock (build/chroot_lane.log)"

run_step "installing brindle into $(python3 -c 'import sys; print(sys.prefix)')" \
  python3 -m pip install -q --disable-pip-version-check ".[test]"

layout() { git ls-files '*.cpp' '*.hpp' | xargs clang-format-19 --dry-run -Werror; }
run_step "layout: every C++ file as .clang-format lays it out" layout
# Release wheels are built from the sdist: it must carry every source file the build compiles.
run_step "sdist: every tracked source file is in it (tools/check_sdist.py)" python3 tools/check_sdist.py

# Run from outside the source tree so the installed module is the one under test. The Dask
# example's test (two worker processes) runs here only: Dask is installed on this Python alone.
run_step "pytest on $main_version (installed)" \
  python3 -m pytest -q -p no:cacheprovider --rootdir="$PWD" "$PWD/tests"

# Typing: the stub package's checks against the installed module.
run_step "typing (tests/typing/check.sh)" bash tests/typing/check.sh

# The interpreter is not instrumented: the sanitizer runtime is preloaded into it, its own
# allocations are not leak-checked, and any report ends the process. Python objects come from
# malloc too (PYTHONMALLOC), so that writing past a str or a Node is caught, not lost inside a
# pymalloc pool. AddressSanitizer writes its reports to files, printed below, so that one from
# a child process fails the run too; UBSan (which ignores log_path beside AddressSanitizer)
# writes to standard error, which pytest leaves alone (--capture=sys) so that a report outlives
# the process it ends. The tests that count the C allocator or cap the address space are
# skipped there (marker `unsanitized`, conftest.py).
sanitized_pytest() {
  cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPython_EXECUTABLE="$python" \
    -DCMAKE_CXX_FLAGS="-O1 -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
  cmake --build build/asan -j2 >/dev/null
  local reports="$PWD/build/asan/reports" status=0
  rm -rf "$reports" && mkdir -p "$reports"
  BRINDLE_SANITIZED=1 PYTHONPATH="$PWD/build/asan" \
    LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
    ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:log_path=$reports/asan" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    PYTHONMALLOC=malloc "$python" -m pytest -q -p no:cacheprovider --capture=sys --rootdir="$PWD" "$PWD/tests" || status=$?
  if [ -n "$(ls -A "$reports")" ]; then
    for report in "$reports"/*; do echo "-- $report"; cat "$report"; done
    echo "sanitizer reports above: failing" >&2
    return 1
  fi
  return "$status"
}
run_step "pytest on $main_version under AddressSanitizer and UndefinedBehaviorSanitizer (build/asan)" sanitized_pytest

run_step "growth: no doubling of a crafted input may cost over 3x the instructions (callgrind)" \
  python3 bench/bench_growth.py --instructions --min-n 8000 --max-n 64000

# A Python-free library's GoogleTest suites (through CTest), plain and then under both
# sanitizers: the library's folder, the word in its BRINDLE_<WORD>_TESTS option, what to call it.
ctest_plain() {
  local folder="$1" option="BRINDLE_$2_TESTS"
  cmake -S "$folder" -B "build/$folder-tests" "-D$option=ON" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "build/$folder-tests" -j2 >/dev/null
  ctest --test-dir "build/$folder-tests" --output-on-failure
}
ctest_sanitized() {
  local folder="$1" option="BRINDLE_$2_TESTS"
  cmake -S "$folder" -B "build/$folder-asan" "-D$option=ON" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" >/dev/null
  cmake --build "build/$folder-asan" -j2 >/dev/null
  ctest --test-dir "build/$folder-asan" --output-on-failure
}
ctest_suites() {
  local folder="$1" word="$2" label="$3"
  run_step "$label tests (GoogleTest)" ctest_plain "$folder" "$word"
  run_step "$label tests under AddressSanitizer and UndefinedBehaviorSanitizer" ctest_sanitized "$folder" "$word"
}
ctest_suites kernels KERNELS "kernel (every level the processor runs against the scalar one)"
ctest_suites index INDEX "index"
ctest_suites reader READER "reader core"
ctest_suites tree_codec TREE_CODEC "tree codec (the pickle payload's byte format)"
ctest_suites table TABLE "table extractor (records into Arrow columns)"

run_step "fuzz harnesses, a short smoke run each (clang with libFuzzer, atheris)" bash fuzz/smoke.sh

step "the background lanes end"
for pid in "${lane_pids[@]}"; do wait "$pid" || true; done
lane_pids=()
trap - EXIT
for log in build/builds_lane.log build/chroot_lane.log; do
  echo "---- $log"
  cat "$log"
done

echo
echo "== steps (lanes: 1 in this process, 2 the other builds, 3 the chroot) after $(minutes $SECONDS):"
failed=0
skipped=0
for file in "$results_dir"/*; do
  lane="${file##*/}"
  lane="${lane%%-*}"
  while IFS=$'\t' read -r outcome seconds name; do
    printf '%-8s %-24s %6s  %s\n' "lane $lane" "$outcome" "$(minutes "$seconds")" "$name"
    case "$outcome" in
      failed*) failed=$((failed + 1)) ;;
      skipped*) skipped=$((skipped + 1)) ;;
    esac
  done <"$file"
done
if [ "$failed" != 0 ]; then
  echo "== $failed step(s) failed" >&2
  exit 1
fi
if [ "$skipped" != 0 ]; then
  echo "== every step run passed; $skipped skipped"
else
  echo "== every step passed"
fi
