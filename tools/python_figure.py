"""Draws docs/images/python_arenstorf.png, the picture of docs/python.md: the Arenstorf
orbit from rkv.solve_ivp in double (every accepted step, the continuous solution sol
between them, and the upward crossings of the x-axis as events) over SciPy's DOP853 at a
tight tolerance.

    PYTHONPATH=build/python/python /usr/bin/python3 tools/python_figure.py
"""

import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
import scipy.integrate  # noqa: E402

import rkv  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "python"))
from problems import ARENSTORF_PERIOD, ARENSTORF_Y0, arenstorf  # noqa: E402


def main():
    span = (0.0, ARENSTORF_PERIOD)
    def up(t, y):
        return y[1]
    up.direction = 1
    res = rkv.solve_ivp(arenstorf, span, ARENSTORF_Y0, rtol=1e-6, atol=1e-9, events=up,
                        dense_output=True)
    ts = np.linspace(*span, 2000)
    ref = scipy.integrate.solve_ivp(arenstorf, span, ARENSTORF_Y0, method="DOP853",
                                    rtol=1e-12, atol=1e-12, t_eval=ts)
    fig, ax = plt.subplots(figsize=(6, 6), dpi=100)
    ax.plot(ref.y[0], ref.y[1], color="0.75", lw=3, label="SciPy DOP853, rtol 1e-12")
    ax.plot(*res.sol(ts)[:2], color="C0", lw=0.8, label="rkv: sol(t), the continuous solution")
    ax.plot(res.y[0], res.y[1], ".", ms=2.5, color="C0",
            label=f"rkv.solve_ivp (float64), rtol 1e-6: {len(res.t) - 1} steps")
    ax.plot(res.y_events[0][:, 0], res.y_events[0][:, 1], "^", color="C3", ms=6,
            label="rkv: events, x-axis crossed upwards")
    ax.plot([-0.012277471, 0.987722529], [0, 0], "o", color="k", ms=4)
    ax.set_xlabel("$y_1$")
    ax.set_ylabel("$y_2$")
    ax.set_title("Arenstorf orbit, one period")
    ax.set_aspect("equal")
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.1), ncol=2, fontsize=8)
    fig.tight_layout()
    fig.savefig(os.path.join(ROOT, "docs", "images", "python_arenstorf.png"))


if __name__ == "__main__":
    main()
