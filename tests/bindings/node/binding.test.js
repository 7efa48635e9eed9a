'use strict';
// bindings/node against the real library. QUORVANE_LIBRARY names the library;
// QUORVANE_STAND_IN_LIBRARY, when set, one that lacks an export.
const test = require('node:test');
const assert = require('node:assert/strict');
const os = require('os');
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { setTimeout: sleep } = require('timers/promises');

const binding = path.resolve(__dirname, '../../../bindings/node');
const { Quorvane, QuorvaneError, STATE, prebuiltLibraryPath } = require(binding);

const REPORT_KEYS = ['score_single', 'score_multi', 'int_single_mops', 'int_multi_mops',
  'fp_single_mflops', 'fp_multi_mflops', 'mem_bandwidth_mbps', 'threads_used', 'duration_ms'];
const MEASUREMENTS = REPORT_KEYS.slice(0, 7);
const FAST_POLL_MS = 10;

const bench = new Quorvane();

test.afterEach(async () => {
  // Leave no run behind for the next test.
  bench.cancel();
  while (bench.state === STATE.RUNNING) await sleep(FAST_POLL_MS);
});

function assertNonDecreasing(seen) {
  const percents = seen.map((p) => p.percent);
  assert.deepEqual(percents, [...percents].sort((a, b) => a - b), JSON.stringify(seen));
}

test('an aborted signal cancels, waits for the close and rejects with the cancelled report', async () => {
  const controller = new AbortController();
  const seen = [];
  const onProgress = (now) => {
    seen.push(now);
    if (now.phase === 1) controller.abort();
  };
  const error = await bench.run({ onProgress, signal: controller.signal, pollMs: FAST_POLL_MS })
    .then(() => assert.fail('the run resolved'), (e) => e);
  assert.equal(error.name, 'AbortError');
  assert.equal(bench.state, STATE.CANCELLED);
  assert.equal(bench.phase, 0);
  const report = error.cause;
  assert.deepEqual(Object.keys(report), REPORT_KEYS);
  for (const key of MEASUREMENTS) assert.equal(report[key], 0, key);
  assert.equal(report.threads_used, os.cpus().length);
  // A cancel seen within a millisecond of the opening reports 0 ms; under one
  // 4 s window shows that phase 1 was cut short.
  assert.ok(report.duration_ms < 4000, `duration_ms ${report.duration_ms}`);
  assert.deepEqual(report, bench.results());
  assertNonDecreasing(seen);
});

test('timers keep firing during a run', async () => {
  const controller = new AbortController();
  let ticks = 0;
  const ticker = setInterval(() => { ticks += 1; }, 10);
  setTimeout(() => controller.abort(), 300);
  const started = Date.now();
  try {
    await assert.rejects(bench.run({ signal: controller.signal }), { name: 'AbortError' });
  } finally {
    clearInterval(ticker);
  }
  // A blocked loop would have let the abort timer fire only after the 20 s run.
  assert.ok(Date.now() - started < 5000, `the run held the loop for ${Date.now() - started} ms`);
  assert.ok(ticks >= 5, `only ${ticks} ticks`);
  assert.equal(bench.state, STATE.CANCELLED);
});

test('a run that cancel() ends rejects with an AbortError too', async () => {
  const onProgress = ({ phase }) => {
    if (phase === 1) bench.cancel();
  };
  const error = await bench.run({ onProgress, pollMs: FAST_POLL_MS }).then(() => assert.fail('the run resolved'), (e) => e);
  assert.equal(error.name, 'AbortError');
  assert.ok(error.cause.duration_ms < 4000, `duration_ms ${error.cause.duration_ms}`);
  assert.equal(bench.state, STATE.CANCELLED);
});

test('an exception from onProgress cancels the run before it escapes', async () => {
  const onProgress = ({ phase }) => {
    if (phase === 1) throw new TypeError('stop here');
  };
  await assert.rejects(bench.run({ onProgress, pollMs: FAST_POLL_MS }), { name: 'TypeError', message: 'stop here' });
  assert.equal(bench.state, STATE.CANCELLED);
});

