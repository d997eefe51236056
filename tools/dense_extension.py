#!/usr/bin/env python3
"""Continuous extension of the Verner 6(5) pair, derived in exact arithmetic.

Checks, from the exact rational coefficients of the pair, which uniform order
a continuous extension y(x0 + theta*H) = y0 + H * sum_i b_i(theta) k_i can
reach with the step's eight stages, with f at the new point added (stage 9,
a_9j = b_j, c_9 = 1), and with one more stage at the middle of the step
(stage 10, c_10 = 1/2). It then builds the order-5 extension that is C1
across steps (y and y' at theta = 0 and 1 match the step's end points and
their derivatives) with weight 0 on k2, whose column holds the error vector
once a step is done, and prints the extra stage's row and the weight
polynomials as the C++ table ode/src/dense/extension_table.hpp.

    python3 tools/dense_extension.py            # facts, then the table
    python3 tools/dense_extension.py --table    # the table only
    python3 tools/dense_extension.py --check ode/src/dense/extension_table.hpp
                                                # exit status 1 unless the file is current

Python 3 standard library only (fractions); the pair's rationals come from
tools/verner_pair.py, the trees and the linear algebra from tools/rk_trees.py.
"""

import struct
import sys
from fractions import Fraction as F
from itertools import combinations_with_replacement

from rk_trees import (gamma, order, phi, rank, rref, sigma, solve_affine, trees_of_order,
                      trees_up_to)
from verner_pair import A_ROWS, B

# ---------------------------------------------------------------- the pair --

# The rationals of the pair (A_ROWS, B) come from verner_pair.

C_EXTRA = F(1, 2)   # abscissa of the extra stage
NO_K2 = True        # column 2 holds the error vector after a step


def tableau(stages, extra_row=None):
    """Strictly lower triangular A (0-based, `stages` x `stages`)."""
    a = [[F(0)] * stages for _ in range(stages)]
    for s, row in A_ROWS.items():
        if s <= stages:
            for j, v in enumerate(row):
                a[s - 1][j] = v
    if stages >= 9:
        a[8][:8] = B[:]
    if stages >= 10:
        a[9][:9] = extra_row
    return a


# ------------------------------------------------------------ the analysis --

def uniform_order_system(a, columns, p, degree, c1=False):
    """Linear conditions on the weight polynomials b_i(theta) = sum_m beta_im theta^m
    (m = 1..degree, i in `columns`): uniform order p, and with c1 also
    b(1) = b, b'(0) = e_1 and b'(1) = e_9 (stage 9 = f at the new point)."""
    nvar = len(columns) * degree

    def var(ci, m):  # column index ci, power m (1-based)
        return ci * degree + (m - 1)

    rows, rhs = [], []
    for t in trees_up_to(p):
        ph = phi(t, a)
        for m in range(1, degree + 1):
            r = [F(0)] * nvar
            for ci, i in enumerate(columns):
                r[var(ci, m)] = ph[i]
            rows.append(r)
            rhs.append(F(1, gamma(t)) if m == order(t) else F(0))
    if c1:
        for ci, i in enumerate(columns):
            r = [F(0)] * nvar
            for m in range(1, degree + 1):
                r[var(ci, m)] = F(1)
            rows.append(r)
            rhs.append(B[i] if i < 8 else F(0))
            r = [F(0)] * nvar
            r[var(ci, 1)] = F(1)
            rows.append(r)
            rhs.append(F(1) if i == 0 else F(0))
            r = [F(0)] * nvar
            for m in range(1, degree + 1):
                r[var(ci, m)] = F(m)
            rows.append(r)
            rhs.append(F(1) if i == 8 else F(0))
    return rows, rhs


def highest_uniform_order(a, columns, c1=False, pmax=6):
    best = 0
    for p in range(1, pmax + 1):
        # degree p suffices without the end conditions; allow two more for C1
        if solve_affine(*uniform_order_system(a, columns, p, p + (2 if c1 else 0), c1)) is None:
            break
        best = p
    return best


def deficiency(a, columns, p):
    """rank([M | R]) - rank(M) for the order-p conditions: a lower bound on the
    number of stages that must be added (each new column raises rank M by at
    most 1, and rank [M | R] cannot fall)."""
    ts = trees_up_to(p)
    m = [[phi(t, a)[i] for i in columns] for t in ts]
    r = [[F(1, gamma(t)) if order(t) == k else F(0) for k in range(1, p + 1)] for t in ts]
    return rank([mr + rr for mr, rr in zip(m, r)]) - rank(m)


