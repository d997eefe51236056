"""Rooted trees and exact linear algebra for the order conditions of
Runge-Kutta methods, used by tools/dense_extension.py.

Python 3 standard library only (fractions).
"""

from fractions import Fraction as F

# --------------------------------------------------------- rooted trees --
# A tree is the sorted tuple of its root's subtrees; () is the single node.

def trees_of_order(n, memo={}):
    if n in memo:
        return memo[n]
    if n == 1:
        memo[1] = [()]
        return memo[1]
    out = set()
    # multisets of subtrees whose orders sum to n - 1
    def build(remaining, min_key, acc):
        if remaining == 0:
            out.add(tuple(sorted(acc)))
            return
        for m in range(1, remaining + 1):
            for t in trees_of_order(m):
                key = (m, t)
                if key >= min_key:
                    build(remaining - m, key, acc + [t])
    build(n - 1, (0, ()), [])
    memo[n] = sorted(out, key=repr)
    return memo[n]


def order(t):
    return 1 + sum(order(u) for u in t)


def gamma(t):
    g = order(t)
    for u in t:
        g *= gamma(u)
    return g


def sigma(t):
    s = 1
    for u in set(t):
        mult = t.count(u)
        s *= sigma(u) ** mult
        for i in range(2, mult + 1):
            s *= i
    return s


def phi(t, a):
    """Elementary weights: phi_i(t) = prod over subtrees u of sum_j a_ij phi_j(u)."""
    n = len(a)
    out = [F(1)] * n
    for u in t:
        pu = phi(u, a)
        q = [sum(a[i][j] * pu[j] for j in range(n)) for i in range(n)]
        out = [out[i] * q[i] for i in range(n)]
    return out


def trees_up_to(p):
    return [t for n in range(1, p + 1) for t in trees_of_order(n)]


# ------------------------------------------------------ exact linear algebra --

def rref(rows):
    """Row-reduced echelon form; returns (matrix, pivot columns)."""
    m = [r[:] for r in rows]
    pivots = []
    r = 0
    ncols = len(m[0]) if m else 0
    for c in range(ncols):
        piv = next((i for i in range(r, len(m)) if m[i][c] != 0), None)
        if piv is None:
            continue
        m[r], m[piv] = m[piv], m[r]
        inv = 1 / m[r][c]
        m[r] = [v * inv for v in m[r]]
        for i in range(len(m)):
            if i != r and m[i][c] != 0:
                f = m[i][c]
                m[i] = [vi - f * vr for vi, vr in zip(m[i], m[r])]
        pivots.append(c)
        r += 1
        if r == len(m):
            break
    return m, pivots


def rank(rows):
    return len(rref(rows)[1]) if rows else 0


def solve_affine(rows, rhs):
    """All solutions of rows * x = rhs: (particular, null-space basis), or None."""
    n = len(rows[0])
    m, piv = rref([r + [v] for r, v in zip(rows, rhs)])
    if n in piv:
        return None
    x0 = [F(0)] * n
    for i, c in enumerate(piv):
        x0[c] = m[i][n]
    free = [c for c in range(n) if c not in piv]
    basis = []
    for f in free:
        v = [F(0)] * n
        v[f] = F(1)
        for i, c in enumerate(piv):
            v[c] = -m[i][f]
        basis.append(v)
    return x0, basis
