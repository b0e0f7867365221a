"""Fuzzes brindle through Python with atheris: Node(...), Node.from_dict, write_string and
read_string on values built from the input (strings with any code point, nested lists, dicts
and tuples, wrong types, huge or negative indents), and the reconstructor of pickles on payloads
of real trees cut, overwritten or spliced, and on raw input.

- Every failure is one of the exception types each call raises today (the *_RAISES tuples);
  anything else, a crash or a sanitizer report is a finding.
- Round trip: a tree that write_string accepts reads back with read_string (asked for the
  root's name) as the same tree, except that texts lose surrounding Unicode white space and
  empty texts read back absent. A dict that from_dict accepts gives a node whose to_dict
  builds the same node again. A pickle reads back as the same tree with the same sharing (its
  encoding is the same again).
- A payload is read or refused with ValueError; a tree read from one encodes to a payload
  that reads back to that same encoding.

Run against a build of the extension (see fuzz/README.md):
    PYTHONPATH=build/fuzz-python python fuzz/fuzz_python.py [libFuzzer flags] [corpus dir]
"""

import pickle
import sys

import atheris

import brindle
from brindle import Node

# What each call raises today for values it refuses: UnicodeEncodeError (a ValueError) for
# strings holding lone surrogates, OverflowError for an indent outside 0..2**64-1, MemoryError
# for an indent no output could hold (checked in check_write).
BUILD_RAISES = (TypeError, ValueError)
READ_RAISES = (TypeError, ValueError)
WRITE_RAISES = (TypeError, ValueError, OverflowError, MemoryError)
HUGE_INDENT = 2 ** 40

# The characters with the Unicode White_Space property: what read texts are trimmed of.
WHITE_SPACE = ("\t\n\x0b\x0c\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007"
               "\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000")

# Pieces of strings: markup, references, white space of every kind, characters XML forbids,
# lone surrogates and multi-byte characters.
PIECES = ("a", "b1", "x-y", "ns:e", "_", ".", "é", "文", "😀", " ", "\t", "\n", "\r", "\r\n", "\xa0",
          "\u3000", "\x85", "<", ">", "&", "&amp;", "&#60;", "&#x1F600;", "&bogus;", "\"", "'", "]]>",
          "<!--", "-->", "<![CDATA[", "<?", "?>", "/>", "</", "<!DOCTYPE a [<!ENTITY e 'x'>]>",
          "\x00", "\x01", "\x1f", "\ufffe", "\uffff", "\ud800", "\udfff", "\U0010ffff")
NAMES = ("a", "b", "item", "x-y", "ns:e", "_u", "a.b", "é", "文", "a1", "", "1a", "a b", "-a",
         "a\x00", "\ud800", "xml", "A" * 40)
INDENTS = (None, 0, 1, 2, 4, 8, 2 ** 40, 2 ** 63, 2 ** 64 - 1, 2 ** 64, -1, -(2 ** 70), True, 1.5, "2", [])
FLAGS = (None, True, False, 0, 1, 2, "", "yes", [], 1.0)
FIELD_NAMES = ("name", "attrs", "children", "text", "extra", "Name", 5)


class Values:
    """Python values drawn from the fuzz input."""

    def __init__(self, data):
        self.fdp = atheris.FuzzedDataProvider(data)

    def below(self, bound):
        return self.fdp.ConsumeIntInRange(0, bound - 1)

    def pick(self, options):
        return options[self.below(len(options))]

    def string(self):
        if self.below(4) == 0:
            return self.fdp.ConsumeUnicode(self.below(12))
        return "".join(self.pick(PIECES) for _ in range(self.below(6)))

    def name(self):
        return self.pick(NAMES) if self.below(5) else self.string()

    def text(self):
        return self.pick((None, "", self.string(), self.string(), 5, b"x", ["t"]))

    def attrs(self):
        kind = self.below(8)
        if kind == 0:
            return self.pick((None, [], [("k", "v")], "k=v", 1, {1: "v"}, {"k": 1}))
        return {self.name(): self.string() for _ in range(self.below(4))}

    def children(self, depth):
        kind = self.below(8)
        if kind == 0:
            return self.pick((None, "ab", 5, [1], [None], {"k": "v"}))
        made = [self.node(depth + 1) for _ in range(self.below(4 if depth < 4 else 1))]
        if made and self.below(3) == 0:
            made.append(made[0])  # a shared child is written at each place it appears
        return tuple(made) if kind == 1 else made

    def node(self, depth=0):
        """A Node (drawing again while the constructor refuses the values), or now and then a
        chain of nested nodes up to a few hundred deep."""
        while True:
            try:
                if self.below(16) == 0:
                    return self.chain()
                return Node(self.name(), self.attrs(), self.children(depth), self.text())
            except BUILD_RAISES:
                if self.fdp.remaining_bytes() == 0:
                    return Node("a")

    def chain(self):
        node = Node(self.pick(NAMES[:10]), text=self.string())
        for _ in range(self.below(300)):
            node = Node(self.pick(NAMES[:10]), children=[node])
        return node

    def node_dict(self, depth=0):
        """A dict in the form from_dict reads, often with a wrong field or a wrong value."""
        if depth > 3 or self.below(10) == 0:
            return self.pick((None, 5, "a", [], (), {}, Node("n"), b"x", {"name": "a"}))
        fields = {"name": self.name(), "attrs": self.attrs(),
                  "children": [self.node_dict(depth + 1) for _ in range(self.below(3))],
                  "text": self.text()}
        for _ in range(self.below(3)):
            key = self.pick(FIELD_NAMES)
            fields[key] = self.pick((None, 1, "s", [], {}, self.string(), [fields.get("name")]))
        if self.below(8) == 0:
            del fields[self.pick(("name", "attrs", "children", "text"))]
        return fields

    def document(self):
        """Text to read: markup pieces around a few well-formed elements."""
        parts = []
        for _ in range(self.below(12)):
            kind = self.below(4)
            if kind == 0:
                name = self.pick(NAMES[:10])
                parts.append(f"<{name} k='{self.string()}'>{self.string()}</{name}>")
            else:
                parts.append(self.string())
        return "".join(parts)


