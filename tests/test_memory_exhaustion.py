"""Running out of memory is a MemoryError, never an abort: each scenario runs in a child
process whose address space is capped, and must end with its own exit code."""

import subprocess
import sys
import textwrap

import pytest

from memcheck import LIMITS_ADDRESS_SPACE

pytestmark = LIMITS_ADDRESS_SPACE

LIMIT = 1 << 30

SCENARIOS = {
    # Native copies of attribute maps and texts grow until an allocation fails.
    "constructor": """
        keep = []
        value = "v" * 4096
        attrs = {f"k{i}": value for i in range(2000)}
        while True:
            keep.append(Node("n", attrs, text=value * 16))
    """,
    # One huge child list in a single node allocation.
    "children": """
        child = Node("c")
        keep = []
        while True:
            keep.append(Node("n", children=[child] * 5_000_000))
    """,
    # A tree's pickle and the trees decoded from it, until one of them cannot be made.
    "pickle": """
        import pickle
        tree = Node("r", children=[Node("i", {"k": "v" * 64}, text="t" * 256) for _ in range(100_000)])
        keep = []
        while True:
            keep.append(pickle.loads(pickle.dumps(tree)))
    """,
    # The reader's index and tree for a document that does not fit.
    "reader": """
        document = "<r>" + "<i a='1'>x</i>" * 20_000_000 + "</r>"
        keep = []
        while True:
            keep.append(brindle.read_string(document, "r"))
    """,
}


@pytest.mark.parametrize("name", SCENARIOS)
def test_memory_exhaustion_raises_memory_error(name):
    program = "\n".join([
        "import resource, sys",
        f"resource.setrlimit(resource.RLIMIT_AS, ({LIMIT}, {LIMIT}))",
        "import brindle",
        "from brindle import Node",
        "try:",
        textwrap.indent(textwrap.dedent(SCENARIOS[name]).strip(), "    "),
        "except MemoryError:",
        "    keep = None",
        "    sys.exit(42)",
    ])
    result = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=300)
    assert result.returncode == 42, result.stderr[-2000:]
