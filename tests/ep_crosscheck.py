#!/usr/bin/env python3
"""velor-cli ep against MNE: the average of epochs around stimulus marks.

The epochs run from 100 ms before the mark to 400 ms after it.

Usage: ep_crosscheck.py VELOR_CLI PROJECT_DIR

Writes a text-column recording of four channels with a stimulus code in the
mark column every second, reads back the codes velor-cli sees, averages the
same epochs with mne.Epochs(...).average() (baseline=None) and compares them
with the averaged record velor-cli ep writes: within integer rounding.
Exits 77 (skipped) without numpy or MNE.
"""
import csv
import io
import os
import subprocess
import sys
import tempfile

SKIP = 77


def run(cli, args, ok=True):
    p = subprocess.run([cli] + args, capture_output=True, text=True)
    if ok and p.returncode != 0:
        raise RuntimeError(" ".join(args) + ": " + p.stderr.strip())
    return p.stdout


def dump(cli, path):
    import numpy as np
    rows = list(csv.reader(io.StringIO(run(cli, ["dump", path, "--raw", "--record", "1"]))))
    header = rows[0]
    n = len([h for h in header if h != "mark"])
    data = np.array([[float(v) for v in r[:n]] for r in rows[1:]]).T
    mark = np.array([int(r[n]) for r in rows[1:]]) if "mark" in header else None
    return data, mark


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    try:
        import numpy as np
        import mne
    except ImportError:
        print("numpy or MNE missing: skipped")
        return SKIP
    mne.set_log_level("ERROR")
    cli = sys.argv[1]
    rate, n_ep, channels = 100, 60, 4  # text columns are read at 100 Hz
    rng = np.random.default_rng(5)
    n = rate * n_ep
    t = np.arange(n)
    stim = np.arange(n_ep) * rate + 30
    sig = rng.normal(0, 20, (channels, n))
    for s0 in stim:
        k = np.arange(-10, 40)
        sig[:, s0 + k] += 50 * np.exp(-((k - 10) / 3.0) ** 2 / 2)
    with tempfile.TemporaryDirectory() as tmp:
        txt = os.path.join(tmp, "in.txt")
        lines = [" ".join(f"C{c + 1}" for c in range(channels)) + " In-Out",
                 " ".join("1000" for _ in range(channels))]
        marks = np.zeros(n, dtype=int)
        marks[stim] = 1
        for i in range(n):
            lines.append(" ".join(f"{sig[c, i]:.1f}" for c in range(channels)) + (" 01-00" if marks[i] else " 00-00"))
        with open(txt, "w", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        codes, mark = dump(cli, txt)
        out = os.path.join(tmp, "avg.cad")
        run(cli, ["ep", txt, "--ref", "S1", "--mode", "inside", "--step", "500", "--start", "-100", "--length", "500",
                  "--out", out])
        avg, _ = dump(cli, out)
        onsets = np.flatnonzero(mark & 1)
        # Successive samples of one mark count once: the search resumes a step later.
        events = np.array([[o, 0, 1] for o in onsets])
        info = mne.create_info([f"C{c + 1}" for c in range(channels)], rate, "eeg")
        raw = mne.io.RawArray(codes, info)
        ep = mne.Epochs(raw, events, tmin=-0.1, tmax=0.4 - 1.0 / rate + 1e-9, baseline=None, preload=True)
        want = ep.average().data
        if avg.shape != want.shape:
            print(f"FAIL: shapes {avg.shape} and {want.shape}")
            return 1
        diff = np.abs(avg - np.floor(want + 0.5)).max()
        print(f"epochs {len(ep)}, largest difference {diff} codes")
        if diff > 1:
            print("FAIL: the averages differ beyond integer rounding")
            return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
