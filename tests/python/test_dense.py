"""t_eval, events and sol of rkv.solve_ivp from the solver's own continuous extension:
against SciPy's DOP853 at a tight tolerance, SciPy's semantics (terminal, direction, args,
the result's shape), the same bits as the C++ layer driven in one call, the steps
untouched, and errors of event functions as those of the right-hand side."""

import os
import signal

import numpy as np
import pytest
import scipy.integrate

import rkv
from problems import PROBLEMS

DTYPES = [np.float64, np.float32]
# dtype: (rtol, atol, bound on event times and sol against DOP853, relative to the scale)
TOLERANCES = {np.float64: (1e-10, 1e-12, 1e-7), np.float32: (1e-5, 1e-8, 5e-3)}


def event(g, direction=0, terminal=False):
    g.direction, g.terminal = direction, terminal
    return g


# problem: events watched on it (each crosses several times in the span)
EVENTS = {
    "oscillator": lambda: [event(lambda t, y: y[0]), event(lambda t, y: y[1], 1)],
    "lotka_volterra": lambda: [event(lambda t, y: y[0] - 2.0, -1)],
    "arenstorf": lambda: [event(lambda t, y: y[1] - 0.5), event(lambda t, y: y[0], 1)],
    "lorenz": lambda: [event(lambda t, y: y[2] - 20.0)],
}


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("name", sorted(PROBLEMS))
def test_events_and_sol_agree_with_dop853(name, dtype):
    fun, t_span, y0 = PROBLEMS[name]
    rtol, atol, bound = TOLERANCES[dtype]
    ref = scipy.integrate.solve_ivp(fun, t_span, y0, method="DOP853", rtol=1e-13, atol=1e-14,
                                    events=EVENTS[name](), dense_output=True)
    res = rkv.solve_ivp(fun, t_span, y0, rtol=rtol, atol=atol, dtype=dtype,
                        events=EVENTS[name](), dense_output=True)
    assert res.success and res.status == 0
    for got, want in zip(res.t_events, ref.t_events):
        assert len(got) == len(want) > 0
        np.testing.assert_allclose(got, want, atol=bound * (t_span[1] - t_span[0]))
    ts = np.linspace(*t_span, 301)
    scale = np.max(np.abs(ref.y), axis=1)[:, None]
    assert np.max(np.abs(res.sol(ts) - ref.sol(ts)) / scale) < bound


def layer_run(fun, t_span, y0, events, t_eval, dtype):
    """Events and output points from one call of the C++ layer (no pauses)."""
    it = rkv.Integrator(fun, dtype)
    tol, param, rtol, atol = rkv._ivp.settings(*t_span, 1e-6, 1e-9, None, np.inf, dtype)
    it.set_tolerances(rtol, atol)
    layer = rkv._dense._LAYERS[np.dtype(dtype)](it._impl)
    layer.set_events([(g, c, False) for g, c, _ in rkv._dense.event_list(events, None)])
    y, xs = np.array(y0, dtype), t_eval.astype(dtype)
    out = np.empty(xs.size * y.size, dtype)
    layer.set_output(xs, out, None)
    ido, x, hits = 1, t_span[0], []
    while ido in (1, 7):
        ido, x, *_ = layer.integrate(1 if not hits else 2, x, t_span[1], tol, param, y)
        hits += [layer.event(i) for i in range(layer.event_count)] if ido == 7 else []
    layer.integrate(3, x, t_span[1], tol, param, y)
    return hits, out.reshape(-1, y.size).T


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("name", sorted(PROBLEMS))
def test_same_bits_as_the_layer_in_one_call_and_the_same_steps(name, clib, dtype):
    fun, t_span, y0 = PROBLEMS[name]
    t_eval = np.linspace(*t_span, 23)
    hits, values = layer_run(fun, t_span, y0, EVENTS[name](), t_eval, dtype)
    plain = rkv.solve_ivp(fun, t_span, y0, rtol=1e-6, atol=1e-9, dtype=dtype)
    for f in (fun, getattr(clib, name)):
        res = rkv.solve_ivp(f, t_span, y0, rtol=1e-6, atol=1e-9, dtype=dtype,
                            events=EVENTS[name](), dense_output=True)
        np.testing.assert_array_equal(res.t, plain.t)
        np.testing.assert_array_equal(res.y, plain.y)
        got = sorted((t, k) for k, ts in enumerate(res.t_events) for t in ts)
        assert got == sorted((x, index - 1) for index, x, _, _ in hits)
        both = rkv.solve_ivp(f, t_span, y0, rtol=1e-6, atol=1e-9, dtype=dtype, t_eval=t_eval,
                             events=EVENTS[name](), dense_output=True)
        alone = rkv.solve_ivp(f, t_span, y0, rtol=1e-6, atol=1e-9, dtype=dtype, t_eval=t_eval)
        for y in (both.y, alone.y):
            np.testing.assert_array_equal(y, values)
        # sol is the layer's extension itself: t_eval's values, and the steps' ends
        np.testing.assert_array_equal(both.sol(t_eval), values)
        np.testing.assert_array_equal(both.sol(plain.t), plain.y)


