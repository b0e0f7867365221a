"""The Dask example: records counted across a folder of files by tasks on two worker processes
come out as a single process counts them."""

import collections
import os
import sys

import pytest

from conftest import SANITIZED

if SANITIZED:  # worker processes would load the sanitized module without the sanitizer runtime
    pytest.skip("sanitized build: the Dask example runs once, on the plain build", allow_module_level=True)
distributed = pytest.importorskip("distributed")
pytest.importorskip("dask.bag")

EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "examples")
sys.path.insert(0, EXAMPLES)
import dask_records  # noqa: E402


def write_folder(folder):
    kinds = ("café", "shop", "bank", "東京")
    for f in range(4):
        records = "".join(f'<rec id="{i}" kind="{kinds[(f + i) % 4]}"><name>n{i % 3}</name></rec>\n'
                          for i in range(500 + 100 * f))
        (folder / f"part{f}.xml").write_text(f"<db>\n{records}</db>\n", encoding="utf-8")


@pytest.mark.parametrize("key", ["kind", "name"])
def test_cluster_counts_equal_one_process(key, tmp_path, monkeypatch):
    # The workers unpickle count_values by its module's name, and import brindle as this process did.
    paths_here = [EXAMPLES, os.path.dirname(os.path.abspath(__import__("brindle").__file__))]
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join(paths_here + [os.environ.get("PYTHONPATH", "")]))
    write_folder(tmp_path)
    paths = dask_records.xml_files(tmp_path)
    expected = dask_records.merge(dask_records.count_values(path, "rec", key) for path in paths)
    assert sum(expected.values()) == 500 + 600 + 700 + 800
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        assert len(client.scheduler_info()["workers"]) == 2
        assert dask_records.count_on_cluster(paths, "rec", key, client) == expected
