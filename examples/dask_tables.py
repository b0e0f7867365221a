"""A Dask DataFrame from a folder of XML files, one partition per file: each task reads its file
with brindle.read_table into Arrow record batches and hands the partition on as pandas, so a
worker never holds a Python object per cell, and the client holds only the list of files.

    python3 examples/dask_tables.py FOLDER TAG [SCHEDULER_ADDRESS]
    python3 examples/dask_tables.py FILE TAG PIECES [SCHEDULER_ADDRESS]

The columns are inferred once, from the first file (its attributes and childless children), and
every partition is read with those same columns and types, so that the partitions agree however
their own records vary. Partitions keep Arrow's types in pandas (pandas.ArrowDtype): an int64
column with nulls stays int64, as the empty frame Dask is given as `meta` says.

Without a scheduler address the example starts a LocalCluster of two worker processes on this
machine; on a real cluster, pass the scheduler's address (say tcp://10.0.0.5:8786) and nothing
else changes. The workers need brindle, pyarrow and pandas installed and the files at the same
path.

One large file is split too, by byte ranges (read_split; `python3 examples/dask_tables.py FILE
TAG PIECES [SCHEDULER_ADDRESS]`): each task reads its piece with read_table(..., byte_range=...),
and the client checks that the pieces meet where they should, reads again the few that do not,
and joins them into the table one process would read (split_on_cluster leaves each piece's rows
on its worker, as futures, and brings only the offsets over). This code lives here, in plain
Python, as brindle itself is one compiled module with no Python part; copy it, or import this
file.
"""

from __future__ import annotations

import dataclasses
import functools
import importlib
import os
import sys
from collections.abc import Callable, Iterable, Iterator
from typing import Any, Literal

import brindle

ColumnType = Literal["str", "int64", "float64", "bool"]
Columns = dict[str, str | tuple[str, ColumnType]]  # as read_table takes them
ByteRange = tuple[int, int]

# brindle's column type for each Arrow type that inference gives.
ARROW_TYPES: dict[str, ColumnType] = {"int64": "int64", "double": "float64", "bool": "bool"}


def _module(name: str) -> Any:
    return importlib.import_module(name)  # pyarrow, pandas and Dask carry no types here


def xml_files(folder: str | os.PathLike[str]) -> list[str]:
    return sorted(os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".xml"))


def inferred_columns(path: str, tag: str) -> Columns:
    """The columns read_table infers from the first records of `path`, as explicit paths and
    types (an inferred column is named by its path)."""
    schema = _module("pyarrow").schema(brindle.read_table(path, tag))
    return {field.name: (field.name, ARROW_TYPES.get(str(field.type), "str")) for field in schema}


def read_partition(path: str, tag: str, chosen: Columns) -> Any:
    """One file's records as a pandas DataFrame with Arrow-backed columns."""
    pandas = _module("pandas")
    table = _module("pyarrow").table(brindle.read_table(path, tag, chosen))
    return table.to_pandas(types_mapper=pandas.ArrowDtype)


def empty_partition(path: str, tag: str, columns: Columns) -> Any:
    """A partition with no rows and the columns' types: Dask's `meta`, made without reading
    any record."""
    pandas = _module("pandas")
    schema = _module("pyarrow").schema(brindle.read_table(path, tag, columns))
    return schema.empty_table().to_pandas(types_mapper=pandas.ArrowDtype)


def read_folder(paths: list[str], tag: str, columns: Columns) -> Any:
    """A lazy dask.dataframe with one partition per file."""
    dask_dataframe = _module("dask.dataframe")
    meta = empty_partition(paths[0], tag, columns)
    # (read_partition has no parameter named `columns`: from_map would pass its own projection
    # there.)
    return dask_dataframe.from_map(read_partition, paths, tag=tag, chosen=columns, meta=meta)


@dataclasses.dataclass
class Piece:
    """What a task read of one piece of a file: the offsets its stream reported, and its rows
    (a pyarrow.Table) or the error that ended them."""

    byte_range: ByteRange
    first: int | None  # where its records start (TableStream.first_record)
    next: int | None  # the first record at or after its end (TableStream.next_record)
    kept: bool  # the elements around `next` are those around the file's first record
    error: Exception | None = None
    rows: Any = None  # on a cluster, a future of them
    count: int = 0  # of the rows


