"""Working with a tree in memory: Node.from_dict on the dictionary to_dict returned,
search_by_name over the whole tree against lxml's and ElementTree's iter(tag), and str() of
the whole tree (the listing, which no peer has). Each library works in its own process
(measure.py) on its own tree of the document."""

from functools import partial

from measure import Recipe, cpu_and_wall, interleaved_medians
from read_speed import raw_bytes

OPERATIONS = ("from_dict", "search_by_name", "lxml iter", "ElementTree iter", "str")


# The element each generated shape has most of, for the search (the corpus documents' names
# carry prefixes, which the peers see as namespaces).
SEARCHED = {"records": "value", "attrs": "rom", "text": "para", "tiny": "i"}


def job(operation, path, root, tag):
    raw = raw_bytes(path)
    if operation == "lxml iter":
        import lxml.etree
        tree = lxml.etree.fromstring(raw, lxml.etree.XMLParser(huge_tree=True))
        return lambda: lambda: list(tree.iter(tag))
    if operation == "ElementTree iter":
        import xml.etree.ElementTree as ElementTree
        tree = ElementTree.fromstring(raw)
        return lambda: lambda: list(tree.iter(tag))
    import brindle
    ours = brindle.read_string(raw.decode(), root)
    if operation == "from_dict":
        as_dict = ours.to_dict()
        return lambda: partial(brindle.Node.from_dict, as_dict)
    if operation == "search_by_name":
        return lambda: partial(ours.search_by_name, tag)
    return lambda: partial(str, ours)


def count_job(path, root, tag):
    """The number of elements named `tag` that each library finds (a check, not a timing)."""
    import xml.etree.ElementTree as ElementTree

    import brindle
    import lxml.etree
    raw = raw_bytes(path)
    counts = {len(brindle.read_string(raw.decode(), root).search_by_name(tag)),
              len(list(lxml.etree.fromstring(raw, lxml.etree.XMLParser(huge_tree=True)).iter(tag))),
              len(list(ElementTree.fromstring(raw).iter(tag)))}
    if len(counts) != 1:
        raise AssertionError(f"the searches for {tag!r} found different numbers of elements")
    return lambda: lambda: None


PROCESSES = {"lxml iter": "lxml", "ElementTree iter": "ElementTree"}


def run(documents, rounds):
    """({document: {operation: median CPU seconds}}, the same in wall seconds) for the generated
    documents, printed as it goes."""
    print(f"\nTrees in memory (median of {rounds} interleaved rounds; MB of the document per CPU second):\n")
    print(f"{'document':24} {'MB':>6} " + " ".join(f"{name:>16}" for name in OPERATIONS))
    cpu, wall = {}, {}
    for document in (one for one in documents if one.label in SEARCHED):
        where = (document.path, document.root, SEARCHED[document.label])
        interleaved_medians({"check": Recipe("checks", __name__, "count_job", where)}, 1)
        seconds, walls = cpu_and_wall(interleaved_medians({
            name: Recipe(PROCESSES.get(name, "brindle"), __name__, "job", (name,) + where) for name in OPERATIONS
        }, rounds))
        cpu[document.label], wall[document.label] = seconds, walls
        print(f"{document.label:24} {document.megabytes:6.1f} " +
              " ".join(f"{document.megabytes / seconds[name]:16.0f}" for name in OPERATIONS), flush=True)
    return cpu, wall
