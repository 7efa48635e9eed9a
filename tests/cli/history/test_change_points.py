"""The history's change points against an independent reimplementation in
exact integer arithmetic, and its trend page in headless Chromium.

Paths come from the environment (CTest sets them): QUORVANE_HISTORY_DRIVER,
the program that runs the host's analysis and writes its page.
"""

import itertools
import json
import math
import os
import random
import subprocess
import sys
import tempfile
import unittest
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "exports"))
import devtools  # noqa: E402  (the exports' own Chromium driver)

DRIVER = os.environ.get("QUORVANE_HISTORY_DRIVER", "")
SHORTEST, RATE, STEP, EXACT_SIDE, WINDOW = 3, 0.05, 0.02, 10, 100


def gaussian_binomial(k, m, degree):
    """Coefficients of [m + k, k]_q up to degree, as whole numbers."""
    counts = [1] + [0] * degree
    for j in range(1, k + 1):
        for v in range(degree, m + j - 1, -1):
            counts[v] -= counts[v - m - j]
        for v in range(j, degree + 1):
            counts[v] += counts[v - j]
    return counts


def lower_tail(k, m, u):
    """P(U <= u) for sides of k and m runs, exactly."""
    return Fraction(sum(gaussian_binomial(k, m, u)), math.comb(m + k, k))


def brute_lower_tail(k, m, u):
    """The same by counting every placement of the k runs among m + k."""
    hits = total = 0
    for places in itertools.combinations(range(m + k), k):
        total += 1
        hits += sum(p - i for i, p in enumerate(places)) <= u
    return Fraction(hits, total)


def midranks(values):
    order = sorted(range(len(values)), key=lambda i: values[i])
    ranks, ties, i = [0.0] * len(values), 0, 0
    while i < len(order):
        j = i
        while j < len(order) and values[order[j]] == values[order[i]]:
            j += 1
        for index in order[i:j]:
            ranks[index] = (i + j + 1) / 2
        ties += (j - i) ** 3 - (j - i)
        i = j
    return ranks, ties


def best_split(logs):
    """The split of the smallest weighted Bonferroni p-value, and that p."""
    n = len(logs)
    ranks, ties = midranks(logs)
    splits = range(SHORTEST, n - SHORTEST + 1)
    harmonic = sum(1 / min(t, n - t) for t in splits)
    best = (math.inf, None)
    for t in splits:
        k, pairs = min(t, n - t), t * (n - t)
        u_left = sum(ranks[:t]) - t * (t + 1) / 2
        distance = abs(u_left - pairs / 2)
        if k <= EXACT_SIDE:
            tail = float(lower_tail(k, n - k, math.floor(pairs / 2 - distance)))
            surprise = -math.log(tail)
        else:
            sigma = math.sqrt(pairs / 12 * ((n + 1) - ties / (n * (n - 1))))
            z = max(0.0, distance - 0.5) / sigma
            surprise = -math.log(0.5 * math.erfc(z / math.sqrt(2)))
        best = min(best, (math.log(2 * k * harmonic) - surprise, t))
    return best[1], math.exp(best[0])


