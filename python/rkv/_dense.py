"""t_eval, events and dense output of rkv.solve_ivp from the solver's own continuous
extension (order 5, continuous with its first derivative across steps), through the
library's output-point and event layer (rkv::DoubleDenseOutput for float64,
rkv::DenseOutput for float32). The steps are those the solver takes without them.

t_eval alone is one call with the points as output points (no Python in the loop for a
compiled right-hand side). With events or dense output the solver pauses after each
attempt: a passed attempt's step [x0, x1] is known before it is accepted, so its output
points are given then (the t_eval points it may cover and, for ``sol``, three nodes), and
the events it holds are returned once it is accepted.

``sol`` keeps, per step, y and y' of the extension at x0, near the middle and just short of
x1: six conditions that fix the extension's polynomial of degree 5, evaluated on any t.
"""

import numpy as np

from . import _rkv
from ._errors import raise_outcome

_LAYERS = {np.dtype(np.float64): _rkv.Dense64, np.dtype(np.float32): _rkv.Dense32}
_PAUSE_AFTER, _LAST_STEP, _EVALUATIONS = 7, 30, 34
_NODE0, _NODEM, _NODE1 = -1, -2, -3  # tags of the nodes in a step's output list


def event_list(events, args):
    """[(g, crossing, count)] from SciPy-style event functions: ``direction`` > 0 watches
    rising crossings (Crossing 1), < 0 falling ones (2), 0 both; ``terminal`` True (or a
    count n) ends the integration at the first (n-th) occurrence, 0 or False never."""
    if events is None:
        return []
    if callable(events):
        events = (events,)
    out = []
    for g in events:
        if not callable(g):
            raise TypeError("events must be callables g(t, y)")
        direction = float(getattr(g, "direction", 0.0))
        terminal = getattr(g, "terminal", None) or False
        count = int(terminal)
        if count < 0 or count != terminal:
            raise ValueError("an event's `terminal` must be a bool or a non-negative integer")
        crossing = 0 if direction == 0 or np.isnan(direction) else (1 if direction > 0 else 2)
        fn = g if args is None else (lambda t, y, g=g: g(t, y, *args))
        out.append((fn, crossing, count))
    return out


class Solution:
    """The continuous extension over the accepted steps, callable like SciPy's OdeSolution:
    ``sol(t)`` is y(t) of shape (n,) for a scalar t, (n, len(t)) for an array (in the
    solver's dtype). Outside [t_min, t_max] the first or last step's polynomial is used."""

    def __init__(self, ts, x0, h, y0, hyp0, coef, t_min, t_max, dtype):
        self.ts, self.t_min, self.t_max = np.asarray(ts), t_min, t_max
        self.n_segments = len(x0)
        self._x0, self._h, self._y0, self._hyp0, self._coef = x0, h, y0, hyp0, coef
        self._dtype = dtype
        self._ascending = len(ts) < 2 or ts[-1] >= ts[0]

    def __call__(self, t):
        t = np.asarray(t, dtype=np.float64)
        tt = np.atleast_1d(t).reshape(-1)
        if self.n_segments == 0:
            y = np.repeat(self._y0.reshape(-1, 1), tt.size, axis=1)
        else:
            key = self.ts[1:-1] if self._ascending else -self.ts[1:-1]
            k = np.searchsorted(key, tt if self._ascending else -tt, side="left")
            s = ((tt - self._x0[k]) / self._h[k])[:, None]
            c = self._coef[k]  # (m, 4, n)
            q = c[:, 0] + s * (c[:, 1] + s * (c[:, 2] + s * c[:, 3]))
            y = (self._y0[k] + s * self._hyp0[k] + s * s * q).T
        y = y.astype(self._dtype)
        return y[:, 0] if t.ndim == 0 else y


