#!/usr/bin/python3
"""Work-precision plots and tables from the benchmark's CSV files.

Reads the CSV lines of rkv_work_precision and scipy_wp.py and writes
  <images>/wp_evaluations.png  error against right-hand-side evaluations
  <images>/wp_time.png         error against time (the C++ runs only: SciPy's
                               is Python time)
  <page>                       the tables: per problem, error, evaluations and
                               time of each method at each tolerance, and the
                               time each method needs to reach 1e-5, 1e-7, 1e-9

    /usr/bin/python3 bench/wp/plot_wp.py <images dir> <page.md> <csv> [<csv> ...]

A run given in several files (the C++ benchmark repeated to smooth out a
shared machine's load) is merged: its time is the median of the files'
times, and the largest ratio of slowest to fastest is reported. Failed runs
(the solver reported an error) are left out of the plots and marked in the
tables. The verdict table compares this solver in double with every peer
in C++ (SciPy's times are Python's and are not compared).
"""

import csv
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import problems  # noqa: E402

STYLE = {  # method: (label, colour, marker)
    "rkv/float": ("rkv (float)", "tab:red", "o"),
    "rkv/double": ("rkv (double)", "darkred", "s"),
    "odeint_dopri5/double": ("odeint dopri5", "tab:blue", "^"),
    "odeint_rkf78/double": ("odeint fehlberg78", "tab:green", "v"),
    "odeint_verner65/double": ("odeint + Verner 6(5)", "tab:purple", "D"),
    "scipy_rk45/double": ("SciPy RK45", "tab:gray", "x"),
    "scipy_dop853/double": ("SciPy DOP853", "black", "+"),
}
TARGETS = [1e-5, 1e-7, 1e-9]
SUBJECT = "rkv/double"


def read(paths):
    rows = []
    for path in paths:
        with open(path) as f:
            for r in csv.DictReader(f):
                r["key"] = r["method"] + "/" + r["real"]
                for k in ("tol", "error", "seconds"):
                    r[k] = float(r[k])
                r["evaluations"] = int(r["evaluations"])
                r["ok"] = r["ok"] == "1"
                rows.append(r)
    return merge(rows)


