#!/usr/bin/env python3
"""Seeds for fuzz_text_record: text record tables as the writer produces
them (signal view with marks), tables from other programs (commas, tabs, LF
line ends, comments), and number lists."""
import os
import sys


def main(out):
    os.makedirs(out, exist_ok=True)
    rows = "".join("%g %d %d %s\r\n" % (k / 250, k * 3 - 50, -k, "02-01" if k == 3 else "00-00") for k in range(40))
    seeds = {
        "signals": "    T[sec] Fp1 O2 In-Out\r\n0.16 1000 1000\r\n" + rows,
        "commas": "; exported\nA,B,C\n10,20,30\n1,2,3\n4,,6\n7,8,9\n",
        "tabs": "X\tY\r\n5\t5\r\n1.5\t-2,5\r\n1e3\t4\r\n",
        "numbers": "1 2.5,3\r\nx 4\r\n-7e-3\r\n",
        "wide": " ".join("c%d" % j for j in range(70)) + "\r\n1\r\n" + "1 " * 70 + "\r\n",
    }
    for name, data in seeds.items():
        with open(os.path.join(out, "seed-" + name), "wb") as f:
            f.write(data.encode("latin-1"))


if __name__ == "__main__":
    main(sys.argv[1])
