"""rkv.RKV65: the solver as a scipy.integrate.OdeSolver, so that
scipy.integrate.solve_ivp(fun, t_span, y0, method=rkv.RKV65) works, with
SciPy's own event location and output on top.

Each step is one accepted attempt of rkv.Integrator (a pause after every
attempt, answered with the solver's own verdict), so the steps are the
integrator's bits. The dense output of a step is the cubic Hermite
interpolant of the values and derivatives at its ends; the derivatives cost
one evaluation per step (the one at the step's end), counted in nfev.
"""

import numpy as np
from scipy.integrate import DenseOutput, OdeSolver

from ._integrator import Integrator, check_dtype
from ._ivp import _LAST_STEP, _PAUSE_AFTER, settings


class HermiteOutput(DenseOutput):
    """The cubic through (t_old, y_old, f_old) and (t, y, f)."""

    def __init__(self, t_old, t, y_old, y, f_old, f):
        super().__init__(t_old, t)
        self.h = t - t_old
        self.data = (y_old, y, f_old, f)

    def _call_impl(self, t):
        y0, y1, f0, f1 = self.data
        s = (np.asarray(t, dtype=np.float64) - self.t_old) / self.h
        h00 = (1 + 2 * s) * (1 - s) ** 2
        h10 = s * (1 - s) ** 2
        h01 = s * s * (3 - 2 * s)
        h11 = s * s * (s - 1)
        if np.ndim(s) > 0:
            y0, y1, f0, f1 = (v[:, None] for v in (y0, y1, f0, f1))
        return h00 * y0 + h10 * self.h * f0 + h01 * y1 + h11 * self.h * f1


class RKV65(OdeSolver):
    """The Runge-Kutta-Verner 6(5) pair of rkv; ``dtype`` selects the solver (float64, the
    default, or float32: stores float, computes in double)."""

    def __init__(self, fun, t0, y0, t_bound, max_step=np.inf, rtol=1e-3, atol=1e-6,
                 vectorized=False, first_step=None, dtype=np.float64, **extraneous):
        from scipy.integrate._ivp.common import warn_extraneous
        warn_extraneous(extraneous)
        super().__init__(fun, t0, y0, t_bound, vectorized, support_complex=False)
        self.dtype = check_dtype(dtype)
        self._tol, self._param, rtol, atol = settings(t0, t_bound, rtol, atol, first_step,
                                                      max_step, self.dtype)
        self._param[_PAUSE_AFTER] = 1
        self._integrator = Integrator(self.fun, self.dtype)
        self._integrator.set_tolerances(rtol, atol)
        self._y = np.array(y0, dtype=self.dtype).reshape(-1)
        self.y = self._y.astype(np.float64)
        self._x, self._ido = float(t0), 1
        self._f = {}  # derivative at a step's end, by t (the last two steps)
        self._previous = None

    def _step_impl(self):
        if self._ido == 2:  # the end, as rounded to the dtype, was reached
            return False, "The end of the interval was reached before t_bound."
        ido = self._ido
        while True:
            ido, x = self._integrator.integrate(ido, self._x, self.t_bound, self._tol,
                                                self._param, self._y)
            self._x = x
            if ido != 6:
                break
        self._previous = (self.t, self.y)
        if ido == 2:  # cannot happen after a passed attempt was answered; kept for safety
            self._ido = 2
            t = self.t_bound
        else:
            self._ido = 5
            t = float(np.asarray(np.float64(x) + np.float64(self._param[_LAST_STEP]),
                                 dtype=self.dtype))
            if t == float(np.asarray(self.t_bound, dtype=self.dtype)):
                t = self.t_bound
        self.t, self.y = t, self._y.astype(np.float64)
        self.h_abs = abs(float(self._param[_LAST_STEP]))
        return True, None

    def _derivative(self, t, y):
        if t not in self._f:
            if len(self._f) > 2:
                self._f.pop(next(iter(self._f)))
            self._f[t] = np.asarray(self.fun(t, y), dtype=np.float64)
        return self._f[t]

    def _dense_output_impl(self):
        t_old, y_old = self._previous
        return HermiteOutput(t_old, self.t, y_old, self.y, self._derivative(t_old, y_old),
                             self._derivative(self.t, self.y))

    def __del__(self):
        try:
            self._integrator._impl.integrate(3, self._x, self.t_bound, self._tol,
                                             self._param, self._y)
        except Exception:  # noqa: BLE001 - the interpreter may be shutting down
            pass