def oscillator_run(dtype=np.float64, t_span=(0.0, 20.0), **kw):
    fun = PROBLEMS["oscillator"][0]
    y0 = [np.cos(t_span[0]), -np.sin(t_span[0])]  # y = (cos t, -sin t)
    return rkv.solve_ivp(lambda t, y, *args: fun(t, y), t_span, y0, rtol=1e-10, atol=1e-12, dtype=dtype, **kw)


# g = 2 cos t: zeros at pi/2 + k pi, rising (forward) at 3pi/2 + 2k pi, backward at
# pi/2 + 2k pi.
# (event settings, t_span, expected event times / pi, status, the end / pi)
SEMANTICS = [
    ("either", dict(), (0, 20), [0.5, 1.5, 2.5, 3.5, 4.5, 5.5], 0, 20 / np.pi),
    ("rising", dict(direction=1), (0, 20), [1.5, 3.5, 5.5], 0, 20 / np.pi),
    ("falling", dict(direction=-1), (0, 20), [0.5, 2.5, 4.5], 0, 20 / np.pi),
    ("terminal", dict(terminal=True), (0, 20), [0.5], 1, 0.5),
    ("second", dict(terminal=2, direction=-1), (0, 20), [0.5, 2.5], 1, 2.5),
    ("backward", dict(direction=1), (20, 0), [4.5, 2.5, 0.5], 0, 0.0),
    ("backward terminal", dict(terminal=True), (20, 0), [5.5], 1, 5.5),
]


@pytest.mark.parametrize("what,settings,t_span,times,status,end", SEMANTICS,
                         ids=[s[0] for s in SEMANTICS])
def test_event_semantics_follow_scipy(what, settings, t_span, times, status, end):
    t_eval = np.linspace(*t_span, 41)
    res = oscillator_run(t_span=t_span, t_eval=t_eval, dense_output=True,
                         events=event(lambda t, y, k: k * y[0], **settings), args=(2.0,))
    np.testing.assert_allclose(res.t_events[0] / np.pi, times, atol=1e-9)
    np.testing.assert_allclose(res.y_events[0][:, 0], 0.0, atol=1e-9)
    assert (res.status, res.success) == (status, True)
    # t_eval stops at a terminal event, sol ends there
    assert np.array_equal(res.t, t_eval[(t_eval - end * np.pi) * np.sign(t_span[1] - t_span[0]) <= 1e-12])
    assert res.sol.t_max == pytest.approx(end * np.pi)
    stepped = oscillator_run(t_span=t_span, events=event(lambda t, y: y[0], **settings))
    assert stepped.t[-1] == pytest.approx(end * np.pi) and stepped.y.shape[1] == stepped.t.size