def refused(raises, call, *args, **kwargs):
    """The call's result, or None when it raised one of `raises`."""
    try:
        return call(*args, **kwargs)
    except raises:
        return None


def check_write(target, indent, declaration, by_keyword=False):
    """write_string's result, or None when it refused; only a huge indent is a MemoryError."""
    try:
        if by_keyword:
            return brindle.write_string(target, indent=indent, default_xml_def=declaration)
        return brindle.write_string(target, indent, declaration)
    except MemoryError:
        assert isinstance(indent, int) and indent >= HUGE_INDENT, indent
    except WRITE_RAISES:
        pass
    return None


def trim(text):
    return text.strip(WHITE_SPACE) if text is not None else None


def shape(node, trimmed):
    """The tree as nested tuples (name, attribute items in order, text, children), built
    without recursion; with `trimmed`, texts as reading gives them back."""
    root = []
    stack = [(node, root)]
    while stack:
        current, into = stack.pop()
        children = []
        text = (trim(current.text) or None) if trimmed else current.text
        into.append((current.name, list(current.attrs.items()), text, children))
        for child in reversed(current.children):
            stack.append((child, children))
    return root[0]


def check_round_trip(node, indent, declaration):
    written = check_write(node, indent, declaration)
    if written is None:
        return
    back = brindle.read_string(written, node.name)
    assert shape(back, trimmed=False) == shape(node, trimmed=True), (written, node.name)


def check_dict_round_trip(node):
    as_dict = node.to_dict()
    assert Node.from_dict(as_dict).to_dict() == as_dict


def fuzz_constructor(values):
    node = values.node()
    check_dict_round_trip(node)
    check_round_trip(node, values.pick(INDENTS), values.pick(FLAGS))


def fuzz_from_dict(values):
    node = refused(BUILD_RAISES, Node.from_dict, values.node_dict())
    if node is not None:
        check_dict_round_trip(node)
        check_round_trip(node, values.pick(INDENTS), values.pick(FLAGS))


def fuzz_write_arguments(values):
    target = values.pick((values.node(), values.node(), None, "a", {"name": "a"}, 5))
    check_write(target, values.pick(INDENTS), values.pick(FLAGS))
    check_write(target, values.pick(INDENTS), values.pick(FLAGS), by_keyword=True)


def fuzz_read(values):
    document = values.document()
    root = values.pick((values.name(), values.name(), None, 5, b"a"))
    node = refused(READ_RAISES, brindle.read_string, document, root)
    if node is not None:
        check_dict_round_trip(node)
        check_round_trip(node, values.pick(INDENTS[:5]), values.pick(FLAGS[:3]))


def encoding(node):
    """The payload a pickle of `node` holds."""
    return node.__reduce__()[1][0]


def check_payload(payload):
    node = refused(ValueError, brindle._unpickle_node, payload)
    if node is not None:
        encoded = encoding(node)
        assert encoding(brindle._unpickle_node(encoded)) == encoded, payload


def fuzz_pickle(values):
    node = values.node()
    again = pickle.loads(pickle.dumps(node, values.below(pickle.HIGHEST_PROTOCOL + 1)))
    assert encoding(again) == encoding(node)
    assert shape(again, trimmed=False) == shape(node, trimmed=False)
    payload = bytearray(encoding(node))
    for _ in range(1 + values.below(3)):
        at = values.below(len(payload) + 1)
        kind = values.below(3)
        if kind == 0:
            del payload[at:]
        elif kind == 1 and at < len(payload):
            payload[at] = values.below(256)
        else:
            payload[at:at] = values.fdp.ConsumeBytes(values.below(4))
    check_payload(bytes(payload))


def fuzz_unpickle(values):
    check_payload(values.fdp.ConsumeBytes(values.fdp.remaining_bytes()))


TARGETS = (fuzz_constructor, fuzz_from_dict, fuzz_write_arguments, fuzz_read, fuzz_pickle, fuzz_unpickle)


def test_one_input(data):
    values = Values(data)
    values.pick(TARGETS)(values)


def main():
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
