#!/usr/bin/python3
"""Band powers and power spectra of a real resting EEG against numpy.

    power_crosscheck.py VELOR_CLI SOURCE_DIR

The first page of ../shared/data/eegmat/Subject00_1.edf (64 records of 1 s,
32000 samples at 500 Hz, 21 channels whose calibrations differ: 349..628
codes per uV) is read by MNE, and what velor-cli computes from its codes is
computed again in floating point with numpy:

- `bands --kind 1`: per epoch of 256 samples (no window), band and channel the
  mean over the band's bins of the squared bin amplitude in uV^2 (a cosine of
  amplitude A shows 2A in its bin, so 4A^2). Averaged over the page's epochs
  that is the Welch estimate (boxcar segments of 256, no overlap, no
  detrending) of the one-sided density Pxx, as 8 * Pxx * df, mean over the
  band's bins. Each channel's band powers must differ between the bands and
  the epoch means must agree with Welch within 1 % (the fixed-point
  transform and the 16-bit codes cost far less; a 16-bit result store that
  saturates gives one value for every band). Epochs that velor-cli names
  on stderr as cut at the 16-bit limit of a bin amplitude (a strong alpha in
  full 16-bit codes) are left out of the epoch-by-epoch comparison only,
  and a band far below the epoch's strongest bin is compared within the
  precision the 16-bit block-exponent transform keeps beside that bin, and
  within one step of the result store's scale for that epoch.
- `spectrum --kind 1`: the power spectrum of one epoch in uV^2 bin by bin,
  without a window and with the Hann window of the engine (its table: the
  half window (cos h + 1) / 2 at h = -pi + k pi / 2048, in Q14), which the
  numpy periodogram applies in the same way around 0 uV. Bins with at least
  1 % of the epoch's largest power must agree within 2 %.

Exit 0 when everything agrees, 1 on a difference, 77 (skipped) without MNE or
without the recording. Run with Debian's /usr/bin/python3.
"""
import csv
import io
import os
import subprocess
import sys

SKIP = 77
RATE = 500
PAGE = 32000  # samples of page 1 (64 records of 500)
BANDS = [(0.5, 4), (4, 8), (8, 13), (13, 20), (20, 30)]  # velor-cli's default bands


def fail(msg):
    print("FAIL:", msg)
    return 1


def run(cli, args):
    p = subprocess.run([cli] + args, capture_output=True, text=True)
    if p.returncode != 0:
        raise RuntimeError(" ".join(args) + ": " + p.stderr.strip())
    return list(csv.reader(io.StringIO(p.stdout))), p.stderr


