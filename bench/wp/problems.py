"""The six work-precision problems, written once for any number type.

The same definitions as bench/wp/problems.hpp: each problem has a name, an
initial value, an interval [T0, T1] and a right-hand side f(t, y, m) that
works on Python floats (SciPy, m = FLOATS) and on decimal.Decimal numbers of
any precision (the references, m = DECIMALS): m.c turns each constant, a
double, into the number type, and m.sqrt is the square root. Every datum is a
double: the references solve the problem with the data exactly as the C++
and SciPy runs see them in double.

State layouts:
  arenstorf  (x, y, x', y')                                   4 equations
  pleiades   (x1..x7, y1..y7, x1'..x7', y1'..y7')              28 equations
  lorenz     (x, y, z)                                         3 equations
  kepler     (q1, q2, p1, p2), eccentricity 0.6, from pericentre
  rigidbody  (y1, y2, y3), Euler's equations, I = (2, 1, 2/3)
  brusselator (u1..u32, v1..v32), 1-D, alpha = 1/50, Dirichlet u = 1, v = 3
"""

import math
from decimal import Decimal


class Kit:
    """The constants' conversion and the square root of a number type."""

    def __init__(self, c, sqrt):
        self.c = c
        self.sqrt = sqrt


FLOATS = Kit(float, math.sqrt)
DECIMALS = Kit(Decimal, lambda x: x.sqrt())  # Decimal(double) is exact

# -------------------------------------------------------------- Arenstorf --
ARENSTORF_MU = 0.012277471
ARENSTORF_Y0 = [0.994, 0.0, 0.0, -2.00158510637908252240537862224]
ARENSTORF_T1 = 17.0652165601579625588917206249  # one period


def arenstorf(t, y, m):
    mu = m.c(ARENSTORF_MU)
    mup = m.c(1.0 - ARENSTORF_MU)
    sqrt = m.sqrt
    x, z, vx, vz = y
    r1 = sqrt((x + mu) ** 2 + z * z)
    r2 = sqrt((x - mup) ** 2 + z * z)
    d1 = r1 * r1 * r1
    d2 = r2 * r2 * r2
    ax = x + 2 * vz - mup * (x + mu) / d1 - mu * (x - mup) / d2
    az = z - 2 * vx - mup * z / d1 - mu * z / d2
    return [vx, vz, ax, az]


# --------------------------------------------------------------- Pleiades --
PLEIADES_Y0 = ([3.0, 3.0, -1.0, -3.0, 2.0, -2.0, 2.0] +
               [3.0, -3.0, 2.0, 0.0, 0.0, -4.0, 4.0] +
               [0.0, 0.0, 0.0, 0.0, 0.0, 1.75, -1.5] +
               [0.0, 0.0, 0.0, -1.25, 1.0, 0.0, 0.0])


def pleiades(t, y, m):
    sqrt = m.sqrt
    x, z = y[0:7], y[7:14]
    ax = [0 * x[0]] * 7
    az = [0 * x[0]] * 7
    for i in range(7):
        for j in range(i + 1, 7):
            dx = x[j] - x[i]
            dz = z[j] - z[i]
            r2 = dx * dx + dz * dz
            r3 = r2 * sqrt(r2)
            # masses m_k = k (1-based)
            ax[i] += (j + 1) * dx / r3
            az[i] += (j + 1) * dz / r3
            ax[j] -= (i + 1) * dx / r3
            az[j] -= (i + 1) * dz / r3
    return list(y[14:28]) + ax + az


# ----------------------------------------------------------------- Lorenz --
def lorenz(t, y, m):
    sigma, rho, beta = m.c(10.0), m.c(28.0), m.c(8.0 / 3.0)
    return [sigma * (y[1] - y[0]), y[0] * (rho - y[2]) - y[1], y[0] * y[1] - beta * y[2]]


# ----------------------------------------------------------------- Kepler --
KEPLER_E = 0.6
KEPLER_Y0 = [1.0 - KEPLER_E, 0.0, 0.0, math.sqrt((1.0 + KEPLER_E) / (1.0 - KEPLER_E))]


def kepler(t, y, m):
    r2 = y[0] * y[0] + y[1] * y[1]
    r3 = r2 * m.sqrt(r2)
    return [y[2], y[3], -y[0] / r3, -y[1] / r3]


# ------------------------------------------------------------- Rigid body --
def rigidbody(t, y, m):
    # (I2 - I3)/(I2 I3) = 1, (I3 - I1)/(I3 I1) = -1, (I1 - I2)/(I1 I2) = -1/2
    return [y[1] * y[2], -y[0] * y[2], m.c(-0.51) * y[0] * y[1]]


# ------------------------------------------------------------ Brusselator --
BRUSS_N = 32
BRUSS_ALPHA = 0.02


def brusselator_y0():
    n = BRUSS_N
    u = [1.0 + math.sin(2.0 * math.pi * (i + 1) / (n + 1)) for i in range(n)]
    return u + [3.0] * n


def brusselator(t, y, m):
    n = BRUSS_N
    c = m.c(BRUSS_ALPHA * (n + 1) * (n + 1))
    one, three, four = m.c(1.0), m.c(3.0), m.c(4.0)
    u, v = y[:n], y[n:]
    du = [one] * n
    dv = [one] * n
    for i in range(n):
        ul = u[i - 1] if i > 0 else one
        ur = u[i + 1] if i < n - 1 else one
        vl = v[i - 1] if i > 0 else three
        vr = v[i + 1] if i < n - 1 else three
        uuv = u[i] * u[i] * v[i]
        du[i] = one + uuv - four * u[i] + c * (ul - 2 * u[i] + ur)
        dv[i] = three * u[i] - uuv + c * (vl - 2 * v[i] + vr)
    return du + dv


# name -> (right-hand side, initial value, t0, t1)
PROBLEMS = {
    "arenstorf": (arenstorf, ARENSTORF_Y0, 0.0, ARENSTORF_T1),
    "pleiades": (pleiades, PLEIADES_Y0, 0.0, 3.0),
    "lorenz": (lorenz, [1.0, 0.0, 0.0], 0.0, 20.0),
    "kepler": (kepler, KEPLER_Y0, 0.0, 20.0),
    "rigidbody": (rigidbody, [0.0, 1.0, 1.0], 0.0, 12.0),
    "brusselator": (brusselator, brusselator_y0(), 0.0, 10.0),
}
NAMES = list(PROBLEMS)


def read_references(path):
    """(name, data) -> list of floats (the decimal strings rounded to double);
    data is "double" or "float" (see references.py)."""
    refs = {}
    with open(path) as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            name, real, index, value = line.split()
            refs.setdefault((name, real), []).append(float(value))
    return refs
