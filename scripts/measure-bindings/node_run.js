'use strict';
// One idle wait, then one whole run through bindings/node; prints one JSON line.
// own_threads_cpu_ms: the CPU time of the threads left after the run (the
// library's end with it), from /proc/self/task/*/stat in clock ticks. A run
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

function cpuMsSince(before) {
  let total = 0;
  for (const [tid, now] of threadTicks()) total += now - (before.get(tid) || 0);
  return total * TICK_MS;
}

(async () => {
  const idleMs = Number(process.argv[2]) * 1000;
  const bench = new Quorvane();
  // A run cancelled at once first, so first-use costs stay out of the figures.
  await bench.run({ signal: AbortSignal.timeout(50), pollMs: 10 }).catch(() => {});
  let before = threadTicks();
  await sleep(idleMs);
  const idleCpuMs = cpuMsSince(before);
  before = threadTicks();
  const started = process.hrtime.bigint();
  const report = await bench.run();
  const runMs = Number(process.hrtime.bigint() - started) / 1e6;
  console.log(JSON.stringify({
    binding: 'node', int_multi_mops: report.int_multi_mops, fp_multi_mflops: report.fp_multi_mflops,
    run_ms: Math.round(runMs), own_threads_cpu_ms: cpuMsSince(before), idle_ms: idleMs, idle_cpu_ms: idleCpuMs,
  }));
})();
