#!/usr/bin/python3
"""The record transformations against scipy and MNE on the same codes.

    transform_crosscheck.py VELOR_CLI SOURCE_DIR

A demo study (velor-cli demo, 20 channels at 250 Hz, zero level 2048) is
transformed by `velor-cli transform`; the codes before and after come from
`velor-cli dump --raw`, and the same operation is computed in floating point:

- IIR Butterworth low-, high- and band-pass, one way: scipy.signal
  butter/cheby1 + lfilter started in the steady state of the first sample
  (lfilter_zi * x[0]); high- and band-pass outputs sit on the zero level.
- the same two-way: scipy.signal.filtfilt(padlen=0), which starts each pass in
  the steady state of its first sample exactly as the transformation does.
- Hilbert envelope: |scipy.signal.hilbert(x - mean)| over the first block
  of 4096 samples (the record is transformed in blocks of a power of two).
- moving averages (smooth --window w): numpy convolution with a box of w.
- z-scores: numpy mean and sample standard deviation.
- common average reference: MNE set_eeg_reference('average').
- paired t of two channels (velor-cli compare): scipy.stats.ttest_rel, and
  the correlation: scipy.stats.pearsonr.

Integer codes are compared within rounding: 1 code for one pass, 2 for two
passes (the first pass is rounded to codes before the second).
Exit 0 when everything agrees, 1 on a difference, 77 (skipped) without
scipy or MNE.
"""
import csv
import io
import os
import subprocess
import sys
import tempfile

SKIP = 77


def run(cli, args):
    p = subprocess.run([cli] + args, capture_output=True, text=True)
    if p.returncode != 0:
        raise RuntimeError(" ".join(args) + ": " + p.stderr.strip())
    return p.stdout


def codes(cli, path):
    rows = list(csv.reader(io.StringIO(run(cli, ["dump", path, "--raw", "--record", "1"]))))
    header = rows[0]
    n = len([h for h in header if h != "mark"])
    import numpy as np
    return np.array([[float(v) for v in r[:n]] for r in rows[1:]]).T


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    try:
        import numpy as np
        import scipy.signal as sig
        import scipy.stats as st
        import mne
    except ImportError as e:
        print("skipped:", e)
        return SKIP
    cli = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "demo.cad")
        run(cli, ["demo", src, "--seed", "5", "--records", "1", "--seconds", "20"])
        x = codes(cli, src)
        fs = 250.0
        Z = 2048.0

        def transformed(name, *args):
            out = os.path.join(tmp, name + ".cad")
            run(cli, ["transform", src, out] + list(args))
            return codes(cli, out)

        def check(what, got, want, tol, skip=0):
            d = np.abs(got[:, skip:] - want[:, skip:])
            worst = d.max()
            print("%-40s max |diff| = %g codes (tolerance %g)" % (what, worst, tol))
            if worst > tol:
                failures.append(what)

        def iir_ref(b, a, data, add, two_way):
            out = []
            for ch in data:
                if two_way:
                    y = sig.filtfilt(b, a, ch, padlen=0)
                else:
                    y, _ = sig.lfilter(b, a, ch, zi=sig.lfilter_zi(b, a) * ch[0])
                out.append(y + add)
            return np.array(out)

        cases = [
            ("butterworth", "low", 4, ["--low", "0", "--high", "30"]),
            ("butterworth", "high", 3, ["--low", "1", "--high", "125"]),
            ("butterworth", "bandpass", 3, ["--low", "8", "--high", "13"]),
        ]
        for design, btype, order, band in cases:
            for two_way in (False, True):
                args = ["--op", "iir", "--type", design, "--order", str(order)] + band
                if two_way:
                    args.append("--two-way")
                got = transformed("iir_%s_%s_%d" % (design, btype, two_way), *args)
                lo, hi = float(band[1]), float(band[3])
                wn = {"low": hi / (fs / 2), "high": lo / (fs / 2), "bandpass": [lo / (fs / 2), hi / (fs / 2)]}[btype]
                b, a = sig.butter(order, wn, btype=btype)
                want = iir_ref(b, a, x, 0 if btype == "low" else Z, two_way)
                check("iir %s %s order %d%s" % (design, btype, order, " two-way" if two_way else ""),
                      got, want, 2 if two_way else 1)

        got = transformed("hilbert", "--op", "hilbert-envelope")
        want = []
        for ch in x:
            blk = ch[:4096]
            want.append(np.trunc(np.abs(sig.hilbert(blk - blk.mean()))) + Z)
        check("hilbert envelope (first block)", got[:, :4090], np.array(want)[:, :4090], 1)

        for w in (3, 5, 8):
            got = transformed("smooth%d" % w, "--op", "smooth", "--window", str(w))
            want = x.copy()
            for k, ch in enumerate(x):
                m = np.convolve(ch, np.ones(w) / w, mode="valid")
                want[k, w // 2: w // 2 + len(m)] = np.floor(m + 0.5)
            check("moving average, window %d" % w, got, want, 1)

        got = transformed("z", "--op", "zscore")
        want = np.array([np.trunc((ch - ch.mean()) / ch.std(ddof=1) / 4 * 2048 + 2048) for ch in x])
        want[want == 4096] = 4097  # never the mark code
        check("z-scores", got, want, 1)

        got = transformed("car", "--op", "common-average")
        info = mne.create_info(["c%d" % k for k in range(len(x))], fs, "eeg")
        raw = mne.io.RawArray((x - Z) * 1e-6, info, verbose="error")
        raw.set_eeg_reference("average", projection=False, verbose="error")
        want = raw.get_data() * 1e6 + Z
        check("common average (MNE)", got, want, 1)

        out = run(cli, ["compare", src, "--channel", "1", "--other", "3", "--start", "200", "--length", "800"])
        vals = dict(line.split("=", 1) for line in out.strip().splitlines())
        phys = (x - Z) / 2047 * 200  # the demo's calibration: 200 uV at 2047 codes
        a, c = phys[0][200:1001], phys[2][200:1001]
        tt = st.ttest_rel(a, c)
        rr = st.pearsonr(a, c)
        print("paired t: velor %s scipy %.6g; r: velor %s scipy %.6g" % (vals["t"], abs(tt.statistic), vals["r"], rr[0]))
        if abs(float(vals["t"]) - abs(tt.statistic)) > 1e-3 * max(1, abs(tt.statistic)):
            failures.append("paired t")
        if abs(float(vals["r"]) - rr[0]) > 1e-6:
            failures.append("correlation")
        d = a - c
        d = d[d != 0]
        ranks = st.rankdata(np.abs(d))
        wplus = ranks[d > 0].sum()
        print("signed ranks: velor W+ %s numpy %.6g" % (vals["w"], wplus))
        if abs(float(vals["w"]) - wplus) > 1e-6:
            failures.append("signed-rank sum")
    if failures:
        print("FAIL:", ", ".join(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
