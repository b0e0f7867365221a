"""Interpreters: what the module declares it supports, and that each declaration holds.

The classes are the process's, shared by every interpreter that imports the module, and from
3.12 sharing a class that is not immutable with a sub-interpreter is not sound (module.cpp says
why): no sub-interpreter that checks its extension modules may import the module, whether it
shares the main interpreter's GIL or has its own, and a free-threaded interpreter turns the GIL
back on. Each case runs in a
fresh interpreter process, so that the interpreters made and torn down, and the import order,
are the case's own."""

import subprocess
import sys
import sysconfig

import pytest

import brindle

# Makes and runs sub-interpreters through the private module each version has (3.12:
# _xxsubinterpreters; 3.13 and later: _interpreters, whose configurations can be named).
HELPERS = r"""
import re
try:
    import _interpreters as interpreters
except ImportError:
    import _xxsubinterpreters as interpreters

def create(config):
    if config == "own GIL":
        if hasattr(interpreters, "new_config"):
            return interpreters.create(interpreters.new_config("isolated"))
        return interpreters.create(isolated=True)
    if config == "shared GIL":
        return interpreters.create(interpreters.new_config("legacy", check_multi_interp_extensions=True))
    return interpreters.create(interpreters.new_config("isolated", gil="shared"))  # shared GIL, own memory

def last_line_of_failure(interpreter, code):
    if hasattr(interpreters, "exec"):
        failure = interpreters.exec(interpreter, code)
        failure = None if failure is None else failure.formatted
    else:
        try:
            interpreters.run_string(interpreter, code)
            failure = None
        except interpreters.RunFailedError as error:
            # 3.12 names the class as "<class 'ImportError'>: ..."
            failure = re.sub(r"^<class '([\w.]+)'>", r"\1", str(error))
    return failure and failure.strip().splitlines()[-1]
"""

# The main interpreter's use of the module after the sub-interpreter is gone.
USE_IN_MAIN = r"""
import gc
import pickle
import brindle
gc.collect()
node = brindle.read_string("<r a='1'><c>t</c></r>", "r")
assert [record.text for record in brindle.iter_string("<r><c>x</c></r>", "c")] == ["x"]
assert brindle.write_string(node, default_xml_def=False) == '<r a="1">\n    <c>t</c>\n</r>'
assert pickle.loads(pickle.dumps(node)).to_dict() == node.to_dict()
assert len(node.search(brindle.SearchType.Tag, "c")) == 1
print("main ok")
"""


def run_python(program):
    return subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=300)


def subinterpreter_configs():
    # Every sub-interpreter that checks what its extension modules declare: all but the legacy
    # kind, whose maker turned the check off (3.12 makes no other that shares the GIL).
    configs = ["own GIL"]
    if sys.version_info >= (3, 13):
        configs += ["shared GIL", "shared GIL, own memory"]
    return configs


@pytest.mark.skipif(sys.version_info < (3, 12), reason="the declaration is read from 3.12")
@pytest.mark.parametrize("main_first", [True, False], ids=["main imports first", "sub-interpreter imports first"])
@pytest.mark.parametrize("config", subinterpreter_configs())
def test_a_subinterpreter_gets_an_import_error(config, main_first):
    program = HELPERS + f"""
if {main_first}:
    import brindle
sub = create({config!r})
print(last_line_of_failure(sub, "import brindle"))
interpreters.destroy(sub)
""" + USE_IN_MAIN
    result = run_python(program)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        "ImportError: module brindle does not support loading in subinterpreters", "main ok"]


def test_a_free_threaded_interpreter_turns_the_gil_back_on():
    if not sysconfig.get_config_var("Py_GIL_DISABLED"):
        pytest.skip(f"{sys.executable} is not a free-threaded build, and this module is built for it alone: "
                    "the GIL slot is tested where the suite runs on a free-threaded interpreter")
    program = """
import sys, warnings
with warnings.catch_warnings(record=True) as caught:
    warnings.simplefilter("always")
    import brindle
print(sys._is_gil_enabled(), [str(warning.message) for warning in caught])
"""
    result = run_python(program)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("True [")
    assert "'brindle'" in result.stdout and "GIL" in result.stdout


def test_version_is_the_package_metadata_version():
    import importlib.metadata
    import re
    from pathlib import Path
    assert "__version__" not in brindle.__all__
    try:
        package = importlib.metadata.distribution("brindle-xml")
    except importlib.metadata.PackageNotFoundError:
        package = None
    module = Path(brindle.__file__).resolve()
    if package is not None and any(Path(package.locate_file(file)).resolve() == module for file in package.files or []):
        assert brindle.__version__ == package.version
    else:  # a build in the tree: the version in its pyproject.toml
        pyproject = (Path(__file__).resolve().parent.parent / "pyproject.toml").read_text()
        assert brindle.__version__ == re.search(r'^version = "([^"]+)"', pyproject, re.M).group(1)
