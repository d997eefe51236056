"""Errors as Python expects them: rkv.Error for FATAL and TERMINAL errors, warnings for
WARNINGs, a right-hand side's exception (KeyboardInterrupt included) passed through with
the integration left usable, nothing printed and the interpreter never ended."""

import os
import signal
import warnings

import numpy as np
import pytest

import rkv
from rkv import _errors


def decay(t, y):
    return -y


# (what is wrong, settings, the call, expected type, code, start of the report's text)
CASES = [
    ("step limit", {3: 3, 2: 0.01}, (1, 0.0, 1.0, 1e-5), _errors.FATAL, 3,
     "Maximum number of steps allowed, 3, used."),
    ("bad INORM", {9: 7}, (1, 0.0, 1.0, 1e-5), _errors.TERMINAL, 10, ""),
    ("negative tol", {}, (1, 0.0, 1.0, -1.0), _errors.TERMINAL, 3, ""),
    ("not started", {}, (2, 0.0, 1.0, 1e-5), _errors.TERMINAL, 9, "IDO has been set to 2"),
]


DTYPES = [np.float64, np.float32]


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("what,settings,call,type_,code,text", CASES, ids=[c[0] for c in CASES])
def test_solver_errors_raise_quietly(capfd, dtype, what, settings, call, type_, code, text):
    it = rkv.Integrator(decay, dtype)
    param, y = it.new_param(), np.ones(1, dtype)
    for index, value in settings.items():
        param[index] = value
    with pytest.raises(rkv.Error) as caught:
        it.integrate(*call, param, y)
    assert (caught.value.type, caught.value.code) == (type_, code)
    assert caught.value.message.startswith(text) and caught.value.message
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("type_,outcome", [(1, None), (2, None), (3, "warn"), (6, "warn"),
                                           (4, "raise"), (5, "raise"), (7, "raise")])
def test_error_types_map_to_python(type_, outcome):
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        if outcome == "raise":
            with pytest.raises(rkv.Error):
                _errors.raise_outcome(type_, 1, "text")
        else:
            _errors.raise_outcome(type_, 1, "text")
    assert [w.category for w in seen] == ([rkv.Warning] if outcome == "warn" else [])


class Fails:
    """A right-hand side that raises `exc` on its `when`-th call, then works."""

    def __init__(self, exc, when=20):
        self.exc, self.when, self.calls = exc, when, 0

    def __call__(self, t, y):
        self.calls += 1
        if self.calls == self.when:
            if self.exc is KeyboardInterrupt:
                os.kill(os.getpid(), signal.SIGINT)  # seen at the next evaluation
            else:
                raise self.exc("from the right-hand side")
        return -y


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("exc", [ZeroDivisionError, KeyError, KeyboardInterrupt])
def test_exception_passes_through_and_integration_goes_on(capfd, exc, dtype):
    fun = Fails(exc)
    it = rkv.Integrator(fun, dtype)
    param, y = it.new_param(), np.ones(1, dtype)
    with pytest.raises(exc):
        it.integrate(1, 0.0, 4.0, 1e-5, param, y)
    assert fun.calls <= fun.when + 1 and 0 < it.x < 4.0  # abandoned at once
    # the integration is still open at its last accepted point: go on to the end
    ido, x = it.integrate(2, it.x, 4.0, 1e-5, param, y)
    assert (ido, x) == (2, pytest.approx(4.0))
    assert y[0] == pytest.approx(np.exp(-4.0), rel=1e-4)
    it.integrate(3, x, 4.0, 1e-5, param, y)
    assert capfd.readouterr() == ("", "")


def test_exception_in_solve_ivp_and_scipy_path():
    for solve in (rkv.solve_ivp,
                  lambda *a, **k: __import__("scipy.integrate").integrate.solve_ivp(
                      *a, method=rkv.RKV65, **k)):
        with pytest.raises(ZeroDivisionError):
            solve(Fails(ZeroDivisionError, when=5), (0, 1), [1.0])


@pytest.mark.parametrize("bad", [
    dict(dtype=np.int32, exc=ValueError),
    dict(dtype=np.float16, exc=ValueError),
    dict(rtol=-1.0, exc=ValueError),
    dict(atol=-1e-6, exc=ValueError),
    dict(atol=[[1e-6]], exc=ValueError),
    dict(atol=[1e-6, 1e-6], exc=rkv.Error),  # one per component of a system of one
    dict(rtol=0.0, atol=0.0, exc=rkv.Error),  # no weight at all
    dict(rtol=0.0, atol=0.0, dtype=np.float32, exc=rkv.Error),
    dict(method="RK45", exc=ValueError),
    dict(fun=lambda t, y: [1.0, 2.0], exc=ValueError),
    dict(fun=rkv.CFUNCTYPE(lambda n, t, y, f, d: None), args=(1.0,), exc=TypeError),
    dict(y0=[np.nan], exc=rkv.Error),
])
def test_bad_input_is_refused(bad):
    bad = dict(bad)
    exc, fun, y0 = bad.pop("exc"), bad.pop("fun", decay), bad.pop("y0", [1.0])
    with pytest.raises(exc):
        rkv.solve_ivp(fun, (0, 1), y0, **bad)


@pytest.mark.parametrize("dtype,other", [(np.float64, np.float32), (np.float32, np.float64)])
def test_arrays_must_be_the_integrators_own(dtype, other):
    it = rkv.Integrator(decay, dtype)
    with pytest.raises(TypeError):
        it.integrate(1, 0.0, 1.0, 1e-5, it.new_param(), np.ones(1, other))


@pytest.mark.parametrize("dtype", DTYPES)
def test_tolerances_are_refused_while_an_integration_is_open(dtype):
    it = rkv.Integrator(decay, dtype)
    param, y = it.new_param(), np.ones(1, dtype)
    it.set_tolerances(1e-6, 1e-9)
    ido, x = it.integrate(1, 0.0, 0.5, 1.0, param, y)
    with pytest.raises(rkv.Error) as caught:
        it.set_tolerances(1e-3, 1e-6)
    assert caught.value.type == _errors.TERMINAL
    ido, x = it.integrate(ido, x, 1.0, 1.0, param, y)  # the first tolerances still hold
    assert y[0] == pytest.approx(np.exp(-1.0), rel=1e-5)
    it.integrate(3, x, 1.0, 1.0, param, y)
    it.set_tolerances(1e-3, None)  # closed: cleared, INORM again
