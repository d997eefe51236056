#!/usr/bin/python3
"""SciPy's RK45 and DOP853 on the work-precision problems.

For each problem and tolerance 1e-3 ... 1e-12: solve_ivp with rtol = atol =
tol, the right-hand side of problems.py on Python floats; the achieved error
(max_i |y_i - ref_i| / max_i |ref_i| at the final time, as the C++ benchmark
measures it), the evaluations SciPy reports (nfev) and the time, which is
Python time (interpreted right-hand side and stepper): comparable among the
SciPy runs only. Writes the same CSV columns as rkv_work_precision.

    /usr/bin/python3 bench/wp/scipy_wp.py <references.txt> <out.csv> [problem ...]
"""

import os
import sys
import time

from scipy.integrate import solve_ivp

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import problems  # noqa: E402

METHODS = {"RK45": "scipy_rk45", "DOP853": "scipy_dop853"}
TIME_ONCE = 0.5  # seconds: a run that long is timed once, else the median of 3


def achieved_error(y, ref):
    diff = max(abs(a - b) for a, b in zip(y, ref))
    return diff / max(abs(b) for b in ref)


def one_run(f, y0, t0, t1, method, tol):
    rhs = lambda t, y: f(t, y.tolist(), problems.FLOATS)  # noqa: E731
    start = time.perf_counter()
    sol = solve_ivp(rhs, (t0, t1), y0, method=method, rtol=tol, atol=tol)
    return sol, time.perf_counter() - start


def main():
    refs = problems.read_references(sys.argv[1])
    names = sys.argv[3:] or problems.NAMES
    with open(sys.argv[2], "w") as out:
        out.write("problem,method,real,tol,ok,error,evaluations,steps,seconds,repetitions,note\n")
        for name in names:
            f, y0, t0, t1 = problems.PROBLEMS[name]
            for method, label in METHODS.items():
                for k in range(3, 13):
                    tol = 10.0 ** -k
                    sol, first = one_run(f, y0, t0, t1, method, tol)
                    times = [first]
                    while first < TIME_ONCE and len(times) < 3:
                        times.append(one_run(f, y0, t0, t1, method, tol)[1])
                    seconds = sorted(times)[len(times) // 2]
                    err = achieved_error(sol.y[:, -1], refs[(name, "double")])
                    steps = len(sol.t) - 1
                    out.write("%s,%s,double,%.0e,%d,%.6e,%d,%d,%.6e,%d,python time\n" % (
                        name, label, tol, 1 if sol.success else 0, err, sol.nfev, steps,
                        seconds, len(times)))
                    out.flush()
                    print("%-12s %-13s tol %.0e  error %.2e  evaluations %8d  %.3e s (Python)" % (
                        name, label, tol, err, sol.nfev, seconds), flush=True)


if __name__ == "__main__":
    main()
