#!/usr/bin/env bash
# Installs what tests/run_all.sh needs and is missing, before any test runs, and says what it
# installs. Debian packages go through apt-get (root or sudo), only when one is missing: with
# everything present this needs no root. Python packages (the `test` extra of pyproject.toml)
# go through pip into the interpreters named as arguments, only when one does not import, and
# atheris into the first of them, for the fuzz harness through Python.
#
#   bash tests/install_deps.sh [PYTHON ...]        e.g. bash tests/install_deps.sh python3
#   bash tests/install_deps.sh --print-test-packages   the test extra, one line
set -euo pipefail
cd "$(dirname "$0")/.."

# The `test` extra, read from pyproject.toml by whichever interpreter has tomllib (3.11+).
test_packages() {
    local reader
    for reader in python3 python3.13 python3.12 python3.11; do
        if command -v "$reader" >/dev/null && "$reader" -c 'import tomllib' 2>/dev/null; then
            "$reader" -c 'import tomllib; print(" ".join(tomllib.load(open("pyproject.toml", "rb"))["project"]["optional-dependencies"]["test"]))'
            return
        fi
    done
    echo "install_deps: no Python 3.11 or later to read pyproject.toml with" >&2
    return 1
}

# The Debian packages that the builds, the C++ suites, the growth check, the layout check and
# the fuzz harnesses need and that are missing, on one line.
missing_system_packages() {
    local missing=()
    [ -e /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
    command -v cmake >/dev/null || missing+=(cmake)
    command -v g++ >/dev/null || missing+=(g++)
    command -v valgrind >/dev/null || missing+=(valgrind)
    command -v clang-format-19 >/dev/null || missing+=(clang-format-19)  # the layout check
    if ! command -v clang++ >/dev/null || [ ! -e "$(clang -print-file-name=libclang_rt.fuzzer_no_main-x86_64.a)" ]; then
        missing+=(clang libclang-rt-14-dev)  # the fuzz harnesses
    fi
    echo "${missing[*]}"
}

install_system_packages() {
    local missing
    missing="$(missing_system_packages)"
    if [ -z "$missing" ]; then
        echo "system packages: all present"
        return
    fi
    echo "system packages: installing $missing with apt-get"
    local as_root=()
    if [ "$(id -u)" != 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "install_deps: not root and no sudo; as root, run: apt-get install $missing" >&2
            return 1
        fi
        as_root=(sudo)
    fi
    "${as_root[@]}" apt-get update -qq
    # shellcheck disable=SC2086  # one word per package
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

# Installs the test extra into one interpreter when any of its modules fails to import.
install_python_packages() {
    local python="$1" packages modules
    if ! "$python" -c pass 2>/dev/null; then
        echo "install_deps: $python does not run" >&2
        return 1
    fi
    packages="$(test_packages)"
    # Each of these packages imports under its own name, less any version bound.
    modules="$(echo "$packages" | sed -E 's/[<>=!~][^ ]*//g; s/ +/, /g')"
    if "$python" -c "import $modules" 2>/dev/null; then
        echo "python packages for $python: all present"
        return
    fi
    echo "python packages for $python: installing $packages with pip"
    # shellcheck disable=SC2086
    "$python" -m pip install -q --disable-pip-version-check $packages
}

if [ "${1:-}" = --print-test-packages ]; then
    test_packages
    exit
fi
install_system_packages
for python in "$@"; do
    install_python_packages "$python"
done
# The fuzz harness through Python runs on the first interpreter (fuzz/build.sh).
if [ $# -gt 0 ] && ! "$1" -c 'import atheris' 2>/dev/null; then
    echo "python packages for $1: installing atheris with pip (the fuzz harness through Python)"
    "$1" -m pip install -q --disable-pip-version-check atheris
fi
# The sdist check (tools/check_sdist.py) runs on the first interpreter.
if [ $# -gt 0 ] && ! (cd / && "$1" -c 'import build') 2>/dev/null; then
    echo "python packages for $1: installing build with pip (the sdist check)"
    "$1" -m pip install -q --disable-pip-version-check build
fi
# The Dask example's test (tests/test_stream_dask.py) runs on the first interpreter only.
if [ $# -gt 0 ] && ! "$1" -c 'import dask.bag, distributed' 2>/dev/null; then
    echo "python packages for $1: installing dask[distributed] with pip (the Dask example's test)"
    "$1" -m pip install -q --disable-pip-version-check "dask[distributed]"
fi
