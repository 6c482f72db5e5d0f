#!/usr/bin/env python3
"""Seeds for fuzz_formula: two context bytes, then a formula text."""
import os
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
formulas = [
    "7 MOD 3+1", "2^3^2", "1<2=1", "$1F", "-x(1)", "x(i)*2-x(1)>0.5", "amax(1,0,0.05)-amin(2,0.01,0.02)",
    "c(1,2)", "b(1,2)+bk(3)", "anal(1,2,3)", "ts(1)+tm(2)+te(3)+tin(4)+tout(5)", "in|out&sig", "fact(170)",
    "rnd(10)", "arccos(0.5)+arcsin(0.5)+arctg(1)+tg(1)", "e(2)+m(1)+a(1,0.01)", "irec+tmax", "(1,2)", "1>=2<>3<=4",
    "sqrt(ln(lg(exp(abs(int(frac(sign(-1.5E+2))))))))", "p(1)+tp(2)",
]
for k, f in enumerate(formulas):
    with open(os.path.join(out, f"seed{k:02d}"), "wb") as fh:
        fh.write(bytes([k % 8, k % 6]) + f.encode("utf-8"))
