#!/usr/bin/python3
"""Times a whole velor-cli process reading the first page of a 64-channel EDF
against a whole Python process doing MNE's lazy read of the same samples.

Writes a 64-channel EDF (256 Hz, 1-s records, 2 minutes of noise, 16-bit)
into a temporary folder, then runs, each several times, best time taken:

- velor-cli --help (the floor of starting the program);
- velor-cli dump FILE --record 1 --channels 0 (open, first page, one column);
- /usr/bin/python3 -c "import mne; r = mne.io.read_raw_edf(F, preload=False);
  r.get_data(start=0, stop=N)" with N the samples of velor's first page.

Prints the times and the ratio MNE / velor (the target is at least 20).
Without MNE it says so and exits 0.

    bench/compare_cli_startup_mne.py [--cli build/velor-cli] [--runs 15]
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"


def write_edf(path, channels=64, rate=256, records=120):
    import numpy as np

    def field(text, width):
        return text.encode("ascii").ljust(width)[:width]

    labels = ["EEG %d" % i for i in range(channels)]
    head = (field("0", 8) + field("X X X X", 80) + field("Startdate 01-JAN-2020 X X X", 80)
            + field("01.01.20", 8) + field("00.00.00", 8) + field(str(256 * (channels + 1)), 8)
            + field("", 44) + field(str(records), 8) + field("1", 8) + field(str(channels), 4))
    for width, value in ((16, None), (80, "AgAgCl"), (8, "uV"), (8, "-500"), (8, "500"),
                         (8, "-32768"), (8, "32767"), (80, ""), (8, str(rate)), (32, "")):
        head += b"".join(field(value if value is not None else l, width) for l in labels)
    rng = np.random.default_rng(7)
    data = (rng.standard_normal((records, channels, rate)) * 2000).astype("<i2")
    with open(path, "wb") as f:
        f.write(head + data.tobytes())


def best(cmd, runs):
    """Best and median wall time, and the best CPU time (user + system) of the process."""
    times, cpu = [], []
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - t0)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    times.sort()
    return times[0], times[len(times) // 2], min(cpu)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--cli", default=os.path.join(here, "..", "build", "velor-cli"))
    ap.add_argument("--runs", type=int, default=15)
    args = ap.parse_args()
    if subprocess.run([PYTHON, "-c", "import mne"], capture_output=True).returncode != 0:
        print("MNE is not installed (python3-mne); nothing to compare against.")
        return 0
    if not os.path.exists(args.cli):
        print("velor-cli not found: %s (build the project first)" % args.cli)
        return 0
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "edf64.edf")
        write_edf(path)
        dump = [args.cli, "dump", path, "--record", "1", "--channels", "0"]
        page = subprocess.run(dump, check=True, capture_output=True, text=True).stdout
        n = len(page.strip().splitlines()) - 1
        script = ("import mne; r = mne.io.read_raw_edf(%r, preload=False, verbose=False); "
                  "r.get_data(start=0, stop=%d)" % (path, n))
        mne_cmd = [PYTHON, "-c", script]
        subprocess.run(mne_cmd, check=True)  # warm the page cache and Python's bytecode
        helpt = best([args.cli, "--help"], args.runs)
        ours = best(dump, args.runs)
        theirs = best(mne_cmd, max(3, args.runs // 3))
    print("64-channel EDF, first page of %d samples per channel; whole processes, best (median) of runs" % n)
    print("%-54s %10s %12s %10s" % ("", "best [ms]", "median [ms]", "CPU [ms]"))
    for name, t in (("velor-cli --help", helpt), ("velor-cli dump --record 1 --channels 0", ours),
                    ("python3 + MNE read_raw_edf(preload=False) + get_data", theirs)):
        print("%-54s %10.1f %12.1f %10.1f" % (name, t[0] * 1e3, t[1] * 1e3, t[2] * 1e3))
    # On a busy machine the wall time of a short process is mostly waiting
    # for a core; the CPU time is what the process itself costs.
    print("MNE / velor: %.1f (best wall), %.1f (median wall), %.1f (CPU); target at least 20"
          % (theirs[0] / ours[0], theirs[1] / ours[1], theirs[2] / max(ours[2], 1e-6)))
    print("velor-cli dump over --help: %.1f ms (best)" % ((ours[0] - helpt[0]) * 1e3))
    return 0


if __name__ == "__main__":
    sys.exit(main())
