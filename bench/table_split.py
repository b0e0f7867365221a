"""One large file read as a table by Dask workers that split it by byte ranges
(examples/dask_tables.py's read_split): wall time with one worker process and with two, on a
generated PubMed-like file (bench/table_speed.py's generator and columns).

Both clusters are started before the timed runs and stay up; the runs take turns, one worker
then two, for each round, and each run splits the file into the same pieces on either cluster:
"kept" leaves each piece's rows on its worker (split_on_cluster, until every piece is read and
checked), "gathered" brings them back to this process as one pyarrow.Table (read_split). The
median wall time of the rounds is given, with the load average of the machine beside each figure.

    python3 bench/table_split.py [--mib 256] [--pieces 8] [--rounds 3] [--dir /tmp/brindle-split]
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
    parser.add_argument("--dir", default="/tmp/brindle-split")
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    path = os.path.join(args.dir, f"pubmed-{args.mib}mib.xml")
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
    times = {(mode, n): [] for mode in ("kept", "gathered") for n in (1, 2)}
    loads = {key: [] for key in times}
    rows = {}
    try:
        for _ in range(args.rounds):
            for mode, n in times:
                client = clients[n]
                started = time.perf_counter()
                if mode == "kept":
                    futures = dask_tables.split_on_cluster(client, path, tag, columns, args.pieces)
                    distributed.wait(futures)
                    times[mode, n].append(time.perf_counter() - started)
                    rows[mode] = sum(client.gather(client.map(lambda table: table.num_rows, futures)))
                    del futures
                else:
                    table = dask_tables.read_split(path, tag, columns, args.pieces, dask_tables.on_cluster(client))
                    times[mode, n].append(time.perf_counter() - started)
                    rows[mode] = table.num_rows
                    del table
                loads[mode, n].append(os.getloadavg()[0])
    finally:
        for client in clients.values():
            client.close()
        for cluster in clusters.values():
            cluster.close()
    size = os.path.getsize(path)
    print(f"{path}: {size / 1e6:.0f} MB, rows {rows}, {args.pieces} pieces, {args.rounds} rounds")
    for (mode, n), runs in times.items():
        print(f"  {mode}, {n} worker(s): median {statistics.median(runs):.2f} s "
              f"({', '.join(f'{t:.2f}' for t in runs)}; 1-min load {', '.join(f'{x:.1f}' for x in loads[mode, n])})")
    for mode in ("kept", "gathered"):
        ratio = statistics.median(times[mode, 1]) / statistics.median(times[mode, 2])
        print(f"  {mode}: two workers / one: {ratio:.2f}x")


if __name__ == "__main__":
    main()
