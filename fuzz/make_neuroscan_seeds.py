#!/usr/bin/env python3
"""Seeds for fuzz_neuroscan: small NeuroScan continuous files built from the
layout (900-byte header, 75-byte electrode records, interleaved samples, an
event table after them), with 2-byte and 4-byte samples."""
import os
import struct
import sys


def cnt(labels, samples, width=2, count_field=0, event=None, tail=b"\x01\x00\x00\x00"):
    n = len(labels)
    h = bytearray(900)
    h[121:128] = b"Patient"
    struct.pack_into("<hc", h, 141, 42, b"F")
    struct.pack_into("<h", h, 370, n)
    struct.pack_into("<H", h, 376, 500)
    struct.pack_into("<I", h, 864, count_field)
    elec = b"".join(lab.ljust(75, b"\0")[:75] for lab in labels)
    fmt = "<h" if width == 2 else "<i"
    body = b"".join(struct.pack(fmt, ((k * 53 + c * 300) % 4000) - 2000 if width == 2 else (k * 100003 + c) % 3000000 - 1500000)
                    for k in range(samples) for c in range(n))
    pos = 900 + len(elec) + len(body) if event is None else event
    struct.pack_into("<i", h, 886, pos)
    return bytes(h) + elec + body + tail


def main(out):
    os.makedirs(out, exist_ok=True)
    seeds = {
        "two": cnt([b"Fp1", b"Fp2"], 32),
        "nolabelnul": cnt([b"ABCDEFGHIJ", b"O1"], 16),
        "wide": cnt([b"F8", b"FCz"], 16, width=4, count_field=16, tail=b"\0" * 5),
        "many": cnt([str(i).encode() for i in range(70)], 2),
        "eventpast": cnt([b"C3"], 8, event=10 ** 9),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, "seed-" + name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