# (t_span, the event watched: None, or its terminal setting)
SOL_RUNS = [((0.0, 20.0), None), ((20.0, 0.0), None), ((0.0, 20.0), True),
            ((20.0, 0.0), 2)]


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("t_span,terminal", SOL_RUNS)
def test_sol_is_t_evals_output_bit_for_bit_at_one_evaluation_a_step(t_span, terminal, dtype):
    # Points off the float32 grid: sol rounds t to the dtype as t_eval does.
    t_eval = np.clip(np.linspace(*t_span, 1001) + 1e-9, min(t_span), max(t_span))
    kw = {} if terminal is None else dict(events=event(lambda t, y: y[0], terminal=terminal))
    res = oscillator_run(dtype, t_span=t_span, t_eval=t_eval, dense_output=True, **kw)
    np.testing.assert_array_equal(res.sol(res.t), res.y)
    np.testing.assert_array_equal(res.sol(res.t[7]), res.y[:, 7])
    if terminal is None:  # the extra stage of each step and f at the last step's end
        plain = oscillator_run(dtype, t_span=t_span)
        dense = oscillator_run(dtype, t_span=t_span, dense_output=True)
        assert dense.nfev == plain.nfev + plain.t.size
        assert dense.sol.n_segments == plain.t.size - 1
        np.testing.assert_array_equal(dense.sol(plain.t), plain.y)


@pytest.mark.parametrize("change", ["set_output", "keep_steps", "steps"])
def test_the_layers_arrays_are_not_let_go_during_its_call(change):
    # From the right-hand side: replacing the output arrays or the kept steps
    # while the layer writes them is refused with an exception, which passes through.
    calls = {
        "set_output": lambda: layer.set_output(np.zeros(1), np.zeros(2), None),
        "keep_steps": lambda: layer.keep_steps(False),
        "steps": lambda: layer.steps(),
    }

    def fun(t, y):
        calls[change]()
        return [y[1], -y[0]]

    it = rkv.Integrator(fun, np.float64)
    layer = rkv._dense._LAYERS[np.dtype(np.float64)](it._impl)
    layer.keep_steps(True)
    y, param = np.array([1.0, 0.0]), np.zeros(50)
    with pytest.raises(RuntimeError, match="in progress"):
        layer.integrate(1, 0.0, 1.0, 1e-6, param, y)
    layer.integrate(3, it.x, 1.0, 1e-6, param, y)


@pytest.mark.parametrize("dtype", DTYPES)
def test_sol_shapes_and_dtype(dtype):
    res = oscillator_run(dtype, dense_output=True)
    assert res.sol(1.0).shape == (2,) and res.sol([1.0, 2.0, 3.0]).shape == (2, 3)
    assert res.sol(1.0).dtype == dtype and res.t_events is None and res.y_events is None
    assert oscillator_run(dtype).sol is None
    same = oscillator_run(dtype, t_span=(1.0, 1.0), dense_output=True, t_eval=[1.0])
    assert same.y.shape == (2, 1) and same.sol(1.0).shape == (2,)


class Raises:
    """An event function raising `exc` once t passes 1."""

    def __init__(self, exc):
        self.exc = exc

    def __call__(self, t, y):
        if t > 1.0:
            if self.exc is KeyboardInterrupt:
                os.kill(os.getpid(), signal.SIGINT)  # seen at the next call
            else:
                raise self.exc("from an event function")
        return y[0] + 2.0


@pytest.mark.parametrize("compiled", [False, True])
@pytest.mark.parametrize("exc", [ZeroDivisionError, KeyboardInterrupt])
def test_event_function_exceptions_pass_through(capfd, clib, exc, compiled):
    fun = clib.oscillator if compiled else PROBLEMS["oscillator"][0]
    with pytest.raises(exc):
        rkv.solve_ivp(fun, (0, 10), [1.0, 0.0], events=Raises(exc))
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("events,exc", [
    (event(lambda t, y: np.nan if t > 1 else 1.0), rkv.Error),  # FATAL 6: NaN
    (event(lambda t, y: y[0], terminal=-1), ValueError),
    (event(lambda t, y: y[0], terminal=0.5), ValueError),
    ([1.0], TypeError),
    (event(lambda t, y: "high"), TypeError),
])
def test_bad_events_are_refused(capfd, events, exc):
    with pytest.raises(exc):
        oscillator_run(events=events)
    assert capfd.readouterr() == ("", "")
