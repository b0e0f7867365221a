"""Mistakes a user can make with brindle, each of which `mypy --strict` must report.

Every line that ends in `# expect: CODE` must get exactly that error code from mypy (several
codes are separated by commas), and no other line may get any error. The file is only type
checked, never run.
"""

import pathlib

import brindle
from brindle import Node, SearchType


def calls(node: Node) -> None:
    brindle.write_string(node, indent="2")  # expect: arg-type
    brindle.write_string(node, default_xml_def=1)  # expect: arg-type
    brindle.write_file(node)  # expect: call-arg
    brindle.write_file(node, "out.xml", 2, True, "extra")  # expect: call-arg
    brindle.read_string("<a/>")  # expect: call-arg
    brindle.read_string(b"<a/>", "a")  # expect: arg-type
    brindle.read_file(pathlib.Path("catalog.xml"), "book")  # expect: arg-type
    node.search_by_name(42)  # expect: arg-type
    node.search_by_attr("id", depth=1.5)  # expect: arg-type
    node.search_by_text(text=None)  # expect: arg-type
    node.to_dict(True)  # expect: call-arg
    brindle.read_table("pubmed.xml", "Article", {"year": 3})  # expect: dict-item
    brindle.read_table("pubmed.xml", "Article", [("year", "Year")])  # expect: arg-type
    brindle.read_table("pubmed.xml", "Article", errors="ignore")  # expect: arg-type


def construction() -> None:
    Node(1)  # expect: arg-type
    Node("a", attrs={"x": 1})  # expect: dict-item
    Node("a", children=[Node("b"), "c"])  # expect: list-item
    Node("a", tag="b")  # expect: call-arg


def search_types(node: Node) -> None:
    node.search("Tag", "title")  # expect: arg-type
    node.search(0, "title")  # expect: arg-type
    node.search(SearchType.Name, "title")  # expect: attr-defined
    node.search_by_name(SearchType.Tag)  # expect: arg-type
    SearchType.Tag < SearchType.Attr  # expect: operator
    SearchType.Tag = SearchType.Attr  # expect: misc


def properties(node: Node) -> None:
    node.parent  # expect: attr-defined
    node.tag  # expect: attr-defined
    node.name = "renamed"  # expect: misc
    node.children = []  # expect: misc
    node.text.strip()  # expect: union-attr
    count: int = node.text  # expect: assignment


def dictionaries(node: Node) -> None:
    node.to_dict()["nme"]  # expect: typeddict-item
    Node.from_dict({"name": "a", "attrs": {}})  # expect: typeddict-item
    Node.from_dict({"name": "a", "attrs": {}, "children": [], "txt": "t"})  # expect: typeddict-unknown-key
    Node.from_dict({"name": "a", "attrs": {}, "children": [node]})  # expect: list-item
    Node.from_dict(node)  # expect: arg-type
