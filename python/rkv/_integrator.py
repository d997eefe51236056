"""rkv.Integrator: the IDO protocol on NumPy arrays, for code ported from it."""

import numpy as np

from . import _rkv
from ._compiled import address_of
from ._errors import raise_outcome

PARAM_SIZE = 50
# The solver per storage dtype: float64 stores and computes in double; float32 stores float
# and computes each formula in double, rounding once where it stores.
_CLASSES = {np.dtype(np.float64): _rkv.Integrator64, np.dtype(np.float32): _rkv.Integrator32}


def check_dtype(dtype):
    """The NumPy dtype of a solver this build has, or ValueError."""
    dtype = np.dtype(dtype)
    if dtype in _CLASSES:
        return dtype
    raise ValueError(f"dtype must be numpy.float64 or numpy.float32, not {dtype}")


class Integrator:
    """An integration driven by the IDO protocol: ``integrate(ido, x, xend, tol, param, y)``
    updates ``y`` and ``param`` (arrays of the integrator's dtype, ``param`` with 50 entries)
    in place and returns ``(ido, x)``. ``fun(t, y)`` is a Python callable or a compiled
    function (see rkv.SIGNATURE); ``args`` are passed on to a Python ``fun``."""

    def __init__(self, fun, dtype=np.float64, *, args=None):
        self.dtype = check_dtype(dtype)
        cls = _CLASSES[self.dtype]
        compiled = address_of(fun)
        if compiled is not None:
            self._impl = cls(*compiled)
        elif args is not None:
            self._impl = cls(lambda t, y: fun(t, y, *args))
        else:
            self._impl = cls(fun)
        self.fun = fun

    @property
    def compiled(self):
        """True when the right-hand side is compiled (no Python per evaluation)."""
        return self._impl.compiled

    @property
    def x(self):
        """X as the last call left it, also when the call raised (an rkv.Error or an
        exception of the right-hand side): the last accepted point, where Y is."""
        return self._impl.x

    def set_tolerances(self, rtol, atol):
        """RTOL and ATOL (a scalar or one per component) in place of INORM for the next
        integration: a step is accepted when max_i |err_i| / (atol_i + rtol*|y_i|) <= tol, so
        tol = 1 gives the tolerances their usual meaning. ``atol=None`` clears them. Refused
        (rkv.Error) while an integration is open; the values are checked by IDO = 1."""
        atol = np.zeros(0) if atol is None else np.asarray(atol, np.float64)
        raise_outcome(*self._impl.set_tolerances(float(rtol), atol.astype(self.dtype)))

    def new_param(self):
        """A PARAM array of zeros (every setting at its default)."""
        return np.zeros(PARAM_SIZE, self.dtype)

    def integrate(self, ido, x, xend, tol, param, y):
        ido, x, type, code, message = self._impl.integrate(ido, x, xend, tol, param, y)
        raise_outcome(type, code, message)
        return ido, x

    @staticmethod
    def statistics(param):
        """The statistics PARAM(31..35) as a dict."""
        return {"last_step": float(param[30]), "hmin": float(param[31]),
                "hmax": float(param[32]), "steps": int(param[33]),
                "evaluations": int(param[34])}
