"""read_table: every column kind equals what a Python reference computes from read_string's tree
(string() from the text of ElementTree's itertext), under both index builders and at every small
buffer size; types and their faults; a stream's errors after the batches before them; sources;
batches that pyarrow and polars take without copying, also from a thread without the lock."""

import collections.abc
import ctypes
import gzip
import io
import pathlib
import random
import re
import threading
import types
import xml.etree.ElementTree as ElementTree

import pytest

import brindle
from read_documents import BUILDERS, in_builder

pa = pytest.importorskip("pyarrow")

WORDS = ["alpha", "beta", "gamma", "delta", "x&amp;y", "&lt;tag&gt;", "caf\u00e9", "", " "]


def _paper(rng, i):
    """A PubMed-like record: attributes, optional and repeated children, mixed content with
    inline elements, references, CDATA, and white space that trimming and string() tell apart."""
    def words(n):
        return " ".join(rng.choice(WORDS) for _ in range(n))

    parts = [f'<paper id="{i}"' + (f' year="{rng.randint(1900, 2030)}"' if rng.random() < 0.8 else "") + ">"]
    if rng.random() < 0.9:
        inline = rng.choice(["<i>{}</i>", "<sup>{}</sup>", "<b>{}<i>{}</i></b>", "<![CDATA[{} < ]]>", "{}"])
        parts.append(f"<title> {words(2)} {inline.format(words(1), words(1))} {words(2)}\n</title>")
    if rng.random() < 0.5:
        parts.append("<title>second</title>")
    for _ in range(rng.randint(0, 2)):
        parts.append("<date>" + "".join(f"<year>{rng.randint(1990, 2020)}</year>" for _ in range(rng.randint(0, 2)))
                     + "</date>")
    for _ in range(rng.randint(0, 2)):
        authors = "".join(
            f'<author{" key=" + chr(34) + str(rng.randint(0, 99)) + chr(34) if rng.random() < 0.7 else ""}>'
            f"<last>{words(1)}</last>" + ("<last/>" if rng.random() < 0.2 else "") + "</author>"
            for _ in range(rng.randint(0, 3)))
        parts.append(f"<authors>{authors}</authors>")
    if rng.random() < 0.7:
        parts.append(f"<score>{rng.choice(['1.5', '-2', '1e3', ' 7 ', ''])}</score>")
    if rng.random() < 0.7:
        parts.append(f"<open>{rng.choice(['true', 'false', '1', '0'])}</open>")
    parts.append("</paper>")
    return "\n  ".join(parts)


def papers(seed, count=40):
    rng = random.Random(seed)
    body = "".join(_paper(rng, i) for i in range(count))
    return f'<set><skip>text</skip>{body}\n</set>\n'


COLUMNS = {
    "id": ("@id", "int64"),
    "year": "@year",
    "title": "title",
    "title_text": "title/string()",
    "first_year": ("date/year", "int64"),
    "author_key": "authors/author/@key",
    "lasts": "authors/author/last[*]",
    "keys": ("authors/author/@key[*]", "int64"),
    "years": "date/year/string()[*]",
    "score": ("score", "float64"),
    "open": ("open", "bool"),
    "all": "string()",
}


def _convert(text, kind):
    if text is None or kind == "str":
        return text
    text = text.strip(" \t\r\n")
    if not text:
        return None
    if kind == "int64":
        return int(text)
    if kind == "float64":
        return float(text)
    return text in ("true", "1")


def _follow(node, steps, every, children):
    found = [node]
    for step in steps:
        below = [child for parent in found for child in children(parent) if name_of(child) == step]
        found = below if every else below[:1]
    return found


def name_of(element):
    return element.name if isinstance(element, brindle.Node) else element.tag


