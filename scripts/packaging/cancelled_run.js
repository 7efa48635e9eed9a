// A cancelled run through the quorvane package installed in the current
// folder's node_modules.
//
// Usage: node cancelled_run.js PREBUILD [ADDON]
//
// Aborts a run half a second in and checks that it ends in state 3 with
// the nine keys of a report, from the library in prebuilds/PREBUILD/ of the
// package, and, with ADDON, through a koffi addon whose path holds ADDON.
const [prebuild, addon] = process.argv.slice(2);
const { Quorvane, STATE } = require(require.resolve('quorvane', { paths: [process.cwd()] }));
const bench = new Quorvane();
const addons = Object.keys(require.cache).filter((file) => file.endsWith('.node'));
console.log('loaded', bench.path, 'on', process.arch, 'with', addons.join(', '));
const controller = new AbortController();
setTimeout(() => controller.abort(), 500);
bench.run({ signal: controller.signal }).then(
  () => { console.error('the run was not cancelled'); process.exit(1); },
  (error) => {
    const report = error.cause;
    console.log('state', bench.state, 'keys', Object.keys(report).length, JSON.stringify(report));
    if (bench.state !== STATE.CANCELLED || Object.keys(report).length !== 9) process.exit(1);
    if (!bench.path.includes(`node_modules/quorvane/prebuilds/${prebuild}/`)) process.exit(1);
    if (addon && !addons.some((file) => file.includes(addon))) process.exit(1);
  });