def extra_stage_row(a9, columns9):
    """Row of the stage at C_EXTRA: its argument y0 + H sum_j a_j k_j matches the
    solution at x0 + C_EXTRA*H to order 4, i.e. a_j = b_j(C_EXTRA) of an
    order-4 extension over `columns9`; unique or the free part set to 0."""
    rows, rhs = [], []
    for t in trees_up_to(4):
        ph = phi(t, a9)
        rows.append([ph[i] for i in columns9])
        rhs.append(C_EXTRA ** order(t) / gamma(t))
    sol = solve_affine(rows, rhs)
    assert sol is not None, "no order-4 value at the middle of the step"
    x0, basis = sol
    row = [F(0)] * 9
    for ci, i in enumerate(columns9):
        row[i] = x0[ci]
    return row, len(basis)


def error_functional(a, columns, degree):
    """Quadratic form (Q, g, k) with  int_0^1 sum_{|t|=6} tau_t(theta)^2 dtheta =
    x'Qx - 2 g'x + k  for the polynomial coefficients x, where
    tau_t = (sum_i b_i(theta) phi_i(t) - theta^6/gamma(t)) / sigma(t)."""
    nvar = len(columns) * degree
    Q = [[F(0)] * nvar for _ in range(nvar)]
    g = [F(0)] * nvar
    k = F(0)
    for t in trees_of_order(6):
        ph = phi(t, a)
        w = F(1, sigma(t) ** 2)
        # tau = sum_m theta^m u_m . x  - theta^6/gamma
        u = {}
        for ci, i in enumerate(columns):
            for m in range(1, degree + 1):
                u[(ci * degree + m - 1)] = (m, ph[i])
        for v1, (m1, p1) in u.items():
            for v2, (m2, p2) in u.items():
                Q[v1][v2] += w * p1 * p2 / (m1 + m2 + 1)
            g[v1] += w * p1 / gamma(t) / (m1 + 6 + 1)
        k += w / gamma(t) ** 2 / 13
    return Q, g, k


def minimise_on(x0, basis, Q, g):
    """Minimiser of x'Qx - 2g'x over x = x0 + sum z_j basis_j (exact)."""
    if not basis:
        return x0
    n = len(x0)
    Qx0 = [sum(Q[i][j] * x0[j] for j in range(n)) for i in range(n)]
    Bq = [[sum(Q[i][j] * bv[j] for j in range(n)) for i in range(n)] for bv in basis]
    M = [[sum(bu[i] * bq[i] for i in range(n)) for bq in Bq] for bu in basis]
    rhs = [sum(bu[i] * (g[i] - Qx0[i]) for i in range(n)) for bu in basis]
    sol = solve_affine(M, rhs)
    z = sol[0]
    return [x0[i] + sum(z[j] * basis[j][i] for j in range(len(basis))) for i in range(n)]


def f64_bits(v):
    """Bits of the double nearest to the rational v (float(Fraction) rounds correctly)."""
    return struct.unpack("<Q", struct.pack("<d", float(v)))[0]


# ------------------------------------------------------------------ output --

def main():
    check = sys.argv[sys.argv.index("--check") + 1] if "--check" in sys.argv else None
    table_only = "--table" in sys.argv or check is not None
    say = (lambda *s: None) if table_only else print

    a8, a9 = tableau(8), tableau(9)
    all8, all9 = list(range(8)), list(range(9))
    no2_9 = [i for i in all9 if i != 1]

    say("Highest uniform order of a continuous extension (exact arithmetic):")
    for label, a, cols, c1 in [
            ("stages 1-8", a8, all8, False),
            ("stages 1-8 and f at the new point", a9, all9, False),
            ("same, C1 across steps", a9, all9, True),
            ("same, C1, without k2", a9, no2_9, True)]:
        say(f"  {label:40s} {highest_uniform_order(a, cols, c1)}")
    for p in (5, 6):
        say(f"  order {p} from stages 1-9: at least {deficiency(a9, all9, p)} further stage(s)"
            f" (rank deficiency of the order conditions)")

    row10, free = extra_stage_row(a9, no2_9)
    assert sum(row10) == C_EXTRA and row10[1] == 0
    a10 = tableau(10, row10)
    cols10 = [i for i in range(10) if not (NO_K2 and i == 1)]
    say(f"Extra stage at c = {C_EXTRA}: a-row = the order-4 value there "
        f"({free} free parameters set to 0), a_2 = 0")
    say(f"  stages 1-10, C1, without k2: highest uniform order "
        f"{highest_uniform_order(a10, cols10, True)}")

    # The order-5 C1 extension: smallest degree that admits it, remaining
    # freedom spent on the order-6 error coefficients (least squares over theta).
    for degree in range(5, 9):
        sol = solve_affine(*uniform_order_system(a10, cols10, 5, degree, True))
        if sol is not None:
            break
    x0, basis = sol
    Q, g, k = error_functional(a10, cols10, degree)
    x = minimise_on(x0, basis, Q, g)
    n = len(x)
    err2 = sum(x[i] * Q[i][j] * x[j] for i in range(n) for j in range(n)) - 2 * sum(
        g[i] * x[i] for i in range(n)) + k
    say(f"  order-5 C1 extension: degree {degree}, {len(basis)} free parameters, chosen to "
        f"minimise int_0^1 sum |tau_6|^2 = {float(err2):.6e}")
    weights = {i: [F(0)] + [x[ci * degree + m - 1] for m in range(1, degree + 1)]
               for ci, i in enumerate(cols10)}
    weights.setdefault(1, [F(0)] * (degree + 1))
    # checks: order 5 at sample thetas, end conditions
    for th in (F(1, 7), F(1, 2), F(5, 6)):
        for t in trees_up_to(5):
            ph = phi(t, a10)
            val = sum(sum(weights[i][m] * th ** m for m in range(degree + 1)) * ph[i]
                      for i in range(10))
            assert val == th ** order(t) / gamma(t)
    for i in range(10):
        assert sum(weights[i]) == (B[i] if i < 8 else 0)
        assert weights[i][1] == (1 if i == 0 else 0)
        assert sum(m * w for m, w in enumerate(weights[i])) == (1 if i == 8 else 0)
    say("  verified: order conditions up to 5 at theta = 1/7, 1/2, 5/6; b(1) = b;"
        " b'(0) = e1; b'(1) = e9")
    say("")

    lines = []
    emit(row10, weights, degree, lines.append)
    text = "\n".join(lines) + "\n"
    if check is None:
        sys.stdout.write(text)
        return 0
    with open(check, encoding="utf-8") as f:
        current = f.read() == text
    print(f"{check}: {'current' if current else 'differs from the derivation'}")
    return 0 if current else 1


