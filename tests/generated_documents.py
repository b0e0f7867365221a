"""Generated documents of five shapes, the same bytes on every run for a given size and seed.
The tests read and write them; the benchmarks (bench/documents.py) compare every library on them.

Each shape stresses a different part of reading and writing:
  records  - records with attributes and short text
  attrs    - attribute-heavy self-closing elements
  text     - long character data with entity and character references
  tiny     - very many tiny elements
  mixed    - records of prose: paragraphs of text with inline elements between the words
"""

import random
import re

TARGET_BYTES = 20 * 1024 * 1024
WORDS = ("alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india",
         "juliet", "kilo", "lima", "mike", "november", "oscar", "papa", "quebec", "romeo")


def _document(root, make_piece, target, seed, break_before_end="\n"):
    """<root>, then make_piece(rng, 0), make_piece(rng, 1), ... until the document has at least
    `target` characters, then </root>; rng is seeded with `seed`, so the bytes repeat."""
    rng = random.Random(seed)
    open_tag, close_tag = f"<{root}>", f"{break_before_end}</{root}>"
    parts = [open_tag]
    size = len(open_tag) + len(close_tag)
    i = 0
    while size < target:
        piece = make_piece(rng, i)
        parts.append(piece)
        size += len(piece)
        i += 1
    parts.append(close_tag)
    return "".join(parts)


def _record(rng, i):
    w = rng.choice(WORDS)
    return (f'\n  <record id="{i}" kind="{w}" score="{rng.randint(0, 99999)}">'
            f'<name>{w.title()} {i}</name><value unit="m">{rng.random():.6f}</value>'
            f'<note>{rng.choice(WORDS)} {rng.choice(WORDS)}</note></record>')


def _rom(rng, i):
    return (f'\n  <rom name="{rng.choice(WORDS)}-{i}.bin" size="{rng.randint(1, 1 << 20)}" '
            f'crc="{rng.getrandbits(32):08x}" sha1="{rng.getrandbits(160):040x}" '
            f'offset="{rng.randint(0, 1 << 24)}" status="good"/>')


def _para(rng, i):
    words = " ".join(rng.choice(WORDS) for _ in range(60))
    return (f"\n  <para>{words} &amp; {rng.choice(WORDS)} &lt;{i}&gt; caf&#233; "
            f"&#x4E2D; {words}</para>")


def _tiny_pair(rng, i):
    return f"<i>{i % 10}</i><e/>"


def _prose(rng, words):
    """Words with an inline element around one word in four or so, as marked-up prose has."""
    out = []
    for _ in range(words):
        word = rng.choice(WORDS)
        tag = rng.choice(("bold", "keyword", "emph", None, None, None, None, None, None, None))
        out.append(f"<{tag}>{word}</{tag}>" if tag else word)
    return " ".join(out)


def _item(rng, i):
    paragraphs = "".join(f"\n      <listitem><text>{_prose(rng, 40)}</text></listitem>" for _ in range(4))
    return (f'\n  <item id="item{i}" featured="{rng.choice(("yes", "no"))}">'
            f"\n    <location>{rng.choice(WORDS).title()}</location><quantity>{rng.randint(1, 9)}</quantity>"
            f"\n    <name>{rng.choice(WORDS)} {rng.choice(WORDS)}</name>"
            f"\n    <description><parlist>{paragraphs}\n    </parlist></description>"
            f'\n    <mailbox><mail><from>{rng.choice(WORDS)}@example.org</from>'
            f"<date>{rng.randint(1, 28):02d}/{rng.randint(1, 12):02d}/2001</date>"
            f"<text>{_prose(rng, 12)}</text></mail></mailbox>\n  </item>")


def records(target=TARGET_BYTES, seed=1):
    return _document("dataset", _record, target, seed)


def attrs(target=TARGET_BYTES, seed=2):
    return _document("softwarelist", _rom, target, seed)


def text(target=TARGET_BYTES, seed=3):
    return _document("book", _para, target, seed)


def tiny(target=TARGET_BYTES, seed=4):
    return _document("r", _tiny_pair, target, seed, break_before_end="")


def mixed(target=TARGET_BYTES, seed=6):
    return _document("site", _item, target, seed)


def small(seed=5):
    """A document of about 2 KB, for the per-call overhead."""
    return records(target=2048, seed=seed)


SHAPES = {"records": records, "attrs": attrs, "text": text, "tiny": tiny, "mixed": mixed}


def root_name(document):
    """The name of the first start tag (the XML declaration, comments and a DOCTYPE are not
    elements)."""
    return re.search(r"<([^?!/\s>][^\s/>]*)", document).group(1)
