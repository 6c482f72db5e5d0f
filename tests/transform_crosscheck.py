#!/usr/bin/python3
"""The record transformations against scipy and MNE on the same codes.

    transform_crosscheck.py VELOR_CLI SOURCE_DIR

A demo study (velor-cli demo, 20 channels at 250 Hz, zero level 2048) is
transformed by `velor-cli transform`; the codes before and after come from
`velor-cli dump --raw`, and the same operation is computed in floating point:

- IIR Butterworth, Chebyshev type 1 and type 2 low-, high- and band-pass,
  one way: scipy.signal butter/cheby1/cheby2 + lfilter started in the steady
  state of the first sample (lfilter_zi * x[0]); high- and band-pass outputs
  sit on the zero level. The designs map onto scipy's as follows (ε is the
  design's ripple parameter: 1/R/100 for type 1 and R/100 for type 2, R the
  --ripple per cent):
    type 1: cheby1(n, rp = 10 log10(1 + ε²), Wn), times sqrt(1 + ε²/2): the
      design puts the pass band in the middle of its ripple, where scipy puts
      its top at 1;
    type 2: cheby2(n, rs = 10 log10(1 + 1/ε²), Wn), the same filter.
- the same two-way: scipy.signal.filtfilt(padlen=0), which starts each pass in
  the steady state of its first sample exactly as the transformation does.
  The second pass filters the first one's output as it stands, on the zero
  level Z; a design that lets a part H(0) of a constant through (type 2
  band-pass and high-pass of even order: their stop band floor at 0 Hz)
  therefore gives filtfilt + Z + H(0)·Z, a known and tested offset.
- Hilbert envelope, transformed in blocks of N = 2^k ≤ 8192 samples, the last
  block ending at the record's end: on a 100 s record (three joins),
    each block is |scipy.signal.hilbert(block - block mean)| exactly, except
      the 9 samples smoothed at each join;
    over the whole record, |scipy.signal.hilbert(x - mean)| of a band-limited
      record (8-13 Hz) agrees within 2 codes from 256 samples away from every
      block edge. Near the edges, and on records with slow drifts anywhere,
      the blocks differ from the whole-record transform (its kernel falls off
      only as 1/t and each block has its own mean): the size is printed.
- moving averages (smooth --window w): numpy convolution with a box of w.
- z-scores: numpy mean and sample standard deviation.
- common average reference: MNE set_eeg_reference('average').
- paired t of two channels (velor-cli compare): scipy.stats.ttest_rel, and
  the correlation: scipy.stats.pearsonr.

Integer codes are compared within rounding: 1 code for one pass, 2 for two
passes (the first pass is rounded to codes before the second).

Without a standard counterpart (checked by the unit tests only): the segment
edits, setting an amplitude, channel copy, decimation (sample picking without
an anti-alias filter), amplitude standardisation, the FFT band and Gaussian
filters and the moving-average band filter of this system, window smoothing,
121 smoothing, spike suppression, time reversal, the derivative, the peak
envelope, formulas, a channel from another file, averaging with another file,
and the artefact cut, regression correction and blink removal.
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
            # what the second pass makes of the zero level the first one added
            leak = add * np.sum(b) / np.sum(a) if two_way else 0.0
            for ch in data:
                if two_way:
                    y = sig.filtfilt(b, a, ch, padlen=0)
                else:
                    y, _ = sig.lfilter(b, a, ch, zi=sig.lfilter_zi(b, a) * ch[0])
                out.append(y + add + leak)
            return np.array(out)

        def design(kind, order, ripple, wn, btype):
            if kind == "butterworth":
                return sig.butter(order, wn, btype=btype)
            if kind == "chebyshev1":
                eps = 1.0 / ripple / 100
                b, a = sig.cheby1(order, 10 * np.log10(1 + eps ** 2), wn, btype=btype)
                return b * np.sqrt(1 + eps ** 2 / 2), a
            eps = ripple / 100
            return sig.cheby2(order, 10 * np.log10(1 + 1 / eps ** 2), wn, btype=btype)

        low30, high1, alpha = ["--low", "0", "--high", "30"], ["--low", "1", "--high", "125"], ["--low", "8", "--high", "13"]
        cases = [
            ("butterworth", 1, "low", 4, low30),
            ("butterworth", 1, "high", 3, high1),
            ("butterworth", 1, "bandpass", 3, alpha),
            # ripple 0.02 % gives ε = 0.5 (about 1 dB), 0.05 % gives 0.2
            ("chebyshev1", 0.02, "low", 4, low30),
            ("chebyshev1", 0.02, "low", 5, low30),
            ("chebyshev1", 0.05, "high", 4, high1),
            ("chebyshev1", 0.02, "bandpass", 3, alpha),
            ("chebyshev1", 0.05, "bandpass", 2, alpha),
            # ripple 3 % gives a stop band 30.5 dB down
            ("chebyshev2", 3, "low", 4, low30),
            ("chebyshev2", 3, "low", 5, low30),
            ("chebyshev2", 3, "high", 3, high1),
            ("chebyshev2", 3, "high", 4, high1),
            ("chebyshev2", 3, "bandpass", 3, alpha),
            ("chebyshev2", 3, "bandpass", 4, alpha),
        ]
        for kind, ripple, btype, order, band in cases:
            for two_way in (False, True):
                args = ["--op", "iir", "--type", kind, "--order", str(order), "--ripple", str(ripple)] + band
                if two_way:
                    args.append("--two-way")
                got = transformed("iir_%s_%s_%d_%d" % (kind, btype, order, two_way), *args)
                lo, hi = float(band[1]), float(band[3])
                wn = {"low": hi / (fs / 2), "high": lo / (fs / 2), "bandpass": [lo / (fs / 2), hi / (fs / 2)]}[btype]
                b, a = design(kind, order, ripple, wn, btype)
                want = iir_ref(b, a, x, 0 if btype == "low" else Z, two_way)
                check("iir %s %s order %d%s" % (kind, btype, order, " two-way" if two_way else ""),
                      got, want, 2 if two_way else 1)

        # The envelope over a long record: blocks of 8192, joins at 8192 and
        # 16384, the last block from n - 8192 to the end.
        long_src = os.path.join(tmp, "long.cad")
        run(cli, ["demo", long_src, "--seed", "5", "--records", "1", "--seconds", "100"])

        def envelope_of(path, name):
            out = os.path.join(tmp, name + ".cad")
            run(cli, ["transform", path, out, "--op", "hilbert-envelope"])
            return codes(cli, out)

        xl = codes(cli, long_src)
        n = xl.shape[1]
        N = 1
        while N * 2 <= min(n, 8192):
            N *= 2
        starts = list(range(0, n, N))
        joins = starts[1:]
        got = broad_got = envelope_of(long_src, "hilbert")
        want = np.zeros_like(xl)
        for first in starts:
            fr = min(first, n - N)
            for k, ch in enumerate(xl):
                blk = ch[fr:fr + N]
                e = np.trunc(np.abs(sig.hilbert(blk - blk.mean()))) + Z
                want[k, first:min(n, first + N)] = e[first - fr:min(n, first + N) - fr]
        keep = np.ones(n, bool)
        for p in joins:
            keep[p - 4:p + 5] = False  # the smoothed join
        check("hilbert envelope, block by block", got[:, keep], want[:, keep], 1)

        band_src = os.path.join(tmp, "alpha.cad")
        run(cli, ["transform", long_src, band_src, "--op", "fourier", "--low", "8", "--high", "13"])
        xa = codes(cli, band_src)
        got = envelope_of(band_src, "hilbert_alpha")
        whole = np.array([np.trunc(np.abs(sig.hilbert(ch - ch.mean()))) + Z for ch in xa])
        edges = [0, n, n - N] + joins
        for margin in (0, 16, 64):
            away = np.ones(n, bool)
            for e in edges:
                away[max(0, e - margin):e + margin] = False
            print("  (known) blocks vs whole record, 8-13 Hz, %4d samples from the block edges: max |diff| = %g"
                  % (margin, np.abs(got - whole)[:, away].max()))
        away = np.ones(n, bool)
        for e in edges:
            away[max(0, e - 256):e + 256] = False
        check("hilbert envelope vs whole record (8-13 Hz)", got[:, away], whole[:, away], 2)
        broad = np.abs(broad_got - np.array([np.trunc(np.abs(sig.hilbert(ch - ch.mean()))) + Z for ch in xl]))
        print("  (known) blocks vs whole record, broadband with drifts: max |diff| = %g, mean %.3g"
              % (broad.max(), broad.mean()))

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
