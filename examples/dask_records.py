"""Counting records across a folder of XML files on a Dask cluster: each task streams one file
with brindle.iter_file, so a worker holds one buffer and one record at a time however large
the file, and the counts of every file are added up at the end.

    python3 examples/dask_records.py FOLDER TAG KEY [SCHEDULER_ADDRESS]

Without a scheduler address the example starts a LocalCluster of two worker processes on this
machine; on a real cluster, pass the scheduler's address (say tcp://10.0.0.5:8786) and nothing
else changes. The workers need brindle installed and the files at the same path.
"""

from __future__ import annotations

import collections
import importlib
import os
import sys
from collections.abc import Iterable
from typing import Any

import brindle

Counts = collections.Counter[str | None]


def count_values(path: str, tag: str, key: str) -> Counts:
    """How often each value of attribute `key` (or of the text of child element `key`) occurs in
    the `tag` records of one file: a plain Counter, cheap to send back to the client."""
    counts: Counts = collections.Counter()
    for record in brindle.iter_file(path, tag):
        value = record.attrs.get(key)
        if value is None:
            value = next((child.text for child in record.children if child.name == key), None)
        counts[value] += 1
    return counts


def merge(counters: Iterable[Counts]) -> Counts:
    total: Counts = collections.Counter()
    for counts in counters:
        total.update(counts)
    return total


def xml_files(folder: str | os.PathLike[str]) -> list[str]:
    return sorted(os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".xml"))


def count_on_cluster(paths: list[str], tag: str, key: str, client: Any) -> Counts:
    """The same counts, one task per file on the client's cluster."""
    dask_bag: Any = importlib.import_module("dask.bag")  # Dask's API carries no types
    bag = dask_bag.from_sequence(paths, npartitions=len(paths))
    total: Counts = bag.map(count_values, tag, key).reduction(merge, merge).compute(scheduler=client.get)
    return total


def main(folder: str, tag: str, key: str, address: str | None = None) -> Counts:
    distributed: Any = importlib.import_module("distributed")
    paths = xml_files(folder)
    if address is None:
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True)
        with cluster, distributed.Client(cluster) as client:
            total = count_on_cluster(paths, tag, key, client)
    else:
        with distributed.Client(address) as client:
            total = count_on_cluster(paths, tag, key, client)
    for value, count in total.most_common(10):
        print(f"{count:10d}  {value}")
    return total


if __name__ == "__main__":
    main(*sys.argv[1:])
