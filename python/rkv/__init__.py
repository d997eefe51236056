"""rkv: the adaptive Runge-Kutta-Verner 6(5) solver from Python.

solve_ivp       SciPy's solve_ivp interface over this solver
RKV65           a scipy.integrate.OdeSolver, for scipy.integrate.solve_ivp(method=RKV65)
Integrator      the IDO protocol on NumPy arrays
ensemble        many members of a system with a compiled right-hand side, on all cores
Error           a FATAL or TERMINAL error of the solver (WARNINGs are rkv.Warning)
SIGNATURE       the C signature of a compiled right-hand side
"""

from ._compiled import CFUNCTYPE, SIGNATURE
from ._errors import Error, Warning  # noqa: A004
from ._integrator import Integrator
from ._ivp import OdeResult, ensemble, solve_ivp

__all__ = ["solve_ivp", "RKV65", "Integrator", "ensemble", "Error", "Warning", "OdeResult",
           "SIGNATURE", "CFUNCTYPE"]


def __getattr__(name):  # RKV65 needs SciPy, imported when first asked for
    if name == "RKV65":
        from ._solver import RKV65
        return RKV65
    raise AttributeError(f"module 'rkv' has no attribute {name!r}")
