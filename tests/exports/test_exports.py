"""The .prom and .html exports read by the programs they are for: promtool,
a node_exporter of the test's own, and headless Chromium.

Paths come from the environment (CTest sets them): QUORVANE_WRITE_EXPORT, a
program that writes the export of a results document read from a file through
the host's export table; QUORVANE_CLI, the host; QUORVANE_STAND_IN_RUN_LIBRARY,
a library whose runs take a few polls and report fixed figures.
"""

import json
import os
import re
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.request

import devtools

WRITE_EXPORT = os.environ.get("QUORVANE_WRITE_EXPORT", "")
CLI = os.environ.get("QUORVANE_CLI", "")
STAND_IN_RUN_LIBRARY = os.environ.get("QUORVANE_STAND_IN_RUN_LIBRARY", "")
PROMTOOL = "/usr/bin/promtool"
NODE_EXPORTER = "/usr/bin/prometheus-node-exporter"
START_LIMIT_S = 20
STOP_LIMIT_S = 10

FIGURES = ["score_single", "score_multi", "int_single_mops", "int_multi_mops",
           "fp_single_mflops", "fp_multi_mflops", "mem_bandwidth_mbps"]
CHARTS = ["score_single", "score_multi"] + FIGURES[2:] + ["other_load_percent"]


def setUpModule():
    if not WRITE_EXPORT or not os.path.exists(WRITE_EXPORT):
        raise unittest.SkipTest(f"QUORVANE_WRITE_EXPORT does not name a file: {WRITE_EXPORT!r}")
    # A missing reader fails the tests, naming its package, rather than skipping them.
    for program, package in ((PROMTOOL, "prometheus"), (NODE_EXPORTER, "prometheus-node-exporter"),
                             (devtools.CHROMIUM, "chromium")):
        if not os.path.exists(program):
            raise RuntimeError(f"{program} is missing: install Debian's {package}")


def report(score_single, cancelled=False):
    scale = 0 if cancelled else score_single / 1000
    return {"score_single": score_single, "score_multi": round(2 * score_single),
            "int_single_mops": round(550 * scale), "int_multi_mops": round(1100 * scale),
            "fp_single_mflops": round(3000 * scale), "fp_multi_mflops": round(6000 * scale),
            "mem_bandwidth_mbps": round(9000 * scale), "threads_used": 2,
            "duration_ms": 3000 if cancelled else 20010}


def document(scores, cancelled_last=False, cpu_model="Constructed \"CPU\" <model> \\ 2"):
    runs = [{"started_at": f"2026-12-09T11:0{i}:00Z", "ended_at": f"2026-12-09T11:0{i}:20Z",
             "cancelled": False, "report": report(score),
             "other_load_percent": [1.5, 30 + i, 2, None, 0]}
            for i, score in enumerate(scores)]
    if cancelled_last:
        runs.append({"started_at": "2026-12-09T11:09:00Z", "ended_at": "2026-12-09T11:09:03Z",
                     "cancelled": True, "report": report(0, cancelled=True),
                     "other_load_percent": [4, None, None, None, None]})
    return {"schema_version": 1, "host_version": "1.0.0", "library_version": "1.0.0",
            "started_at": "2026-12-09T11:00:00Z",
            "machine": {"cpu_model": cpu_model, "logical_processors": 2,
                        "usable_processors": 2, "memory_bytes": 25769803776,
                        "os": "Debian GNU/Linux 12 (bookworm)", "kernel": "Linux 6.1.0"},
            "runs": runs, "summary": {}}


def with_conditions(doc):
    """The document as version 2 has it: each phase's conditions, a verdict, a quota."""
    doc["schema_version"] = 2
    doc["machine"]["quota_processors"] = 1.5
    for number, run in enumerate(doc["runs"]):
        run["conditions"] = [{"other_load_percent": 1.0, "steal_percent": 0.5 * number,
                              "frequency_mean_hz": 2.4e9, "frequency_lowest_hz": 2.2e9,
                              "thermal_throttle_events": 0, "quota_throttled_periods": number,
                              "quota_throttled_seconds": 0.25 * number}] * 5
        run["verdict"] = {"clean": number == 0, "reasons": [], "not_reported": []}
    return doc


