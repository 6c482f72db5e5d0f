#!/usr/bin/python3
"""Beat detection against the annotated records and beside MNE's find_ecg_events.

Accuracy: for every WFDB record with a ".atr" under ../shared/data, runs
`velor-cli ecg-score` on its first signal, and MNE's `find_ecg_events` on the
same signal (read here from the format-212 file), scored the same way (a
detection within 150 ms of a reference beat matches it, each at most once,
nearest first; reference beats are the beat codes). Prints one table.

Speed: runs build/bench/bench_ecg (24 hours of one channel at 360 Hz, record
100 looped), which also writes that signal to a file, and times MNE's
`find_ecg_events` on the same signal; prints both times and their ratio.

    bench/compare_ecg_mne.py [--cli build/velor-cli] [--bench build/bench/bench_ecg]
                             [--hours 24] [--no-speed] [--no-mne]
"""
import argparse
import glob
import json
import os
import re
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.normpath(os.path.join(here, ".."))
data = os.path.normpath(os.path.join(root, "..", "shared", "data"))
BEATS = set(range(1, 14)) | {25, 30, 34, 35, 38, 41}


def read_header(path):
    lines = [l.strip() for l in open(path, encoding="latin-1") if l.strip() and not l.strip().startswith("#")]
    rec = lines[0].split()
    fs = float(rec[2].split("/")[0])
    sigs = []
    for l in lines[1:1 + int(rec[1])]:
        f = l.split()
        gain = f[2].split("/")[0] if len(f) > 2 else "200"
        base = None
        if "(" in gain:
            gain, base = gain[:-1].split("(")
        zero = int(f[4]) if len(f) > 4 else 0
        sigs.append(dict(file=f[0], fmt=f[1], gain=float(gain) or 200.0,
                         baseline=int(base) if base is not None else zero))
    return fs, sigs


