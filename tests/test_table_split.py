"""read_table's byte_range and the split of one file into pieces (read_split in
examples/dask_tables.py): for every split point of small documents full of false candidates for
a record start (in a DOCTYPE's entity literals, comments, CDATA, processing instructions, a
nested record), with a namespace prefix and records whose ancestors change mid-file, the joined
pieces equal the table of a single read; a malformed file raises the single read's error."""

import gc
import io
import os
import random
import sys

import pytest

import brindle
from read_documents import BUILDERS, in_builder

pa = pytest.importorskip("pyarrow")

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "examples"))
import dask_tables  # noqa: E402

TRICKY = """<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE m:set [
  <!ENTITY first "<rec id='entity'>">
  <!ENTITY second '<rec/>'>
  <!-- <rec id="in the subset"> -->
]>
<m:set xmlns:m="urn:m">
  <!-- <rec id="comment"> -->
  <rec id="1" note="a > b"><t>one</t><![CDATA[ <rec id="cdata"> ]]></rec>
  <?pi <rec id="pi"?>
  <rec id="2"/><rec
   id="3"><t>th&amp;ree <b>bold</b> é</t><rec id="nested"><t>inner</t></rec></rec>
  <m:group><rec id="4"><t>four</t></rec><rec id='5'>five<!-- <rec/> --></rec></m:group>
  <rec id="6"><t>six</t></rec>
</m:set>
"""

FLAT = """<set>
<rec id="1"><t>a</t></rec><rec id="2"><t>b</t></rec>
<!-- <rec id="c"> --><rec id="3"/>
</set>"""

COLUMNS = {"id": "@id", "t": "t/string()", "all": "string()", "note": "@note", "inner": "rec/t"}


def write(tmp_path, text, name="doc.xml"):
    path = tmp_path / name
    path.write_bytes(text.encode())
    return str(path)


def open_files():
    """The paths of this process's open file descriptors."""
    paths = set()
    for fd in os.listdir("/proc/self/fd"):
        try:
            paths.add(os.readlink(f"/proc/self/fd/{fd}"))
        except OSError:  # closed since it was listed
            pass
    return paths


def single(path, columns=COLUMNS):
    return pa.table(brindle.read_table(path, "rec", columns))


def outcome(read):
    """The table, or the error's class and message."""
    try:
        return read().to_pylist()
    except Exception as error:  # noqa: BLE001 - the outcome compared is any error
        return type(error), str(error)


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("text", [TRICKY, FLAT], ids=["tricky", "flat"])
def test_every_split_point_gives_the_single_table(tmp_path, text, builder):
    text, shift = in_builder(text, builder)
    path = write(tmp_path, text)
    size = os.path.getsize(path)
    expected = single(path).to_pylist()
    assert len(expected) == (6 if "m:set" in text else 3)
    for point in [0, *range(max(shift - 2, 0), size + 1)]:  # not each byte of a builder's prefix
        table = dask_tables.read_ranges(path, "rec", COLUMNS, [(0, point), (point, size)])
        assert table.to_pylist() == expected, point
    rng = random.Random(5)
    for _ in range(150):  # three and four pieces, and empty ranges among them
        points = sorted(rng.randint(0, size) for _ in range(rng.choice((2, 3))))
        bounds = [0, *points, size]
        ranges = list(zip(bounds, bounds[1:]))
        buffer_size = rng.choice((None, 1, 7, 64))
        table = dask_tables.read_ranges(path, "rec", COLUMNS, ranges, buffer_size=buffer_size)
        assert table.to_pylist() == expected, (ranges, buffer_size)


def test_inferred_columns_are_the_files_for_every_piece(tmp_path):
    path = write(tmp_path, TRICKY)
    expected = pa.table(brindle.read_table(path, "rec"))
    assert expected.num_rows == 6
    size = os.path.getsize(path)
    for point in range(0, size + 1, 7):
        assert dask_tables.read_ranges(path, "rec", None, [(0, point), (point, size)]).equals(expected), point


BAD_RECORDS = "".join(f'<rec id="{i}"><t>{i}</t></rec>\n' for i in range(12))


@pytest.mark.parametrize("text", [
    f"<set>{BAD_RECORDS}<rec id='99'><t>&bogus;</t></rec>{BAD_RECORDS}</set>",  # an unknown entity
    f"<set>{BAD_RECORDS}</other>{BAD_RECORDS}</set>",  # an end tag that matches nothing
    f"<set><g>{BAD_RECORDS}</g>{BAD_RECORDS}</h></set>",  # a mismatch only the true ancestors show
    f'<set>{BAD_RECORDS}<rec id="<rec id=\'9\'>">{BAD_RECORDS}</set>',  # '<' in an attribute value
    f"<set>{BAD_RECORDS}<!-- <rec> -->{BAD_RECORDS}",  # never closed
    f"<set>{BAD_RECORDS}<rec id='4x'/>{BAD_RECORDS}</set>",  # a value that does not convert
    f"<set>{BAD_RECORDS}</set>\n<!-- <rec id='2'> --> <!-- unterminated",  # after the document element
], ids=["entity", "unexpected-end-tag", "ancestors", "less-than-in-value", "never-closed", "conversion",
        "trailing-comment"])