def write_document(folder, doc, name):
    path = os.path.join(folder, name)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(doc, f)
    return path


def write_export(folder, doc, name, baseline=None):
    """Writes the export called name of doc (and baseline) into folder."""
    arguments = [WRITE_EXPORT, write_document(folder, doc, name + ".json"),
                 os.path.join(folder, name)]
    if baseline is not None:
        arguments.append(write_document(folder, baseline, "baseline-" + name + ".json"))
    subprocess.run(arguments, check=True, timeout=30)
    return os.path.join(folder, name)


def promtool_check(path):
    with open(path, "rb") as f:
        return subprocess.run([PROMTOOL, "check", "metrics"], stdin=f, capture_output=True,
                              text=True, timeout=30)


class PromtoolTest(unittest.TestCase):
    def test_the_checker_accepts_every_kind_of_export(self):
        with tempfile.TemporaryDirectory() as folder:
            for name, doc in (("runs.prom", document([1210, 1250, 1230], cancelled_last=True)),
                              ("conditions.prom", with_conditions(document([1210, 1250]))),
                              ("one.prom", document([987])),
                              ("cancelled.prom", document([], cancelled_last=True))):
                result = promtool_check(write_export(folder, doc, name))
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""),
                                 name)

    def test_the_checker_accepts_the_export_of_every_accepted_fuzz_corpus_file(self):
        corpus = os.environ["QUORVANE_FUZZ_CORPUS"]
        files = [os.path.join(corpus, name) for name in sorted(os.listdir(corpus))]
        accepted = 0
        with tempfile.TemporaryDirectory() as folder:
            output = os.path.join(folder, "out.prom")
            for path in files:
                made = subprocess.run([os.environ["QUORVANE_PROM_FROM_BASELINE"], path, output],
                                      capture_output=True, text=True, errors="replace", timeout=30,
                                      check=False)
                if made.returncode == 3:
                    continue
                self.assertEqual(made.returncode, 0, (path, made.stderr))
                accepted += 1
                result = promtool_check(output)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""),
                                 path)
        self.assertGreater(accepted, 0, "no corpus file was accepted")

    def test_the_checker_catches_what_the_export_avoids(self):
        # A metric without help text, and one in milliseconds instead of the
        # base unit: the checker is strict about both.
        with tempfile.TemporaryDirectory() as folder:
            for text in ("quorvane_runs 1\n",
                         "# HELP quorvane_run_duration_milliseconds Duration.\n"
                         "# TYPE quorvane_run_duration_milliseconds gauge\n"
                         "quorvane_run_duration_milliseconds 20010\n"):
                path = os.path.join(folder, "bad.prom")
                with open(path, "w", encoding="ascii") as f:
                    f.write(text)
                self.assertNotEqual(promtool_check(path).returncode, 0, text)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class NodeExporter:
    """A node_exporter with the textfile collector alone, on 127.0.0.1."""

    def __init__(self, folder):
        self.port = free_port()
        self.process = subprocess.Popen(
            [NODE_EXPORTER, "--collector.disable-defaults", "--collector.textfile",
             f"--collector.textfile.directory={folder}",
             f"--web.listen-address=127.0.0.1:{self.port}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)

    def scrape(self):
        deadline = time.monotonic() + START_LIMIT_S
        while True:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{self.port}/metrics",
                                            timeout=5) as response:
                    return response.read().decode()
            except OSError:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    raise
                time.sleep(0.1)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(STOP_LIMIT_S)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(STOP_LIMIT_S)
        self.process.stderr.close()


def sample(exposition, name_and_labels):
    match = re.search("^" + re.escape(name_and_labels) + r" (\S+)$", exposition, re.MULTILINE)
    return float(match.group(1)) if match else None


def serve(folder):
    """What a node_exporter of its own serves from the .prom files in folder."""
    exporter = NodeExporter(folder)
    try:
        return exporter.scrape()
    finally:
        exporter.stop()


class NodeExporterTest(unittest.TestCase):
    def test_the_collector_serves_the_median_score(self):
        with tempfile.TemporaryDirectory() as folder:
            write_export(folder, document([1210, 1250, 1230], cancelled_last=True),
                         "quorvane.prom")
            served = serve(folder)
        self.assertEqual(sample(served, "node_textfile_scrape_error"), 0, served)
        self.assertEqual(sample(served, 'quorvane_score{threads="single"}'), 1230)
        self.assertEqual(sample(served, "quorvane_runs"), 3)
        self.assertEqual(sample(served, "quorvane_memory_copy_bytes_per_second"),
                         round(9000 * 1.23) * 1048576)
        self.assertIn('cpu_model="Constructed \\"CPU\\" <model> \\\\ 2"', served)


# Counts, for each figure block, its charts, bars and points as the
# browser's DOM holds them, and the rendered width of its chart.
CHART_SURVEY = """JSON.stringify(Array.from(document.querySelectorAll('figure[data-figure]'))
  .map(f => ({figure: f.dataset.figure,
              charts: f.querySelectorAll('svg[data-chart]').length,
              svg: f.querySelector('svg') instanceof SVGSVGElement,
              width: f.querySelector('svg').getBoundingClientRect().width,
              bars: f.querySelectorAll('rect.bar').length,
              baseline_bars: f.querySelectorAll('rect.baseline').length,
              points: f.querySelectorAll('.run').length})))"""


# Every text of a chart whose box reaches outside its chart's box, as the
# browser lays them out.
TEXTS_OUTSIDE = """JSON.stringify(Array.from(document.querySelectorAll('svg[data-chart]'))
  .flatMap(svg => {
    const box = svg.getBoundingClientRect();
    return Array.from(svg.querySelectorAll('text')).map(text => {
      const r = text.getBoundingClientRect();
      return {chart: svg.dataset.chart, text: text.textContent, width: r.width,
              outside: r.left < box.left - 0.5 || r.right > box.right + 0.5 ||
                       r.top < box.top - 0.5 || r.bottom > box.bottom + 0.5};
    });
  }))"""


def disturbed_comparison():
    """This machine's runs and a baseline of larger figures, some of its runs
    disturbed: the longest texts a chart writes beside its bars."""
    here = with_conditions(document([1210000, 1250000, 1230000, 1220000]))
    baseline = with_conditions(document([1190000, 1215000, 1230000, 1240000, 1270000, 1180000,
                                         1200000]))
    for side in (here, baseline):
        for number, run in enumerate(side["runs"]):
            # A machine that reports no frequency and no throttling.
            run["conditions"] = [{"other_load_percent": 1.0, "steal_percent": 0.0,
                                  "frequency_mean_hz": None, "thermal_throttle_events": None,
                                  "quota_throttled_seconds": 0.0}] * 5
            disturbed = side is baseline and number in (2, 3, 4)
            run["verdict"] = {"clean": not disturbed,
                              "reasons": ["other programs 31% in phase 2"] if disturbed else [],
                              "not_reported": ["frequency", "thermal throttling"]}
    return here, baseline


class BrowserTestCase(unittest.TestCase):
    """Tests that share one headless Chromium of their own."""

    @classmethod
    def setUpClass(cls):
        cls.browser = devtools.Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.stop()

    def load_cleanly(self, path):
        """Loads the page, which must request nothing but itself and show no
        error, and returns its figures as the DOM holds them."""
        problems, requested, survey = devtools.load(self.browser, "file://" + path, CHART_SURVEY)
        self.assertEqual(problems, [])
        self.assertEqual(requested, ["file://" + path])
        charts = {chart["figure"]: chart for chart in json.loads(survey)}
        self.assertEqual(sorted(charts), sorted(CHARTS))
        for name, chart in charts.items():
            self.assertEqual(chart["charts"], 1, name)
            self.assertTrue(chart["svg"], name)
            self.assertGreater(chart["width"], 300, name)
        return charts


class BrowserTest(BrowserTestCase):
    def test_runs_and_a_baseline_load_cleanly_with_one_chart_per_figure(self):
        with tempfile.TemporaryDirectory() as folder:
            path = write_export(folder, document([1210, 1250, 1230], cancelled_last=True),
                                "runs.html", baseline=document([900]))
            charts = self.load_cleanly(path)
        for name, chart in charts.items():
            self.assertGreaterEqual(chart["baseline_bars"], 1, name)
        for name in FIGURES:
            # Three finished runs beside their median; the cancelled one is not drawn.
            self.assertEqual(charts[name]["points"], 3, name)
            self.assertEqual(charts[name]["bars"], 1, name)

    def test_every_text_of_a_chart_lies_inside_its_chart(self):
        here, baseline = disturbed_comparison()
        with tempfile.TemporaryDirectory() as folder:
            path = write_export(folder, here, "compare.html", baseline=baseline)
            self.load_cleanly(path)
            problems, _, texts = devtools.load(self.browser, "file://" + path, TEXTS_OUTSIDE)
        self.assertEqual(problems, [])
        texts = json.loads(texts)
        # The survey sees the texts: the bars' values with their disturbed runs.
        self.assertTrue(any(text["text"].endswith("3 disturbed") and text["width"] > 0
                            for text in texts), texts)
        self.assertEqual([text for text in texts if text["outside"]], [])

    def test_a_page_that_loads_something_is_caught(self):
        # The same checks on a page that asks for a missing image: they see it.
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "fetching.html")
            with open(path, "w", encoding="utf-8") as f:
                f.write('<!DOCTYPE html><html><head><meta charset="utf-8"><title>t</title>'
                        '</head><body><img src="missing.png" alt=""></body></html>')
            problems, requested, _ = devtools.load(self.browser, "file://" + path, "1")
        self.assertIn("file://" + os.path.join(folder, "missing.png"), requested)
        self.assertTrue(any("failed request" in problem for problem in problems), problems)
        self.assertTrue(any("log error" in problem for problem in problems), problems)


