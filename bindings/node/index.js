'use strict';
// Drive the quorvane benchmark library from Node through koffi.
//
//   const { Quorvane } = require('quorvane');
//   const report = await new Quorvane().run({ onProgress: ({ percent, phase }) => console.log(percent, phase) });
//
// The library keeps one run state per process, so every Quorvane object in a
// process drives the same run.

const fs = require('fs');
const path = require('path');
const { setTimeout: sleep } = require('timers/promises');
const koffi = require('koffi');

const ENVIRONMENT_VARIABLE = 'QUORVANE_LIBRARY';
const DEFAULT_POLL_MS = 100;

const STATE = Object.freeze({ IDLE: 0, RUNNING: 1, FINISHED: 2, CANCELLED: 3 });

const PHASE_NAMES = Object.freeze({
  0: 'none',
  1: 'integer mixing, one thread',
  2: 'integer mixing, all processors',
  3: 'floating point, one thread',
  4: 'floating point, all processors',
  5: 'memory copy',
});

// koffi copies a 'const char *' result into a JS string and frees nothing:
// the text stays the library's.
const EXPORTS = Object.freeze({
  version: 'const char *quorvane_version(void)',
  lastError: 'const char *quorvane_last_error(void)',
  state: 'int quorvane_state(void)',
  progress: 'int quorvane_progress(void)',
  phase: 'int quorvane_phase(void)',
  cancel: 'void quorvane_cancel(void)',
  start: 'int quorvane_start(void)',
  resultsJson: 'const char *quorvane_results_json(void)',
});

class QuorvaneError extends Error {
  constructor(message) {
    super(message);
    this.name = 'QuorvaneError';
  }
}

/** The library's file name on this operating system. */
function libraryFileName(platform = process.platform) {
  if (platform === 'win32') return 'morvatic-quorvane-cpu-benchmark.dll';
  if (platform === 'darwin') return 'libmorvatic-quorvane-cpu-benchmark.dylib';
  return 'libmorvatic-quorvane-cpu-benchmark.so';
}

// The published package carries the library built for these platforms, in
// prebuilds/<platform>-<arch>/; a checkout of the sources has no prebuilds.
const PREBUILDS_DIR = path.join(__dirname, 'prebuilds');

/**
 * The package's own library for this platform and architecture, or null when
 * the package has no prebuilds at all. A package that has prebuilds, but none
 * for this platform, is an error that names what it has.
 */
function prebuiltLibraryPath(platform = process.platform, arch = process.arch, prebuildsDir = PREBUILDS_DIR) {
  if (!fs.existsSync(prebuildsDir)) return null;
  const target = `${platform}-${arch}`;
  const candidate = path.join(prebuildsDir, target, libraryFileName(platform));
  if (fs.existsSync(candidate)) return candidate;
  const available = fs.readdirSync(prebuildsDir).sort().join(', ');
  throw new QuorvaneError(
    `this package has no prebuilt library for ${target} (it has ${available}); ` +
    `build the library for ${target} and pass its path to new Quorvane(path) or set ${ENVIRONMENT_VARIABLE}`);
}

/**
 * Where the library is loaded from when no path is given: QUORVANE_LIBRARY,
 * else beside the application's main script, else the package's prebuilt
 * library for this platform and architecture, else the bare file name, which
 * the loader looks for on its own search path.
 */
function defaultLibraryPath() {
  const fromEnvironment = process.env[ENVIRONMENT_VARIABLE];
  if (fromEnvironment) return fromEnvironment;
  if (require.main && require.main.filename) {
    const besideApplication = path.join(path.dirname(require.main.filename), libraryFileName());
    if (fs.existsSync(besideApplication)) return besideApplication;
  }
  return prebuiltLibraryPath() || libraryFileName();
}

// Carries an exception thrown by onProgress out of the polling loop, so that
// run() tells it from the rejection of an aborted sleep.
class ProgressCallbackFailure {
  constructor(error) { this.error = error; }
}

function abortError(report) {
  const error = new Error('the run was cancelled', { cause: report });
  error.name = 'AbortError';
  error.code = 'ABORT_ERR';
  return error;
}

