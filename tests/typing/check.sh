#!/usr/bin/env bash
# Type checks of brindle's stubs, against the module that `$PYTHON -c "import brindle"` finds:
# an installed wheel (stubs from its brindle-stubs package) or a build tree on PYTHONPATH (stubs
# from this checkout's brindle-stubs/, given to mypy through MYPYPATH).
#   - mypy --strict accepts the examples and tests/typing/correct_use.py, which then also runs;
#   - mypy --strict reports each mistake planted in tests/typing/mistakes.py, and nothing else;
#   - stubtest finds the stubs consistent with the compiled module;
#   - where pyright or basedpyright is on PATH, it accepts the same files in strict mode.
# Installs mypy into $PYTHON's environment when it is missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
PYTHON=${PYTHON:-python3}

if ! "$PYTHON" -m mypy --version >/dev/null 2>&1; then
    echo "typing: installing mypy"
    "$PYTHON" -m pip install --quiet mypy
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export MYPY_CACHE_DIR="$scratch/mypy-cache"  # keeps the source tree clean

module_dir=$("$PYTHON" -c 'import brindle, os; print(os.path.dirname(brindle.__file__))')
if [ -f "$module_dir/brindle-stubs/__init__.pyi" ]; then
    if ! cmp -s "$module_dir/brindle-stubs/__init__.pyi" brindle-stubs/__init__.pyi; then
        echo "typing: the stubs installed in $module_dir differ from brindle-stubs/: reinstall" >&2
        exit 1
    fi
    echo "typing: brindle and its stubs installed in $module_dir"
    stub_path=""
else
    # Type checkers look for a module's stubs under the module's own name on their search path.
    stub_path="$scratch/stubs"
    mkdir "$stub_path"
    ln -s "$PWD/brindle-stubs" "$stub_path/brindle"
    export MYPYPATH="$stub_path${MYPYPATH:+:$MYPYPATH}"
    echo "typing: brindle from $module_dir, stubs from brindle-stubs/"
fi
"$PYTHON" -m mypy --version

echo "typing: mypy --strict on the examples and the correct use"
"$PYTHON" -m mypy --strict examples/*.py tests/typing/correct_use.py
"$PYTHON" tests/typing/correct_use.py

echo "typing: mypy --strict on the planted mistakes"
"$PYTHON" tests/typing/expect_mypy_errors.py tests/typing/mistakes.py

echo "typing: stubtest"
"$PYTHON" -m mypy.stubtest brindle --allowlist tests/typing/stubtest_allowlist.txt

pyright=$(command -v pyright || command -v basedpyright || true)
if [ -n "$pyright" ]; then
    echo "typing: $pyright (strict) on the examples and the correct use"
    # Strict, except for the names with a leading underscore that the stubs make callers use.
    stub_setting=""
    [ -n "$stub_path" ] && stub_setting="\"stubPath\": \"$stub_path\","
    cat > "$scratch/pyrightconfig.json" <<EOF
{"typeCheckingMode": "strict", "reportPrivateUsage": false, "reportMissingModuleSource": false,
 $stub_setting "include": ["$PWD/examples", "$PWD/tests/typing/correct_use.py"]}
EOF
    "$pyright" --pythonpath "$("$PYTHON" -c "import sys; print(sys.executable)")" -p "$scratch/pyrightconfig.json"
else
    echo "typing: no pyright on PATH, its check skipped"
fi
