"""Builds the source distribution and fails when it lacks a file the build needs.

    python3 tools/check_sdist.py

Release wheels are built from the unpacked sdist, so a tracked source file that the sdist
leaves out (a folder caught by an ignore pattern, say) breaks every wheel while an in-tree
build still passes. Every tracked file under the folders that CMake compiles must be in it.
"""

import pathlib
import subprocess
import sys
import tarfile
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILT_FROM = ("CMakeLists.txt", "pyproject.toml", "cmake/", "src/", "reader/", "index/", "kernels/",
              "table/", "tree_codec/", "third_party/", "brindle-stubs/")


def tracked_sources():
    listed = subprocess.run(["git", "ls-files"], cwd=ROOT, check=True, capture_output=True, text=True)
    return {path for path in listed.stdout.splitlines() if path.startswith(BUILT_FROM)}


def sdist_members(outdir):
    # From the output folder: the project's own build/ folder would shadow the `build` package.
    subprocess.run([sys.executable, "-m", "build", "--sdist", "--outdir", outdir, str(ROOT)], check=True,
                   cwd=outdir, stdout=subprocess.DEVNULL)
    (archive,) = pathlib.Path(outdir).glob("*.tar.gz")
    with tarfile.open(archive) as sdist:
        # Members are "name-version/path"; drop the first component.
        return {member.name.split("/", 1)[1] for member in sdist.getmembers() if "/" in member.name}


def main():
    with tempfile.TemporaryDirectory() as outdir:
        missing = sorted(tracked_sources() - sdist_members(outdir))
    if missing:
        print("the sdist lacks tracked source files:", *missing, sep="\n  ")
        return 1
    print(f"the sdist holds all {len(tracked_sources())} tracked source files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