def hodges_lehmann(before, after):
    """The ratio after/before, its exact 95% interval (None when none), from
    every pairwise difference of logarithms."""
    differences = sorted(math.log(y) - math.log(x) for y in after for x in before)
    pairs = len(differences)
    middle = (differences[pairs // 2] if pairs % 2 else
              (differences[pairs // 2 - 1] + differences[pairs // 2]) / 2)
    counts = gaussian_binomial(len(before), len(after), pairs)
    allowed = Fraction(1, 40) * math.comb(len(before) + len(after), len(before))
    c, below = 0, 0
    while c < len(counts) and below + counts[c] <= allowed:
        below += counts[c]
        c += 1
    if c == 0:
        return None
    return (math.exp(middle) - 1, math.exp(differences[c - 1]) - 1,
            math.exp(differences[pairs - c]) - 1)


def median(values):
    ordered, middle = sorted(values), len(values) // 2
    if len(values) % 2:
        return ordered[middle]
    return math.sqrt(ordered[middle - 1] * ordered[middle])


def describe(values, first, at, end):
    return hodges_lehmann(values[max(first, at - WINDOW):at], values[at:min(end, at + WINDOW)])


def reportable(change):
    return (change is not None and (change[1] > 0 or change[2] < 0)
            and (change[1] <= -STEP or change[2] >= STEP))


def analyse(values):
    """Levels and changes, as the host's analysis should find them."""
    logs = [math.log(v) for v in values]
    pending, splits = [(0, len(values))], {}
    while pending:
        first, end = pending.pop()
        if end - first < 2 * SHORTEST:
            continue
        t, p = best_split(logs[first:end])
        if not p < RATE or not reportable(describe(values, first, first + t, end)):
            continue
        splits[first + t] = p
        pending += [(first, first + t), (first + t, end)]
    places = sorted(splits)
    while True:
        failing = []
        for i, at in enumerate(places):
            bounds = ([0] + places)[i], (places + [len(values)])[i + 1]
            change = describe(values, bounds[0], at, bounds[1])
            if not reportable(change):
                failing.append((abs(change[0]) if change else math.inf, i))
        if not failing:
            break
        del places[min(failing)[1]]
    edges = [0] + places + [len(values)]
    levels = [(a, b, median(values[a:b])) for a, b in zip(edges, edges[1:])]
    changes = [dict(zip(("change", "low", "high"), describe(values, a, at, b)),
                    index=at, p_value=splits[at], before=levels[i][2], after=levels[i + 1][2])
               for i, (a, at, b) in enumerate(zip(edges, edges[1:], edges[2:]))]
    return levels, changes


def simulated(seed, runs, cv, steps=(), outliers=0.0, digits=None):
    """A fixed series: log-normal noise, steps as {first run: factor}."""
    rng, sigma = random.Random(seed), math.sqrt(math.log1p(cv * cv))
    values, level = [], 1000.0
    for i in range(runs):
        level *= dict(steps).get(i, 1.0)
        value = level * math.exp(rng.gauss(0, sigma)) * (0.7 if rng.random() < outliers else 1)
        values.append(round(value, digits) if digits is not None else value)
    return values


def run_driver(*arguments, stdin):
    return json.loads(subprocess.run([DRIVER, *arguments], input=stdin, capture_output=True,
                                     text=True, timeout=60, check=True).stdout)


def setUpModule():
    if not DRIVER or not os.path.exists(DRIVER):
        raise unittest.SkipTest(f"QUORVANE_HISTORY_DRIVER does not name a file: {DRIVER!r}")


# name: (series, the first runs of the new levels the series was made with)
CASES = {
    "one drop in the middle": (simulated(1, 150, 0.02, {100: 0.92}), [100]),
    "up then down": (simulated(2, 300, 0.015, {100: 1.06, 200: 0.90 / 1.06}), [100, 200]),
    "no change at CV 3%": (simulated(3, 200, 0.03), []),
    "four runs after a drop: exact tails": (simulated(4, 124, 0.01, {120: 0.90}), [120]),
    "eight runs after a rise: exact tails": (simulated(8, 128, 0.01, {120: 1.03}), [120]),
    "whole numbers with ties": (simulated(5, 160, 0.01, {80: 0.95}, digits=-1), [80]),
    "a real 0.5% drift is too small": (simulated(6, 400, 0.002, {200: 0.995}), []),
    "low outliers around a rise": (simulated(7, 250, 0.02, {125: 1.07}, outliers=0.05), [125]),
    "too short to split": ([1000, 500, 1000, 500, 1000], []),
}


class ChangePointTest(unittest.TestCase):
    def test_the_reference_tail_counts_placements(self):
        for k, m in ((1, 6), (2, 7), (3, 9)):
            for u in range(0, k * m + 1, 2):
                self.assertEqual(lower_tail(k, m, u), brute_lower_tail(k, m, u), (k, m, u))

    def test_the_analysis_matches_the_reimplementation(self):
        for name, (values, steps) in CASES.items():
            with self.subTest(name):
                found = run_driver("changes", stdin=" ".join(repr(v) for v in values))
                levels, changes = analyse(values)
                self.assertEqual([c["index"] for c in changes], steps)
                self.assertEqual([tuple(level[:2]) for level in found["levels"]],
                                 [level[:2] for level in levels])
                for got, want in zip(found["levels"], levels):
                    self.assertAlmostEqual(got[2], want[2], delta=1e-9 * want[2])
                self.assertEqual(len(found["changes"]), len(changes))
                for got, want in zip(found["changes"], changes):
                    self.assertEqual(got["index"], want["index"])
                    for key in ("change", "low", "high", "before", "after"):
                        self.assertAlmostEqual(got[key], want[key], delta=1e-9, msg=key)
                    self.assertLessEqual(abs(math.log(got["p_value"] / want["p_value"])), 1e-6)

    def test_a_value_that_is_not_above_zero_is_refused(self):
        for bad in ("0", "-3", "nan", "inf"):
            with self.subTest(bad):
                done = subprocess.run([DRIVER, "changes"], input=f"1000 1010 {bad} 990",
                                      capture_output=True, text=True, timeout=60)
                self.assertNotEqual(done.returncode, 0)


# The page's own survey: marks per chart, and every text inside its chart.
PAGE_SURVEY = """JSON.stringify(Array.from(document.querySelectorAll('figure[data-figure]'))
  .map(f => { const svg = f.querySelector('svg'); const box = svg.viewBox.baseVal;
    return {figure: f.dataset.figure, machine: f.dataset.machine,
      width: svg.getBoundingClientRect().width,
      dots: svg.querySelectorAll('circle.run').length,
      squares: svg.querySelectorAll('rect.run.disturbed').length,
      levels: svg.querySelectorAll('line.level').length,
      events: svg.querySelectorAll('line.event').length,
      changes: f.querySelectorAll('table.changes tr:not(:first-child)').length,
      outside: Array.from(svg.querySelectorAll('text')).filter(t => { const b = t.getBBox();
        return b.x < box.x || b.y < box.y || b.x + b.width > box.x + box.width ||
               b.y + b.height > box.y + box.height; }).map(t => t.textContent)}; }))"""


def page_series():
    """Two machines: a figure with a quota stretch (runs 71-80, disturbed),
    two system changes and a drop; one with a rise; one without runs; one
    flat to the last digit. The machine's name is one a page must escape."""
    def runs(values, first, disturbed=range(0)):
        return [{"run": first + i, "time": f"2026-11-{1 + i // 8:02d} {i % 8 * 3:02d}:00",
                 "value": v * (0.6 if i in disturbed else 1), "clean": i not in disturbed}
                for i, v in enumerate(values)]
    machine = "ci-7 <Xeon \"E5\"> & co"
    return [{"machine": machine, "figure": "multi-thread score", "unit": "",
             "runs": runs(simulated(11, 120, 0.02, {70: 0.9}), 41, range(30, 40)),
             "events": [{"run": 110, "text": "system changed: Linux 6.1 → 6.6 " + "x" * 80},
                        {"run": 112, "text": "system changed: quota 4 → 2 processors"}]},
            {"machine": machine, "figure": "memory bandwidth", "unit": "MB/s",
             "runs": runs(simulated(12, 60, 0.01, {30: 1.05}), 1), "events": []},
            {"machine": "laptop", "figure": "single-thread score", "unit": "", "runs": [],
             "events": [{"run": 3, "text": "system changed"}]},
            {"machine": "laptop", "figure": "flat to the last digit", "unit": "",
             "runs": runs([1e20, 1.0000000000000002e20, 1e20], 1), "events": []}]


class TrendPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(devtools.CHROMIUM):
            raise RuntimeError(f"{devtools.CHROMIUM} is missing: install Debian's chromium")
        cls.browser = devtools.Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.stop()

    def test_the_page_draws_every_run_level_and_event_inside_its_charts(self):
        series = page_series()
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "trend.html")
            analyses = run_driver("page", path, stdin=json.dumps(
                {"subtitle": "history.sqlite, 2026-12-10", "series": series}))
            problems, requested, survey = devtools.load(self.browser, "file://" + path,
                                                        PAGE_SURVEY)
        self.assertEqual(problems, [])
        self.assertEqual(requested, ["file://" + path])
        charts = json.loads(survey)
        self.assertEqual([(c["machine"], c["figure"]) for c in charts],
                         [(s["machine"], s["figure"]) for s in series])
        for chart, given, analysis in zip(charts, series, analyses):
            with self.subTest(given["figure"]):
                clean = sum(run["clean"] for run in given["runs"])
                self.assertEqual(chart["dots"], clean)
                self.assertEqual(chart["squares"], len(given["runs"]) - clean)
                self.assertEqual(chart["levels"], len(analysis["levels"]))
                self.assertEqual(chart["changes"], len(analysis["changes"]))
                # A chart without runs has no place for an event: its table lists it.
                self.assertEqual(chart["events"], len(given["events"]) if given["runs"] else 0)
                self.assertEqual(chart["outside"], [])
                self.assertGreater(chart["width"], 300)
        # The quota stretch is left out: only the drop at clean run 60 (run 111).
        self.assertEqual([c["index"] for c in analyses[0]["changes"]], [60])
        self.assertEqual([c["index"] for c in analyses[1]["changes"]], [30])


if __name__ == "__main__":
    unittest.main()