def read_212(path, nsig):
    import numpy as np
    raw = np.fromfile(path, dtype=np.uint8)
    raw = raw[: len(raw) // 3 * 3].reshape(-1, 3).astype(np.int32)
    a = raw[:, 0] | ((raw[:, 1] & 0x0F) << 8)
    b = raw[:, 2] | ((raw[:, 1] & 0xF0) << 4)
    s = np.empty(2 * len(a), dtype=np.int32)
    s[0::2], s[1::2] = a, b
    s[s > 2047] -= 4096
    n = len(s) // nsig
    return s[: n * nsig].reshape(n, nsig)


def read_atr(path):
    b = open(path, "rb").read()
    i, t, out = 0, 0, []
    while i + 2 <= len(b):
        w = b[i] | b[i + 1] << 8
        i += 2
        a, v = w >> 10, w & 0x3FF
        if a == 0 and v == 0:
            break
        if a == 59:
            t += ((b[i] | b[i + 1] << 8) << 16) | (b[i + 2] | b[i + 3] << 8)
            i += 4
        elif a == 63:
            i += v + (v & 1)
        elif a in (60, 61, 62):
            pass
        else:
            t += v
            if a in BEATS:
                out.append(t)
    return out


def score(ref, det, window):
    used = [False] * len(det)
    tp, lo = 0, 0
    for r in ref:
        while lo < len(det) and det[lo] < r - window:
            lo += 1
        best, bd = -1, window + 1
        k = lo
        while k < len(det) and det[k] <= r + window:
            if not used[k] and abs(det[k] - r) < bd:
                best, bd = k, abs(det[k] - r)
            k += 1
        if best >= 0:
            used[best] = True
            tp += 1
    se = 100.0 * tp / len(ref) if ref else 0.0
    pp = 100.0 * tp / len(det) if det else 0.0
    return se, pp


def mne_events(signal_mv, fs):
    import mne
    import numpy as np
    info = mne.create_info(["ECG"], fs, ["ecg"])
    raw = mne.io.RawArray(np.asarray(signal_mv, dtype=float)[None, :] * 1e-3, info, verbose=False)
    ev, _, _ = mne.preprocessing.find_ecg_events(raw, ch_name="ECG", verbose=False)
    return sorted(int(x) for x in ev[:, 0])


def accuracy(args, use_mne):
    rows = []
    for hea in sorted(glob.glob(os.path.join(data, "*", "*.hea"))):
        atr = hea[:-4] + ".atr"
        if not os.path.exists(atr):
            continue
        name = os.path.relpath(hea, data)[:-4]
        out = subprocess.run([args.cli, "ecg-score", hea, "--channel", "1", "--reference", atr],
                             capture_output=True, text=True)
        if out.returncode != 0:
            rows.append((name, "-", "error", out.stderr.strip(), "", ""))
            continue
        beats = re.search(r"beats=(\d+)", out.stdout).group(1)
        se = re.search(r"Se=([\d.]+)%", out.stdout).group(1)
        pp = re.search(r"\+P=([\d.]+)%", out.stdout).group(1)
        mse = mpp = "-"
        if use_mne:
            fs, sigs = read_header(hea)
            x = read_212(os.path.join(os.path.dirname(hea), sigs[0]["file"]), len(sigs))[:, 0]
            mv = (x - sigs[0]["baseline"]) / sigs[0]["gain"]
            a, b = score(read_atr(atr), mne_events(mv, fs), int(round(0.150 * fs)))
            mse, mpp = "%.2f%%" % a, "%.2f%%" % b
        rows.append((name, beats, se + "%", pp + "%", mse, mpp))
    print("%-22s %6s %9s %9s %11s %11s" % ("record", "beats", "Se", "+P", "MNE Se", "MNE +P"))
    for r in rows:
        print("%-22s %6s %9s %9s %11s %11s" % r)


def speed(args, use_mne):
    if not os.path.exists(args.bench):
        print("benchmark binary not found: %s (build the project first)" % args.bench)
        return
    dump = "/tmp/velor-bench-ecg-%dh.i16" % args.hours
    env = dict(os.environ, VELOR_BENCH_ECG_HOURS=str(args.hours), VELOR_BENCH_ECG_DUMP=dump)
    out = subprocess.run([args.bench, "--benchmark_format=json", "--benchmark_filter=BM_DetectBeats24h"],
                         env=env, check=True, capture_output=True, text=True).stdout
    b = json.loads(out)["benchmarks"][0]
    scale = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b.get("time_unit", "ns")]
    ours = b["real_time"] * scale
    ours_cpu = b["cpu_time"] * scale
    print("velor detectBeats, %d h at 360 Hz: %.3f s (cpu %.3f s), %d beats" % (args.hours, ours, ours_cpu, b["beats"]))
    if not use_mne:
        return
    import numpy as np
    codes = np.fromfile(dump, dtype=np.int16).astype(float)
    mv = (codes - 2048 - 1024 + 0) / 200.0  # record 100: code = adu + 2048, baseline 1024, 200/mV
    t0, c0 = time.perf_counter(), time.process_time()
    ev = mne_events(mv, 360.0)
    theirs, theirs_cpu = time.perf_counter() - t0, time.process_time() - c0
    print("MNE find_ecg_events, same signal: %.3f s (cpu %.3f s), %d beats" % (theirs, theirs_cpu, len(ev)))
    # CPU time is the fairer measure on a loaded machine (both sides run one thread's worth of work)
    print("ratio: %.0f times faster in real time, %.0f in cpu time" % (theirs / ours, theirs_cpu / ours_cpu))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--cli", default=os.path.join(root, "build", "velor-cli"))
    ap.add_argument("--bench", default=os.path.join(root, "build", "bench", "bench_ecg"))
    ap.add_argument("--hours", type=int, default=24)
    ap.add_argument("--no-speed", action="store_true")
    ap.add_argument("--no-mne", action="store_true")
    args = ap.parse_args()
    use_mne = not args.no_mne
    if use_mne:
        try:
            import mne  # noqa: F401
            mne.set_log_level("ERROR")
        except ImportError:
            print("MNE is not installed (python3-mne): velor alone.")
            use_mne = False
    accuracy(args, use_mne)
    if not args.no_speed:
        speed(args, use_mne)
    return 0


if __name__ == "__main__":
    sys.exit(main())