test('an exception from onProgress escapes as it is when the signal is aborted too', async () => {
  const controller = new AbortController();
  const onProgress = ({ phase }) => {
    if (phase === 1) {
      controller.abort();
      throw new TypeError('stop here');
    }
  };
  await assert.rejects(bench.run({ onProgress, signal: controller.signal, pollMs: FAST_POLL_MS }),
    { name: 'TypeError', message: 'stop here' });
  assert.equal(bench.state, STATE.CANCELLED);
});

test('a second start while running throws the library\'s text', async () => {
  bench.start();
  assert.equal(bench.lastError, '');
  assert.throws(() => bench.start(), (e) => e instanceof QuorvaneError && /already running/.test(e.message));
  assert.equal(bench.lastError, 'already running');
  assert.equal(bench.state, STATE.RUNNING);
  // run() refused in the same way leaves the run in progress alone.
  await assert.rejects(bench.run(), (e) => e instanceof QuorvaneError && /already running/.test(e.message));
  assert.equal(bench.state, STATE.RUNNING);
  // A second object in the same process drives the same run.
  assert.throws(() => new Quorvane(process.env.QUORVANE_LIBRARY).start(), QuorvaneError);
});

test('the text getters a thousand times leave the library\'s text alone', () => {
  for (let i = 0; i < 1000; i += 1) {
    assert.equal(bench.version, '1.0.0');
    assert.ok(bench.lastError.length < 256);
    assert.deepEqual(Object.keys(bench.results()), REPORT_KEYS);
  }
  if (global.gc) global.gc();
  assert.equal(bench.version, '1.0.0');
});

test('the library is found by path, then QUORVANE_LIBRARY, then the loader\'s search path', () => {
  const library = process.env.QUORVANE_LIBRARY;
  assert.equal(bench.path, library);
  const absent = `${library}.absent`;
  assert.throws(() => new Quorvane(absent), (e) => e instanceof QuorvaneError && e.message.includes(absent));
  // A child process: what a loaded library is found under stays per process.
  const probe = `const { Quorvane } = require(${JSON.stringify(binding)});
    const q = process.argv[1] ? new Quorvane(process.argv[1]) : new Quorvane();
    console.log(q.path + ' ' + q.version);`;
  const inChild = (argument, environment) => execFileSync(process.execPath, ['-e', probe, argument], {
    env: { ...process.env, ...environment }, encoding: 'utf8',
  }).trim();
  assert.equal(inChild(library, { QUORVANE_LIBRARY: absent }), `${library} 1.0.0`);
  assert.equal(inChild('', { QUORVANE_LIBRARY: '', LD_LIBRARY_PATH: path.dirname(library) }),
    'libmorvatic-quorvane-cpu-benchmark.so 1.0.0');
  const standIn = process.env.QUORVANE_STAND_IN_LIBRARY;
  if (standIn) {
    assert.throws(() => new Quorvane(standIn), /lacks the export\(s\) quorvane_results_json$/);
  }
});

test('the prebuilt library is chosen by platform and architecture, and any other is a clear error', () => {
  const prebuilds = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvane-prebuilds-'));
  try {
    const files = { 'linux-x64': 'libmorvatic-quorvane-cpu-benchmark.so', 'win32-x64': 'morvatic-quorvane-cpu-benchmark.dll' };
    for (const [target, file] of Object.entries(files)) {
      fs.mkdirSync(path.join(prebuilds, target));
      fs.writeFileSync(path.join(prebuilds, target, file), '');
    }
    for (const [platform, arch, expected] of [
      ['linux', 'x64', path.join(prebuilds, 'linux-x64', files['linux-x64'])],
      ['win32', 'x64', path.join(prebuilds, 'win32-x64', files['win32-x64'])],
    ]) {
      assert.equal(prebuiltLibraryPath(platform, arch, prebuilds), expected);
    }
    for (const [platform, arch] of [['linux', 'arm64'], ['darwin', 'x64'], ['win32', 'ia32']]) {
      assert.throws(() => prebuiltLibraryPath(platform, arch, prebuilds), (error) =>
        error instanceof QuorvaneError && error.message.includes(`${platform}-${arch}`) &&
        error.message.includes('linux-x64, win32-x64'));
    }
    assert.equal(prebuiltLibraryPath('linux', 'x64', path.join(prebuilds, 'absent')), null);
  } finally {
    fs.rmSync(prebuilds, { recursive: true, force: true });
  }
});
