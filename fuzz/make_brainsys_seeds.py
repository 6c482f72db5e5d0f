#!/usr/bin/env python3
"""Seeds for fuzz_brainsys: small BrainSys files built from the layout
(268-byte header, interleaved 2-byte samples). The first byte of each seed
is the target's own switch: bit 0 ".eeg", bit 1 with the lead table."""
import os
import struct
import sys


def brainsys(channels, samples, period=4000, system=0, form=0, codes=None, name=b"ABC\0", stored=None):
    h = bytearray(268)
    h[0:len(name)] = name
    h[40:41] = b"M"
    h[41:45] = b"1970"
    h[45:50] = b"norm\0"
    for i, c in enumerate(codes or [(i % 18) + 1 for i in range(min(channels, 64))]):
        if 141 + i < 256:
            h[141 + i] = c
    h[256] = form
    h[257] = system
    struct.pack_into("<ihi", h, 258, period, channels, samples if stored is None else stored)
    body = b"".join(struct.pack("<h", ((k * 37 + c * 500) % 2000) - 1000)
                    for k in range(samples) for c in range(channels))
    return bytes(h) + body


def main(out):
    os.makedirs(out, exist_ok=True)
    seeds = {
        "plain": b"\x02" + brainsys(4, 16),
        "system1": b"\x03" + brainsys(16, 8, system=1),
        "system7": b"\x01" + brainsys(2, 8, system=7),
        "form1": b"\x02" + brainsys(3, 8, form=1),
        "longclaim": b"\x00" + brainsys(2, 8, stored=100000),
        "zeros": b"\x02" + brainsys(1, 4)[:268] + b"\0" * 8,
        "wide": b"\x02" + brainsys(70, 2),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, "seed-" + name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
