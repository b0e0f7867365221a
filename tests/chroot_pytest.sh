#!/usr/bin/env bash
# Runs the pytest suite on a Python this machine does not have (3.14, 3.15), inside a Debian
# unstable chroot that carries it.
#
#   bash tests/chroot_pytest.sh VERSION [PYTEST ARGS]    VERSION: 3.14 or 3.15
#
# With pytest arguments (paths relative to the source tree, e.g. tests/test_node.py -x), runs
# those instead of the whole suite.
#
# The chroot is made once per machine (as root, with debootstrap) at $BRINDLE_CHROOT, by default
# /var/cache/brindle/sid-chroot, and reused afterwards; making it is locked (flock), so calls
# that run at once make it once. Each call mounts, in a mount namespace of its own (so nothing
# stays mounted when it ends, however it ends), the source tree read-only at /src, the corpus
# beside it (../shared) if there is one, and the directories the machine's pip configuration
# names (a local index with its files), builds the extension for that Python in
# a build directory kept inside the chroot (so a rerun recompiles only what changed), installs
# the test packages into a venv kept there (once), and runs the whole suite, as the other
# Pythons do (the Dask examples' tests excepted).
#
# A third-party test package with no wheel for the version is left out, and the tests that
# need it skip; the packages left out are listed. If the chroot cannot be made, one line says
# so on standard error and the script exits non-zero.
set -euo pipefail

version="${1:-}"
shift || true
case "$version" in
  3.14 | 3.15) ;;
  *)
    echo "usage: bash tests/chroot_pytest.sh 3.14|3.15" >&2
    exit 2
    ;;
esac

source_dir="$(cd "$(dirname "$0")/.." && pwd)"
root="${BRINDLE_CHROOT:-/var/cache/brindle/sid-chroot}"
mirror="${BRINDLE_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
pythons=(3.14 3.15)
# Pure-Python test packages go in from any index; those with compiled parts only as wheels.
pure_packages=(pytest hypothesis xmltodict)
# (pyarrow, polars and duckdb take read_table's Arrow stream; where they have no wheel yet, its
# tests skip.)
binary_packages=(numpy lxml pyarrow polars duckdb)

fail() {
  echo "chroot_pytest $version: $*" >&2
  exit 1
}

[ "$(id -u)" = 0 ] || fail "needs root (debootstrap, chroot, mounts); the suite did not run on $version"

source "$(dirname "${BASH_SOURCE[0]}")/pip_config.sh"

make_chroot() {
  local started=$SECONDS staging="$root.partial" packages
  if ! command -v debootstrap >/dev/null; then
    echo "chroot_pytest: installing debootstrap"
    { apt-get update -qq && apt-get install -y -qq debootstrap >/dev/null; } ||
      fail "debootstrap is missing and apt-get could not install it"
  fi
  packages="ca-certificates,g++,cmake,make"
  for python in "${pythons[@]}"; do
    packages+=",python$python,python$python-dev,python$python-venv"
  done
  rm -rf "$staging"
  echo "chroot_pytest: making the Debian unstable chroot at $root (once per machine)"
  if ! debootstrap --variant=minbase --include="$packages" sid "$staging" "$mirror" \
    >"$root.debootstrap.log" 2>&1; then
    fail "could not make the Debian unstable chroot with python3.14 and python3.15 (debootstrap failed, see $root.debootstrap.log; the suite's packages may have changed)"
  fi
  # apt inside: the suite is a frozen snapshot whose Release file has expired.
  echo 'Acquire::Check-Valid-Until "false";' >"$staging/etc/apt/apt.conf.d/99brindle-no-expiry"
  # pip inside: the machine's own certificate authorities and pip configuration.
  if [ -d /usr/local/share/ca-certificates ]; then
    cp -a /usr/local/share/ca-certificates/. "$staging/usr/local/share/ca-certificates/"
  fi
  chroot "$staging" update-ca-certificates >/dev/null ||
    fail "could not install the machine's CA certificates in the chroot"
  mkdir -p "$staging/etc/xdg" "$staging/root/.config"
  [ -f /etc/pip.conf ] && cp -a /etc/pip.conf "$staging/etc/pip.conf"
  [ -d /etc/xdg/pip ] && cp -a /etc/xdg/pip "$staging/etc/xdg/"
  [ -d "$HOME/.config/pip" ] && cp -a "$HOME/.config/pip" "$staging/root/.config/"
  [ -d "$HOME/.pip" ] && cp -a "$HOME/.pip" "$staging/root/"
  for python in "${pythons[@]}"; do
    chroot "$staging" "python$python" -c 'import sys, venv' ||
      fail "python$python does not run in the new chroot"
  done
  mv "$staging" "$root"
  echo "chroot_pytest: made the chroot in $((SECONDS - started)) s"
}

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
[ -x "$root/usr/bin/python$version" ] || make_chroot
[ -x "$root/usr/bin/python$version" ] || fail "the chroot at $root has no python$version"
flock -u 9

