"""t_eval, events and dense output of rkv.solve_ivp from the solver's own continuous
extension (order 5, continuous with its first derivative across steps), through the
library's output-point and event layer (rkv::DoubleDenseOutput for float64,
rkv::DenseOutput for float32). The steps are those the solver takes without them.

t_eval alone is one call with the points as output points (no Python in the loop for a
compiled right-hand side). With events or dense output the solver pauses after each
attempt: a passed attempt's step [x0, x1] is known before it is accepted, so its output
points are given then (the t_eval points it may cover), and the events it holds are
returned once it is accepted.

``sol`` keeps each accepted step's record of the extension (the layer's step hook: x0, x1,
H, y0, y1 and the nine stages it sums, the extra one included) and evaluates it in the
library with the arithmetic of the output points: sol(t) is t_eval's value at t, bit for bit.
"""

import numpy as np

from . import _rkv
from ._errors import raise_outcome

_LAYERS = {np.dtype(np.float64): _rkv.Dense64, np.dtype(np.float32): _rkv.Dense32}
_VALUES = {np.dtype(np.float64): _rkv.step_values64, np.dtype(np.float32): _rkv.step_values32}
_PAUSE_AFTER, _LAST_STEP, _EVALUATIONS = 7, 30, 34


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
    solver's dtype). Outside [t_min, t_max] the first or last step's polynomial is used.

    It holds each step's record (x0, x1, H, y0, y1 and the stages the extension sums, one
    row a step) and evaluates it in the library, the same bits as t_eval at the same t
    (t is rounded to the dtype first, as t_eval is)."""

    def __init__(self, records, t_start, y_start, t_stop, dtype):
        self._records, self._dtype = records, np.dtype(dtype)
        self._values = _VALUES[self._dtype]
        self._y0 = np.asarray(y_start, self._dtype)
        self.n_segments = len(records)
        self.ts = np.concatenate([records[:1, 0], records[:, 1]]).astype(np.float64)
        if self.n_segments == 0:
            self.ts = np.array([t_start], np.float64)
        self.t_min = self.ts[0]
        self.t_max = self.ts[-1] if t_stop is None else t_stop
        self._ascending = self.ts[-1] >= self.ts[0]

    def __call__(self, t):
        t = np.asarray(t, dtype=np.float64)
        tt = np.atleast_1d(t).reshape(-1).astype(self._dtype)
        if self.n_segments == 0:
            y = np.repeat(self._y0.reshape(-1, 1), tt.size, axis=1)
        else:
            # A step's end belongs to that step (the layer gives it there too).
            inner = self._records[:-1, 1]
            key, at = (inner, tt) if self._ascending else (-inner, -tt)
            k = np.searchsorted(key, at, side="left").astype(np.int64)
            y = self._values(self._records, k, np.ascontiguousarray(tt)).T
        return y[:, 0] if t.ndim == 0 else y


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
        self.ts, self.ys = [t0], [y.copy()]
        self.stop = None  # (t, y) of a terminal event
        self.forward = t1 >= t0
        if dense:
            self.layer.keep_steps(True)
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
        t_eval points it may cover, and their indices."""
        dt = self.dtype.type
        x1 = dt(np.float64(x0) + np.float64(step))
        toward = dt(np.inf if self.forward else -np.inf)
        if self.te is None:
            return np.empty(0, self.dtype), np.empty(0, np.int64)
        reach = np.nextafter(np.nextafter(x1, toward), toward)
        k = self.te_done
        end = k + np.count_nonzero(~self._beyond(self.te[k:], reach))
        return np.ascontiguousarray(self.te[k:end]), np.arange(k, end)

    def _set_step_output(self, x0):
        xs, tags = self._step_list(self.dtype.type(x0), self.param[_LAST_STEP])
        out_y = np.empty(xs.size * self.n, self.dtype)
        self.layer.set_output(xs, out_y, None)
        return tags, out_y, self.y.copy()

    def _accepted(self, step, x):
        """Records the step just accepted, ending at x."""
        tags, out_y, y1 = step
        done = self.layer.outputs_done
        if done:
            self.te_y[tags[:done]] = out_y.reshape(-1, self.n)[:done]
            self.te_done = tags[done - 1] + 1
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
            sol = Solution(self.layer.steps(), self.t0, self.ys[0],
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