def reference_rows(document):
    """Each record's row, from read_string's tree (string() from ElementTree's itertext)."""
    tree = brindle.read_string(document, "set")
    etree = ElementTree.fromstring(document)
    rows = []
    for node, element in zip([c for c in tree.children if c.name == "paper"], etree.iter("paper")):
        row = {}
        for name, spec in COLUMNS.items():
            path, kind = spec if isinstance(spec, tuple) else (spec, "str")
            every = path.endswith("[*]")
            steps = path.removesuffix("[*]").split("/")
            last = steps.pop()
            if last == "string()":
                matches = ["".join(found.itertext()) for found in
                           _follow(element, steps, every, lambda e: list(e))]
            elif last.startswith("@"):
                matches = [found.attrs[last[1:]] for found in _follow(node, steps, every, lambda n: n.children)
                           if last[1:] in found.attrs]
            else:
                matches = [found.text for found in _follow(node, steps + [last], every, lambda n: n.children)]
            values = [_convert(value, kind) for value in matches]
            row[name] = values if every else (values[0] if values else None)
        rows.append(row)
    return rows


BUFFER_SIZES = list(range(1, 65)) + [2**k for k in range(7, 16)]


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("seed", [1, 2])
def test_every_column_equals_the_tree_reference_at_every_buffer_size(builder, seed):
    expected = reference_rows(papers(seed))
    data = in_builder(papers(seed), builder)[0].encode()
    for buffer_size in BUFFER_SIZES:
        table = pa.table(brindle.read_table(io.BytesIO(data), "paper", COLUMNS, batch_rows=7, buffer_size=buffer_size))
        assert table.to_pylist() == expected, buffer_size


def test_batches_hold_at_most_batch_rows_and_the_schema_names_each_type():
    reader = pa.RecordBatchReader.from_stream(brindle.read_table(io.BytesIO(papers(3).encode()), "paper", COLUMNS,
                                                                 batch_rows=16))
    assert [batch.num_rows for batch in reader] == [16, 16, 8]
    assert reader.schema == pa.schema([
        ("id", pa.int64()), ("year", pa.large_string()), ("title", pa.large_string()),
        ("title_text", pa.large_string()), ("first_year", pa.int64()), ("author_key", pa.large_string()),
        ("lasts", pa.large_list(pa.large_string())), ("keys", pa.large_list(pa.int64())),
        ("years", pa.large_list(pa.large_string())), ("score", pa.float64()), ("open", pa.bool_()),
        ("all", pa.large_string())])


@pytest.mark.parametrize("kind, text, expected", [
    ("int64", "-9223372036854775808", -2**63), ("int64", " +42\n", 42), ("int64", "", None),
    ("float64", "-1.5e-3", -1.5e-3), ("float64", "inf", float("inf")),
    ("bool", "true", True), ("bool", "0", False), ("str", "", ""),
])
def test_types_take_their_accepted_forms(kind, text, expected):
    table = pa.table(brindle.read_table(io.BytesIO(f'<r><p v="{text}"/></r>'.encode()), "p", {"v": ("@v", kind)}))
    assert table.column("v").to_pylist() == [expected]


UNCONVERTIBLE = [("int64", "9223372036854775808"), ("int64", "1.0"), ("int64", "0x1"), ("float64", "1,5"),
                 ("bool", "True"), ("bool", "yes")]


@pytest.mark.parametrize("kind, text", UNCONVERTIBLE)
def test_a_value_that_does_not_convert_names_record_column_and_value_after_earlier_batches(kind, text):
    document = f'<r><p v="1"/><p v="0"/><p v="0"/><p v="{text}"/><p v="1"/></r>'
    reader = pa.RecordBatchReader.from_stream(brindle.read_table(io.BytesIO(document.encode()), "p",
                                                                 {"v": ("@v", kind)}, batch_rows=2))
    assert reader.read_next_batch().num_rows == 2
    assert reader.read_next_batch().num_rows == 1
    offset = document.index(f'<p v="{text}"')
    with pytest.raises(ValueError) as raised:
        reader.read_next_batch()
    assert str(raised.value).endswith(f"column 'v' of the record at byte {offset}: cannot convert '{text}' to {kind}")


@pytest.mark.parametrize("kind, text", UNCONVERTIBLE)
def test_errors_null_makes_a_value_that_does_not_convert_null_and_reads_on(kind, text):
    document = f'<r><p v="1"><i>0</i><i>{text}</i><i>1</i></p><p v="{text}"/><p v="0"><i>{text}</i></p></r>'
    one, zero = _convert("1", kind), _convert("0", kind)
    table = pa.table(brindle.read_table(io.BytesIO(document.encode()), "p", {"v": ("@v", kind), "i": ("i[*]", kind)},
                                        batch_rows=2, buffer_size=8, errors="null"))
    assert table.to_pylist() == [{"v": one, "i": [zero, None, one]}, {"v": None, "i": []},
                                 {"v": zero, "i": [None]}]


