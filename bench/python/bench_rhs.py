"""Python benchmark of rkv against SciPy (run with Debian's /usr/bin/python3, rkv importable):

1. per evaluation of a Python right-hand side: rkv.solve_ivp (each dtype) against SciPy's
   RK45, plain and with an event and dense output;
2. a compiled right-hand side (rkv.Integrator over rhs.c, no Python in the loop) against
   SciPy's fastest method reaching at least the same accuracy, on the Arenstorf orbit
   (one period) and on Lorenz (t in [0, 2]), for each dtype.

rkv runs at rtol 1e-8, atol = rtol * 1e-3, as SciPy's methods do; the float solver may
refuse that (float storage), and then uses the smallest of RTOLS it accepts. SciPy's
methods are timed at the loosest rtol (down to 1e-12) whose error is at most rkv's. Times
are best-of-REPEAT wall clock; the machine may be shared.

    /usr/bin/python3 bench/python/bench_rhs.py
"""

import os
import sys
import tempfile
import time
import warnings

import numpy as np
import scipy.integrate

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "python"))

import rkv  # noqa: E402
from problems import ARENSTORF_PERIOD, ARENSTORF_Y0, arenstorf, compile_rhs, lorenz  # noqa: E402

REPEAT = 5
RTOLS = [1e-8, 1e-7, 1e-6, 1e-5]
CASES = {"arenstorf": (arenstorf, (0.0, ARENSTORF_PERIOD), ARENSTORF_Y0),
         "lorenz": (lorenz, (0.0, 2.0), [1.0, 1.0, 1.0])}


def best_time(run):
    best, result = np.inf, None
    for _ in range(REPEAT):
        start = time.perf_counter()
        result = run()
        best = min(best, time.perf_counter() - start)
    return best, result


def error(y, ref):
    return float(np.max(np.abs(np.asarray(y, np.float64) - ref) / np.max(np.abs(ref))))


DTYPES = (np.float64, np.float32)


def per_evaluation():
    fun, t_span, y0 = CASES["lorenz"]
    t_rk45, s = best_time(lambda: scipy.integrate.solve_ivp(fun, t_span, y0, method="RK45",
                                                             rtol=1e-6, atol=1e-9))
    for dtype in DTYPES:
        t_rkv, r = best_time(lambda: rkv.solve_ivp(fun, t_span, y0, rtol=1e-6, atol=1e-9,
                                                   dtype=dtype))
        print(f"per evaluation (Python Lorenz), {np.dtype(dtype)}: rkv "
              f"{1e6 * t_rkv / r.nfev:.2f} us ({r.nfev} evaluations), "
              f"RK45 {1e6 * t_rk45 / s.nfev:.2f} us ({s.nfev})")
    # with an event and the continuous solution: the output and event layer of each
    def high(t, y):
        return y[2] - 20.0
    with_all = dict(rtol=1e-6, atol=1e-9, events=high, dense_output=True)
    t_rk45, s = best_time(lambda: scipy.integrate.solve_ivp(fun, t_span, y0, method="RK45",
                                                             **with_all))
    for dtype in DTYPES:
        t_rkv, r = best_time(lambda: rkv.solve_ivp(fun, t_span, y0, dtype=dtype, **with_all))
        print(f"per evaluation (Python Lorenz, an event and sol), {np.dtype(dtype)}: rkv "
              f"{1e6 * t_rkv / r.nfev:.2f} us ({r.nfev} evaluations), "
              f"RK45 {1e6 * t_rk45 / s.nfev:.2f} us ({s.nfev})")


def compiled_rkv(cfun, t_span, y0, dtype):
    for rtol in RTOLS:
        it = rkv.Integrator(cfun, dtype)
        tol, param, rtol_, atol = rkv._ivp.settings(*t_span, rtol, rtol * 1e-3, None, np.inf,
                                                    dtype)
        it.set_tolerances(rtol_, atol)

        def run():
            y = np.array(y0, dtype)
            p = param.copy()
            try:
                it.integrate(1, t_span[0], t_span[1], tol, p, y)
            finally:
                it._impl.integrate(3, t_span[0], t_span[1], tol, p, y)
            return y, int(p[34])
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                t, (y, nfev) = best_time(run)
            return rtol, t, y, nfev
        except rkv.Error:
            continue
    raise RuntimeError("no tolerance accepted")


def scipy_fastest(fun, t_span, y0, target, ref):
    best = None
    for method in ("RK45", "DOP853", "LSODA"):
        for rtol in 10.0 ** -np.arange(3, 13):
            s = scipy.integrate.solve_ivp(fun, t_span, y0, method=method, rtol=rtol,
                                          atol=rtol * 1e-3)
            if s.success and error(s.y[:, -1], ref) <= target:
                t, _ = best_time(lambda: scipy.integrate.solve_ivp(
                    fun, t_span, y0, method=method, rtol=rtol, atol=rtol * 1e-3))
                if best is None or t < best[0]:
                    best = (t, method, rtol, s.nfev)
                break
    return best


def main():
    per_evaluation()
    lib = compile_rhs(tempfile.mkdtemp())
    for name, (fun, t_span, y0) in CASES.items():
        ref = scipy.integrate.solve_ivp(fun, t_span, y0, method="DOP853", rtol=1e-13,
                                        atol=1e-13).y[:, -1]
        for dtype in DTYPES:
            rtol, t, y, nfev = compiled_rkv(getattr(lib, name), t_span, y0, dtype)
            err = error(y, ref)
            fast = scipy_fastest(fun, t_span, y0, err, ref)
            print(f"{name}, {np.dtype(dtype)}: rkv compiled rtol {rtol:g}: error {err:.2e}, "
                  f"{nfev} evaluations, {1e3 * t:.3f} ms")
            if fast:
                print(f"{name}, {np.dtype(dtype)}: SciPy fastest at that error: {fast[1]} "
                      f"rtol {fast[2]:g}, {fast[3]} evaluations, {1e3 * fast[0]:.3f} ms; "
                      f"ratio {fast[0] / t:.0f}x")


if __name__ == "__main__":
    main()
