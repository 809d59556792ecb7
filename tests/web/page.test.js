// The page in a real headless Chromium, against the native program: the same
// bytes and the same lines for the same disks, and the viewer around them.
//
//   QARVEX_PAGE=build/web/qarvex.html QARVEX_NATIVE=build/test/qarvex \
//   QARVEX_DEMO=build/test/tools/demo/qarvex-demo node --test tests/web/
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require(path.join(__dirname, '../../web/node_modules/playwright-core'));

const pagePath = path.resolve(process.env.QARVEX_PAGE || 'build/web/qarvex.html');
const native = path.resolve(process.env.QARVEX_NATIVE || 'build/test/qarvex');
const demo = path.resolve(process.env.QARVEX_DEMO || 'build/test/tools/demo/qarvex-demo');
const pageUrl = 'file://' + pagePath;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'qarvex-web-'));
const forms = { dsk: [], po: ['--po'], woz: ['--woz'], nib: ['--nib'], '2mg': ['--2img'] };
const disks = {}; // form -> [program path, world path]
const foreign = []; // requests to anything but the page, its blobs and the local server
let browser, server, serverUrl;

before(async () => {
  for (const [form, flags] of Object.entries(forms)) {
    const dir = path.join(work, form);
    execFileSync(demo, [...flags, dir]);
    disks[form] = fs.readdirSync(dir).sort().map((name) => path.join(dir, name));
  }
  server = http.createServer((req, res) => {
    const wanted = decodeURIComponent(req.url.split('?')[0]);
    const file = wanted === '/qarvex.html' ? pagePath : path.join(work, wanted);
    if (!file.startsWith(work) && file !== pagePath || !fs.existsSync(file)) { res.writeHead(404).end(); return; }
    res.writeHead(200).end(fs.readFileSync(file));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  serverUrl = `http://127.0.0.1:${server.address().port}`;
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--force-color-profile=srgb'], // playwright gives each launch a fresh profile folder
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(work, { recursive: true, force: true });
  assert.deepEqual(foreign, [], 'the page asked for nothing beyond itself');
});

async function openPage(url = pageUrl) {
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1000, height: 700 } });
  context.on('request', (r) => {
    if (!/^(file|blob|data):/.test(r.url()) && !r.url().startsWith(serverUrl + '/')) foreign.push(r.url());
  });
  const page = await context.newPage();
  page.on('pageerror', (e) => assert.fail(e.message));
  await page.goto(url);
  return page;
}

// Runs action, then waits for the drawing it starts to end: 'ready' or 'error'.
async function settled(page, action) {
  await page.evaluate(() => { document.body.dataset.state = 'waiting'; });
  await action();
  await page.waitForFunction(() => ['ready', 'error'].includes(document.body.dataset.state), null, { timeout: 120000 });
  return page.evaluate(() => document.body.dataset.state);
}

async function download(page, id) {
  const [file] = await Promise.all([page.waitForEvent('download'), page.click('#' + id)]);
  return { name: file.suggestedFilename(), bytes: fs.readFileSync(await file.path()) };
}

// The native program on copies of files, under the same names, with args.
function runNative(files, args) {
  const dir = fs.mkdtempSync(path.join(work, 'native-'));
  for (const f of files) fs.copyFileSync(f, path.join(dir, path.basename(f)));
  const run = spawnSync(native, args, { cwd: dir, encoding: 'latin1' });
  const out = path.join(dir, 'kq.Vellmarra.bmp');
  return { status: run.status, lines: run.stdout, bmp: fs.existsSync(out) ? fs.readFileSync(out) : null };
}
const nativeArgs = ([p, w], extra) => ['-d1', path.basename(p), '-d2', path.basename(w), ...extra];
const lines = (page) => page.evaluate(() => document.getElementById('messages').textContent);

// A BMP tile sheet of 16 x 16 tiles of tile x tile pixels, 8 bits a pixel.
function tileSheet(file, width, height) {
  const stride = (width + 3) & ~3, offset = 54 + 1024, size = offset + stride * height;
  const b = Buffer.alloc(size);
  b.write('BM', 0);
  [[2, size], [10, offset], [14, 40], [18, width], [22, height], [34, stride * height]].forEach(([at, v]) => b.writeUInt32LE(v, at));
  b.writeUInt16LE(1, 26);
  b.writeUInt16LE(8, 28);
  for (let i = 0; i < 256; ++i) b.writeUInt32LE(((i * 0x9e3779b1) >>> 8) & 0xffffff, 54 + 4 * i);
  for (let i = 0; i < stride * height; ++i) b[offset + i] = (i * 7 + (i >> 5)) & 255;
  fs.writeFileSync(file, b);
  return file;
}

