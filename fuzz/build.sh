#!/usr/bin/env bash
# Builds every harness, installing what is missing (clang with libFuzzer from Debian, atheris
# from PyPI; run as root, as CI does):
#   build/fuzz/fuzz_*            the libFuzzer programs (ASan + UBSan), no Python
#   build/fuzz-python/           the extension with ASan + UBSan and coverage for fuzz_python.py
#   build/fuzz-runtime/          libFuzzer as a shared library, preloaded for atheris
# Prints nothing but failures and the build tools' own warnings.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${PYTHON:-python3}"

install_tools() {
    if ! command -v clang++ >/dev/null || [ ! -e "$(clang -print-file-name=libclang_rt.fuzzer_no_main-x86_64.a)" ]; then
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
    fi
    if ! "$python" -c "import atheris" 2>/dev/null; then
        "$python" -m pip install -q atheris
    fi
}

build_harnesses() {
    CXX=clang++ cmake -S "$root/fuzz" -B "$root/build/fuzz" ${FUZZ_CMAKE_ARGS:-} >/dev/null
    cmake --build "$root/build/fuzz" -j2 >/dev/null
}

# The sanitizer and coverage runtime of the extension comes from the preloaded libraries
# (run_python.sh), so the module links none of it.
build_extension() {
    local flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize=vptr,function -fno-sanitize-recover=all -fno-omit-frame-pointer"
    CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz-python" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPython_EXECUTABLE="$("$python" -c 'import sys; print(sys.executable)')" \
        -DCMAKE_CXX_FLAGS="$flags" -DBRINDLE_LTO=OFF >/dev/null
    cmake --build "$root/build/fuzz-python" -j2 >/dev/null
}

# atheris only uses a libFuzzer that is already loaded when the extension's coverage is to
# reach it: clang's libFuzzer (without its main) as a shared library.
build_runtime() {
    local archive
    archive="$(clang -print-file-name=libclang_rt.fuzzer_no_main-x86_64.a)"
    mkdir -p "$root/build/fuzz-runtime"
    clang++ -shared -o "$root/build/fuzz-runtime/libfuzzer_no_main.so" \
        -Wl,--whole-archive "$archive" -Wl,--no-whole-archive
}

install_tools
build_harnesses
build_extension
build_runtime
