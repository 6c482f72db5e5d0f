#!/usr/bin/env python3
"""Seeds for fuzz_spectral: an order byte, a kind byte, then bytes that are
both the samples and a band table (".dia": name, low, high per band)."""
import math
import os
import struct
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
tables = [
    "delta\r\n0,5\r\n4\r\ntheta\r\n4\r\n8\r\nalpha\r\n8\r\n13\r\nbeta1\r\n13\r\n20\r\nbeta2\r\n20\r\n30\r\n",
    "low\r\n5\r\n15\r\nhigh\r\n15,5\r\n25\r\n",
    "empty\r\n10\r\n10\r\n",
    "wide\r\n0\r\n1000\r\n",
]
for k, table in enumerate(tables):
    for order in (3, 7, 9):
        # a sine after the table, so the samples are not only text
        sine = b"".join(struct.pack("<h", int(3000 * math.sin(2 * math.pi * i / 16))) for i in range(64))
        with open(os.path.join(out, f"seed{k}{order}"), "wb") as fh:
            fh.write(bytes([order - 1, 10 * k + order]) + table.encode("cp1251") + sine)
