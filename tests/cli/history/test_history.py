"""The history (quorvane --history, quorvane history, history import) against SQLite itself.

Paths come from the environment (CTest sets them): QUORVANE_CLI the host,
QUORVANE_STAND_IN_RUN_LIBRARY the library whose runs take a few polls.
"""

import datetime
import json
import os
import resource
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import history_documents  # noqa: E402

CLI = os.environ.get("QUORVANE_CLI", "")
STAND_IN = os.environ.get("QUORVANE_STAND_IN_RUN_LIBRARY", "")
QUIET_MACHINE = {"sys/devices/system/cpu/online": "0-1\n",
                 "proc/stat": "cpu0 100 0 50 10000 5 0 0 0 0 0\ncpu1 100 0 50 10000 5 0 0 0 0 0\n",
                 "etc/machine-id": "5e6f0c3a9b7d4e21a8c4f1e2d3b4a596\n"}
START = datetime.datetime(2026, 10, 1)
# The first schema, exactly as its version wrote it: the migration's starting point.
SCHEMA_1 = """
CREATE TABLE machines (id INTEGER PRIMARY KEY, machine_key TEXT NOT NULL UNIQUE);
CREATE TABLE invocations (id INTEGER PRIMARY KEY,
  machine_id INTEGER NOT NULL REFERENCES machines(id), document_sha256 TEXT NOT NULL UNIQUE,
  origin TEXT NOT NULL CHECK (origin IN ('run', 'import')), started_at TEXT NOT NULL,
  host_version TEXT NOT NULL, library_version TEXT NOT NULL, machine TEXT NOT NULL);
CREATE INDEX invocations_by_machine ON invocations (machine_id, started_at, id);
CREATE TABLE runs (id INTEGER PRIMARY KEY,
  invocation_id INTEGER NOT NULL REFERENCES invocations(id) ON DELETE CASCADE,
  position INTEGER NOT NULL, started_at TEXT NOT NULL, ended_at TEXT NOT NULL,
  cancelled INTEGER NOT NULL CHECK (cancelled IN (0, 1)), clean INTEGER NOT NULL CHECK (clean IN (0, 1)),
  verdict TEXT NOT NULL, conditions TEXT NOT NULL, report TEXT NOT NULL, UNIQUE (invocation_id, position));
PRAGMA user_version = 1;
"""


def setUpModule():
    for name, value in (("QUORVANE_CLI", CLI), ("QUORVANE_STAND_IN_RUN_LIBRARY", STAND_IN)):
        if not value or not os.path.exists(value):
            raise unittest.SkipTest(f"{name} does not name a file: {value!r}")


def rows(database, sql):
    connection = sqlite3.connect(database)
    try:
        return connection.execute(sql).fetchall()
    finally:
        connection.close()


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


class HistoryTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quorvane-history-")
        os.chmod(self.folder, 0o755)
        self.root = os.path.join(self.folder, "root")
        for path, text in QUIET_MACHINE.items():
            full = os.path.join(self.root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as file:
                file.write(text)
        self.db = self.path("history.sqlite")

    def tearDown(self):
        shutil.rmtree(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def host(self, *arguments, timeout=60, **popen):
        environment = dict(os.environ, QUORVANE_SYSTEM_ROOT=self.root)
        environment.pop("QUORVANE_STAND_IN_BEHAVIOUR", None)
        return subprocess.run([CLI, *arguments], capture_output=True, text=True, timeout=timeout,
                              env=environment, **popen)

    def run_stand_in(self, *arguments, **popen):
        return self.host("--library", STAND_IN, "-q", *arguments, **popen)

    def template(self):
        exported = self.path("template.json")
        result = self.run_stand_in("--export", exported)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(exported, encoding="utf-8") as file:
            return json.load(file)

    def stepped_documents(self, template, count=6, runs=10, machine_id="ab" * 16):
        """Documents of one machine whose multi-thread score steps from 2172 to 1960
        at run 31, its kernel changing at the same document; a few runs disturbed."""
        paths = []
        for index in range(count):
            scores = []
            for run in range(runs):
                number = index * runs + run + 1
                wobble = 1 + 0.004 * ((number * 7919) % 11 - 5)
                scores.append((2172 if number <= 30 else 1960) * wobble)
            clean = [run % 5 != 4 for run in range(runs)]
            kernel = "Linux 6.1" if index * runs < 30 else "Linux 6.6"
            document = history_documents.make_document(template, machine_id, START, index * runs,
                                                       scores, clean, kernel)
            paths.append(self.path(f"doc{index}.json"))
            history_documents.write(document, paths[-1])
        return paths

    def assert_intact(self, database):
        self.assertEqual(rows(database, "PRAGMA integrity_check"), [("ok",)])
        self.assertEqual(rows(database, "PRAGMA foreign_key_check"), [])

    def test_every_run_is_recorded_with_the_hashed_machine_id(self):
        exported = self.path("runs.json")
        result = self.run_stand_in("--runs", "2", "--history", self.db, "--export", exported)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(f"recorded 2 runs in {self.db}", result.stderr)
        with open(exported, encoding="utf-8") as file:
            document = json.load(file)
        machine_id = document["machine"]["id"]
        self.assertRegex(machine_id, "^[0-9a-f]{32}$")
        self.assertNotIn("5e6f0c3a9b7d4e21a8c4f1e2d3b4a596", json.dumps(document))
        self.assertEqual(rows(self.db, "SELECT machine_key FROM machines"), [(f"id:{machine_id}",)])
        stored = rows(self.db, "SELECT report, cancelled FROM runs ORDER BY position")
        self.assertEqual([json.loads(report) for report, _ in stored],
                         [run["report"] for run in document["runs"]])
        self.assertEqual(rows(self.db, "PRAGMA journal_mode"), [("wal",)])
        self.assertEqual(rows(self.db, "PRAGMA user_version"), [(2,)])
        # A cancelled run is recorded too.
        environment_root = self.root
        result = subprocess.run([CLI, "--library", STAND_IN, "-q", "--history", self.db],
                                capture_output=True, text=True, timeout=60,
                                env=dict(os.environ, QUORVANE_SYSTEM_ROOT=environment_root,
                                         QUORVANE_STAND_IN_BEHAVIOUR="interrupt_in_start"))
        self.assertEqual(result.returncode, 130, result.stderr)
        self.assertIn(f"recorded 1 run in {self.db}", result.stderr)
        self.assertEqual(rows(self.db, "SELECT count(*), sum(cancelled) FROM runs"), [(3, 1)])
        # The export of an invocation already recorded adds nothing.
        result = self.host("history", "import", "--history", self.db, exported)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("imported 0 of 1 documents", result.stdout)
        self.assert_intact(self.db)

    def test_import_twice_and_read_the_change(self):
        documents = self.stepped_documents(self.template())
        for expected in ("imported 6 of 6", "imported 0 of 6"):
            result = self.host("history", "import", "--history", self.db, *documents)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn(expected, result.stdout)
            self.assertEqual(rows(self.db, "SELECT count(*) FROM runs"), [(60,)])
        result = self.host("history", "--history", self.db, "--figure", "score_multi")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stdout, r"multi-thread score: 21\d\d → 19\d\d \(−\d+\.\d%, "
                                        r"−\d+\.\d% to −\d+\.\d%\) from run 31, 2026-10-02; "
                                        r"system changed at run 31: Linux 6.1 → 6.6")
        self.assertNotIn("single-thread score", result.stdout)
        cases = [(["--fail-on-regression", "5"], 8), (["--fail-on-regression", "15"], 0),
                 (["--machine", "no such machine"], 0), (["--figure", "speed"], 2),
                 (["--since", "yesterday"], 2), (["--export", self.path("out.txt")], 2)]
        for extra, status in cases:
            with self.subTest(extra=extra):
                result = self.host("history", "--history", self.db, *extra)
                self.assertEqual(result.returncode, status, result.stderr)
        result = self.host("history", "--history", self.db, "--since", "2026-10-03")
        self.assertIn("single-thread score: 10", result.stdout)
        self.assertNotIn("→", result.stdout)  # the runs before the step are left out
        exports = [self.path(name) for name in ("h.json", "h.csv", "h.html")]
        arguments = [item for path in exports for item in ("--export", path)]
        result = self.host("history", "--history", self.db, *arguments)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(exports[0], encoding="utf-8") as file:
            exported = json.load(file)
        changes = [figure["changes"] for figure in exported["machines"][0]["figures"]
                   if figure["figure"] == "score_multi"][0]
        self.assertEqual([change["run"] for change in changes], [31])
        with open(exports[1], encoding="utf-8") as file:
            self.assertEqual(len(file.read().splitlines()), 61)
        with open(exports[2], encoding="utf-8") as file:
            self.assertIn("<svg", file.read())

    def test_two_writers_at_once_both_land(self):
        template = self.template()
        sets = []
        for writer in range(2):
            paths = []
            for index in range(40):
                document = history_documents.make_document(template, f"{writer + 1:032x}", START,
                                                           index * 20, [2000 + index] * 20)
                paths.append(self.path(f"w{writer}-{index}.json"))
                history_documents.write(document, paths[-1])
            sets.append(paths)
        environment = dict(os.environ, QUORVANE_SYSTEM_ROOT=self.root)
        writers = [subprocess.Popen([CLI, "history", "import", "--history", self.db, *paths],
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                    env=environment) for paths in sets]
        writers.append(subprocess.Popen([CLI, "--library", STAND_IN, "-q", "--history", self.db],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                        env=environment))
        for writer in writers:
            _, error = writer.communicate(timeout=120)
            self.assertEqual(writer.returncode, 0, error)
        self.assertEqual(rows(self.db, "SELECT count(*) FROM runs"), [(2 * 40 * 20 + 1,)])
        self.assert_intact(self.db)

    def test_killed_mid_write_leaves_all_or_none(self):
        template = self.template()
        paths = []
        for index in range(150):
            document = history_documents.make_document(template, "cd" * 16, START, index * 100,
                                                       [2100] * 100)
            paths.append(self.path(f"k{index}.json"))
            history_documents.write(document, paths[-1])
        result = self.host("history", "import", "--history", self.db, paths[0])
        self.assertEqual(result.returncode, 0, result.stderr)
        writer = subprocess.Popen([CLI, "history", "import", "--history", self.db, *paths[1:]],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wal = self.db + "-wal"
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and writer.poll() is None:
            if os.path.exists(wal) and os.path.getsize(wal) > 2 << 20:
                break
            time.sleep(0.01)
        writer.send_signal(signal.SIGKILL)
        writer.wait(timeout=10)
        self.assertEqual(writer.returncode, -signal.SIGKILL, "the import ended before the kill")
        self.assert_intact(self.db)
        self.assertEqual(rows(self.db, "SELECT count(*) FROM runs"), [(100,)])
        # A later writer finds the database as it was and writes.
        result = self.host("history", "import", "--history", self.db, paths[1])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(rows(self.db, "SELECT count(*) FROM runs"), [(200,)])

    def test_failures_are_one_line_and_lose_nothing(self):
        seeded = self.path("seeded.sqlite")
        result = self.run_stand_in("--history", seeded)
        self.assertEqual(result.returncode, 0, result.stderr)
        shutil.copy(seeded, self.path("newer.sqlite"))
        connection = sqlite3.connect(self.path("newer.sqlite"))
        connection.execute("PRAGMA user_version = 3")
        connection.close()
        with open(self.path("text.sqlite"), "w", encoding="utf-8") as file:
            file.write("not a database\n" * 100)

        def as_nobody():
            os.setgid(65534)
            os.setuid(65534)

        def file_size_limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        cases = [
            ("read-only", seeded, as_nobody if os.geteuid() == 0 else None, "it is read-only"),
            ("locked", seeded, None, "another program kept it locked for more than 5 s"),
            ("full", seeded, file_size_limit, "cannot write the history database"),
            ("not a database", self.path("text.sqlite"), None, "is not a history database"),
            ("newer", self.path("newer.sqlite"), None,
             "has schema version 3, newer than this host knows (2): nothing was written to it"),
        ]
        for name, database, preexec, message in cases:
            with self.subTest(name):
                working = self.path("working-" + name.replace(" ", "-"))
                shutil.copy(database, working)
                if name == "read-only":
                    os.chmod(working, 0o444)
                exported = self.path(name.replace(" ", "-") + ".csv")
                if name == "read-only" and os.geteuid() == 0:
                    os.chmod(self.folder, 0o777)
                before = read_bytes(working)
                locker = None
                if name == "locked":
                    locker = sqlite3.connect(working, isolation_level=None)
                    locker.execute("BEGIN IMMEDIATE")
                try:
                    result = self.run_stand_in("--history", working, "--export", exported,
                                               preexec_fn=preexec)
                finally:
                    if locker is not None:
                        locker.rollback()
                        locker.close()
                self.assertEqual(result.returncode, 7, result.stderr)
                errors = [line for line in result.stderr.splitlines() if line.startswith("quorvane:")]
                self.assertEqual(len(errors), 1, result.stderr)
                self.assertIn(message, errors[0])
                self.assertTrue(os.path.exists(exported), "the other export was not written")
                if name == "not a database":
                    self.assertEqual(read_bytes(working), before)
                else:
                    self.assert_intact(working)
                    self.assertEqual(rows(working, "SELECT count(*) FROM runs"), [(1,)])

    def test_migration_from_the_first_schema(self):
        connection = sqlite3.connect(self.db)
        connection.executescript(SCHEMA_1)
        template = self.template()
        connection.execute("INSERT INTO machines VALUES (1, 'id:" + "ef" * 16 + "')")
        for invocation, kernel in ((1, "Linux 6.1"), (2, "Linux 6.6")):
            machine = dict(template["machine"], kernel=kernel)
            connection.execute("INSERT INTO invocations VALUES (?, 1, ?, 'run', ?, '1.0.0', '1.0.0', ?)",
                               (invocation, f"{invocation:064x}", f"2026-10-0{invocation}T00:00:00Z",
                                json.dumps(machine)))
            report = dict(template["runs"][0]["report"], score_multi=2000 + invocation)
            connection.execute("INSERT INTO runs VALUES (?, ?, 1, ?, ?, 0, 1, '{}', '{}', ?)",
                               (invocation, invocation, f"2026-10-0{invocation}T00:00:00Z",
                                f"2026-10-0{invocation}T00:00:20Z", json.dumps(report)))
        connection.commit()
        connection.close()
        # A reader leaves an older database alone.
        result = self.host("history", "--history", self.db)
        self.assertEqual(result.returncode, 7, result.stderr)
        self.assertEqual(rows(self.db, "PRAGMA user_version"), [(1,)])
        result = self.run_stand_in("--history", self.db)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(rows(self.db, "PRAGMA user_version"), [(2,)])
        self.assertEqual(rows(self.db, "SELECT value FROM figures WHERE run_id <= 2 AND "
                                       "name = 'score_multi' ORDER BY run_id"), [(2001,), (2002,)])
        self.assertEqual(rows(self.db, "SELECT invocation_id, text FROM events"),
                         [(2, "system changed: Linux 6.1 → 6.6")])
        self.assert_intact(self.db)
        result = self.host("history", "--history", self.db)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("system changed at run 2: Linux 6.1 → 6.6", result.stdout)


if __name__ == "__main__":
    unittest.main()