def test_a_malformed_file_raises_the_single_reads_error(tmp_path, text):
    path = write(tmp_path, text)
    size = os.path.getsize(path)
    columns = {"id": ("@id", "int64"), "t": "t"}
    expected = outcome(lambda: single(path, columns))
    assert not isinstance(expected, list)
    for point in range(0, size + 1, 3):
        for ranges in ([(0, point), (point, size)], [(0, point // 2), (point // 2, point), (point, size)]):
            assert outcome(lambda: dask_tables.read_ranges(path, "rec", columns, ranges)) == expected, ranges


def test_a_piece_makes_a_value_that_does_not_convert_null_when_asked(tmp_path):
    path = write(tmp_path, f"<set>{BAD_RECORDS}<rec id='4x'/>{BAD_RECORDS}</set>")
    size = os.path.getsize(path)
    columns = {"id": ("@id", "int64")}
    expected = pa.table(brindle.read_table(path, "rec", columns, errors="null")).to_pylist()
    assert {"id": None} in expected
    for point in range(0, size + 1, 5):
        rows = [row for piece in ((0, point), (point, size))
                for row in pa.table(brindle.read_table(path, "rec", columns, errors="null", byte_range=piece)).to_pylist()]
        assert rows == expected, point


def test_a_piece_reports_where_it_stands(tmp_path):
    text = '<s><rec id="1"/><!-- <rec x --><rec id="2"/><g><rec id="3"/></g></s>'
    path = write(tmp_path, text)
    at = [i for i in range(len(text)) if text.startswith("<rec", i)]
    whole = brindle.read_table(path, "rec", byte_range=(0, len(text)))
    assert whole.first_record == at[0]
    with pytest.raises(ValueError, match="once every batch has been read"):
        whole.next_record
    assert pa.table(whole).num_rows == 3
    assert (whole.next_record, whole.ancestors_kept) == (None, False)
    # From the comment's false candidate: the rows are wrong, and the piece before tells so.
    piece = brindle.read_table(path, "rec", byte_range=(at[0] + 1, at[2] + 1))
    assert piece.first_record == at[1]
    with pytest.raises(ValueError):
        pa.table(piece)
    assert piece.next_record is None
    before = brindle.read_table(path, "rec", byte_range=(0, at[0] + 1))
    assert pa.table(before)["@id"].to_pylist() == [1]
    assert (before.next_record, before.ancestors_kept) == (at[2], True)
    last = brindle.read_table(path, "rec", byte_range=(at[2], at[3]))
    assert pa.table(last)["@id"].to_pylist() == [2]
    assert (last.first_record, last.next_record, last.ancestors_kept) == (at[2], at[3], False)
    empty = brindle.read_table(path, "rec", byte_range=(at[3] + 1, len(text)))
    assert (empty.first_record, pa.table(empty).num_rows, empty.next_record) == (None, 0, None)
    plain = brindle.read_table(path, "rec")
    assert (plain.first_record, plain.next_record, plain.ancestors_kept) == (None, None, None)
    assert path in open_files()
    del whole, piece, before, last, empty, plain
    gc.collect()
    assert path not in open_files()  # every piece's file is closed


@pytest.mark.parametrize("shift", range(-6, 2))
def test_a_candidate_where_the_scan_reads_on(tmp_path, shift):
    """The candidate is looked for 64 KiB at a time: one cut by a read's end is still found."""
    head = '<set><rec id="0"/>'
    start = len(head) + 10
    text = head + " " * (start + 65536 + shift - len(head)) + '<rec id="1"/></set>'
    path = write(tmp_path, text)
    piece = brindle.read_table(path, "rec", COLUMNS, byte_range=(start, len(text)))
    assert piece.first_record == text.index('<rec id="1"')
    assert pa.table(piece)["id"].to_pylist() == ["1"]


@pytest.mark.parametrize("source, byte_range, error, message", [
    ("path", (5, 4), ValueError, "byte_range starts after its end"),
    ("path", (0,), TypeError, r"byte_range is a \(start, end\) pair"),
    ("path", [0, 4], TypeError, "'list' object is not an instance of 'tuple'"),
    ("path", (-1, 4), OverflowError, "negative"),
    ("file", (0, 4), TypeError, "byte_range reads a file at offsets: source must be a path, not _io.BytesIO"),
    ("missing", (0, 4), FileNotFoundError, "No such file"),
])
def test_byte_range_arguments(tmp_path, source, byte_range, error, message):
    path = write(tmp_path, FLAT)
    given = {"path": path, "file": io.BytesIO(FLAT.encode()), "missing": str(tmp_path / "none.xml")}[source]
    with pytest.raises(error, match=message):
        brindle.read_table(given, "rec", COLUMNS, byte_range=byte_range)