def merge(rows):
    """One row per (problem, method, tol): the median time of its repeats.

    The repeats must agree on everything but the time (the integrations are
    deterministic); each merged row keeps the spread max/min of its times."""
    groups = {}
    for r in rows:
        groups.setdefault((r["problem"], r["key"], r["tol"]), []).append(r)
    merged = []
    for (name, key, tol), rs in groups.items():
        for r in rs[1:]:
            if (r["error"], r["evaluations"], r["ok"]) != (rs[0]["error"], rs[0]["evaluations"],
                                                           rs[0]["ok"]):
                sys.exit("plot_wp.py: the repeats of %s %s %g differ" % (name, key, tol))
        times = sorted(r["seconds"] for r in rs)
        m = dict(rs[0])
        n = len(times)
        m["seconds"] = times[n // 2] if n % 2 else 0.5 * (times[n // 2 - 1] + times[n // 2])
        m["spread"] = times[-1] / times[0] if times[0] > 0 else float("inf")
        m["repeats"] = n
        merged.append(m)
    return merged


def series(rows, name, key):
    pts = [r for r in rows if r["problem"] == name and r["key"] == key and r["ok"]]
    return sorted(pts, key=lambda r: r["tol"], reverse=True)


def plot(rows, xfield, path, keys, xlabel, title):
    fig, axes = plt.subplots(2, 3, figsize=(15, 9))
    for ax, name in zip(axes.flat, problems.NAMES):
        for key in keys:
            pts = series(rows, name, key)
            if not pts:
                continue
            label, colour, marker = STYLE.get(key, (key, None, "."))
            ax.loglog([r[xfield] for r in pts], [max(r["error"], 1e-17) for r in pts],
                      marker=marker, color=colour, label=label, linewidth=1, markersize=5)
        ax.set_title(name)
        ax.set_xlabel(xlabel)
        ax.set_ylabel("error at the final time")
        ax.grid(True, which="major", alpha=0.4)
    handles, labels = [], []  # every method once, whichever panels it is in
    for ax in axes.flat:
        for h, lab in zip(*ax.get_legend_handles_labels()):
            if lab not in labels:
                handles.append(h)
                labels.append(lab)
    fig.legend(handles, labels, loc="lower center", ncol=len(labels))
    fig.suptitle(title)
    fig.tight_layout(rect=(0, 0.05, 1, 0.96))
    fig.savefig(path, dpi=80)
    plt.close(fig)


def cell(r):
    if r is None:
        return "-"
    mark = "" if r["ok"] else " (failed)"
    return "%.1e / %d / %.2g%s" % (r["error"], r["evaluations"], r["seconds"], mark)


def problem_table(rows, name, keys):
    lines = ["### " + name, "",
             "| tol | " + " | ".join(STYLE.get(k, (k,))[0] for k in keys) + " |",
             "|---" * (len(keys) + 1) + "|"]
    for k in range(3, 15):
        tol = 10.0 ** -k
        found = []
        for key in keys:
            match = [r for r in rows if r["problem"] == name and r["key"] == key
                     and abs(r["tol"] / tol - 1) < 1e-6]
            found.append(cell(match[0] if match else None))
        lines.append("| 1e-%d | " % k + " | ".join(found) + " |")
    return lines + [""]


def time_to_reach(rows, name, key, target, field="seconds"):
    """The least time at which a method's error is at most `target`.

    A run whose error is at most the target counts with its time; between
    two runs of neighbouring tolerances whose errors bracket the target the
    time is interpolated linearly in log(error), log(time), so that a target
    falling just short of one tolerance's error does not charge the method
    a whole decade of tolerance. None when no run reaches the target."""
    pts = series(rows, name, key)
    times = [r[field] for r in pts if r["error"] <= target]
    for a, b in zip(pts, pts[1:]):
        if a["error"] > target >= b["error"] > 0 and a[field] > 0 and b[field] > 0:
            u = (math.log(target) - math.log(a["error"])) / (
                math.log(b["error"]) - math.log(a["error"]))
            times.append(math.exp(math.log(a[field]) +
                                  u * (math.log(b[field]) - math.log(a[field]))))
    return min(times) if times else None


def reach_table(rows, keys):
    head = ["| problem | error | " + " | ".join(STYLE.get(k, (k,))[0] for k in keys) + " |",
            "|---" * (len(keys) + 2) + "|"]
    lines = []
    for name in problems.NAMES:
        for target in TARGETS:
            ts = [time_to_reach(rows, name, k, target) for k in keys]
            lines.append("| %s | %.0e | " % (name, target) +
                         " | ".join("-" if t is None else "%.2g" % t for t in ts) + " |")
    return head + lines + [""]


def verdict_table(rows, keys, field="seconds"):
    """Per problem and target: this solver's time, the fastest peer's, their
    ratio; a problem is met when the ratio is at most 1 at every target some
    method reaches (a peer that never reaches a target needs more time than
    any run that does)."""
    peers = [k for k in keys if not k.startswith("rkv/") and not k.startswith("scipy")]
    num = (lambda t: "%.2g" % t) if field == "seconds" else (lambda t: "%d" % round(t))
    what = "fastest" if field == "seconds" else "cheapest"
    lines = ["| problem | error | rkv (double) | %s peer | ratio | |" % what,
             "|---|---|---|---|---|---|"]
    verdicts = []
    for name in problems.NAMES:
        met, judged = True, False
        for target in TARGETS:
            mine = time_to_reach(rows, name, SUBJECT, target, field)
            best = None
            for k in peers:
                t = time_to_reach(rows, name, k, target, field)
                if t is not None and (best is None or t < best[0]):
                    best = (t, STYLE.get(k, (k,))[0])
            if mine is None and best is None:
                lines.append("| %s | %.0e | - | - | | no method reaches it |" % (name, target))
                continue
            judged = True
            if mine is None:
                met = False
                lines.append("| %s | %.0e | - | %s (%s) | | not reached |"
                             % (name, target, num(best[0]), best[1]))
                continue
            if best is None:
                lines.append("| %s | %.0e | %s | - | | no peer reaches it |"
                             % (name, target, num(mine)))
                continue
            ratio = mine / best[0]
            met = met and ratio <= 1.0
            lines.append("| %s | %.0e | %s | %s (%s) | %.2f | %s |"
                         % (name, target, num(mine), num(best[0]), best[1], ratio,
                            "" if ratio <= 1.0 else "more"))
        verdicts.append((name, "yes" if judged and met else "no" if judged else "not measured"))
    lines.append("")
    count = sum(1 for _, v in verdicts if v == "yes")
    lines.append("%s on %d of %d problems: %s." % (
        "Met" if field == "seconds" else "No more evaluations",
        count, len(verdicts), ", ".join("%s %s" % nv for nv in verdicts)))
    return lines + [""]


def spread_note(rows):
    timed = [r for r in rows if not r["key"].startswith("scipy") and r["ok"]]
    if not timed:
        return ""
    repeats = min(r["repeats"] for r in timed)
    spreads = sorted(r["spread"] for r in timed)
    return ("Each C++ time is the median over %d runs of the whole benchmark (each itself the "
            "median of 5 repetitions). Spread between the runs, slowest over fastest: median "
            "%.2f, 90th percentile %.2f, largest %.2f.\n\n"
            % (repeats, spreads[len(spreads) // 2], spreads[int(0.9 * (len(spreads) - 1))],
               spreads[-1]))


def main():
    images, page, paths = sys.argv[1], sys.argv[2], sys.argv[3:]
    rows = read(paths)
    present = {r["key"] for r in rows}
    keys = [k for k in STYLE if k in present] + sorted(present - set(STYLE))
    compiled = [k for k in keys if not k.startswith("scipy")]
    os.makedirs(images, exist_ok=True)
    plot(rows, "evaluations", os.path.join(images, "wp_evaluations.png"), keys,
         "right-hand-side evaluations", "Work-precision: error against evaluations")
    plot(rows, "seconds", os.path.join(images, "wp_time.png"), compiled,
         "time of one integration (s)", "Work-precision: error against time (C++ runs)")
    rel = os.path.relpath(images, os.path.dirname(os.path.abspath(page)))
    with open(page, "w") as f:
        f.write(open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "page_head.md"))
                .read().replace("@IMAGES@", rel))
        f.write("\n## The goal: time to reach the same error as the peers\n\n")
        f.write("The time (s) this solver in double needs for an error at the final time of at "
                "most the one given (the least median time of a run that reaches it, "
                "interpolated in log-log between the runs of neighbouring tolerances that "
                "bracket it), against the fastest of the C++ peers "
                "(odeint's three steppers) at the same error. Ratio above 1: this solver "
                "needs more time.\n\n")
        f.write(spread_note(rows))
        conditions = os.environ.get("WP_CONDITIONS")
        if conditions:  # written by tools/work_precision.sh
            f.write("Measured on a two-core machine shared with other work (load averages "
                    "over 1, 5, 15 minutes; 2 means both cores busy):\n\n")
            f.write("".join("- " + line for line in open(conditions)) + "\n")
        f.write("\n".join(verdict_table(rows, compiled)))
        f.write("\nThe same in right-hand-side evaluations, which the machine's load does not "
                "change (interpolated the same way):\n\n")
        f.write("\n".join(verdict_table(rows, compiled, "evaluations")))
        f.write("\n## Time to reach an error (s)\n\n")
        f.write("The least median time at which a method's error at the final time is at most "
                "the one given, interpolated in log-log between the runs of neighbouring "
                "tolerances that bracket it (C++ runs; \"-\": no run reached it).\n\n")
        f.write("\n".join(reach_table(rows, compiled)))
        f.write("\n## The runs\n\nEach cell: error / evaluations / time in s (SciPy: Python "
                "time).\n\n")
        for name in problems.NAMES:
            f.write("\n".join(problem_table(rows, name, keys)) + "\n")


if __name__ == "__main__":
    main()
