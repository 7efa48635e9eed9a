'use strict';
// One idle wait, then one whole run through bindings/node; prints one JSON line.
// Two clocks of the process's CPU time, each over the idle wait and over the
// run: own_threads, the threads left after the run (the library's end with
// it), from /proc/self/task/*/stat in clock ticks; process, process.cpuUsage()
// in microseconds, which counts the library's threads too and so shows the
// host's own cost only against a stand-in library that has none. A run
// cancelled at once goes first, so first-use costs are not counted.
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { setTimeout: sleep } = require('timers/promises');
const { Quorvane } = require(path.resolve(__dirname, '../../bindings/node'));

const TICK_MS = 1000 / Number(execFileSync('getconf', ['CLK_TCK'], { encoding: 'utf8' }));

function threadTicks() {
  const ticks = new Map();
  for (const tid of fs.readdirSync('/proc/self/task')) {
    try {
      const fields = fs.readFileSync(`/proc/self/task/${tid}/stat`, 'utf8').split(')').pop().trim().split(/\s+/);
      ticks.set(tid, Number(fields[11]) + Number(fields[12]));
    } catch {
      // the thread ended between the listing and the read
    }
  }
  return ticks;
}

function processMs() {
  const { user, system } = process.cpuUsage();
  return (user + system) / 1000;
}

function cpuWindow() {
  const ticks = threadTicks();
  const processStart = processMs();
  const started = process.hrtime.bigint();
  return (name, row) => {
    let total = 0;
    for (const [tid, now] of threadTicks()) total += now - (ticks.get(tid) || 0);
    row[`${name}_ms`] = Math.round(Number(process.hrtime.bigint() - started) / 1e6);
    row[`${name}_own_threads_cpu_ms`] = total * TICK_MS;
    row[`${name}_process_cpu_ms`] = Math.round((processMs() - processStart) * 1000) / 1000;
  };
}

(async () => {
  const idleMs = Number(process.argv[2]) * 1000;
  const bench = new Quorvane();
  await bench.run({ signal: AbortSignal.timeout(50), pollMs: 10 }).catch(() => {});
  const row = { binding: 'node' };
  let close = cpuWindow();
  await sleep(idleMs);
  close('idle', row);
  close = cpuWindow();
  const report = await bench.run();
  close('run', row);
  Object.assign(row, { int_multi_mops: report.int_multi_mops, fp_multi_mflops: report.fp_multi_mflops });
  console.log(JSON.stringify(row));
})();