@pytest.mark.parametrize("errors, error", [("ignore", ValueError), ("Null", ValueError), (b"null", TypeError)])
def test_errors_is_raise_or_null(errors, error):
    with pytest.raises(error):
        brindle.read_table(io.BytesIO(b"<r/>"), "p", {"a": "@a"}, errors=errors)


@pytest.mark.parametrize("document", [
    b'<r><p a="1"/><p a="2"/><p a=3/></r>', b"<r><p>1</p><p>2</p><p>3</q></r>", b"<r><p/><p/><p/>",
    b"<r><p/><p>\xff</p></r>", b"<r><p/><p>&nope;</p></r>",
])
def test_a_streams_error_comes_at_the_same_record_after_the_batches_before_it(document):
    records = []
    with pytest.raises((ValueError, OSError)) as from_stream:
        for record in brindle.iter_file(io.BytesIO(document), "p"):
            records.append(record)
    reader = pa.RecordBatchReader.from_stream(brindle.read_table(io.BytesIO(document), "p", {"a": "@a"},
                                                                 batch_rows=1))
    rows = 0
    with pytest.raises(from_stream.type) as from_table:
        for batch in reader:
            rows += batch.num_rows
    assert rows == len(records)
    assert str(from_table.value).endswith(str(from_stream.value))


@pytest.mark.parametrize("path, part", [
    ("", ""), ("/a", "/"), ("a//b", "/"), ("a/", "/"), ("a[1]", "a[1]"), ("@a/b", "@a"), ("a/text()", "text()"),
    ("..", ".."), ("*", "*"), ("[*]", "[*]"), ("@a[*]", "[*]"), ("string()/a", "string()"), ("a | b", "a | b"),
])
def test_a_path_outside_the_subset_is_refused_naming_column_and_part(path, part):
    with pytest.raises(ValueError, match="^" + re.escape(f"column 'c': the path {path!r} does not accept {part!r} (")):
        brindle.read_table(io.BytesIO(b"<r/>"), "p", {"c": path})


@pytest.mark.parametrize("columns, error", [
    ({"c": ("a", "int32")}, ValueError), ({"c": ("a",)}, ValueError), ({"c": 3}, TypeError), ([("c", "a")], TypeError),
    ({}, ValueError), (None, ValueError),
])
def test_columns_that_are_not_a_dict_of_paths_and_types_are_refused(columns, error):
    with pytest.raises(error):
        brindle.read_table(io.BytesIO(b"<r/>"), "p", columns)


class ColumnsView(collections.abc.Mapping):
    """A mapping that is not a dict."""

    def __init__(self, columns):
        self.columns = columns

    def __getitem__(self, name):
        return self.columns[name]

    def __iter__(self):
        return iter(self.columns)

    def __len__(self):
        return len(self.columns)


@pytest.mark.parametrize("wrap", [types.MappingProxyType, ColumnsView])
def test_columns_may_be_any_mapping_and_come_in_its_order(wrap):
    columns = dict(reversed(COLUMNS.items()))
    data = papers(6).encode()
    table = pa.table(brindle.read_table(io.BytesIO(data), "paper", wrap(columns)))
    assert table.column_names == list(columns)
    assert table.to_pylist() == pa.table(brindle.read_table(io.BytesIO(data), "paper", columns)).to_pylist()


def test_batch_rows_and_buffer_size_are_keyword_only_and_positive():
    with pytest.raises(TypeError):
        brindle.read_table(io.BytesIO(b"<r/>"), "p", {"a": "@a"}, 10)
    for keyword in ("batch_rows", "buffer_size"):
        with pytest.raises(ValueError):
            brindle.read_table(io.BytesIO(b"<r/>"), "p", {"a": "@a"}, **{keyword: 0})