def solution(ts, nodes, y_start, t_stop, dtype):
    """The Solution of the steps between the points ts from each step's nodes: (y, y') at
    abscissae 0 = s0 < sm < s1 <= 1 of the step, s = (t - x0)/(x1 - x0)."""
    ts = np.asarray(ts, dtype=np.float64)
    if not nodes:
        return Solution(ts, [], [], np.asarray(y_start, np.float64), [], [], ts[0], ts[0],
                        dtype)
    x0, x1 = ts[:-1], ts[1:]
    h = x1 - x0
    xs = np.array([[x for x, _, _ in nd] for nd in nodes])  # (S, 3)
    ys = np.array([[y for _, y, _ in nd] for nd in nodes], dtype=np.float64)  # (S, 3, n)
    yps = np.array([[yp for _, _, yp in nd] for nd in nodes], dtype=np.float64)
    s = (xs[:, 1:] - x0[:, None]) / h[:, None]  # (S, 2): the middle and end nodes
    hyp = yps * h[:, None, None]
    powers = np.arange(4)
    a = np.empty((len(h), 4, 4))
    a[:, 0::2] = s[:, :, None] ** (powers + 2)  # values: s^2 q(s)
    a[:, 1::2] = (powers + 2) * s[:, :, None] ** (powers + 1)  # derivatives of s^2 q(s)
    b = np.empty((len(h), 4, ys.shape[2]))
    b[:, 0::2] = ys[:, 1:] - ys[:, :1] - s[:, :, None] * hyp[:, :1]
    b[:, 1::2] = hyp[:, 1:] - hyp[:, :1]
    usable = (s[:, 0] > 0) & (s[:, 1] > s[:, 0])  # steps of a few ulps: linear
    a[~usable] = np.eye(4)
    b[~usable] = 0.0
    coef = np.linalg.solve(a, b)
    t_max = ts[-1] if t_stop is None else t_stop
    return Solution(ts, x0, h, ys[:, 0], hyp[:, 0], coef, ts[0], t_max, dtype)