test('every disk form, sector order, colour mode, gate and phase gives the native BMP', async () => {
  const page = await openPage();
  const cases = [
    ['dsk', {}, []], ['po', { order: 'po' }, ['--po']], ['woz', {}, []], ['nib', {}, []], ['2mg', {}, []],
    ['dsk', { mode: 'blur' }, ['-B']], ['dsk', { mode: 'ntsc', gates: true }, ['-B', '-B', '-g']],
    ['dsk', { mode: 'plain', gates: false, 'phase-1': true, 'phase-8': true, balloon: true }, ['-p', '1', '-p', '8', '-b']],
  ];
  for (const [form, settings, extra] of cases) {
    const state = await settled(page, async () => {
      for (const [id, value] of Object.entries({ order: 'do', ...settings }))
        if (typeof value === 'boolean') await page.setChecked('#' + id, value); else await page.selectOption('#' + id, value);
      await page.setInputFiles('#program-disk', disks[form][0]);
      await page.setInputFiles('#world-disk', disks[form][1]);
    });
    const expected = runNative(disks[form], nativeArgs(disks[form], extra));
    assert.equal(state, 'ready', `${form} ${extra}`);
    assert.equal(await lines(page), expected.lines);
    const bmp = await download(page, 'download-bmp');
    assert.equal(bmp.name, 'kq.Vellmarra.bmp');
    assert.ok(bmp.bytes.equals(expected.bmp), `${form} ${extra.join(' ')}: the page's BMP is the native one`);
  }
  await page.context().close();
});

test('a tile sheet in place of the program disk, and refusals with the native lines and no picture', async () => {
  const page = await openPage();
  const sheet = tileSheet(path.join(work, 'tiles.bmp'), 64, 64);
  const odd = tileSheet(path.join(work, 'odd.bmp'), 40, 64);
  const short = path.join(work, 'short.dsk');
  fs.writeFileSync(short, Buffer.alloc(5000, 0x41));
  const [program, world] = disks.dsk;
  const cases = [
    [async () => { await page.setInputFiles('#tile-sheet', sheet); await page.setInputFiles('#world-disk', world); },
     [sheet, world], ['-s', 'tiles.bmp', '-d2', 'kqvellmara.dsk'], 'ready'],
    [() => page.setInputFiles('#tile-sheet', odd), [odd, world], ['-s', 'odd.bmp', '-d2', 'kqvellmara.dsk'], 'error'],
    [() => page.setInputFiles('#tile-sheet', sheet), [sheet, world], ['-s', 'tiles.bmp', '-d2', 'kqvellmara.dsk'], 'ready'],
    [() => page.setInputFiles('#world-disk', short), [sheet, short], ['-s', 'tiles.bmp', '-d2', 'short.dsk'], 'error'],
  ];
  for (const [action, files, args, state] of cases) {
    assert.equal(await settled(page, action), state, args.join(' '));
    const expected = runNative(files, args);
    assert.equal(await lines(page), expected.lines, args.join(' '));
    assert.equal(expected.status, state === 'ready' ? 0 : 1);
    assert.equal(await page.isVisible('#download-bmp'), state === 'ready');
    if (state === 'ready') assert.ok((await download(page, 'download-bmp')).bytes.equals(expected.bmp));
  }
  await page.context().close();
  // A program disk read in the wrong sector order stops at its catalog.
  const wrong = await openPage();
  await wrong.selectOption('#order', 'po');
  assert.equal(await settled(wrong, async () => {
    await wrong.setInputFiles('#program-disk', program);
    await wrong.setInputFiles('#world-disk', world);
  }), 'error');
  assert.equal(await lines(wrong), runNative([program, world], nativeArgs(disks.dsk, ['--po'])).lines);
  await wrong.context().close();
});

test('two disks dropped in either order are told apart, from file:// and from ?d1=&d2= over HTTP', async () => {
  const page = await openPage();
  const payload = disks.woz.slice().reverse().map((f) => ({ name: path.basename(f), data: fs.readFileSync(f).toString('base64') }));
  assert.equal(await settled(page, () => page.evaluate((files) => {
    const dt = new DataTransfer();
    for (const f of files) dt.items.add(new File([Uint8Array.from(atob(f.data), (c) => c.charCodeAt(0))], f.name));
    document.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
  }, payload)), 'ready');
  assert.equal(await page.textContent('#program-name'), 'KQboot.woz');
  assert.equal(await page.textContent('#world-name'), 'kqvellmara.woz');
  await page.context().close();

  const query = `?d1=${serverUrl}/po/KQboot.dsk&d2=${serverUrl}/po/kqvellmara.dsk&po&mode=ntsc&phase=2&phase=7`;
  const served = await openPage(`${serverUrl}/qarvex.html${query}`);
  await served.waitForFunction(() => ['ready', 'error'].includes(document.body.dataset.state), null, { timeout: 120000 });
  const expected = runNative(disks.po, nativeArgs(disks.po, ['--po', '-B', '-B', '-p', '2', '-p', '7']));
  assert.ok((await download(served, 'download-bmp')).bytes.equals(expected.bmp));
  await served.context().close();
});

