#!/usr/bin/python3
"""Every EDF, BDF and NeuroScan recording in ../shared/data read by velor-cli and by MNE.

    mne_crosscheck.py VELOR_CLI SOURCE_DIR

For each file that both readers accept: channel names, the sampling rate,
the sample count and the physical value of every sample (all pages of a paged
file, no stride: the recordings are small) must agree within one digital step
of the channel. Files that one reader refuses are listed with its reason and
do not fail the test; a file both read must agree. Exit 0 when everything
agrees, 1 on a difference, 77 (skipped) without MNE or without the recordings.

Run with Debian's /usr/bin/python3, where python3-mne installs.

Where velor-cli shows a file differently by design, what is comparable is
compared:
- "EDF Annotations"/"BDF Annotations" signals are marks, not channels (MNE
  leaves them out of its channels too); channels pair up in file order.
- At most 64 data signals are channels; the rest are left out (and said so).
- Channel names follow our label rule (drop a type word before the first
  blank, cut at "-", at most 5 characters; NeuroScan: 4 characters), applied
  here to MNE's labels.
- Voltages are in microvolts, other units as the header has them; MNE gives
  volts, so MNE's values are divided by its own unit gain.
- Codes in memory are 16 bits. A 24-bit BDF channel whose samples need more
  than 16 bits, and a 4-byte NeuroScan file (whose values are shifted down to
  16 bits, with the calibration multiplied accordingly), are compared within
  one code of ours where that is coarser than one digital step of the file.
- A signal slower than the fastest one is spread over the fastest rate by
  holding each sample; MNE resamples it with a filter, so its values are not
  comparable sample for sample: only its name is compared.
- A NeuroScan record holds at most 32767 samples per channel: the first
  32767 are compared. MNE is told the sample width (see cnt_layout).
- MNE treats "Status"/"Trigger" channels as stimulus channels and masks them,
  so it is asked to read every channel as data (stim_channel=None).
"""
import glob
import io
import json
import os
import struct
import subprocess
import sys

SKIP = 77
EXTENSIONS = (".edf", ".bdf", ".cnt")


def voltage_factor(dim):
    """Microvolts per header unit, as our reader sees the dimension; 0 for no voltage."""
    d = dim.strip()
    for mu in ("\u00b5", "\u03bc"):
        if d.startswith(mu):
            d = "u" + d[len(mu):]
    low = d.lower()
    if low in ("uv", "microvolt", "microvolts", "mcv", "mkv") or d in ("мкВ", "мкв"):
        return 1.0
    if low in ("mv", "millivolt", "millivolts") or d in ("мВ", "мв"):
        return 1e3
    if low in ("v", "volt", "volts") or d == "В":
        return 1e6
    if low in ("nv", "nanovolt", "nanovolts"):
        return 1e-3
    return 0.0


def edf_name(label):
    t = label.split("\0")[0].strip()
    if " " in t:
        t = t[t.index(" ") + 1:].strip()
    return t.split("-")[0][:5]


def cli(velor, *args):
    p = subprocess.run([velor] + list(args), capture_output=True)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace").strip()


def dump(velor, np, path, record):
    """Physical values of one record (page): names and a [channel][sample] array."""
    rc, out, err = cli(velor, "dump", "--record", str(record), path)
    if rc != 0:
        raise RuntimeError("dump --record %d: %s" % (record, err))
    head, _, body = out.partition("\n")
    names = next(__import__("csv").reader(io.StringIO(head)))
    values = np.fromstring(body.replace("\n", ","), sep=",") if body else np.zeros(0)
    cols = len(names)
    if values.size % cols:
        raise RuntimeError("dump --record %d: ragged output" % record)
    data = values.reshape(-1, cols).T
    if names and names[-1] == "mark":
        names, data = names[:-1], data[:-1]
    return names, data


class Check:
    def __init__(self, name):
        self.name = name
        self.faults = []

    def expect(self, ok, text):
        if not ok:
            self.faults.append(text)
        return ok


def cnt_layout(path):
    """Sample width and samples per channel of a NeuroScan file, from its header.

    MNE 1.3 cannot tell 4-byte files apart ("auto" falls back to 2 bytes and
    reads noise), so it is told: samples are 2 bytes when the space before the
    event table holds whole 2-byte frames, else 4 bytes, with the count of the
    field at offset 864 (the frames after it in a clipped file are left over).
    """
    with open(path, "rb") as f:
        head = f.read(900)
    channels = struct.unpack_from("<h", head, 370)[0]
    count = struct.unpack_from("<I", head, 864)[0]
    event = struct.unpack_from("<i", head, 886)[0]
    space = event - 900 - 75 * channels
    if space % (2 * channels) == 0 or count == 0:
        return "int16", space // (2 * channels)
    return "int32", count


def read_mne(mne, path):
    ext = os.path.splitext(path)[1].lower()
    if ext == ".cnt":
        return mne.io.read_raw_cnt(path, preload=True, data_format=cnt_layout(path)[0], verbose=False)
    read = mne.io.read_raw_bdf if ext == ".bdf" else mne.io.read_raw_edf
    return read(path, preload=True, stim_channel=None, verbose=False)


