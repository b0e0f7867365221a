"""brindle's typed surface used as intended. `mypy --strict` must accept every line, and
running the file must succeed, so the stubs allow nothing that the module refuses here."""

from __future__ import annotations

import asyncio
import copy
import gzip
import importlib
import io
import os
import pathlib
import tempfile
import types
from concurrent.futures import ThreadPoolExecutor
from typing import TYPE_CHECKING, Any

import brindle
from brindle import Node, SearchType

if TYPE_CHECKING:
    from typing_extensions import assert_type

    from brindle import RecordIterator, TableStream, _ArrowCSchema, _ArrowCStream, _NodeDict, _NodeDictInput
else:

    def assert_type(value: Any, expected: Any) -> Any:
        return value


DOCUMENT = '<shelf id="s1"><book year="1854"><title>Walden</title></book><book/></shelf>'


def build() -> Node:
    title = Node("title", text="Walden")
    book = Node("book", {"year": "1854"}, [title])
    Node("pair", children=(book, book))  # any sequence of nodes; the same node twice is fine
    Node(name="empty", attrs=None, children=None, text=None)
    return Node("shelf", {"id": "s1"}, [book, Node("book")])


def inspect(shelf: Node) -> None:
    assert_type(shelf.name, str)
    assert_type(shelf.attrs, dict[str, str])
    assert_type(shelf.text, str | None)
    assert_type(shelf.children, list[Node])
    title = shelf.children[0].children[0]
    if title.text is not None:
        assert title.text.upper() == "WALDEN"
    assert_type(str(shelf), str)
    assert_type(repr(shelf), str)
    assert_type(shelf.__to_string(2), str)
    assert_type(shelf.__to_string(spacing=None), str)


def search(shelf: Node) -> None:
    assert_type(shelf.search_by_name("book"), list[Node])
    assert len(shelf.search_by_name("book", depth=1)) == 2
    assert len(shelf.search_by_attr(key="year", depth=None)) == 1
    assert len(shelf.search_by_text("Walden", -1)) == 1
    for kind in (SearchType.Tag, SearchType.Attr, SearchType.Text):
        assert_type(shelf.search(kind, "x"), list[Node])
    assert shelf.search(by=SearchType.Tag, value="title", depth=2)[0].text == "Walden"
    assert int(SearchType.Text) == 2 and SearchType.Attr == 1 and SearchType.Tag != SearchType.Attr


def dictionaries(shelf: Node) -> None:
    form = shelf.to_dict()
    assert_type(form, "_NodeDict")
    assert_type(form["children"][0]["text"], str | None)
    assert Node.from_dict(form).to_dict() == form
    written: _NodeDictInput = {
        "name": "shelf",
        "attrs": {},
        "children": ({"name": "book", "attrs": {"year": "1854"}, "children": [], "text": None},),
    }
    assert_type(Node.from_dict(written), Node)
    assert Node.from_dict(dict_={"name": "a", "attrs": {}, "children": [], "text": "t"}).text == "t"


def read_and_write(shelf: Node) -> None:
    assert_type(brindle.read_string(DOCUMENT, "book"), Node)
    text = brindle.write_string(shelf, indent=2, default_xml_def=False)
    assert_type(text, str)
    assert brindle.write_string(shelf, None, None).startswith("<?xml")
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "shelf.xml")
        assert_type(brindle.write_file(shelf, path, indent=0, default_xml_def=True), None)
        assert brindle.read_file(file_path=path, root_tag="title").text == "Walden"
        brindle.write_file(node=shelf, file_path=path)


def pickled(shelf: Node) -> None:
    reconstructor, (payload,) = shelf.__reduce__()
    assert_type(reconstructor(payload), Node)
    assert_type(copy.deepcopy(shelf), Node)
    assert copy.copy(shelf) is shelf


def stream(shelf: Node) -> None:
    assert [book.name for book in brindle.iter_string(DOCUMENT, "book", buffer_size=64)] == ["book", "book"]
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "shelf.xml")
        brindle.write_file(shelf, path)
        records = brindle.iter_file(pathlib.Path(path), tag="book")
        assert_type(records, "RecordIterator")  # a name for type checkers only
        assert_type(next(records), Node)
        records.close()
        with gzip.open(io.BytesIO(gzip.compress(DOCUMENT.encode()))) as packed:
            assert len(list(brindle.iter_file(packed, "book"))) == 2
        assert len(list(brindle.iter_file(io.BytesIO(DOCUMENT.encode()), "title"))) == 1


def table(shelf: Node) -> None:
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "shelf.xml")
        brindle.write_file(shelf, path)
        rows = brindle.read_table(pathlib.Path(path), "book", {"year": ("@year", "int64"), "title": "title/string()",
                                                               "titles": "title[*]"}, batch_rows=1, buffer_size=64)
        assert_type(rows, "TableStream")  # a name for type checkers only
        assert type(assert_type(rows.__arrow_c_schema__(), "_ArrowCSchema")).__name__ == "PyCapsule"
        assert type(assert_type(rows.__arrow_c_stream__(), "_ArrowCStream")).__name__ == "PyCapsule"
        inferred = brindle.read_table(io.BytesIO(DOCUMENT.encode()), "book")  # columns from the records
        assert type(inferred.__arrow_c_stream__(None)).__name__ == "PyCapsule"
        columns = {"year": ("@year", "int64"), "title": "title/string()"}  # dict[str, Sequence[str]] to mypy
        kept = brindle.read_table(path, "book", columns, errors="null")
        assert type(kept.__arrow_c_stream__()).__name__ == "PyCapsule"
        viewed = brindle.read_table(path, "book", types.MappingProxyType(columns))  # any Mapping
        assert type(viewed.__arrow_c_schema__()).__name__ == "PyCapsule"
        try:
            pyarrow: Any = importlib.import_module("pyarrow")  # carries no types here
        except ImportError:
            return
        assert pyarrow.table(brindle.read_table(path, "book")).to_pylist() == [
            {"@year": 1854, "title": "Walden"}, {"@year": None, "title": None}]
        piece = brindle.read_table(path, "book", byte_range=(0, os.path.getsize(path)))  # the whole file
        assert isinstance(assert_type(piece.first_record, "int | None"), int)
        assert pyarrow.table(piece).num_rows == 2
        assert assert_type(piece.next_record, "int | None") is None
        assert assert_type(piece.ancestors_kept, "bool | None") is False


async def read_in_threads() -> list[Node]:
    loop_reads = [asyncio.to_thread(brindle.read_string, DOCUMENT, "book") for _ in range(4)]
    return list(await asyncio.gather(*loop_reads))


def write_in_pool(shelf: Node) -> list[str]:
    with ThreadPoolExecutor(max_workers=2) as pool:
        return list(pool.map(brindle.write_string, [shelf, shelf]))


def main() -> None:
    shelf = build()
    inspect(shelf)
    search(shelf)
    dictionaries(shelf)
    stream(shelf)
    read_and_write(shelf)
    pickled(shelf)
    table(shelf)
    assert all(book.name == "book" for book in asyncio.run(read_in_threads()))
    assert len(set(write_in_pool(shelf))) == 1


if __name__ == "__main__":
    main()
