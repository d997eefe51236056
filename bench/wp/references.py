#!/usr/bin/python3
"""Reference solutions of the work-precision problems at their final times.

Method: Gragg-Bulirsch-Stoer extrapolation (the modified midpoint rule with
the step numbers 2, 4, ..., 2K and Aitken-Neville extrapolation in h^2, so
order 2K) with step-size control on the last two diagonal entries, in
50-digit decimal arithmetic (Python's decimal module: its C implementation
is about ten times faster here than mpmath's pure-Python numbers). Each
problem is solved twice, with K = 10 and a local tolerance of 1e-32, and
with K = 12 and 1e-38; the reference is the second, and the number of
digits the two agree to (the largest difference relative to the largest
component) is written beside it. Two problems also have a closed form,
evaluated with mpmath at 50 digits and compared as well: Kepler (Kepler's
equation, with the orbit's elements taken from the double-rounded initial
state) and the rigid body (Jacobi's elliptic functions sn, cn, dn with
parameter 0.51).

    /usr/bin/python3 bench/wp/references.py [output] [problem ...]

writes bench/wp/references.txt by default: one line per component,
"<problem> <data> <index> <value>", values to 32 significant digits, for the
data as written (double) and for the data as the float runs see them (initial
value and end time rounded to float, so that their error is the
integration's, not the rounding of the end time). About six minutes for all
six, most of it Pleiades and the Brusselator.
"""

import os
import struct
import sys
import time

from decimal import Decimal, getcontext

import mpmath
from mpmath import mp, mpf

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import problems  # noqa: E402

getcontext().prec = 50
mp.dps = 50
KIT = problems.DECIMALS


def midpoint(f, t, y, f0, H, n):
    """The modified midpoint rule with n steps over [t, t + H]."""
    h = H / n
    z0 = y
    z1 = [a + h * b for a, b in zip(y, f0)]
    for m in range(1, n):
        fz = f(t + m * h, z1, KIT)
        z0, z1 = z1, [a + 2 * h * b for a, b in zip(z0, fz)]
    return z1


def gbs_step(f, t, y, H, K):
    """One extrapolated step; the solution and the error estimate."""
    f0 = f(t, y, KIT)
    seq = [2 * (j + 1) for j in range(K)]
    table = []
    for j, n in enumerate(seq):
        row = [midpoint(f, t, y, f0, H, n)]
        for l in range(j):
            ratio = (Decimal(n) / seq[j - l - 1]) ** 2 - 1
            row.append([a + (a - b) / ratio for a, b in zip(row[l], table[j - 1][l])])
        table.append(row)
    best = table[-1][-1]
    scale = max(1, max(abs(v) for v in best))
    err = max(abs(a - b) for a, b in zip(best, table[-1][-2])) / scale
    return best, err


def to_float(v):
    """v rounded to single precision, as the float runs store it."""
    return struct.unpack("f", struct.pack("f", v))[0]


def data(name, real):
    """The problem's initial value and interval as the runs in `real` see them."""
    f, y0, t0, t1 = problems.PROBLEMS[name]
    if real == "float":
        y0, t0, t1 = [to_float(v) for v in y0], to_float(t0), to_float(t1)
    return f, y0, t0, t1


def solve(name, real, K, tol):
    f, y0, t0, t1 = data(name, real)
    y = [Decimal(v) for v in y0]
    t = Decimal(t0)
    t1 = Decimal(t1)
    H = (t1 - t) / 100
    steps = 0
    while t < t1:
        H = min(H, t1 - t)
        ynew, err = gbs_step(f, t, y, H, K)
        ratio = tol / max(err, Decimal(10) ** -60)
        factor = Decimal("0.8") * ratio ** (Decimal(1) / (2 * K - 1))
        factor = min(Decimal(4), max(Decimal("0.2"), factor))
        if err <= tol:
            t, y = t + H, ynew
            steps += 1
        H = H * factor
    return y, steps


def agreement(a, b):
    """Digits to which a and b agree, relative to the largest component."""
    a = [mpf(str(v)) for v in a]
    b = [mpf(str(v)) for v in b]
    scale = max(abs(v) for v in b)
    diff = max(abs(x - z) for x, z in zip(a, b)) / scale
    return float("inf") if diff == 0 else float(-mpmath.log10(diff))


def kepler_closed_form(real):
    _, y0, _, t1 = data("kepler", real)
    q1, q2, p1, p2 = [mpf(v) for v in y0]
    r0 = q1  # at the pericentre, velocity perpendicular to the radius
    energy = p2 * p2 / 2 - 1 / r0
    a = -1 / (2 * energy)
    e = 1 - r0 / a
    n = a ** mpf(-1.5)
    mean = n * mpf(t1)
    E = mpmath.findroot(lambda E: E - e * mp.sin(E) - mean, mean)
    c, s = mp.cos(E), mp.sin(E)
    w = mp.sqrt(1 - e * e)
    d = 1 - e * c
    return [a * (c - e), a * w * s, -a * n * s / d, a * n * w * c / d]


def rigidbody_closed_form(real):
    _, y0, _, t1 = data("rigidbody", real)  # y0 = (0, 1, 1) in either type
    t = mpf(t1)
    m = mpf(0.51)
    return [mpmath.ellipfun(k, t, m=m) for k in ("sn", "cn", "dn")]


CLOSED = {"kepler": kepler_closed_form, "rigidbody": rigidbody_closed_form}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "references.txt")
    names = sys.argv[2:] or problems.NAMES
    lines = ["# Reference solutions at the final time of each work-precision problem,",
             "# written by bench/wp/references.py (GBS extrapolation at 50 decimal digits:",
             "# order 20 at local tolerance 1e-32, checked against order 24 at 1e-38).",
             "# <problem> <data> <component, 0-based> <value>; a check line before each.",
             "# data double: the problem as written (every datum a double); data float: its",
             "# initial value and end time rounded to float, as the float runs are given it."]
    for name in names:
        for real in ("double", "float"):
            start = time.time()
            ya, sa = solve(name, real, 10, Decimal(10) ** -32)
            yb, sb = solve(name, real, 12, Decimal(10) ** -38)
            check = "# %s %s: %d and %d steps, agree to %.1f digits" % (
                name, real, sa, sb, agreement(ya, yb))
            if name in CLOSED:
                check += ", closed form to %.1f digits" % agreement(yb, CLOSED[name](real))
            lines.append(check)
            lines += ["%s %s %d %s" % (name, real, i, format(v, ".31e"))
                      for i, v in enumerate(yb)]
            print(check, "(%.0f s)" % (time.time() - start), flush=True)
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