@pytest.mark.parametrize("kind", ["str", "pathlib", "bytes", "gzip", "BytesIO"])
def test_sources_are_those_of_iter_file(kind, tmp_path):
    data = papers(4).encode()
    file = tmp_path / ("papers.xml.gz" if kind == "gzip" else "papers.xml")
    if kind == "gzip":
        with gzip.open(file, "wb") as out:
            out.write(data)
    else:
        file.write_bytes(data)
    source = {"str": str(file), "pathlib": pathlib.Path(file), "bytes": bytes(file), "gzip": None,
              "BytesIO": io.BytesIO(data)}[kind]
    opened = gzip.open(file) if kind == "gzip" else None
    table = pa.table(brindle.read_table(opened or source, "paper", {"id": ("@id", "int64"), "all": "string()"},
                                        buffer_size=100))
    assert table.column("id").to_pylist() == list(range(40))
    if opened:
        assert not opened.closed  # a caller's file object stays the caller's
        opened.close()


def test_a_missing_path_is_oserror_at_the_call(tmp_path):
    with pytest.raises(FileNotFoundError):
        brindle.read_table(tmp_path / "missing.xml", "p", {"a": "@a"})


def test_the_rows_are_handed_out_once():
    table = brindle.read_table(io.BytesIO(b"<r><p a='1'/></r>"), "p", {"a": "@a"})
    assert pa.schema(table).names == ["a"]
    pa.table(table)
    with pytest.raises(ValueError, match="already handed out"):
        pa.table(table)


class ArrowArray(ctypes.Structure):
    pass


ArrowArray._fields_ = [("length", ctypes.c_int64), ("null_count", ctypes.c_int64), ("offset", ctypes.c_int64),
                       ("n_buffers", ctypes.c_int64), ("n_children", ctypes.c_int64),
                       ("buffers", ctypes.POINTER(ctypes.c_void_p)),
                       ("children", ctypes.POINTER(ctypes.POINTER(ArrowArray))),
                       ("dictionary", ctypes.POINTER(ArrowArray)), ("release", ctypes.c_void_p),
                       ("private_data", ctypes.c_void_p)]


class ArrowArrayStream(ctypes.Structure):
    _fields_ = [("get_schema", ctypes.c_void_p), ("get_next", ctypes.c_void_p), ("get_last_error", ctypes.c_void_p),
                ("release", ctypes.c_void_p), ("private_data", ctypes.c_void_p)]


GET_NEXT = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(ArrowArrayStream), ctypes.POINTER(ArrowArray))


def stream_pointer(capsule):
    get = ctypes.pythonapi.PyCapsule_GetPointer
    get.restype, get.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_char_p]
    return ctypes.cast(get(capsule, b"arrow_array_stream"), ctypes.POINTER(ArrowArrayStream))


def test_batches_go_to_pyarrow_and_polars_without_a_copy_from_a_thread_without_the_lock():
    # get_next is called through ctypes, which lets the lock go: the file object's reads take it.
    data = papers(5, count=300).encode()
    table = brindle.read_table(gzip.GzipFile(fileobj=io.BytesIO(gzip.compress(data))), "paper",
                               {"title": "title/string()", "id": ("@id", "int64")}, batch_rows=100, buffer_size=64)
    schema = pa.schema(table)
    capsule = table.__arrow_c_stream__()
    stream = stream_pointer(capsule)
    get_next = GET_NEXT(stream.contents.get_next)
    addresses, batches = [], []

    def consume():
        while True:
            array = ArrowArray()
            assert get_next(stream, ctypes.byref(array)) == 0
            if not array.release:
                return
            title = array.children[0].contents
            addresses.append((title.buffers[1], title.buffers[2]))
            batches.append(pa.RecordBatch._import_from_c(ctypes.addressof(array), schema))

    consumer = threading.Thread(target=consume)
    consumer.start()
    consumer.join()
    assert [batch.num_rows for batch in batches] == [100, 100, 100]
    imported = [(batch.column(0).buffers()[1].address, batch.column(0).buffers()[2].address) for batch in batches]
    assert imported == addresses
    assert pa.Table.from_batches(batches).column("id").to_pylist() == list(range(300))
    polars = pytest.importorskip("polars")
    frame = polars.DataFrame(brindle.read_table(io.BytesIO(data), "paper", {"id": ("@id", "int64")}))
    assert frame["id"].to_list() == list(range(300))
    arrow_table = pa.table(brindle.read_table(io.BytesIO(data), "paper", {"id": ("@id", "int64")}))
    from_arrow = polars.from_arrow(arrow_table, rechunk=False)
    assert (from_arrow["id"].to_arrow().buffers()[1].address ==
            arrow_table.column("id").chunk(0).buffers()[1].address)