def band_bins(n, low, high):
    lo = min(int(n * low / RATE + 0.5), n // 2)
    hi = min(int(n * high / RATE + 0.5), n // 2)
    return max(lo, 1), hi


def engine_hann(n):
    """The engine's Hann taper for an epoch of n samples (n <= 4096)."""
    import numpy as np
    k = np.arange(2048)
    table = np.trunc((np.cos(-np.pi + k * np.pi / 2048) + 1) * 8192)
    step = int(4096 / n + 0.5)
    half = table[np.arange(n // 2) * step] / 16384.0
    return np.concatenate([half, half[::-1]])


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    cli, source = sys.argv[1], sys.argv[2]
    path = os.path.join(source, "..", "shared", "data", "eegmat", "Subject00_1.edf")
    if not os.path.exists(path):
        print("SKIP: no", path)
        return SKIP
    try:
        import mne
        import numpy as np
    except ImportError:
        print("SKIP: no MNE/numpy")
        return SKIP
    mne.set_log_level("ERROR")
    raw = mne.io.read_raw_edf(path, preload=True)
    names = [c for c in raw.ch_names if c != "EDF Annotations"]
    data = raw.get_data(picks=names, start=0, stop=PAGE)
    # MNE gives volts; velor-cli shows every voltage in uV (the ECG's mV too).
    x = data * 1e6
    status = 0

    # --- bands --kind 1 -------------------------------------------------------------------
    n = 256
    epochs = PAGE // n
    info = subprocess.run([cli, "info", path, "--json"], capture_output=True, text=True, check=True).stdout
    import json
    per_code = np.array([c["calibValue"] / max(1, c["calibUnits"]) for c in json.loads(info)["channels"]])  # uV
    rows, note = run(cli, ["bands", path, "--kind", "1"])
    # Epochs where a bin amplitude reached the 16-bit limit are named on stderr:
    # their largest bins are cut, so only the others are compared one by one.
    cut = set()
    if "16-bit limit" in note:
        cut = {int(e) - 1 for e in note.split("epochs ")[1].split(" ")[0].split(",")}
    head, body = rows[0], rows[1:]
    if len(body) != epochs * len(BANDS) or len(head) != 2 + len(names):
        return fail("bands: %d rows, %d columns" % (len(body), len(head)))
    got = np.zeros((epochs, len(BANDS), len(names)))
    for k, r in enumerate(body):
        got[int(r[0]) - 1, k % len(BANDS)] = [float(v) for v in r[2:]]
    segments = x[:, : epochs * n].reshape(len(names), epochs, n)
    spectra = np.abs(np.fft.rfft(segments, axis=2)) * 4 / n  # bin amplitudes, 2A for a cosine of A
    # Welch: mean periodogram of the boxcar segments, one-sided density
    pxx = (2 * np.abs(np.fft.rfft(segments, axis=2)) ** 2 / (RATE * n)).mean(axis=1)
    df = RATE / n
    peak = spectra[:, :, 1:].max(axis=2)  # channels x epochs
    # the largest band power of each epoch over all channels and bands, in codes^2
    largest_codes = np.zeros(epochs)
    for low, high in BANDS:
        lo, hi = band_bins(n, low, high)
        band = (spectra[:, :, lo : hi + 1] ** 2).mean(axis=2) / (per_code[:, None] ** 2)
        largest_codes = np.maximum(largest_codes, band.max(axis=0))
    for b, (low, high) in enumerate(BANDS):
        lo, hi = band_bins(n, low, high)
        welch = 8 * pxx[:, lo : hi + 1].mean(axis=1) * df
        per_epoch = (spectra[:, :, lo : hi + 1] ** 2).mean(axis=2)  # channels x epochs
        mean_got = got[:, b, :].mean(axis=0)
        for c, name in enumerate(names):
            if abs(mean_got[c] - welch[c]) > 0.01 * welch[c]:
                status = fail("bands %s band %d: %.6g against Welch %.6g" % (name, b + 1, mean_got[c], welch[c]))
            # The 16-bit transform keeps its precision beside the epoch's
            # largest bin (a block exponent): a bin amplitude is good to about
            # 1/2048 of that peak, so a weak band beside a strong rhythm (beta
            # beside the QRS of the ECG) is compared within that.
            step = peak[c] / 2048
            # The result store holds 16 bits on one binary scale per epoch,
            # fitted to the epoch's largest band power of any channel: a band
            # power is good to one step of that scale (at most twice the
            # largest power in codes^2 / 32767), in the channel's uV^2.
            store = 2 * largest_codes / 32767 * per_code[c] ** 2
            worst = (np.abs(got[:, b, c] - per_epoch[c]) - 0.03 * per_epoch[c] - 2 * np.sqrt(per_epoch[c]) * step
                     - store - 1e-3)
            worst[list(cut)] = -1
            if worst.max() > 0:
                e = int(worst.argmax())
                status = fail("bands %s band %d epoch %d: %.6g against %.6g" % (name, b + 1, e + 1, got[e, b, c], per_epoch[c, e]))
    # A cut epoch is one whose largest bin amplitude reaches 32767 codes.
    if len(cut) > epochs // 10:
        status = fail("bands: %d of %d epochs cut at the 16-bit limit" % (len(cut), epochs))
    means = got.mean(axis=0)  # bands x channels
    for c, name in enumerate(names):
        if means[:, c].max() < 2 * means[:, c].min():
            status = fail("bands %s: band powers hardly differ: %s" % (name, means[:, c]))
    print("bands --kind 1: %d epochs x %d bands x %d channels agree with Welch" % (epochs, len(BANDS), len(names)))

    # --- spectrum --kind 1 ----------------------------------------------------------------
    for n, window, epoch in ((256, 0, 3), (512, 1, 10)):
        rows, _ = run(cli, ["spectrum", path, "--kind", "1", "--epoch-length", str(n), "--window", str(window),
                         "--epoch", str(epoch)])
        got = np.array([[float(v) for v in r[2:]] for r in rows[1:]])  # bins 1..n/2 x channels
        seg = x[:, (epoch - 1) * n : epoch * n]
        if window:
            seg = seg * engine_hann(n)
        want = (np.abs(np.fft.rfft(seg, axis=1)) * 4 / n) ** 2  # channels x bins 0..n/2
        want = want[:, 1 : n // 2 + 1].T
        for c, name in enumerate(names):
            big = want[:, c] >= 0.01 * want[:, c].max()
            err = np.abs(got[big, c] - want[big, c]) / want[big, c]
            if err.max() > 0.02:
                i = int(np.flatnonzero(big)[err.argmax()])
                status = fail("spectrum n=%d window %d %s bin %d: %.6g uV^2 against %.6g" %
                              (n, window, name, i + 1, got[i, c], want[i, c]))
        print("spectrum --kind 1 --epoch-length %d --window %d: %d channels agree" % (n, window, len(names)))
    return status


if __name__ == "__main__":
    sys.exit(main())
