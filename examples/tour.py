"""A short tour of brindle: build a tree by hand, read a document, search it, print it,
turn it into dictionaries and back, and write it out again."""

import os
import tempfile

import brindle
from brindle import Node, SearchType

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, "sample.xml")


def build_by_hand() -> None:
    print("== A tree built by hand")
    title = Node("title", text="Walden")
    author = Node("author", text="Henry David Thoreau")
    book = Node("book", {"id": "b0", "year": "1854"}, [title, author])
    print(repr(book), book.attrs, [child.name for child in book.children])
    # Children are shared, not copied: the very same objects come back.
    print("shared child:", book.children[0] is title)


def read_the_sample() -> Node:
    print("\n== Reading a document")
    catalog = brindle.read_file(SAMPLE, "catalog")
    for shelf in catalog.children:
        print(f"shelf {shelf.attrs['id']} ({shelf.attrs['topic']}):",
              [book.children[0].text for book in shelf.children])
    # The first element of the name asked for, wherever it is in the document.
    note = brindle.read_file(SAMPLE, "note")
    print("first note:", note.text)
    try:
        brindle.read_string("<a><b></a>", "a")
    except ValueError as error:
        print("malformed input:", error)
    return catalog


def search_print_and_convert(catalog: Node) -> None:
    print("\n== Searching, printing and dictionaries")
    print("titles:", [title.text for title in catalog.search_by_name("title")])
    priced = catalog.search(SearchType.Attr, "currency")
    print("prices in EUR:", [price.text for price in priced if price.attrs["currency"] == "EUR"])
    shelves = catalog.search_by_name("shelf", depth=1)  # the catalog itself is level 0
    print("topics:", [shelf.attrs["topic"] for shelf in shelves])
    book = catalog.search_by_attr("year")[0]
    print(book)  # the indented listing
    as_dict = book.to_dict()
    print(as_dict["name"], as_dict["attrs"], [child["name"] for child in as_dict["children"]])
    again = Node.from_dict(as_dict)  # new nodes, same content
    print("same listing after a round trip:", str(again) == str(book), "- a new node:", again is not book)


def write_back(catalog: Node) -> None:
    print("\n== Writing the tree back out")
    path = os.path.join(tempfile.mkdtemp(), "catalog.xml")
    brindle.write_file(catalog, path, indent=2)
    with open(path, encoding="utf-8") as written:
        text = written.read()
    print(text[:200])
    print("same as write_string:", text == brindle.write_string(catalog, indent=2))
    print("reads back:", brindle.read_file(path, "book").attrs)


def main() -> None:
    build_by_hand()
    catalog = read_the_sample()
    search_print_and_convert(catalog)
    write_back(catalog)


if __name__ == "__main__":
    main()