def test_read_table_is_a_module_attribute_outside_all():
    assert callable(brindle.read_table) and "read_table" not in brindle.__all__


def _inference_document(count):
    records = "".join(f'<p id="{i}" f="{i}.5"><a>{i}</a><b>x{i}</b><t>{"true" if i % 2 else "0"}</t><e/>'
                      f"<n><m>nested</m></n></p>" for i in range(count))
    return f"<r>{records}<p id='-1' late='after the sample'><a>{{last}}</a><n/></p></r>"


@pytest.mark.parametrize("buffer_size", [1, 37, 4096])
def test_columns_are_inferred_from_the_first_thousand_records(buffer_size):
    document = _inference_document(1000).replace("{last}", "7").encode()
    # A file object that cannot seek: the sampled bytes are not read twice from it.
    source = io.BufferedReader(io.BytesIO(document))
    table = pa.table(brindle.read_table(source, "p", buffer_size=buffer_size, batch_rows=300))
    assert table.schema == pa.schema([("@id", pa.int64()), ("@f", pa.float64()), ("a", pa.int64()),
                                      ("b", pa.large_string()), ("t", pa.bool_()), ("e", pa.large_string())])
    explicit = pa.table(brindle.read_table(io.BytesIO(document), "p", {
        "@id": ("@id", "int64"), "@f": ("@f", "float64"), "a": ("a", "int64"), "b": "b", "t": ("t", "bool"),
        "e": "e"}))
    assert table.to_pylist() == explicit.to_pylist()
    assert table.num_rows == 1001 and table.column("@id").to_pylist()[-1] == -1


def test_a_value_after_the_sample_that_does_not_convert_is_the_conversion_error_or_null():
    document = _inference_document(1000).replace("{last}", "x7")
    offset = document.index("<p id='-1'")
    with pytest.raises(ValueError, match=f"column 'a' of the record at byte {offset}: cannot convert 'x7' to int64"):
        pa.table(brindle.read_table(io.BytesIO(document.encode()), "p"))
    nulled = pa.table(brindle.read_table(io.BytesIO(document.encode()), "p", errors="null"))
    assert nulled.column("a").to_pylist()[-3:] == [998, 999, None]


def test_records_with_nothing_to_infer_are_valueerror_at_the_call():
    with pytest.raises(ValueError, match="no columns to infer"):
        brindle.read_table(io.BytesIO(b"<r><p><n><m/></n></p></r>"), "p")


class ThreadsThatRead(io.RawIOBase):
    """A file object that notes the threads its reads come from."""

    def __init__(self, data):
        self.data, self.threads = io.BytesIO(data), set()

    def readable(self):
        return True

    def readinto(self, buffer):
        self.threads.add(threading.get_ident())
        return self.data.readinto(buffer)


def test_duckdb_takes_the_stream_also_reading_it_from_its_own_threads():
    duckdb = pytest.importorskip("duckdb")
    data = papers(8, count=300).encode()
    lasts = pa.table(brindle.read_table(io.BytesIO(data), "paper", {"lasts": "authors/author/last[*]"}))
    expected = (300, sum(range(300)), sum(len(names) for names in lasts.column("lasts").to_pylist()))
    connection = duckdb.connect()
    connection.execute("SET threads TO 4")
    # The caller's thread (the lock let go by DuckDB) takes batches too: go on until one of
    # DuckDB's own threads has read.
    for _ in range(50):
        source = ThreadsThatRead(data)
        rows = brindle.read_table(source, "paper", {"id": ("@id", "int64"), "lasts": "authors/author/last[*]"},
                                  batch_rows=16, buffer_size=64)
        assert connection.execute("SELECT count(*), sum(id), sum(len(lasts)) FROM rows").fetchone() == expected
        if source.threads - {threading.get_ident()}:
            return
    pytest.fail("DuckDB never read the stream from a thread of its own")
