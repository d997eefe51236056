"""Results of rkv.solve_ivp, rkv.RKV65 and rkv.ensemble: against SciPy's DOP853 at a tight
tolerance, and the same bits on every path that takes the same steps."""

import ctypes

import numpy as np
import pytest
import scipy.integrate

import rkv
from problems import ARENSTORF_Y0, PROBLEMS

RTOL, ATOL = 1e-5, 1e-8


def ido_run(fun, t_span, y0, rtol=RTOL, atol=ATOL):
    """The solution at t_span[1] from one IDO = 1 call of rkv.Integrator, settings as
    solve_ivp makes them."""
    it = rkv.Integrator(fun)
    tol, param = rkv._ivp.settings(*t_span, rtol, atol, None, np.inf, np.float32)
    y = np.array(y0, np.float32)
    ido, x = it.integrate(1, t_span[0], t_span[1], tol, param, y)
    it.integrate(3, x, t_span[1], tol, param, y)
    return ido, y


@pytest.mark.parametrize("name", sorted(PROBLEMS))
def test_agrees_with_dop853(name):
    fun, t_span, y0 = PROBLEMS[name]
    ref = scipy.integrate.solve_ivp(fun, t_span, y0, method="DOP853", rtol=1e-13, atol=1e-13)
    res = rkv.solve_ivp(fun, t_span, y0, rtol=RTOL, atol=ATOL)
    assert res.success and res.t[-1] == t_span[1]
    scale = np.max(np.abs(ref.y), axis=1)
    # the float solver's errors at RTOL (measured: 1.3e-6, 3.4e-5, 2.3e-4, 6.8e-6)
    bound = {"oscillator": 1e-5, "lotka_volterra": 1e-4, "arenstorf": 5e-4}.get(name, 5e-5)
    assert np.max(np.abs(res.y[:, -1] - ref.y[:, -1]) / scale) < bound


@pytest.mark.parametrize("name", sorted(PROBLEMS))
def test_same_bits_on_every_path(name, clib):
    fun, t_span, y0 = PROBLEMS[name]
    ido, alone = ido_run(fun, t_span, y0)
    assert ido == 2
    via_steps = rkv.solve_ivp(fun, t_span, y0, rtol=RTOL, atol=ATOL)
    via_scipy = scipy.integrate.solve_ivp(fun, t_span, y0, method=rkv.RKV65, rtol=RTOL,
                                          atol=ATOL)
    compiled = rkv.solve_ivp(getattr(clib, name, None) or fun, t_span, y0, rtol=RTOL,
                             atol=ATOL)
    for y in (via_steps.y[:, -1], via_scipy.y[:, -1].astype(np.float32), compiled.y[:, -1]):
        np.testing.assert_array_equal(y, alone)
    np.testing.assert_array_equal(via_steps.t, via_scipy.t)
    assert via_steps.nfev == via_scipy.nfev == compiled.nfev


def test_matches_the_cpp_example():
    # examples/oscillator.cpp's output points (without its veto): tol 1e-5, default norm
    it = rkv.Integrator(PROBLEMS["oscillator"][0])
    param, y, x, ido = it.new_param(), np.array([1, 0], np.float32), 0.0, 1
    for xend in (0.25, 0.5, 0.75, 1.0):
        ido, x = it.integrate(ido, x, xend, 1e-5, param, y)
    assert y.view(np.uint32).tolist() == [0x3F0A5140, 0xBF576AA5]


def test_t_eval_points_are_hit():
    fun, _, y0 = PROBLEMS["oscillator"]
    assert rkv.solve_ivp(fun, (0, 3), y0, t_eval=[]).y.shape == (2, 0)
    t_eval = np.linspace(0, 3, 7)
    res = rkv.solve_ivp(fun, (0, 3), y0, t_eval=t_eval, rtol=RTOL, atol=ATOL)
    np.testing.assert_array_equal(res.t, t_eval)
    np.testing.assert_allclose(res.y[0], np.cos(t_eval), atol=1e-5)