test('the viewer: the view in the fragment, exact pixels at 8x, the cursor, same-tile marks, PNG', async () => {
  const page = await openPage(pageUrl + '#x=100.5&y=50.5&z=3');
  assert.equal(await page.evaluate(() => document.body.dataset.state), 'idle');
  assert.equal(await settled(page, () => page.click('#demo')), 'ready');
  assert.equal(await page.evaluate(() => location.hash), '#x=100.5&y=50.5&z=3');
  const expected = runNative(disks.dsk, []);
  const world = fs.readFileSync(disks.dsk[1]); // DOS order: the map bytes lead the file
  const tileAt = (x, y) => world[((y >> 4) << 12) | ((x >> 4) << 8) | ((y & 15) << 4) | (x & 15)];

  // The centre of the map is map pixel (2814, 1616), 8 x 8 screen pixels a map pixel.
  const box = await page.locator('#map').boundingBox();
  const cx = box.x + box.width / 2, cy = box.y + box.height / 2;
  await page.waitForTimeout(500);
  const shot = (await page.screenshot({ clip: { x: cx - 32, y: cy - 32, width: 64, height: 64 } })).toString('base64');
  const screen = await page.evaluate(async (png) => {
    const image = await createImageBitmap(await (await fetch('data:image/png;base64,' + png)).blob());
    const ctx = new OffscreenCanvas(64, 64).getContext('2d');
    ctx.drawImage(image, 0, 0);
    return Array.from(new Uint32Array(ctx.getImageData(0, 0, 64, 64).data.buffer));
  }, shot);
  const bmpPixel = (x, y) => { // 4 bits a pixel, 16-colour palette, bottom row first
    const offset = expected.bmp.readUInt32LE(10), stride = 7168 / 2;
    const byte = expected.bmp[offset + (8191 - y) * stride + (x >> 1)];
    const i = 54 + 4 * ((x & 1) ? byte & 15 : byte >> 4);
    return ((0xff << 24) | (expected.bmp[i] << 16) | (expected.bmp[i + 1] << 8) | expected.bmp[i + 2]) >>> 0;
  };
  for (let j = 0; j < 64; ++j)
    for (let i = 0; i < 64; ++i)
      assert.equal(screen[j * 64 + i], bmpPixel(2814 + Math.floor((i - 32) / 8), 1616 + Math.floor((j - 32) / 8)), `screen pixel ${i},${j}`);

  await page.mouse.move(cx, cy);
  const cursor = await page.evaluate(() => ({ ...document.getElementById('cursor').dataset }));
  assert.deepEqual(cursor, { x: '100', y: '50', tile: String(tileAt(100, 50)) });
  await page.mouse.dblclick(cx, cy);
  const count = [...world.subarray(0, 65536)].filter((t) => t === tileAt(100, 50)).length;
  assert.equal(await page.getAttribute('#found', 'data-count'), String(count));
  await page.check('#grid');
  await page.keyboard.press('Escape');
  await page.locator('#map').focus();
  await page.keyboard.press('ArrowRight');
  await page.waitForFunction(() => !location.hash.startsWith('#x=100.5&'));
  assert.match(await page.evaluate(() => location.hash), /^#x=10[0-9.]+&y=50\.5&z=3$/);

  const png = await download(page, 'download-png');
  assert.equal(png.name, 'kq.Vellmarra.png');
  assert.equal(png.bytes.readUInt32BE(16), 7168);
  assert.equal(png.bytes.readUInt32BE(20), 8192);
  const samples = [[0, 0], [2814, 1616], [7167, 8191], [5000, 333]];
  const got = await page.evaluate(async ({ data, samples }) => {
    const image = await createImageBitmap(await (await fetch('data:image/png;base64,' + data)).blob());
    const ctx = new OffscreenCanvas(1, 1).getContext('2d');
    return samples.map(([x, y]) => { ctx.drawImage(image, -x, -y); return new Uint32Array(ctx.getImageData(0, 0, 1, 1).data.buffer)[0]; });
  }, { data: png.bytes.toString('base64'), samples });
  assert.deepEqual(got, samples.map(([x, y]) => bmpPixel(x, y)));
  await page.context().close();
});
