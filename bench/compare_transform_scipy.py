#!/usr/bin/python3
"""Times the heaviest record transformations against scipy on the same shape.

Runs build/bench/bench_transform (64 channels x 32767 codes) and then scipy /
numpy doing the same operation on a float array of that shape: a Butterworth
band-pass of order 4 (lfilter from the steady state of the first sample, and
filtfilt with padlen=0), the Hilbert envelope (scipy.signal.hilbert), a
moving average over 9 samples (scipy.ndimage.uniform_filter1d), z-scores and
the common average. Prints both CPU times and the ratio (scipy / velor; above
1 means velor is faster). Without scipy it says so and exits 0.

    bench/compare_transform_scipy.py [--bench build/bench/bench_transform]
"""
import argparse
import json
import os
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))


def best(f, repeat=5):
    times = []
    for _ in range(repeat):
        t0 = time.process_time()
        f()
        times.append(time.process_time() - t0)
    return min(times) * 1000


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bench", default=os.path.join(here, "..", "build", "bench", "bench_transform"))
    args = ap.parse_args()
    try:
        import numpy as np
        import scipy.ndimage as nd
        import scipy.signal as sig
    except ImportError as e:
        print("scipy is not installed (%s): nothing to compare" % e)
        return 0
    out = subprocess.run([args.bench, "--benchmark_format=json"], capture_output=True, text=True, check=True).stdout
    velor = {b["name"]: b["cpu_time"] for b in json.loads(out)["benchmarks"]}
    rng = np.random.default_rng(7)
    x = np.round(2048 + rng.normal(0, 200, (64, 32767)))
    b, a = sig.butter(4, [1 / 250, 30 / 250], btype="bandpass")
    zi = sig.lfilter_zi(b, a)
    ops = {
        "BM_IirButterworthBandPass": lambda: sig.lfilter(b, a, x, axis=1, zi=zi[None, :] * x[:, :1]),
        "BM_IirButterworthBandPassTwoWay": lambda: sig.filtfilt(b, a, x, axis=1, padlen=0),
        "BM_HilbertEnvelope": lambda: np.abs(sig.hilbert(x - x.mean(axis=1, keepdims=True), axis=1)),
        "BM_MovingAverage9": lambda: nd.uniform_filter1d(x, 9, axis=1),
        "BM_ZScores": lambda: (x - x.mean(axis=1, keepdims=True)) / x.std(axis=1, ddof=1, keepdims=True),
        "BM_CommonAverage": lambda: x - x.mean(axis=0, keepdims=True),
    }
    slower = 0
    print("%-34s %10s %10s %8s" % ("operation (64 x 32767)", "velor ms", "scipy ms", "ratio"))
    for name, f in ops.items():
        s = best(f)
        v = velor[name]
        slower += v > s
        print("%-34s %10.2f %10.2f %8.2f" % (name, v, s, s / v))
    return 0


if __name__ == "__main__":
    sys.exit(main())