# Inside the chroot, in a private mount namespace: build, install the test packages, run.
inner() {
  set -euo pipefail
  local root="$1" version="$2" source_dir="$3" dir
  shift 3
  local mounts=()
  while [ "$1" != -- ]; do
    mounts+=("$1")
    shift
  done
  shift
  mount --bind /proc "$root/proc" 2>/dev/null || mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --rbind /sys "$root/sys"
  mkdir -p "$root/src"
  mount --bind "$source_dir" "$root/src"
  mount -o remount,ro,bind "$root/src"
  # The corpus and the conformance suite lie beside the project (../shared), where the tests
  # look for them; /src/.. is /.
  if [ -d "$source_dir/../shared" ]; then
    mkdir -p "$root/shared"
    mount --bind "$source_dir/../shared" "$root/shared"
    mount -o remount,ro,bind "$root/shared"
  fi
  for dir in "${mounts[@]}"; do
    mkdir -p "$root$dir"
    mount --bind "$dir" "$root$dir"
    mount -o remount,ro,bind "$root$dir"
  done
  local passed
  mapfile -t passed < <(env | grep -E '^(PIP_[A-Z_]*|SSL_CERT_FILE|REQUESTS_CA_BUNDLE|BRINDLE_[A-Z_]*)=')
  exec chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
    "${passed[@]}" bash -c "$inner_script" inner "$version" "$@"
}

inner_script='
set -euo pipefail
version="$1"
shift
venv="/opt/brindle/venv-$version"
build="/opt/brindle/build-$version"
stamp="$venv/.brindle-test-packages"
wanted="'"${pure_packages[*]} | ${binary_packages[*]}"'"
if [ ! -f "$stamp" ] || [ "$(head -n1 "$stamp")" != "$wanted" ]; then
  rm -rf "$venv"
  "python$version" -m venv "$venv"
  # (pip names each package the local indexes lack; that is no news.)
  quiet_pip() { "$venv/bin/python" -m pip install -q "$@" 2>&1 | { grep -v "^WARNING: Location .* is ignored" || true; }; }
  quiet_pip '"${pure_packages[*]}"'
  missing=""
  for package in '"${binary_packages[*]}"'; do
    quiet_pip --only-binary=:all: "$package" >/dev/null || missing="$missing $package"
  done
  printf "%s\n%s\n" "$wanted" "${missing# }" >"$stamp"
fi
missing="$(sed -n 2p "$stamp")"
if [ -n "$missing" ]; then
  echo "chroot_pytest $version: no wheel for $missing on this Python; the tests that need it skip"
fi
cmake -S /src -B "$build" -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
cmake --build "$build" -j"${BRINDLE_JOBS:-1}" >/dev/null
[ $# -gt 0 ] || set -- tests --ignore=tests/test_stream_dask.py --ignore=tests/test_table_dask.py
# Run from a writable directory (the source is read-only): paths are made absolute.
args=()
value_next=""
for arg in "$@"; do
  if [ -n "$value_next" ]; then
    args+=("$arg")  # the value of -k, -m or -p
    value_next=""
    continue
  fi
  case "$arg" in
    -k | -m | -p) args+=("$arg") && value_next=1 ;;
    --ignore=*) args+=("--ignore=/src/${arg#--ignore=}") ;;
    -*) args+=("$arg") ;;
    *) args+=("/src/$arg") ;;
  esac
done
cd /tmp
PYTHONPATH="$build" "$venv/bin/python" -m pytest -q -rs -p no:cacheprovider --rootdir=/src "${args[@]}"
'
export -f inner
export inner_script
mapfile -t pip_dirs < <(pip_local_dirs)
started=$SECONDS
status=0
unshare --mount --propagation private bash -c 'inner "$@"' inner "$root" "$version" "$source_dir" \
  "${pip_dirs[@]}" -- "$@" || status=$?
echo "chroot_pytest $version: build and suite took $((SECONDS - started)) s (exit $status)"
exit "$status"
