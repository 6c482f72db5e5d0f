#!/usr/bin/env python3
"""Writes a few small, sound record files (.cad) as a starting corpus for
fuzz_cad: every signature, with and without a mark channel, several records
of different lengths and an averaged file. Built straight from the byte
layout, independent of the engine's writer."""
import os
import struct
import sys

LAYOUTS = {
    # signature: slots, date size, offset of the data-offset field, end of the fixed header, calibration entries
    "CA30": (32, 4, 298, 639, 32),
    "CA31": (32, 4, 298, 639, 32),
    "CA40": (64, 4, 426, 1087, 64),
    "CA15": (32, 3, 297, 606, 16),
}


def header(sig, channels, marks, rate, count):
    slots, _, doff, end, calib = LAYOUTS[sig]
    b = bytearray(end)
    b[0:4] = sig.encode()
    b[4:166] = b"Seed patient".ljust(162, b" ")
    for i in range(slots):
        b[166 + 4 * i:170 + 4 * i] = ("C%d" % (i + 1)).encode().ljust(4, b" ")
    struct.pack_into("<H", b, doff, end)
    p = doff + 2
    b[p] = 1
    b[p + 1] = 1
    b[p + 2] = channels
    struct.pack_into("<HBh", b, p + 3, rate, marks, count)
    zero = p + 8
    scale = 16 if sig == "CA15" else 1
    for i in range(slots):
        struct.pack_into("<H", b, zero + 2 * i, 2048 // scale)
        struct.pack_into("<H", b, zero + 2 * slots + 2 * i, 2047 // scale)
        b[zero + 4 * slots + 4 * i] = 31
    flags = zero + 8 * slots
    b[flags] = 1
    struct.pack_into("<BHBB", b, flags + 1, 1, 256, 0, 2)
    for i in range(calib):
        struct.pack_into("<H", b, flags + 11 + 2 * i, 100)
    return bytes(b)


def record(sig, channels, marks, n, seed):
    out = bytearray(struct.pack("<HH", n, n))
    for c in range(channels):
        for i in range(n):
            code = (seed * 97 + c * 31 + i * 13) % 4096
            if sig == "CA15":
                out += bytes([0 if i == 1 else (255 if i == 2 else code // 16)])
            else:
                out += struct.pack("<h", 4096 if i == 3 else code)
    if marks == 1:
        values = [(i % 3) * 256 + i for i in range(n)]
        if sig == "CA15":
            out += bytes(v & 0xFF for v in values) + bytes(v >> 8 for v in values)
        else:
            for v in values:
                out += struct.pack("<h", v)
    out += struct.pack("<iH", 1234567 * (seed + 1), n)
    return bytes(out)


def cad(sig, channels, marks, lengths, count=None):
    data = header(sig, channels, marks, 250, len(lengths) if count is None else count)
    for k, n in enumerate(lengths):
        data += record(sig, channels, marks, n, k)
    return data


SEEDS = {
    "ca30_mark.cad": cad("CA30", 2, 1, [4, 7, 2]),
    "ca31_one.cad": cad("CA31", 1, 0, [5]),
    "ca40_three.cad": cad("CA40", 3, 0, [6, 1, 9]),
    "ca40_avg.cad": cad("CA40", 2, 1, [8], count=-3),
    "ca40_pairs.cad": cad("CA40", 2, 12, [4, 4]),
    "ca15_mark.cad": cad("CA15", 2, 1, [6, 3]),
    "ca15_plain.cad": cad("CA15", 3, 0, [5]),
}

if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else "corpus-cad"
    os.makedirs(target, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)
