"""rkv.solve_ivp with SciPy's interface, and rkv.ensemble.

Without t_eval, events or dense output the integration runs on
rkv.Integrator directly: every accepted step is recorded (a pause after each
attempt). t_eval, events and ``sol`` come from the solver's own continuous
extension through the library's output-point and event layer (_dense.py),
for Python and compiled right-hand sides alike; neither needs SciPy.
"""

import os

import numpy as np

from . import _rkv
from ._compiled import address_of
from ._dense import event_list, integrate
from ._errors import FATAL, FATAL_IMMEDIATE, TERMINAL, Error
from ._integrator import Integrator, check_dtype

# PARAM entries (0-based): the settings the SciPy-style interface sets.
_FIRST_STEP, _HMAX, _MAX_STEPS, _PAUSE_AFTER = 0, 2, 3, 7
_LAST_STEP, _EVALUATIONS = 30, 34
_NO_STEP_LIMIT = 0.5  # a value in (0, 1): no limit on the number of steps


class OdeResult(dict):
    """The result, with its entries as attributes (as SciPy's)."""

    __getattr__ = dict.__getitem__

    def __dir__(self):
        return list(self.keys())


def settings(t0, t1, rtol, atol, first_step, max_step, dtype):
    """(tol, param, rtol, atol) for SciPy's tolerances: RTOL and ATOL (a scalar or one per
    component, of the dtype) go to the solver's tolerances with tol = 1, so that each step's
    weighted error max_i |err_i| / (atol_i + rtol*|y_i|) is at most 1."""
    rtol = float(rtol)
    atol = np.asarray(atol, dtype=np.float64)
    if atol.ndim > 1:
        raise ValueError("`atol` must be a scalar or a 1-D array")
    if not rtol >= 0 or np.any(~(atol >= 0)):
        raise ValueError("rtol and atol must be non-negative")
    param = np.zeros(50, dtype)
    param[_MAX_STEPS] = _NO_STEP_LIMIT
    span = abs(float(t1) - float(t0))
    if max_step is not None and np.isfinite(max_step):
        if not max_step > 0:
            raise ValueError("max_step must be positive")
        param[_HMAX] = max_step
    elif span > 0:
        param[_HMAX] = span
    if first_step is not None:
        if not 0 < first_step <= max(span, np.finfo(np.float64).tiny):
            raise ValueError("first_step must be positive and not beyond the interval")
        param[_FIRST_STEP] = first_step
    return 1.0, param, rtol, atol.reshape(-1).astype(dtype)


def _python_rhs(fun, args, vectorized):
    if vectorized:
        def f(t, y):
            return np.asarray(fun(t, y[:, None], *(args or ()))).reshape(-1)
        return f
    if args is not None:
        return lambda t, y: fun(t, y, *args)
    return fun


def _steps(it, t0, t1, tol, param, y):
    """Every accepted step to t1: a pause after each attempt, answered with the solver's
    own verdict; the candidate of a passed attempt is the next point."""
    param[_PAUSE_AFTER] = 1
    ts, ys = [t0], [y.copy()]
    ido, x = 1, t0
    while True:
        ido, x = it.integrate(ido, x, t1, tol, param, y)
        if ido == 2:
            return ts, ys
        if ido == 5:
            ts.append(float(np.asarray(np.float64(x) + np.float64(param[_LAST_STEP]),
                                       dtype=y.dtype)))
            ys.append(y.copy())


def _check_span(t_span, t_eval):
    t0, t1 = map(float, t_span)
    if t_eval is None:
        return t0, t1, None
    t_eval = np.asarray(t_eval, dtype=np.float64)
    if t_eval.ndim != 1:
        raise ValueError("`t_eval` must be 1-dimensional.")
    if np.any(t_eval < min(t0, t1)) or np.any(t_eval > max(t0, t1)):
        raise ValueError("Values in `t_eval` are not within `t_span`.")
    d = np.diff(t_eval)
    if t1 > t0 and np.any(d <= 0) or t1 < t0 and np.any(d >= 0):
        raise ValueError("Values in `t_eval` are not properly sorted.")
    return t0, t1, t_eval


