"""Generated documents of four shapes, the same bytes on every run for a given size and seed.
The tests read and write them; the benchmarks (bench/documents.py) compare every library on them.

Each shape stresses a different part of reading and writing:
  records  - records with attributes and short text
  attrs    - attribute-heavy self-closing elements
  text     - long character data with entity and character references
  tiny     - very many tiny elements
"""

import random
import re

TARGET_BYTES = 20 * 1024 * 1024
WORDS = ("alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india",
         "juliet", "kilo", "lima", "mike", "november", "oscar", "papa", "quebec", "romeo")


def _fill(open_tag, make_piece, close_tag, target):
    parts = [open_tag]
    size = len(open_tag) + len(close_tag)
    i = 0
    while size < target:
        piece = make_piece(i)
        parts.append(piece)
        size += len(piece)
        i += 1
    parts.append(close_tag)
    return "".join(parts)


def records(target=TARGET_BYTES, seed=1):
    rng = random.Random(seed)

    def piece(i):
        w = rng.choice(WORDS)
        return (f'\n  <record id="{i}" kind="{w}" score="{rng.randint(0, 99999)}">'
                f'<name>{w.title()} {i}</name><value unit="m">{rng.random():.6f}</value>'
                f'<note>{rng.choice(WORDS)} {rng.choice(WORDS)}</note></record>')
    return _fill("<dataset>", piece, "\n</dataset>", target)


def attrs(target=TARGET_BYTES, seed=2):
    rng = random.Random(seed)

    def piece(i):
        return (f'\n  <rom name="{rng.choice(WORDS)}-{i}.bin" size="{rng.randint(1, 1 << 20)}" '
                f'crc="{rng.getrandbits(32):08x}" sha1="{rng.getrandbits(160):040x}" '
                f'offset="{rng.randint(0, 1 << 24)}" status="good"/>')
    return _fill("<softwarelist>", piece, "\n</softwarelist>", target)


def text(target=TARGET_BYTES, seed=3):
    rng = random.Random(seed)

    def piece(i):
        words = " ".join(rng.choice(WORDS) for _ in range(60))
        return (f"\n  <para>{words} &amp; {rng.choice(WORDS)} &lt;{i}&gt; caf&#233; "
                f"&#x4E2D; {words}</para>")
    return _fill("<book>", piece, "\n</book>", target)


def tiny(target=TARGET_BYTES, seed=4):
    def piece(i):
        return f"<i>{i % 10}</i><e/>"
    return _fill("<r>", piece, "</r>", target)


def small(seed=5):
    """A document of about 2 KB, for the per-call overhead."""
    return records(target=2048, seed=seed)


SHAPES = {"records": records, "attrs": attrs, "text": text, "tiny": tiny}


def documents(target=TARGET_BYTES):
    """Every shape at the given size, as {name: str}; the root element's name is the first tag."""
    return {name: make(target) for name, make in SHAPES.items()}


def root_name(document):
    """The name of the first start tag (the XML declaration, comments and a DOCTYPE are not
    elements)."""
    return re.search(r"<([^?!/\s>][^\s/>]*)", document).group(1)
