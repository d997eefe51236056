"""Results of rkv.solve_ivp, rkv.RKV65 and rkv.ensemble: against SciPy's DOP853 at a tight
tolerance, and the same bits on every path that takes the same steps."""

import ctypes

import numpy as np
import pytest
import scipy.integrate

import rkv
from problems import ARENSTORF_Y0, PROBLEMS

RTOL, ATOL = 1e-5, 1e-8
DTYPES = [np.float64, np.float32]


def ido_run(fun, t_span, y0, rtol=RTOL, atol=ATOL, dtype=np.float64):
    """The solution at t_span[1] from one IDO = 1 call of rkv.Integrator, settings as
    solve_ivp makes them."""
    it = rkv.Integrator(fun, dtype)
    tol, param, rtol, atol = rkv._ivp.settings(*t_span, rtol, atol, None, np.inf, dtype)
    it.set_tolerances(rtol, atol)
    y = np.array(y0, dtype)
    ido, x = it.integrate(1, t_span[0], t_span[1], tol, param, y)
    it.integrate(3, x, t_span[1], tol, param, y)
    return ido, y


# dtype: (rtol, atol, {problem: bound on the error relative to the solution's largest
# value}); measured: float32 at 1e-5 1.3e-6 .. 5.2e-5, float64 at 1e-10 1.2e-11 (oscillator),
# 4.5e-10 (Lotka-Volterra), 1.3e-8 (Arenstorf's close approach), 1.4e-10 (Lorenz)
ACCURACY = {
    np.float32: (RTOL, ATOL, {"oscillator": 1e-5, "lotka_volterra": 1e-4,
                              "arenstorf": 5e-4, "lorenz": 5e-5}),
    np.float64: (1e-10, 1e-12, {"oscillator": 1e-10, "lotka_volterra": 1e-9,
                                "arenstorf": 5e-8, "lorenz": 2e-9}),
}


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("name", sorted(PROBLEMS))
def test_agrees_with_dop853(name, dtype):
    fun, t_span, y0 = PROBLEMS[name]
    rtol, atol, bounds = ACCURACY[dtype]
    ref = scipy.integrate.solve_ivp(fun, t_span, y0, method="DOP853", rtol=1e-13, atol=1e-14)
    res = rkv.solve_ivp(fun, t_span, y0, rtol=rtol, atol=atol, dtype=dtype)
    assert res.success and res.t[-1] == t_span[1] and res.y.dtype == dtype
    scale = np.max(np.abs(ref.y), axis=1)
    assert np.max(np.abs(res.y[:, -1] - ref.y[:, -1]) / scale) < bounds[name]


@pytest.mark.parametrize("dtype", DTYPES)
def test_per_component_atol_weighs_each_component(dtype):
    # a component held only by its atol: a loose atol on it takes fewer steps than a
    # tight one, and the same atol given per component is the scalar's bits
    fun, t_span, y0 = PROBLEMS["lotka_volterra"]
    scalar = rkv.solve_ivp(fun, t_span, y0, rtol=0.0, atol=1e-6, dtype=dtype)
    same = rkv.solve_ivp(fun, t_span, y0, rtol=0.0, atol=[1e-6, 1e-6], dtype=dtype)
    loose = rkv.solve_ivp(fun, t_span, y0, rtol=0.0, atol=[1e-6, 1e-2], dtype=dtype)
    np.testing.assert_array_equal(same.y, scalar.y)
    assert loose.nfev < scalar.nfev


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("name", sorted(PROBLEMS))
def test_same_bits_on_every_path(name, clib, dtype):
    fun, t_span, y0 = PROBLEMS[name]
    ido, alone = ido_run(fun, t_span, y0, dtype=dtype)
    assert ido == 2
    via_steps = rkv.solve_ivp(fun, t_span, y0, rtol=RTOL, atol=ATOL, dtype=dtype)
    via_scipy = scipy.integrate.solve_ivp(fun, t_span, y0, method=rkv.RKV65, rtol=RTOL,
                                          atol=ATOL, dtype=dtype)
    compiled = rkv.solve_ivp(getattr(clib, name, None) or fun, t_span, y0, rtol=RTOL,
                             atol=ATOL, dtype=dtype)
    for y in (via_steps.y[:, -1], via_scipy.y[:, -1].astype(dtype), compiled.y[:, -1]):
        np.testing.assert_array_equal(y, alone)
    np.testing.assert_array_equal(via_steps.t, via_scipy.t)
    assert via_steps.nfev == via_scipy.nfev == compiled.nfev


def test_matches_the_cpp_example():
    # examples/oscillator.cpp's output points (without its veto): tol 1e-5, default norm
    it = rkv.Integrator(PROBLEMS["oscillator"][0], np.float32)
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


def test_rkv65_under_scipys_events_and_output():
    # rkv.RKV65 keeps SciPy's own machinery: its events and its cubic Hermite sol
    fun, _, y0 = PROBLEMS["oscillator"]

    def crossing(t, y):
        return y[0]
    crossing.terminal, crossing.direction = True, 1
    res = scipy.integrate.solve_ivp(fun, (0, 10), y0, method=rkv.RKV65, events=crossing,
                                    dense_output=True, rtol=RTOL, atol=ATOL)
    assert res.status == 1 and res.t_events[0][0] == pytest.approx(1.5 * np.pi, abs=1e-5)
    ts = np.linspace(0, res.t[-1], 50)
    np.testing.assert_allclose(res.sol(ts)[0], np.cos(ts), atol=3e-4)


def test_compiled_user_data(clib):
    k = ctypes.c_double(0.5)
    llc = scipy.LowLevelCallable(ctypes.cast(clib.decay, rkv.CFUNCTYPE),
                                 ctypes.cast(ctypes.pointer(k), ctypes.c_void_p))
    res = rkv.solve_ivp(llc, (0, 2), [1.0, 2.0], rtol=RTOL, atol=ATOL)
    np.testing.assert_allclose(res.y[:, -1], np.exp(-1.0) * np.array([1, 2]), rtol=1e-5)


@pytest.mark.parametrize("dtype", DTYPES)
def test_ensemble_members_are_their_runs_alone(clib, dtype):
    rng = np.random.default_rng(7)
    y0 = np.array(ARENSTORF_Y0) + 1e-4 * rng.standard_normal((9, 4))
    t_span = (0.0, 1.0)
    atol = [ATOL, ATOL, 1e-7, 1e-7]
    res = rkv.ensemble(clib.arenstorf, t_span, y0, rtol=RTOL, atol=atol, threads=3,
                       dtype=dtype)
    assert res.success and np.all(res.t == 1.0) and res.y.dtype == dtype
    for k in range(len(y0)):
        alone = ido_run(clib.arenstorf, t_span, y0[k], atol=atol, dtype=dtype)[1]
        np.testing.assert_array_equal(res.y[k], alone)


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


@pytest.mark.parametrize("dtype", DTYPES)
def test_every_form_of_compiled_function_gives_the_python_bits(clib, dtype):
    fun, t_span, y0 = PROBLEMS["lorenz"]
    want = rkv.solve_ivp(fun, t_span, y0, rtol=RTOL, atol=ATOL, dtype=dtype)
    for form, compiled in compiled_forms(clib).items():
        got = rkv.solve_ivp(compiled, t_span, y0, rtol=RTOL, atol=ATOL, dtype=dtype)
        assert rkv.Integrator(compiled).compiled, form
        np.testing.assert_array_equal(got.y, want.y, err_msg=form)