def solve_ivp(fun, t_span, y0, method="RKV65", t_eval=None, dense_output=False, events=None,
              vectorized=False, args=None, *, rtol=1e-3, atol=1e-6, first_step=None,
              max_step=np.inf, dtype=np.float64, **options):
    """scipy.integrate.solve_ivp over the RKV 6(5) pair (see the documentation for what
    differs). ``fun`` may be a compiled function (rkv.SIGNATURE)."""
    if method not in ("RKV65", "rkv65") and getattr(method, "__name__", None) != "RKV65":
        raise ValueError(f"method must be 'RKV65', not {method!r}")
    dtype = check_dtype(dtype)
    if args is not None and not isinstance(args, tuple):
        args = (args,)
    if options:
        import warnings
        warnings.warn(f"The following arguments have no effect: {sorted(options)}.",
                      stacklevel=2)
    t0, t1, t_eval = _check_span(t_span, t_eval)
    y = np.array(y0, dtype=dtype).reshape(-1)
    compiled = address_of(fun) is not None
    if compiled and (args is not None or vectorized):
        raise TypeError("a compiled right-hand side takes neither args (pass its user_data "
                        "through a scipy.LowLevelCallable) nor vectorized")
    it = Integrator(fun if compiled else _python_rhs(fun, args, vectorized), dtype)
    tol, param, rtol, atol = settings(t0, t1, rtol, atol, first_step, max_step, dtype)
    it.set_tolerances(rtol, atol)
    events = event_list(events, args)
    if t_eval is not None or events or dense_output:
        t, y, sol, t_events, y_events, status, nfev = integrate(
            it, t0, t1, tol, param, y, t_eval, events, dense_output)
        return _result(t, y, nfev, status, sol, t_events, y_events)
    try:
        ts, ys = _steps(it, t0, t1, tol, param, y) if t1 != t0 else ([t0], [y.copy()])
    finally:  # closes quietly: an error of the integration is the one to see
        it._impl.integrate(3, t0, t1, tol, param, y)
    if ts[-1] != t1 and len(ts) > 1:
        ts[-1] = t1  # the last step ends on t1 as rounded to the dtype
    return _result(np.array(ts), np.array(ys, dtype=dtype).reshape(len(ts), y.size).T,
                   int(param[_EVALUATIONS]), 0)


_MESSAGES = {0: "The solver successfully reached the end of the integration interval.",
             1: "A termination event occurred."}


def _result(t, y, nfev, status, sol=None, t_events=None, y_events=None):
    return OdeResult(t=t, y=y, sol=sol, t_events=t_events, y_events=y_events, nfev=nfev,
                     njev=0, nlu=0, status=status, message=_MESSAGES[status], success=True)


def ensemble(fun, t_span, y0, *, rtol=1e-3, atol=1e-6, first_step=None, max_step=np.inf,
             dtype=np.float64, threads=None, max_steps=None):
    """Integrates each row of y0 (members x components) from t_span[0] to t_span[1] with
    the compiled right-hand side ``fun``, on ``threads`` threads (default: all cores) with
    the GIL released. Returns an OdeResult with ``y`` (members x components) at the end,
    ``t`` (the end each member reached), ``nfev`` per member, ``status`` (0 or -1) and
    ``errors``: per member None or the rkv.Error it met. ``max_steps`` limits the steps of
    each member (default: no limit). Each member's result is the same bits as its
    integration alone."""
    dtype = check_dtype(dtype)
    compiled = address_of(fun)
    if compiled is None:
        raise TypeError("ensemble needs a compiled right-hand side (rkv.SIGNATURE)")
    t0, t1 = map(float, t_span)
    tol, param, rtol, atol = settings(t0, t1, rtol, atol, first_step, max_step, dtype)
    if max_steps is not None:
        param[_MAX_STEPS] = max_steps
    y0 = np.atleast_2d(np.asarray(y0, dtype=dtype))
    if threads is None:
        threads = (len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity")
                   else os.cpu_count() or 1)
    run = _rkv.ensemble64 if dtype == np.float64 else _rkv.ensemble32
    y, t, types, codes, messages, nfev = run(*compiled, t0, t1, y0, tol, rtol, atol, param,
                                             int(threads))
    errors = [Error(int(ty), int(co), msg) if ty in (FATAL, TERMINAL, FATAL_IMMEDIATE) else None
              for ty, co, msg in zip(types, codes, messages)]
    status = np.array([-1 if e is not None else 0 for e in errors])
    return OdeResult(t=t, y=y, nfev=nfev, status=status, errors=errors,
                     success=bool(np.all(status == 0)))