class _Run:
    """One integration through the layer; the pieces of the result as they come."""

    def __init__(self, it, t0, t1, tol, param, y, t_eval, events, dense):
        self.layer = _LAYERS[it.dtype](it._impl)
        self.dtype, self.n = it.dtype, y.size
        self.t0, self.t1, self.tol, self.param, self.y = t0, t1, tol, param, y
        self.te = None if t_eval is None else t_eval.astype(self.dtype)
        self.te_y = None if t_eval is None else np.empty((len(t_eval), self.n), self.dtype)
        self.te_done = 0
        self.events, self.dense = events, dense
        self.counts = [0] * len(events)
        self.t_events = [[] for _ in events]
        self.y_events = [[] for _ in events]
        self.ts, self.ys, self.nodes = [t0], [y.copy()], []
        self.stop = None  # (t, y) of a terminal event
        self.forward = t1 >= t0
        if events:
            raise_outcome(*self.layer.set_events([(g, c, False) for g, c, _ in events]))

    def call(self, ido, x):
        ido, x, type_, code, message = self.layer.integrate(ido, x, self.t1, self.tol,
                                                            self.param, self.y)
        raise_outcome(type_, code, message, stacklevel=5)
        return ido, x

    def close(self, x):
        self.layer.integrate(3, x, self.t1, self.tol, self.param, self.y)

    def points_only(self):
        """t_eval without events or sol: one call, the points as output points."""
        out = np.empty(self.te.size * self.n, self.dtype)
        self.layer.set_output(self.te, out, None)
        self.call(1, self.t0)
        self.te_done = self.layer.outputs_done
        self.te_y = out.reshape(-1, self.n)

    def _beyond(self, a, b):
        return a > b if self.forward else a < b

    def _step_list(self, x0, step):
        """The output list of the step from x0 by `step` (the attempt just passed): the
        t_eval points it may cover and the nodes, in the direction of integration."""
        dt = self.dtype.type
        x1 = dt(np.float64(x0) + np.float64(step))
        toward = dt(np.inf if self.forward else -np.inf)
        xs, tags = [np.empty(0, self.dtype)], [np.empty(0, np.int64)]
        if self.te is not None:
            reach = np.nextafter(np.nextafter(x1, toward), toward)
            k = self.te_done
            end = k + np.count_nonzero(~self._beyond(self.te[k:], reach))
            xs.append(self.te[k:end])
            tags.append(np.arange(k, end))
        if self.dense:
            xm = dt(np.float64(x0) + 0.5 * np.float64(step))
            xs.append(np.array([x0, xm, np.nextafter(x1, dt(x0))], self.dtype))
            tags.append(np.array([_NODE0, _NODEM, _NODE1]))
        xs, tags = np.concatenate(xs), np.concatenate(tags)
        order = np.argsort(xs if self.forward else -xs, kind="stable")
        return np.ascontiguousarray(xs[order]), tags[order]

    def _set_step_output(self, x0):
        xs, tags = self._step_list(self.dtype.type(x0), self.param[_LAST_STEP])
        out_y = np.empty(xs.size * self.n, self.dtype)
        out_yp = np.empty_like(out_y) if self.dense else None
        self.layer.set_output(xs, out_y, out_yp)
        return xs, tags, out_y, out_yp, self.y.copy()

    def _accepted(self, step, x):
        """Records the step just accepted, ending at x."""
        xs, tags, out_y, out_yp, y1 = step
        done = self.layer.outputs_done
        rows = out_y.reshape(-1, self.n)
        nodes = {}
        for j in range(done):
            if tags[j] >= 0:
                self.te_y[tags[j]] = rows[j]
                self.te_done = tags[j] + 1
            else:
                nodes[tags[j]] = (float(xs[j]), rows[j], out_yp.reshape(-1, self.n)[j])
        if self.dense:
            self.nodes.append([nodes[_NODE0], nodes[_NODEM], nodes[_NODE1]])
        self.ts.append(x)
        self.ys.append(y1)

    def _events(self):
        """The events of the step just accepted, up to a terminal one."""
        for i in range(self.layer.event_count):
            index, x, y, _ = self.layer.event(i)
            k = index - 1
            self.t_events[k].append(x)
            self.y_events[k].append(y)
            self.counts[k] += 1
            if self.counts[k] == self.events[k][2]:
                self.stop = (x, y)
                return

    def steps(self):
        """Every step, paused after each attempt, with its outputs and events."""
        self.param[_PAUSE_AFTER] = 1
        ido, x, step = 1, self.t0, None
        while True:
            ido, x = self.call(ido, x)
            if step is not None:
                self._accepted(step, x)
                step = None
                if ido == 7:
                    self._events()
                    if self.stop is not None:
                        return
                    ido = 2
                    continue
            if ido == 2:
                return
            if ido == 5:
                step = self._set_step_output(x)

    def result(self, t_eval):
        """(t, y, sol, t_events, y_events, status) as solve_ivp returns them."""
        ts, ys = self.ts, self.ys
        te_n = self.te_done
        if self.stop is not None:
            ts, ys = ts[:-1] + [self.stop[0]], ys[:-1] + [self.stop[1]]
            if t_eval is not None:
                te_n = min(te_n, np.count_nonzero(~self._beyond(t_eval, self.stop[0])))
        if t_eval is None:
            t, y = np.array(ts), np.array(ys, self.dtype).reshape(len(ts), self.n).T
            if self.stop is None and len(ts) > 1:
                t[-1] = self.t1  # the last step ends on t1 as rounded to the dtype
        else:
            t, y = t_eval[:te_n], self.te_y[:te_n].T
        sol = None
        if self.dense:
            sol = solution(self.ts, self.nodes, self.ys[0],
                           None if self.stop is None else self.stop[0], self.dtype)
        t_events = y_events = None
        if self.events:
            t_events = [np.array(v, np.float64) for v in self.t_events]
            y_events = [np.array(v, self.dtype).reshape(len(v), self.n) for v in self.y_events]
        return t, y, sol, t_events, y_events, 1 if self.stop is not None else 0

    def evaluations(self):
        return int(self.param[_EVALUATIONS]) + self.layer.extra_evaluations


def integrate(it, t0, t1, tol, param, y, t_eval, events, dense):
    """(t, y, sol, t_events, y_events, status, nfev) of an integration of ``it`` from t0 to
    t1 with output points t_eval (or None), events (from event_list) and, if ``dense``,
    the solution object."""
    run = _Run(it, t0, t1, tol, param, y, t_eval, events, dense)
    try:
        if t1 != t0:
            if events or dense:
                run.steps()
            else:
                run.points_only()
        elif t_eval is not None:
            run.te_y[:] = y
            run.te_done = len(t_eval)
    finally:  # closes quietly: an error of the integration is the one to see
        run.close(it.x)
    return (*run.result(t_eval), run.evaluations())