class Quorvane {
  #native;

  /** Loads the library: from libraryPath, else as defaultLibraryPath() says. */
  constructor(libraryPath) {
    this.path = libraryPath === undefined || libraryPath === null ? defaultLibraryPath() : String(libraryPath);
    let library;
    try {
      library = koffi.load(this.path);
    } catch (error) {
      throw new QuorvaneError(`cannot load the library ${this.path}: ${error.message}`);
    }
    const native = {};
    const missing = [];
    for (const [name, declaration] of Object.entries(EXPORTS)) {
      try {
        native[name] = library.func(declaration);
      } catch {
        missing.push(declaration.match(/quorvane_\w+/)[0]);
      }
    }
    if (missing.length) {
      throw new QuorvaneError(`the library ${this.path} lacks the export(s) ${missing.join(', ')}`);
    }
    this.#native = native;
  }

  /** The library's version text. */
  get version() { return this.#native.version(); }

  /** The reason of the last refused start, or ''. */
  get lastError() { return this.#native.lastError(); }

  /** 0 idle, 1 running, 2 finished, 3 cancelled. */
  get state() { return this.#native.state(); }

  /** The phase now running, 1 to 5, or 0 when none runs. */
  get phase() { return this.#native.phase(); }

  /** Percent done: 0, 2, 20, 40, 60, 80 or 100. */
  get progress() { return this.#native.progress(); }

  /** Starts a run on the library's own thread; throws QuorvaneError when refused. */
  start() {
    if (this.#native.start() !== 0) {
      throw new QuorvaneError(`the library refused to start a run: ${this.lastError}`);
    }
  }

  /** Asks the run in progress to end early; it ends in state 3. */
  cancel() { this.#native.cancel(); }

  /** The report the library holds now, as a plain object of its nine members. */
  results() { return JSON.parse(this.#native.resultsJson()); }

  /**
   * Runs the benchmark to the end, polling every pollMs with timers, and
   * resolves with the report of the finished run. onProgress({ percent, phase })
   * is called whenever either changes. An aborted signal, or an exception from
   * onProgress, cancels the run and waits for it to close before the promise
   * rejects: with an AbortError whose cause is the cancelled report, or with
   * that exception, even when the signal is aborted too. A run that closes
   * cancelled for another reason (a cancel() from elsewhere) rejects with an
   * AbortError too.
   */
  async run({ onProgress, signal, pollMs = DEFAULT_POLL_MS } = {}) {
    if (!(pollMs > 0)) throw new RangeError('pollMs must be above 0');
    if (signal && signal.aborted) throw abortError(undefined);
    this.start();
    try {
      await this.#pollUntilClosed(onProgress, signal, pollMs);
    } catch (error) {
      // No run may outlive the call: cancel, wait for the close, then reject.
      // An exception from onProgress is rethrown as it is, even when the
      // signal was aborted too.
      this.cancel();
      while (this.state === STATE.RUNNING) await sleep(pollMs);
      if (error instanceof ProgressCallbackFailure) throw error.error;
      throw signal && signal.aborted ? abortError(this.results()) : error;
    }
    const report = this.results();
    if (this.state === STATE.CANCELLED) throw abortError(report);
    return report;
  }

  async #pollUntilClosed(onProgress, signal, pollMs) {
    let last;
    for (;;) {
      // The state is read first: once it is final, so are phase and progress.
      const state = this.state;
      const now = { percent: this.progress, phase: this.phase };
      if (onProgress && (!last || now.percent !== last.percent || now.phase !== last.phase)) {
        try {
          onProgress(now);
        } catch (error) {
          throw new ProgressCallbackFailure(error);
        }
        last = now;
      }
      if (state !== STATE.RUNNING) return;
      await sleep(pollMs, undefined, { signal });
    }
  }
}

module.exports = {
  Quorvane,
  QuorvaneError,
  STATE,
  PHASE_NAMES,
  ENVIRONMENT_VARIABLE,
  DEFAULT_POLL_MS,
  libraryFileName,
  defaultLibraryPath,
  prebuiltLibraryPath,
};
