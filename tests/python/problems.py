"""Standard problems for the tests and the benchmark: Python right-hand sides, the same
arithmetic as rhs.c, and a loader that compiles rhs.c into a shared library."""

import ctypes
import math
import os
import subprocess

import numpy as np

MU = 0.012277471
NU = 1.0 - MU


def oscillator(t, y):
    return np.array([y[1], -y[0]])


def arenstorf(t, y):
    a = (y[0] + MU) * (y[0] + MU) + y[1] * y[1]
    b = (y[0] - NU) * (y[0] - NU) + y[1] * y[1]
    d1, d2 = a * math.sqrt(a), b * math.sqrt(b)
    return np.array([y[2], y[3],
                     y[0] + 2.0 * y[3] - NU * (y[0] + MU) / d1 - MU * (y[0] - NU) / d2,
                     y[1] - 2.0 * y[2] - NU * y[1] / d1 - MU * y[1] / d2])


def lorenz(t, y):
    return np.array([10.0 * (y[1] - y[0]), y[0] * (28.0 - y[2]) - y[1],
                     y[0] * y[1] - 8.0 / 3.0 * y[2]])


def lotka_volterra(t, y):
    return np.array([1.5 * y[0] - y[0] * y[1], -3.0 * y[1] + y[0] * y[1]])


ARENSTORF_Y0 = [0.994, 0.0, 0.0, -2.00158510637908252240537862224]
ARENSTORF_PERIOD = 17.0652165601579625588917206249

# name: (Python function, t_span, y0)
PROBLEMS = {
    "oscillator": (oscillator, (0.0, 10.0), [1.0, 0.0]),
    "lotka_volterra": (lotka_volterra, (0.0, 5.0), [1.0, 1.0]),
    "arenstorf": (arenstorf, (0.0, ARENSTORF_PERIOD / 2), ARENSTORF_Y0),
    "lorenz": (lorenz, (0.0, 2.0), [1.0, 1.0, 1.0]),
}


def compile_rhs(directory):
    """ctypes.CDLL of rhs.c built into `directory` with the system's C compiler."""
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "rhs.c")
    library = os.path.join(directory, "librkv_test_rhs.so")
    subprocess.run([os.environ.get("CC", "cc"), "-O2", "-ffp-contract=off", "-shared", "-fPIC",
                    "-o", library, source], check=True)
    return ctypes.CDLL(library)