def byte_ranges(size: int, count: int) -> list[ByteRange]:
    """`count` ranges of about equal length that cover a file of `size` bytes, in order."""
    bounds = [size * i // count for i in range(count + 1)]
    return list(zip(bounds, bounds[1:]))


def read_piece(byte_range: ByteRange, path: str, tag: str, chosen: Columns | None, skip: int = 0,
               buffer_size: int | None = None) -> Piece:
    """The records whose start tag begins in `byte_range`, but the first `skip` rows."""
    pyarrow = _module("pyarrow")
    stream = brindle.read_table(path, tag, chosen, buffer_size=buffer_size, byte_range=byte_range)
    piece = Piece(byte_range, stream.first_record, None, False)
    try:
        reader = pyarrow.RecordBatchReader.from_stream(stream)
        piece.rows = pyarrow.Table.from_batches(_skipped(reader, skip), schema=reader.schema)
        piece.count = piece.rows.num_rows
    except Exception as error:  # the file's own fault, for join_pieces to judge
        piece.error, piece.rows = error, None
    piece.next, piece.kept = stream.next_record, bool(stream.ancestors_kept)
    return piece


def _skipped(batches: Iterable[Any], skip: int) -> Iterator[Any]:
    for batch in batches:
        if skip < batch.num_rows:
            yield batch.slice(skip)
        skip = max(skip - batch.num_rows, 0)


def join_pieces(pieces: list[Piece], read_again: Callable[[ByteRange, int], Piece]) -> list[Piece]:
    """The pieces whose rows make the file's table, in order. Each piece is checked against the
    one before it: it must start at the record that piece found past its end, and the elements
    around that record must be those around the file's first record (which a piece read from
    the middle assumes). A piece that started at a false candidate (`<tag ` inside a comment,
    CDATA, an attribute value) is read again from that record, with read_again((start, end), 0);
    where the elements around the records changed, from the file's start, skipping the rows
    before it: read_again((0, end), rows). The first piece's error that stands is raised."""
    joined: list[Piece] = []
    rows = 0
    expected: int | None = 0  # where the next piece's records must start
    kept = True  # and whether a piece read from there assumes the right ancestors
    for piece in pieces:
        start, end = piece.byte_range
        if start != 0:  # (a piece from byte 0 is right)
            if expected is None or expected >= end:
                continue  # no record starts in the range: the pieces before read past it
            if piece.first != expected or not kept:
                piece = read_again((expected, end), 0) if kept else read_again((0, end), rows)
        if piece.error is not None:
            raise piece.error
        joined.append(piece)
        rows += piece.count
        expected, kept = piece.next, piece.kept
    return joined


# Maps a function over byte ranges: the built-in map, or one that maps on a cluster's workers.
Run = Callable[[Callable[[ByteRange], Piece], list[ByteRange]], Iterable[Piece]]


def read_split(path: str, tag: str, chosen: Columns | None, count: int, run: Run = map) -> Any:
    """The table of one file read in `count` pieces by `run` (the built-in map by default; on a
    cluster, one that maps on its workers), equal to pyarrow.table(read_table(path, tag, chosen))."""
    return read_ranges(path, tag, chosen, byte_ranges(os.path.getsize(path), count), run)


def read_ranges(path: str, tag: str, chosen: Columns | None, ranges: list[ByteRange], run: Run = map,
                buffer_size: int | None = None) -> Any:
    """read_split over given ranges, which cover the file in order."""
    pyarrow = _module("pyarrow")
    read = functools.partial(read_piece, path=path, tag=tag, chosen=chosen, buffer_size=buffer_size)
    pieces = list(run(read, ranges))
    joined = join_pieces(pieces, lambda byte_range, skip: read(byte_range, skip=skip))
    return pyarrow.concat_tables([piece.rows for piece in joined])


def on_cluster(client: Any) -> Run:
    """read_split's `run` for a Dask client: a task per piece on the workers, whose rows come
    back to this process."""
    return lambda function, ranges: client.gather(client.map(function, ranges))


def split_on_cluster(client: Any, path: str, tag: str, chosen: Columns | None, count: int) -> list[Any]:
    """read_split whose rows stay on the workers: a future of a pyarrow.Table per piece, in
    order. Only the pieces' offsets come to this process to be checked; a piece read again is
    read by a task too."""
    read = functools.partial(read_piece, path=path, tag=tag, chosen=chosen)

    def offsets(futures: list[Any]) -> list[Piece]:  # the pieces, each with the future of itself
        pieces: list[Piece] = client.gather(client.map(dataclasses.replace, futures, rows=None))
        for piece, future in zip(pieces, futures):
            piece.rows = future
        return pieces

    pieces = offsets(client.map(read, byte_ranges(os.path.getsize(path), count)))
    joined = join_pieces(pieces, lambda byte_range, skip: offsets([client.submit(read, byte_range, skip=skip)])[0])
    return [client.submit(getattr, piece.rows, "rows") for piece in joined]


def main(folder: str, tag: str, address: str | None = None) -> Any:
    distributed = _module("distributed")
    paths = xml_files(folder)
    columns = inferred_columns(paths[0], tag)
    frame = read_folder(paths, tag, columns)
    if address is None:
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True)
        with cluster, distributed.Client(cluster):
            result = frame.compute()
    else:
        with distributed.Client(address):
            result = frame.compute()
    print(f"{len(result)} rows in {frame.npartitions} partitions; columns:")
    print(result.dtypes.to_string())
    return result


def main_split(path: str, tag: str, count: str, address: str | None = None) -> Any:
    distributed = _module("distributed")
    if address is None:
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True)
        with cluster, distributed.Client(cluster) as client:
            table = read_split(path, tag, None, int(count), on_cluster(client))
    else:
        with distributed.Client(address) as client:
            table = read_split(path, tag, None, int(count), on_cluster(client))
    print(f"{table.num_rows} rows from {count} pieces; columns:")
    print(table.schema)
    return table


if __name__ == "__main__":
    if os.path.isfile(sys.argv[1]):
        main_split(*sys.argv[1:])
    else:
        main(*sys.argv[1:])
