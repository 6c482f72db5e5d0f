#!/usr/bin/python3
"""Times the EDF reader against MNE's read_raw_edf on the same generated file.

Runs build/bench/bench_edf (which writes /tmp/velor-bench-edf-<MiB>.edf once)
and then MNE on that file: read_raw_edf(preload=False) with the first page
(32000 samples of every channel) against opening with the first page, and
read_raw_edf(preload=True) against reading every page. Prints both times and
their ratios, and the time to read the file's bytes from the page cache
as the reference for a full read. Without MNE (`/usr/bin/python3 -c "import mne"`) it says so and
exits 0.

    bench/compare_edf_mne.py [--bench build/bench/bench_edf] [--mb 1024]
"""
import argparse
import json
import os
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bench", default=os.path.join(here, "..", "build", "bench", "bench_edf"))
    ap.add_argument("--mb", type=int, default=int(os.environ.get("VELOR_BENCH_EDF_MB", "1024")))
    args = ap.parse_args()
    try:
        import mne  # noqa: F401
    except ImportError:
        print("MNE is not installed (python3-mne); nothing to compare against.")
        return 0
    if not os.path.exists(args.bench):
        print("benchmark binary not found: %s (build the project first)" % args.bench)
        return 0
    env = dict(os.environ, VELOR_BENCH_EDF_MB=str(args.mb))
    out = subprocess.run([args.bench, "--benchmark_format=json"], env=env, check=True,
                         capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        scale = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b.get("time_unit", "ns")]
        times[b["name"].split("/")[0]] = b["real_time"] * scale
    path = "/tmp/velor-bench-edf-%d.edf" % args.mb
    mne.set_log_level("ERROR")

    def first_page():
        raw = mne.io.read_raw_edf(path, preload=False, verbose=False)
        raw.get_data(start=0, stop=32000)

    def full():
        mne.io.read_raw_edf(path, preload=True, verbose=False)

    def best(fn, n):
        t = []
        for _ in range(n):
            t0 = time.perf_counter()
            fn()
            t.append(time.perf_counter() - t0)
        return min(t)

    def page_cache():
        # the reference for a full read: the file's bytes from the page cache
        fd = os.open(path, os.O_RDONLY)
        try:
            while os.read(fd, 4 << 20):
                pass
        finally:
            os.close(fd)

    cache = best(page_cache, 3)
    mne_first = best(first_page, 5)
    mne_full = best(full, 2)
    print("file: %s (%d MiB)" % (path, args.mb))
    print("%-28s %12s %12s %8s" % ("", "velor [s]", "MNE [s]", "MNE/velor"))
    for name, ours, theirs in (("open + first page", times["BM_OpenFirstPage"], mne_first),
                               ("full read", times["BM_ReadAllPages"], mne_full)):
        print("%-28s %12.4f %12.4f %8.2f" % (name, ours, theirs, theirs / ours))
    size = os.path.getsize(path)
    print("page cache read of the file: %.4f s (%.0f MB/s); velor full read %.0f MB/s, %.2f x the cache read time"
          % (cache, size / cache / 1e6, size / times["BM_ReadAllPages"] / 1e6, times["BM_ReadAllPages"] / cache))
    return 0


if __name__ == "__main__":
    sys.exit(main())
