#!/usr/bin/env python3
"""Seeds for fuzz_wfdb: the header and the first second of the MIT-BIH records
in ../shared/data, an annotation file's first bytes, and small format-16 records."""
import os
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "data")
n = 0
for rec in ("mitdb/100", "mitdb/208", "svdb/800", "challenge2015/v102s"):
    hea, dat, atr = (os.path.join(root, rec + e) for e in (".hea", ".dat", ".atr"))
    if not os.path.exists(hea):
        continue
    with open(hea, "rb") as f:
        head = f.read()
    with open(dat, "rb") as f:
        body = f.read(6000)
    with open(os.path.join(out, "rec%d" % n), "wb") as f:
        f.write(b"\x01" + head + b"\x00" + body)
    n += 1
    if os.path.exists(atr):
        with open(atr, "rb") as f:
            ann = f.read(4000)
        with open(os.path.join(out, "atr%d" % n), "wb") as f:
            f.write(b"\x00" + ann)
with open(os.path.join(out, "f16"), "wb") as f:
    f.write(b"\x02r 2 500 40\nr.dat 16 100(-5)/uV 16 0 0 0 0 A\nr.dat 16+4 100/mV\n\x00" + bytes(range(256)) * 2)