def wrap(head, items, prefix, width):
    """Comment lines `prefix head item, item, ...` no wider than `width`."""
    lines, cur = [], prefix + head
    for k, it in enumerate(items):
        piece = " " + it + ("," if k + 1 < len(items) else "")
        if len(cur) + len(piece) > width:
            lines.append(cur)
            cur = prefix + "    " + piece[1:]
        else:
            cur += piece
    lines.append(cur)
    return lines


def emit(row10, weights, degree, out):
    stages = [i for i in range(10) if i != 1]
    out("// Generated by tools/dense_extension.py from the exact rational coefficients")
    out("// of the Verner pair; do not edit by hand.")
    out("//")
    out("// The continuous extension of the Verner 6(5) step, order 5 and C1 across")
    out("// steps: y(x0 + theta H) = y0 + H sum_i b_i(theta) k_i over k1, k3..k8,")
    out("// k9 = f(x0 + H, y1) and the extra stage k10 = f(x0 + H/2, y0 + H sum_j a_j k_j).")
    out("// Neither uses k2 (its column holds the error vector once a step is done).")
    out("//")
    out("// The values are the double roundings of the rationals shown. Double, not")
    out("// single precision as the step's table: the polynomial coefficients reach 26")
    out("// in magnitude and cancel to weights below 1, so single-precision roundings")
    out("// would cost the extension about seven bits and its exact consistency")
    out("// (sum of the weights = theta) at the 1e-6 level.")
    out("#pragma once")
    out("")
    out("#include <array>")
    out("#include <cstdint>")
    out("")
    out("namespace rkv::ode {")
    out("")
    out("// The stages the extension uses (1-based), the order of the rows below.")
    out(f"inline constexpr std::array<std::int32_t, {len(stages)}> kDenseStages = {{"
        + ", ".join(str(i + 1) for i in stages) + "};")
    out(f"inline constexpr std::int32_t kDenseStageCount = {len(stages)};")
    out("")
    out("// Abscissa of the extra stage, as a fraction of the step: x0 + H/2.")
    out(f"inline constexpr double kExtraNodeDivisor = {float(1 / C_EXTRA):.1f};")
    out("")
    out("// a-row of the extra stage over the first kDenseStageCount - 1 stages (k1, k3..k9).")
    out(f"inline constexpr std::array<std::uint64_t, {len(stages) - 1}> kExtraRowBits = {{")
    for i in stages[:-1]:
        out(f"    0x{f64_bits(row10[i]):016X}u,  // a_{i + 1} = {row10[i]}")
    out("};")
    out("")
    out(f"inline constexpr std::int32_t kDenseDegree = {degree};")
    out("")
    out("// b_i(theta) = sum over m = 1..kDenseDegree of w_i,m theta^m; one row per")
    out("// stage in kDenseStages order, w_i,1 first.")
    out(f"inline constexpr std::array<std::array<std::uint64_t, {degree}>, {len(stages)}>"
        " kDenseWeightBits = {{")
    for i in stages:
        for line in wrap(f"b_{i + 1}:", [str(w) for w in weights[i][1:]], "    // ", 100):
            out(line)
        bits = [f"0x{f64_bits(w):016X}u" for w in weights[i][1:]]
        out("    {" + ", ".join(bits[:4]) + ",")
        out("     " + ", ".join(bits[4:]) + "},")
    out("}};")
    out("")
    out("}  // namespace rkv::ode")


if __name__ == "__main__":
    sys.exit(main())
