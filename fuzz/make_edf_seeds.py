#!/usr/bin/env python3
"""Seeds for fuzz_edf: small EDF, EDF+ (annotations), mixed-rate, 24- and
32-bit files built from the published layout. The first byte of each seed
picks the sample width the way the fuzz target reads it (2 + byte % 3)."""
import os
import sys


def field(text, width):
    return text[:width].ljust(width).encode("latin-1")


def edf(signals, records, width, duration="1", reserved="", count=None):
    ns = len(signals)
    h = field("0", 8) + field("X X X X", 80) + field("Startdate X", 80) + field("01.02.03", 8) + field("04.05.06", 8)
    h += field(str(256 * (ns + 1)), 8) + field(reserved, 44) + field(str(records if count is None else count), 8)
    h += field(duration, 8) + field(str(ns), 4)
    for key, w in (("label", 16), ("transducer", 80), ("dim", 8), ("pmin", 8), ("pmax", 8), ("dmin", 8),
                   ("dmax", 8), ("prefilter", 80), ("n", 8), ("reserved", 32)):
        for s in signals:
            h += field(str(s.get(key, "")), w)
    body = b""
    for r in range(records):
        for s in signals:
            if "text" in s:
                t = s["text"](r).encode("latin-1")
                body += t.ljust(s["n"] * width, b"\0")[: s["n"] * width]
            else:
                for i in range(s["n"]):
                    v = s["value"](r * s["n"] + i)
                    body += (v & ((1 << (8 * width)) - 1)).to_bytes(width, "little")
    return h + body


def sig(label, n, value, dim="uV", pmin="-3276.8", pmax="3276.7", dmin="-32768", dmax="32767"):
    return {"label": label, "n": n, "value": value, "dim": dim, "pmin": pmin, "pmax": pmax, "dmin": dmin, "dmax": dmax}


def main(out):
    os.makedirs(out, exist_ok=True)
    seeds = {
        "plain": (2, edf([sig("EEG Fp1", 8, lambda k: k * 100), sig("EEG Fp2-A1", 8, lambda k: -k)], 3, 2)),
        "mixed": (2, edf([sig("EEG C3", 10, lambda k: k), sig("ECG ECG", 3, lambda k: 7 * k, "mV", "-5", "5")], 4, 2)),
        "annot": (2, edf([sig("EEG O1", 6, lambda k: k),
                          {"label": "EDF Annotations", "n": 20, "dim": "", "pmin": "-1", "pmax": "1", "dmin": "-32768",
                           "dmax": "32767", "text": lambda r: "+%d\x14\x14\0+%d.5\x15" "0.2\x14Stim\x14\0" % (r, r)}],
                        3, 2, reserved="EDF+C")),
        "offset": (2, edf([sig("EEG Fp1", 5, lambda k: k * 999, "uV", "175921", "175946")], 2, 2)),
        "unknown_count": (2, edf([sig("EEG A", 4, lambda k: k)], 2, 2, count=-1)),
        "bdf": (3, edf([sig("C3", 6, lambda k: 400000 + k, "uV", "-187500", "187500", "-8388608", "8388607")], 2, 3)),
        "e32": (4, edf([sig("EEG Oz", 4, lambda k: 100000 * k - 70000, "uV", "-2000000", "2000000", "-2000000",
                            "2000000")], 2, 4)),
        "long_record": (2, edf([sig("EEG Cz", 32100, lambda k: k % 300)], 1, 2, duration="100")),
    }
    for name, (width, data) in seeds.items():
        with open(os.path.join(out, "seed-" + name), "wb") as f:
            f.write(bytes([width - 2]) + data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus-edf"))
