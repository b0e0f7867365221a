"""One large file read as a table by Dask workers that split it by byte ranges
(examples/dask_tables.py's read_split): wall time with one worker process and with two, on a
generated PubMed-like file (bench/table_speed.py's generator and columns).

Both clusters are started before the timed runs and stay up; the runs take turns, one worker
then two, for each round; a run is read_split with the same pieces on either cluster, the rows
coming back to this process as one pyarrow.Table. The median wall time of the rounds is given,
with the load average of the machine beside each figure.

    python3 bench/table_split.py [--mib 256] [--pieces 8] [--rounds 3] [--dir /tmp/brindle-table]
"""

import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "examples"))

import distributed  # noqa: E402

import dask_tables  # noqa: E402
from table_speed import PUBMED, write_pubmed  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mib", type=int, default=256)
    parser.add_argument("--pieces", type=int, default=8)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--dir", default="/tmp/brindle-table")
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    path = os.path.join(args.dir, f"pubmed-{args.mib}.xml")
    if not os.path.exists(path):
        write_pubmed(path, args.mib << 20)
    tag, columns = PUBMED["tag"], PUBMED["columns"]
    # The workers import the example by name, and brindle as this process does.
    import brindle
    os.environ["PYTHONPATH"] = os.pathsep.join([os.path.join(os.path.dirname(HERE), "examples"),
                                                os.path.dirname(os.path.abspath(brindle.__file__)),
                                                os.environ.get("PYTHONPATH", "")])
    clusters = {n: distributed.LocalCluster(n_workers=n, threads_per_worker=1, processes=True,
                                            dashboard_address=None) for n in (1, 2)}
    clients = {n: distributed.Client(cluster) for n, cluster in clusters.items()}
    times = {1: [], 2: []}
    loads = {1: [], 2: []}
    rows = None
    try:
        for _ in range(args.rounds):
            for n, client in clients.items():
                started = time.perf_counter()
                table = dask_tables.read_split(path, tag, columns, args.pieces, dask_tables.on_cluster(client))
                times[n].append(time.perf_counter() - started)
                loads[n].append(os.getloadavg()[0])
                rows = table.num_rows
                del table
    finally:
        for client in clients.values():
            client.close()
        for cluster in clusters.values():
            cluster.close()
    size = os.path.getsize(path)
    print(f"{path}: {size / 1e6:.0f} MB, {rows} rows, {args.pieces} pieces, {args.rounds} rounds")
    for n in (1, 2):
        print(f"  {n} worker(s): median {statistics.median(times[n]):.2f} s "
              f"({', '.join(f'{t:.2f}' for t in times[n])}; 1-min load {', '.join(f'{x:.1f}' for x in loads[n])})")
    print(f"  two workers / one: {statistics.median(times[1]) / statistics.median(times[2]):.2f}x")


if __name__ == "__main__":
    main()