class AtomicityTest(unittest.TestCase):
    def test_a_reader_never_sees_a_partial_file(self):
        with tempfile.TemporaryDirectory() as folder:
            # Two exports of different lengths, the long one about 1 MB, so
            # that writing it in place would take many of the reader's reads.
            sources = [write_document(folder, document([1210], cpu_model="A" * 1000000),
                                      "long.json"),
                       write_document(folder, document([1250], cpu_model="B"), "short.json")]
            target = os.path.join(folder, "quorvane.prom")
            complete = set()
            for source in sources:
                subprocess.run([WRITE_EXPORT, source, target], check=True, timeout=30)
                with open(target, "rb") as f:
                    complete.add(f.read())
            partial, reads = [], [0]
            stop = threading.Event()

            def read_while_written():
                while not stop.is_set():
                    with open(target, "rb") as f:
                        text = f.read()
                    reads[0] += 1
                    if text not in complete:
                        partial.append(len(text))

            reader = threading.Thread(target=read_while_written)
            reader.start()
            try:
                for i in range(40):
                    subprocess.run([WRITE_EXPORT, sources[i % 2], target], check=True, timeout=30)
            finally:
                stop.set()
                reader.join(30)
            self.assertEqual(len(partial), 0, f"{len(partial)} partial files among {reads[0]} "
                                              f"reads, of lengths {partial[:5]}")
            self.assertGreater(reads[0], 40)
            # No temporary file is left beside it.
            self.assertEqual(sorted(os.listdir(folder)),
                             ["long.json", "quorvane.prom", "short.json"])


