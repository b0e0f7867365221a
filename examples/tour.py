"""A short tour of brindle: build a tree by hand, read a document, look around in it."""

import os

import brindle
from brindle import Node

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, "sample.xml")


def build_by_hand():
    print("== A tree built by hand")
    title = Node("title", text="Walden")
    author = Node("author", text="Henry David Thoreau")
    book = Node("book", {"id": "b0", "year": "1854"}, [title, author])
    print(repr(book), book.attrs, [child.name for child in book.children])
    # Children are shared, not copied: the very same objects come back.
    print("shared child:", book.children[0] is title)
    return book


def main():
    build_by_hand()


if __name__ == "__main__":
    main()
