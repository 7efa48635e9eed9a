'use strict';
// One complete run through bindings/node of the library QUORVANE_LIBRARY names:
// under CTest the stand-in of tests/cli, whose run takes a few polls; 20 s for
// the real one.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');

const { Quorvane, STATE } = require(path.resolve(__dirname, '../../../bindings/node'));

test('a whole run resolves with every measurement above zero', async () => {
  const bench = new Quorvane();
  const seen = [];
  const report = await bench.run({ onProgress: (now) => seen.push(now) });
  assert.equal(bench.state, STATE.FINISHED);
  const percents = seen.map((p) => p.percent);
  assert.deepEqual(percents, [...percents].sort((a, b) => a - b), JSON.stringify(seen));
  assert.equal(percents.at(-1), 100);
  for (const key of ['int_single_mops', 'int_multi_mops', 'fp_single_mflops', 'fp_multi_mflops',
    'mem_bandwidth_mbps', 'score_single', 'score_multi']) {
    assert.ok(report[key] > 0, `${key}: ${JSON.stringify(report)}`);
  }
});
