// Re-makes docs/web-page.png, the README's picture of the page: Chromium at
// 1280 x 800 with the demo disks drawn in NTSC colour, one to one, the
// pointer on a tile and its same-tile places marked.
//
//   node docs/make-web-picture.js     (after cmake --workflow --preset web)
'use strict';
const path = require('node:path');
const root = path.join(__dirname, '..');
const { chromium } = require(path.join(root, 'web/node_modules/playwright-core'));

(async () => {
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--force-color-profile=srgb'],
  });
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  await page.goto('file://' + path.join(root, 'build/web/qarvex.html') + '#x=104&y=118&z=0');
  await page.selectOption('#mode', 'ntsc');
  await page.click('#demo');
  await page.waitForFunction(() => document.body.dataset.state === 'ready', null, { timeout: 120000 });
  await page.mouse.dblclick(900, 420);
  await page.mouse.move(900, 420);
  await page.waitForTimeout(800);
  await page.screenshot({ path: path.join(root, 'docs/web-page.png') });
  await browser.close();
})();
