"""The Dask table example: a dask.dataframe read from a folder of files, one partition per file,
by tasks on two worker processes, equals the table one process reads file after file; so does
one file read in pieces by byte ranges."""

import os
import sys

import pytest

from conftest import SANITIZED

if SANITIZED:  # worker processes would load the sanitized module without the sanitizer runtime
    pytest.skip("sanitized build: the Dask example runs once, on the plain build", allow_module_level=True)
distributed = pytest.importorskip("distributed")
pytest.importorskip("dask.dataframe")
pyarrow = pytest.importorskip("pyarrow")
pandas = pytest.importorskip("pandas")

import brindle  # noqa: E402

EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "examples")
sys.path.insert(0, EXAMPLES)
import dask_tables  # noqa: E402


def write_folder(folder):
    """Four files whose records vary: a missing attribute or child, an empty one, mixed content,
    a list of any length, values that need escaping, and a file with no record at all."""
    kinds = ("café", "a &amp; b", "東京", "")
    for f in range(4):
        records = []
        for i in range(300 * f):  # part0 holds no record
            size = f' size="{(i * 7) % 1000 - 300}"' if i % 5 else ""
            price = f"<price>{i / 8}</price>" if i % 3 else "<price/>"
            tags = "".join(f"<tag>t{j}</tag>" for j in range(i % 4))
            records.append(f'<rec id="{f * 1000 + i}"{size}><kind>{kinds[i % 4]}</kind>{price}'
                           f'<flag>{"true" if i % 2 else "false"}</flag>'
                           f"<title>A <i>{i}</i> word</title><tags>{tags}</tags></rec>\n")
        (folder / f"part{f}.xml").write_text(f"<db>\n{''.join(records)}</db>\n", encoding="utf-8")


COLUMNS = {
    "id": ("@id", "int64"),
    "size": ("@size", "int64"),
    "kind": "kind",
    "price": ("price", "float64"),
    "flag": ("flag", "bool"),
    "title": "title/string()",
    "tags": "tags/tag[*]",
}


@pytest.mark.parametrize("columns", ["given", "inferred"])
def test_partition_per_file_equals_one_process(columns, tmp_path, monkeypatch):
    # The workers unpickle read_partition by its module's name, and import brindle as this process did.
    paths_here = [EXAMPLES, os.path.dirname(os.path.abspath(brindle.__file__))]
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join(paths_here + [os.environ.get("PYTHONPATH", "")]))
    write_folder(tmp_path)
    paths = dask_tables.xml_files(tmp_path)
    if columns == "given":
        chosen = COLUMNS
    else:  # from the first file with records
        chosen = dask_tables.inferred_columns(paths[1], "rec")
        assert chosen == {"@id": ("@id", "int64"), "@size": ("@size", "int64"), "kind": ("kind", "str"),
                          "price": ("price", "float64"), "flag": ("flag", "bool")}
    expected = pyarrow.concat_tables(pyarrow.table(brindle.read_table(path, "rec", chosen)) for path in paths)
    assert expected.num_rows == 300 + 600 + 900
    expected = expected.to_pandas(types_mapper=pandas.ArrowDtype)
    frame = dask_tables.read_folder(paths, "rec", chosen)
    assert frame.npartitions == len(paths)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        assert len(client.scheduler_info()["workers"]) == 2
        result = frame.compute()
    # Dask turns string columns into pandas' own string type (its option dataframe.convert-string).
    strings = [name for name, dtype in expected.dtypes.items() if dtype == pandas.ArrowDtype(pyarrow.large_string())]
    assert strings and all(isinstance(result[name].dtype, pandas.StringDtype) for name in strings)
    expected = expected.astype({name: result[name].dtype for name in strings})
    pandas.testing.assert_frame_equal(result.reset_index(drop=True), expected, check_exact=True)


def test_one_file_split_across_workers_equals_one_process(tmp_path, monkeypatch):
    paths_here = [EXAMPLES, os.path.dirname(os.path.abspath(brindle.__file__))]
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join(paths_here + [os.environ.get("PYTHONPATH", "")]))
    write_folder(tmp_path)
    # One file: the folder's files, their records inside a comment and a CDATA section too.
    parts = [(tmp_path / f"part{f}.xml").read_text(encoding="utf-8")[5:-6] for f in range(4)]
    text = f"<db>{parts[1]}<!-- {parts[2]} -->{parts[3]}<x><![CDATA[{parts[2]}]]></x>{parts[2]}</db>"
    path = tmp_path / "one.xml"
    path.write_text(text, encoding="utf-8")
    expected = pyarrow.table(brindle.read_table(path, "rec", COLUMNS))
    assert expected.num_rows == 300 + 900 + 600
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        table = dask_tables.read_split(str(path), "rec", COLUMNS, 7, dask_tables.on_cluster(client))
        kept = pyarrow.concat_tables(client.gather(dask_tables.split_on_cluster(client, str(path), "rec", COLUMNS, 5)))
    assert table.equals(expected) and kept.equals(expected)
