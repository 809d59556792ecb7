// The page against the native program, in one run: for plain and NTSC colour,
// the median time from giving the page the second disk to body state `ready`
// (the run in the worker, the BMP handed to the page, the first tiles), the
// native run's median wall time, and their ratio; and the page's answering
// while it draws: the longest a 10 ms timer on its main thread was late,
// beside the same measure over as long a time while the page is idle (on a
// loaded machine the idle figure is far from zero too).
// Goals: NTSC within 3x the native run; the page answering within 150 ms.
//
//   bench/web [RUNS]    (builds the release and web presets first)
'use strict';
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const root = path.join(__dirname, '..');
const { chromium } = require(path.join(root, 'web/node_modules/playwright-core'));

const runs = Number(process.argv[2] || 5);
const native = path.join(root, 'build/release/qarvex');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'qarvex-bench-web-'));
execFileSync(path.join(root, 'build/release/tools/demo/qarvex-demo'), [scratch]);
const disks = ['KQboot.dsk', 'kqvellmara.dsk'].map((n) => path.join(scratch, n));
const median = (v) => { const s = [...v].sort((a, b) => a - b); return s[s.length >> 1]; };

function nativeMs(flags) {
  const started = process.hrtime.bigint();
  execFileSync(native, [...flags, '-o', 'out.bmp', '--overwrite'], { cwd: scratch });
  return Number(process.hrtime.bigint() - started) / 1e6;
}

// The longest a 10 ms timer on the page's main thread is late within ms.
function idleLate(page, ms) {
  return page.evaluate((ms) => new Promise((resolve) => {
    let late = 0, last = performance.now();
    const timer = setInterval(() => {
      const now = performance.now();
      late = Math.max(late, now - last - 10);
      last = now;
    }, 10);
    setTimeout(() => { clearInterval(timer); resolve(late); }, ms);
  }), ms);
}

async function pageMs(page, mode) {
  await page.selectOption('#mode', mode);
  await page.setInputFiles('#world-disk', []);
  await page.evaluate(() => {
    document.body.dataset.state = 'waiting';
    window.benchLate = 0;
    let last = performance.now();
    window.benchTimer = setInterval(() => {
      const now = performance.now();
      window.benchLate = Math.max(window.benchLate, now - last - 10);
      last = now;
    }, 10);
  });
  const started = Date.now();
  await page.setInputFiles('#world-disk', disks[1]);
  await page.waitForFunction(() => document.body.dataset.state === 'ready', null, { timeout: 300000, polling: 5 });
  const ms = Date.now() - started;
  const late = await page.evaluate(() => { clearInterval(window.benchTimer); return window.benchLate; });
  return { ms, late };
}

(async () => {
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = await browser.newPage({ viewport: { width: 1000, height: 700 } });
  await page.goto('file://' + path.join(root, 'build/web/qarvex.html'));
  await page.setInputFiles('#program-disk', disks[0]);
  console.log('mode    page ms  native ms  ratio  late ms drawing  late ms idle');
  const verdicts = [];
  for (const [mode, flags, goal] of [['plain', [], null], ['ntsc', ['-B', '-B'], 3]]) {
    await pageMs(page, mode); // warm: the worker's engine and the page's caches
    nativeMs(flags);
    const pageRuns = [], nativeRuns = [];
    for (let i = 0; i < runs; ++i) { // taking turns, so that both see the same machine
      pageRuns.push(await pageMs(page, mode));
      nativeRuns.push(nativeMs(flags));
    }
    const p = median(pageRuns.map((r) => r.ms)), n = median(nativeRuns), late = Math.max(...pageRuns.map((r) => r.late));
    let idle = 0;
    for (let i = 0; i < runs; ++i) idle = Math.max(idle, await idleLate(page, p));
    console.log(`${mode.padEnd(6)} ${p.toFixed(0).padStart(8)} ${n.toFixed(0).padStart(10)} ${(p / n).toFixed(2).padStart(6)} ${late.toFixed(0).padStart(16)} ${idle.toFixed(0).padStart(13)}`);
    if (goal) verdicts.push(`NTSC ratio ${(p / n).toFixed(2)} (goal <= ${goal}): ${p / n <= goal ? 'met' : 'MISSED'}`);
    verdicts.push(`${mode} page late ${late.toFixed(0)} ms (goal <= 150): ${late <= 150 ? 'met' : 'MISSED'}`);
  }
  console.log(verdicts.join('\n'));
  await browser.close();
  fs.rmSync(scratch, { recursive: true, force: true });
})();
