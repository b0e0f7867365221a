"""A Dask DataFrame from a folder of XML files, one partition per file: each task reads its file
with brindle.read_table into Arrow record batches and hands the partition on as pandas, so a
worker never holds a Python object per cell, and the client holds only the list of files.

    python3 examples/dask_tables.py FOLDER TAG [SCHEDULER_ADDRESS]

The columns are inferred once, from the first file (its attributes and childless children), and
every partition is read with those same columns and types, so that the partitions agree however
their own records vary. Partitions keep Arrow's types in pandas (pandas.ArrowDtype): an int64
column with nulls stays int64, as the empty frame Dask is given as `meta` says.

Without a scheduler address the example starts a LocalCluster of two worker processes on this
machine; on a real cluster, pass the scheduler's address (say tcp://10.0.0.5:8786) and nothing
else changes. The workers need brindle, pyarrow and pandas installed and the files at the same
path.
"""

from __future__ import annotations

import importlib
import os
import sys
from typing import Any, Literal

import brindle

ColumnType = Literal["str", "int64", "float64", "bool"]
Columns = dict[str, str | tuple[str, ColumnType]]  # as read_table takes them

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


if __name__ == "__main__":
    main(*sys.argv[1:])