def compare_edf(velor, np, raw, path, info, check):
    gains = np.asarray(raw._raw_extras[0]["units"], dtype=float)
    chans = info["channels"]
    check.expect(len(chans) == min(64, len(raw.ch_names)),
                 "channels: ours %d, MNE %d (ours at most 64)" % (len(chans), len(raw.ch_names)))
    if len(raw.ch_names) > 64:
        check.expect(info["signalsLeftOut"] == len(raw.ch_names) - 64, "signalsLeftOut %s" % info["signalsLeftOut"])
    fastest = max(c["samplesPerRecord"] for c in chans)
    check.expect(abs(info["sampleRate"] - raw.info["sfreq"]) <= 0.5,
                 "rate: ours %s, MNE %s" % (info["sampleRate"], raw.info["sfreq"]))
    pages = [dump(velor, np, path, p) for p in range(1, info["recordCount"] + 1)]
    ours = np.concatenate([d for _, d in pages], axis=1)
    names = pages[0][0]
    check.expect(ours.shape[1] == raw.n_times, "samples: ours %d, MNE %d" % (ours.shape[1], raw.n_times))
    n = min(ours.shape[1], raw.n_times)
    theirs = raw.get_data()
    for k, c in enumerate(chans[: len(raw.ch_names)]):
        label = raw.ch_names[k]
        check.expect(label.startswith(c["label"].split("\0")[0].strip()) or c["label"].startswith(label),
                     "channel %d: label ours %r, MNE %r" % (k, c["label"], label))
        check.expect(names[k] == edf_name(label), "channel %d: name ours %r, MNE label %r" % (k, names[k], label))
        if c["samplesPerRecord"] != fastest:
            continue  # held by us, resampled by MNE
        vf = voltage_factor(c["dimension"])
        ours_h = ours[k, :n] / (vf if vf > 0 else 1.0)
        theirs_h = theirs[k, :n] / gains[k]
        step = abs((c["physicalMax"] - c["physicalMin"]) / (c["digitalMax"] - c["digitalMin"]))
        code = c["calibValue"] / max(1, c["calibUnits"]) / (vf if vf > 0 else 1.0)
        tol = max(step, code) * 1.0001
        worst = float(np.max(np.abs(ours_h - theirs_h))) if n else 0.0
        check.expect(worst <= tol, "channel %d (%s): differs by %.6g %s, one step is %.6g" %
                     (k, label, worst, c["dimension"], tol))


def cnt_calibration(path, channels):
    """Per channel: microvolts per stored unit, from the electrode records."""
    with open(path, "rb") as f:
        b = f.read(900 + 75 * channels)
    return [struct.unpack_from("<f", b, 900 + 75 * i + 59)[0] * struct.unpack_from("<f", b, 900 + 75 * i + 71)[0] / 204.8
            for i in range(channels)]


def compare_cnt(velor, np, raw, path, info, check):
    chans = info["channels"]
    check.expect(len(chans) == min(64, len(raw.ch_names)),
                 "channels: ours %d, MNE %d (ours at most 64)" % (len(chans), len(raw.ch_names)))
    check.expect(info["sampleRate"] == round(raw.info["sfreq"]),
                 "rate: ours %s, MNE %s" % (info["sampleRate"], raw.info["sfreq"]))
    names, ours = dump(velor, np, path, 1)
    samples = min(cnt_layout(path)[1], raw.n_times)
    n = min(ours.shape[1], samples)
    check.expect(ours.shape[1] == min(32767, samples), "samples: ours %d, file %d" % (ours.shape[1], samples))
    theirs = raw.get_data(stop=n) * 1e6
    units = cnt_calibration(path, len(chans))
    for k, c in enumerate(chans):
        check.expect(names[k] == raw.ch_names[k][:4], "channel %d: name ours %r, MNE %r" % (k, names[k], raw.ch_names[k]))
        tol = max(abs(units[k]), c["calibValue"] / max(1, c["calibUnits"])) * 1.0001
        worst = float(np.max(np.abs(ours[k, :n] - theirs[k]))) if n else 0.0
        check.expect(worst <= tol, "channel %d (%s): differs by %.6g uV, one step is %.6g" % (k, names[k], worst, tol))


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    velor, source = sys.argv[1], sys.argv[2]
    data = os.path.normpath(os.path.join(source, "..", "shared", "data"))
    try:
        import numpy as np
        import mne
    except ImportError:
        print("SKIP: MNE is not installed for %s (python3-mne)" % sys.executable)
        return SKIP
    if not os.path.isdir(data):
        print("SKIP: no recordings at %s" % data)
        return SKIP
    mne.set_log_level("ERROR")
    files = sorted(f for f in glob.glob(os.path.join(data, "**", "*"), recursive=True)
                   if os.path.splitext(f)[1].lower() in EXTENSIONS)
    agreed, refused, failed = [], [], []
    for path in files:
        rel = os.path.relpath(path, data)
        rc, out, err = cli(velor, "info", "--json", path)
        if rc != 0:
            refused.append("%s: velor-cli refuses it: %s" % (rel, err))
            continue
        info = json.loads(out)
        try:
            raw = read_mne(mne, path)
        except Exception as e:  # MNE's own refusal, in its words
            refused.append("%s: MNE refuses it: %s: %s" % (rel, type(e).__name__, e))
            continue
        check = Check(rel)
        try:
            if path.lower().endswith(".cnt"):
                compare_cnt(velor, np, raw, path, info, check)
            else:
                compare_edf(velor, np, raw, path, info, check)
        except RuntimeError as e:
            check.expect(False, str(e))
        (failed if check.faults else agreed).append(check)
    for c in agreed:
        print("agree   %s" % c.name)
    for r in refused:
        print("refused %s" % r)
    for c in failed:
        print("DIFFER  %s" % c.name)
        for f in c.faults[:12]:
            print("        %s" % f)
        if len(c.faults) > 12:
            print("        ... %d more" % (len(c.faults) - 12))
    print("%d agree, %d refused by one reader, %d differ" % (len(agreed), len(refused), len(failed)))
    if not agreed and not failed:
        print("SKIP: no file was read by both")
        return SKIP
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