def run_host(*arguments, behaviour=None, interrupt=False, timeout=60):
    """Runs the host against the stand-in library; with interrupt, sends
    SIGINT once the host's first progress line is out (the run has begun)."""
    # A machine whose counters stand still: the stand-in's runs are not
    # judged by whatever else this machine is doing.
    with tempfile.TemporaryDirectory() as root:
        os.makedirs(os.path.join(root, "proc"))
        os.makedirs(os.path.join(root, "sys", "devices", "system", "cpu"))
        with open(os.path.join(root, "proc", "stat"), "w", encoding="utf-8") as f:
            f.write("cpu0 100 0 50 10000 5 0 0 0 0 0\ncpu1 100 0 50 10000 5 0 0 0 0 0\n")
        with open(os.path.join(root, "sys", "devices", "system", "cpu", "online"), "w",
                  encoding="utf-8") as f:
            f.write("0-1\n")
        environment = dict(os.environ, QUORVANE_SYSTEM_ROOT=root)
        environment.pop("QUORVANE_STAND_IN_BEHAVIOUR", None)
        if behaviour:
            environment["QUORVANE_STAND_IN_BEHAVIOUR"] = behaviour
        # Progress lines are what an interrupt waits for; otherwise --quiet.
        quiet = [] if interrupt else ["--quiet"]
        process = subprocess.Popen([CLI, "--library", STAND_IN_RUN_LIBRARY, *quiet,
                                    *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   text=True, env=environment)
        seen = ""
        try:
            if interrupt:
                line = process.stderr.readline()
                seen += line
                if "phase 1/5" not in line:
                    raise AssertionError(f"no progress line before the run ended: {line!r}")
                process.send_signal(signal.SIGINT)
            stdout, stderr = process.communicate(timeout=timeout)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
    return process.returncode, stdout, seen + stderr


class ProgramExportTest(BrowserTestCase):
    """--export FILE.prom and FILE.html from real invocations of the host."""

    @classmethod
    def setUpClass(cls):
        if not os.path.exists(CLI) or not os.path.exists(STAND_IN_RUN_LIBRARY):
            raise unittest.SkipTest("QUORVANE_CLI or QUORVANE_STAND_IN_RUN_LIBRARY is not set")
        super().setUpClass()

    def check_page(self, path, figure_points):
        charts = self.load_cleanly(path)
        for name in FIGURES:
            self.assertEqual(charts[name]["points"], figure_points, name)
        return charts

    def test_three_runs_export_what_the_collector_and_the_browser_read(self):
        with tempfile.TemporaryDirectory() as folder:
            prom, page, doc = (os.path.join(folder, "quorvane" + extension)
                               for extension in (".prom", ".html", ".json"))
            status, _, stderr = run_host("--runs", "3", "--export", prom, "--export", page,
                                         "--export", doc)
            self.assertEqual(status, 0, stderr)
            self.assertEqual(promtool_check(prom).returncode, 0)
            with open(doc, encoding="utf-8") as f:
                written = json.load(f)
            scores = sorted(run["report"]["score_single"] for run in written["runs"])
            os.remove(doc)  # the collector reads *.prom alone; keep the folder to the point
            served = serve(folder)
            self.assertEqual(sample(served, "node_textfile_scrape_error"), 0, served)
            self.assertEqual(sample(served, 'quorvane_score{threads="single"}'), scores[1])
            self.assertEqual(sample(served, "quorvane_runs"), 3)
            self.check_page(page, figure_points=3)

    def test_the_page_shows_the_baseline_of_compare_in_every_figure(self):
        with tempfile.TemporaryDirectory() as folder:
            baseline, page = os.path.join(folder, "base.json"), os.path.join(folder, "q.html")
            status, _, stderr = run_host("--export", baseline)
            self.assertEqual(status, 0, stderr)
            status, _, stderr = run_host("--runs", "2", "--compare", baseline, "--export", page)
            self.assertEqual(status, 0, stderr)
            charts = self.check_page(page, figure_points=2)
        for name in FIGURES:
            self.assertEqual(charts[name]["baseline_bars"], 1, name)

    def test_a_cancelled_run_exports_no_figure_and_a_page_of_empty_charts(self):
        with tempfile.TemporaryDirectory() as folder:
            prom, page = os.path.join(folder, "q.prom"), os.path.join(folder, "q.html")
            status, _, stderr = run_host("--export", prom, "--export", page,
                                         behaviour="until_cancel", interrupt=True)
            self.assertEqual(status, 130, stderr)
            self.assertEqual(promtool_check(prom).returncode, 0)
            with open(prom, encoding="utf-8") as f:
                text = f.read()
            self.assertEqual(sample(text, "quorvane_runs"), 0)
            self.assertNotIn("quorvane_score", text)
            charts = self.check_page(page, figure_points=0)
            self.assertEqual(sum(chart["bars"] for chart in charts.values()), 0)


if __name__ == "__main__":
    unittest.main()
