#!/usr/bin/env python3
"""Seed cards for fuzz_map_card: a small sound card of each view mode."""
import os
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "fuzz/corpus-map_card"
os.makedirs(out, exist_ok=True)


def card(rows, bands, view_mode, band_mode=0, kind=0, count=1):
    b = bytearray(b"CAM " + b" " * 162)
    b += bytes([rows, band_mode, kind, count, view_mode, bands])
    names = [b"Delta", b"Theta", b"Alpha", b"Beta1"]
    for i in range(16):
        name = names[i] if i < len(names) else b""
        b += name.ljust(10, b" ")
    for band in range(bands):
        for row in range(rows):
            v = 10 + row + band
            b += str(v).rjust(10).encode() + str(v * v).rjust(10).encode()
    return bytes(b)


seeds = {
    "band.cam": card(19, 4, 2),
    "epochs.cam": card(19, 4, 3, count=20),
    "signal.cam": card(8, 1, 0),
    "pairs.cam": card(3, 2, 2, kind=4),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