def test_events_and_dense_output_through_scipy():
    fun, _, y0 = PROBLEMS["oscillator"]

    def crossing(t, y):
        return y[0]
    crossing.terminal, crossing.direction = True, 1
    res = rkv.solve_ivp(fun, (0, 10), y0, events=crossing, dense_output=True, rtol=RTOL,
                        atol=ATOL)
    assert res.status == 1 and res.t_events[0][0] == pytest.approx(1.5 * np.pi, abs=1e-5)
    ts = np.linspace(0, res.t[-1], 50)
    np.testing.assert_allclose(res.sol(ts)[0], np.cos(ts), atol=3e-4)  # cubic Hermite


def test_compiled_user_data(clib):
    k = ctypes.c_double(0.5)
    llc = scipy.LowLevelCallable(ctypes.cast(clib.decay, rkv.CFUNCTYPE),
                                 ctypes.cast(ctypes.pointer(k), ctypes.c_void_p))
    res = rkv.solve_ivp(llc, (0, 2), [1.0, 2.0], rtol=RTOL, atol=ATOL)
    np.testing.assert_allclose(res.y[:, -1], np.exp(-1.0) * np.array([1, 2]), rtol=1e-5)


def test_ensemble_members_are_their_runs_alone(clib):
    rng = np.random.default_rng(7)
    y0 = np.array(ARENSTORF_Y0) + 1e-4 * rng.standard_normal((9, 4))
    t_span = (0.0, 1.0)
    res = rkv.ensemble(clib.arenstorf, t_span, y0, rtol=RTOL, atol=ATOL, threads=3)
    assert res.success and np.all(res.t == 1.0)
    for k in range(len(y0)):
        np.testing.assert_array_equal(res.y[k], ido_run(clib.arenstorf, t_span, y0[k])[1])


def test_ensemble_reports_each_member():
    # a member that cannot finish in the step limit is an error of that member only
    res = rkv.ensemble(rkv.CFUNCTYPE(lambda n, t, y, f, d: None), (0, 1), np.ones((2, 1)),
                       max_step=1e-2, max_steps=10, threads=2)
    assert not res.success and res.status.tolist() == [-1, -1]
    assert [(e.type, e.code) for e in res.errors] == [(rkv._errors.FATAL, 3)] * 2
    assert np.all(res.t < 1.0)


def compiled_forms(clib):
    """The ways of passing rhs.c's lorenz (and Numba's, where installed), by name."""
    pointer = ctypes.cast(clib.lorenz, rkv.CFUNCTYPE)
    forms = {"address": ctypes.cast(clib.lorenz, ctypes.c_void_p).value,
             "ctypes": clib.lorenz, "CFUNCTYPE": pointer,
             "LowLevelCallable": scipy.LowLevelCallable(pointer)}
    try:
        import cffi
        ffi = cffi.FFI()
        ffi.cdef("void lorenz(int32_t, double, const double *, double *, void *);")
        lib = ffi.dlopen(clib._name)
        forms["cffi"] = ffi.cast("void (*)(int32_t, double, const double *, double *, void *)",
                                 ffi.addressof(lib, "lorenz"))
    except ImportError:
        pass
    try:
        import numba
        from numba import carray, types
    except ImportError:
        return forms
    sig = types.void(types.int32, types.float64, types.CPointer(types.float64),
                     types.CPointer(types.float64), types.voidptr)

    @numba.cfunc(sig)
    def lorenz(n, t, y_, f_, data):
        y, f = carray(y_, (3,)), carray(f_, (3,))
        f[0] = 10.0 * (y[1] - y[0])
        f[1] = y[0] * (28.0 - y[2]) - y[1]
        f[2] = y[0] * y[1] - 8.0 / 3.0 * y[2]
    forms["numba"] = lorenz
    return forms


def test_every_form_of_compiled_function_gives_the_python_bits(clib):
    fun, t_span, y0 = PROBLEMS["lorenz"]
    want = rkv.solve_ivp(fun, t_span, y0, rtol=RTOL, atol=ATOL)
    for form, compiled in compiled_forms(clib).items():
        got = rkv.solve_ivp(compiled, t_span, y0, rtol=RTOL, atol=ATOL)
        assert rkv.Integrator(compiled).compiled, form
        np.testing.assert_array_equal(got.y, want.y, err_msg=form)
