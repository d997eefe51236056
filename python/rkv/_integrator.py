"""rkv.Integrator: the IDO protocol on NumPy arrays, for code ported from it."""

import numpy as np

from . import _rkv
from ._compiled import address_of
from ._errors import raise_outcome

PARAM_SIZE = 50
_CLASSES = {np.dtype(np.float32): _rkv.Integrator32}


def check_dtype(dtype):
    """The NumPy dtype of a solver this build has, or NotImplementedError/ValueError."""
    dtype = np.dtype(dtype)
    if dtype in _CLASSES:
        return dtype
    if dtype == np.float64:
        raise NotImplementedError(
            "dtype=numpy.float64 needs the double-precision solver, which this build of rkv "
            "does not have yet; use dtype=numpy.float32 (the solver stores float and computes "
            "in double)")
    raise ValueError(f"dtype must be numpy.float32, not {dtype}")


class Integrator:
    """An integration driven by the IDO protocol: ``integrate(ido, x, xend, tol, param, y)``
    updates ``y`` and ``param`` (arrays of the integrator's dtype, ``param`` with 50 entries)
    in place and returns ``(ido, x)``. ``fun(t, y)`` is a Python callable or a compiled
    function (see rkv.SIGNATURE); ``args`` are passed on to a Python ``fun``."""

    def __init__(self, fun, dtype=np.float32, *, args=None):
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
