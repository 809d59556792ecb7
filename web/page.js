// The page: takes the disks, asks the worker to run the tool on them, shows
// its lines, offers the picture and shows it in a zoomable map.
'use strict';

const $ = (id) => document.getElementById(id);
const OUTPUT = 'kq.Vellmarra.bmp';
const inputs = { program: null, world: null, sheet: null }; // { name, bytes }
let picture = null; // { bmp, pixels, tileW, tileH, world }
let selected = -1;  // tile number marked by a double-click

for (let p = 1; p <= 8; ++p)
  $('phases').insertAdjacentHTML('beforeend', `<label><input type="checkbox" id="phase-${p}"> ${p}</label>`);

// --- the worker ---------------------------------------------------------------------
const worker = new Worker(URL.createObjectURL(
  new Blob([$('worker-source').textContent], { type: 'text/javascript' })));
const waiting = new Map();
let asked = 0;
worker.onmessage = (event) => {
  const answer = event.data;
  const done = waiting.get(answer.id);
  waiting.delete(answer.id);
  if (answer.failed) done.reject(new Error(answer.failed)); else done.resolve(answer);
};
// A worker that can't start (no WebAssembly, no memory) fails every request.
worker.onerror = (event) => {
  for (const done of waiting.values()) done.reject(new Error(event.message || 'the worker stopped'));
  waiting.clear();
  setState('error', 'This browser could not start the drawing engine.');
};
function ask(type, fields, transfer = []) {
  const id = ++asked;
  return new Promise((resolve, reject) => {
    waiting.set(id, { resolve, reject });
    worker.postMessage({ type, id, ...fields }, transfer);
  });
}
const copy = (f) => ({ name: f.name, bytes: f.bytes.slice(0) });

// --- settings as the command line's arguments ------------------------------------
const order = () => ($('order').value === 'po' ? 2 : 1);
function commandArgs() {
  const args = inputs.sheet ? ['-s', inputs.sheet.name] : ['-d1', inputs.program.name];
  args.push('-d2', worldPath());
  if (order() === 2) args.push('--po');
  if ($('mode').value !== 'plain') args.push('-B');
  if ($('mode').value === 'ntsc') args.push('-B');
  if ($('gates').checked) args.push('-g');
  for (let p = 1; p <= 8; ++p) if ($('phase-' + p).checked) args.push('-p', String(p));
  if ($('balloon').checked) args.push('-b');
  return args;
}
// A world disk of the same name as the other input sits in a folder of its own.
const first = () => (inputs.sheet || inputs.program);
const worldPath = () => (first() && first().name === inputs.world.name ? 'world/' : '') + inputs.world.name;
const quote = (a) => (/^[\w./=+-]+$/.test(a) ? a : "'" + a.replace(/'/g, "'\\''") + "'");

// --- drawing ---------------------------------------------------------------------------
let running = null;
let again = false;
function setState(state, status) {
  document.body.dataset.state = state;
  $('status').textContent = status;
}
async function draw() {
  if (!(inputs.sheet || inputs.program) || !inputs.world) return;
  if (running) { again = true; return; }
  const args = commandArgs();
  const files = [copy(first()), copy(inputs.world)];
  if (files[1].name !== worldPath()) files[1].name = worldPath();
  $('command').textContent = '$ ' + ['qarvex', ...args].map(quote).join(' ');
  $('messages').textContent = '';
  showPicture(null);
  const started = performance.now();
  const mode = inputs.sheet ? 'tile sheet' : $('mode').selectedOptions[0].text + ' colour';
  const tick = () => setState('rendering', `Drawing the map (${mode})… ${((performance.now() - started) / 1000).toFixed(1)} s`);
  tick();
  const timer = setInterval(tick, 100);
  running = ask('run', { files, args, output: OUTPUT, world: worldPath(), order: order() },
                files.map((f) => f.bytes));
  let answer;
  try {
    answer = await running;
  } catch (e) {
    answer = { status: 1, lines: [String(e.message)] };
  }
  clearInterval(timer);
  running = null;
  $('messages').textContent = answer.lines.map((l) => l + '\n').join('');
  if (again) { again = false; return draw(); }
  if (answer.status !== 0) {
    setState('error', 'No map: the tool stopped, saying why below.');
    return;
  }
  showPicture(answer);
  setState('ready', `Drawn in ${(answer.ms / 1000).toFixed(1)} s: ${picture.pixels.width} × ${picture.pixels.height} pixels.`);
}

// --- the picture on offer -----------------------------------------------------------
// The picture as a Blob, made when first asked for, not while drawing.
function bmpBlob() {
  if (!picture.blob) picture.blob = new Blob([picture.bytes], { type: 'image/bmp' });
  return picture.blob;
}
let bmpUrl = null;
$('download-bmp').onclick = () => {
  if (bmpUrl) URL.revokeObjectURL(bmpUrl);
  bmpUrl = URL.createObjectURL(bmpBlob());
  $('download-bmp').href = bmpUrl;
};
function showPicture(answer) {
  picture = null;
  selected = -1;
  $('download-bmp').hidden = $('download-png').hidden = true;
  $('found').textContent = '';
  delete $('found').dataset.count;
  if (answer) {
    const bytes = new Uint8Array(answer.bmp, 0, answer.size);
    const pixels = decodeBmp(bytes);
    picture = { bytes, blob: null, pixels, world: answer.world,
                tileW: pixels.width / 256, tileH: pixels.height / 256 };
    const link = $('download-bmp');
    link.href = '#';
    link.download = OUTPUT;
    link.textContent = `BMP (${(answer.size / 1e6).toFixed(1)} MB)`;
    link.hidden = $('download-png').hidden = false;
  }
  setBounds();
  for (const layer of [pictureLayer, marksLayer, gridLayer]) layer.redraw();
}
$('download-png').onclick = async () => {
  const button = $('download-png');
  button.disabled = true;
  button.textContent = 'PNG: encoding…';
  try {
    const { png } = await ask('png', { blob: bmpBlob() });
    const link = document.createElement('a');
    link.href = URL.createObjectURL(png);
    link.download = OUTPUT.replace(/\.bmp$/, '.png');
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  } finally {
    button.disabled = false;
    button.textContent = 'PNG';
  }
};

// --- the map ---------------------------------------------------------------------------
// Map units are picture pixels, x to the right and y downward as in the picture.
const crs = L.extend({}, L.CRS.Simple, { transformation: new L.Transformation(1, 0, 1, 0) });
const map = L.map('map', { crs, minZoom: -6, maxZoom: 3, zoomSnap: 0.25, zoomDelta: 1,
                            doubleClickZoom: false, attributionControl: false });
const tileW = () => (picture ? picture.tileW : 28);
const tileH = () => (picture ? picture.tileH : 32);
const size = () => (picture ? [picture.pixels.width, picture.pixels.height] : [7168, 8192]);
function setBounds() {
  const [w, h] = size();
  map.setMaxBounds([[-h / 2, -w / 2], [h * 1.5, w * 1.5]]);
}

// Draws a 256-pixel square of the layer at coords: fill(ctx, x0, y0, scale)
// gets the map pixel at its top left and screen pixels per map pixel.
function canvasLayer(fill, options = {}) {
  const Layer = L.GridLayer.extend({
    // Each square is drawn in a task of its own, so that the page answers
    // between them.
    createTile(coords, done) {
      const canvas = document.createElement('canvas');
      canvas.width = canvas.height = 256;
      const scale = Math.pow(2, coords.z);
      const shown = picture;
      setTimeout(() => {
        if (shown && shown === picture)
          fill(canvas.getContext('2d'), coords.x * 256 / scale, coords.y * 256 / scale, scale);
        done(null, canvas);
      }, 0);
      return canvas;
    },
  });
  return new Layer({ tileSize: 256, noWrap: true, minZoom: -6, maxZoom: 3, ...options }).addTo(map);
}

// The picture's own pixels, each drawn as a square of whole screen pixels
// (the nearest map pixel, no smoothing).
const pictureLayer = canvasLayer((ctx, x0, y0, scale) => {
  const { width, height } = picture.pixels;
  const image = ctx.createImageData(256, 256);
  const out = new Uint32Array(image.data.buffer);
  for (let j = 0; j < 256; ++j) {
    const y = Math.floor(y0 + j / scale);
    if (y < 0 || y >= height) continue;
    for (let i = 0; i < 256; ++i) {
      const x = Math.floor(x0 + i / scale);
      if (x >= 0 && x < width) out[j * 256 + i] = picture.pixels.at(x, y);
    }
  }
  ctx.putImageData(image, 0, 0);
});

// The tile number at tile (x, y): the world disk keeps the map in 16 x 16
// chunks of 16 x 16 tiles.
const tileAt = (x, y) => picture.world[((y >> 4) << 12) | ((x >> 4) << 8) | ((y & 15) << 4) | (x & 15)];

const marksLayer = canvasLayer((ctx, x0, y0, scale) => {
  if (selected < 0) return;
  const w = tileW() * scale, h = tileH() * scale;
  const tx0 = Math.max(0, Math.floor(x0 / tileW())), ty0 = Math.max(0, Math.floor(y0 / tileH()));
  ctx.strokeStyle = ctx.fillStyle = '#ff2bd6';
  ctx.lineWidth = 2;
  for (let ty = ty0; ty < 256 && (ty * tileH() - y0) * scale < 256; ++ty)
    for (let tx = tx0; tx < 256 && (tx * tileW() - x0) * scale < 256; ++tx) {
      if (tileAt(tx, ty) !== selected) continue;
      const sx = (tx * tileW() - x0) * scale, sy = (ty * tileH() - y0) * scale;
      if (w < 6) ctx.fillRect(sx, sy, Math.max(w, 1.5), Math.max(h, 1.5));
      else ctx.strokeRect(sx + 1, sy + 1, w - 2, h - 2);
    }
}, { zIndex: 2 });

// Tile coordinates: every tile once they are 8 screen pixels wide, else every 16th.
const gridLayer = canvasLayer((ctx, x0, y0, scale) => {
  const step = tileW() * scale >= 8 ? 1 : 16;
  const w = tileW() * scale * step, h = tileH() * scale * step;
  ctx.strokeStyle = 'rgba(255,255,255,.6)';
  ctx.fillStyle = '#fff';
  ctx.font = '11px monospace';
  ctx.shadowColor = '#000';
  ctx.shadowBlur = 2;
  const first = (v, t) => Math.max(0, Math.floor(v / (t * step))) * step;
  for (let ty = first(y0, tileH()); ty <= 256 && (ty * tileH() - y0) * scale < 256; ty += step)
    for (let tx = first(x0, tileW()); tx <= 256 && (tx * tileW() - x0) * scale < 256; tx += step) {
      const sx = Math.round((tx * tileW() - x0) * scale) + 0.5, sy = Math.round((ty * tileH() - y0) * scale) + 0.5;
      ctx.strokeRect(sx, sy, w, h);
      if (w >= 40 && tx < 256 && ty < 256) ctx.fillText(`${tx},${ty}`, sx + 3, sy + 12);
    }
}, { zIndex: 3 });
map.removeLayer(gridLayer);
$('grid').onchange = () => ($('grid').checked ? gridLayer.addTo(map) : map.removeLayer(gridLayer));

// The tile under a point of the map, or null outside it.
function tileOf(latlng) {
  if (!picture) return null;
  const x = Math.floor(latlng.lng / tileW()), y = Math.floor(latlng.lat / tileH());
  return x >= 0 && y >= 0 && x < 256 && y < 256 ? { x, y, tile: tileAt(x, y) } : null;
}
const hex = (n) => n.toString(16).toUpperCase().padStart(2, '0');
function showCursor(place) {
  const cursor = $('cursor');
  if (!place) {
    cursor.textContent = '';
    for (const key of ['x', 'y', 'tile']) delete cursor.dataset[key];
    return;
  }
  Object.assign(cursor.dataset, { x: place.x, y: place.y, tile: place.tile });
  cursor.textContent = `x ${place.x} (${hex(place.x)})  y ${place.y} (${hex(place.y)})  tile ${place.tile} (${hex(place.tile)})`;
}
map.on('mousemove', (e) => showCursor(tileOf(e.latlng)));
map.on('mouseout', () => showCursor(null));
map.on('dblclick', (e) => {
  const place = tileOf(e.latlng);
  if (!place) return;
  selected = place.tile;
  const count = picture.world.reduce((n, t) => n + (t === selected ? 1 : 0), 0);
  $('found').dataset.count = count;
  $('found').textContent = `tile ${selected} (${hex(selected)}): ${count} place${count === 1 ? '' : 's'}`;
  marksLayer.redraw();
});

// --- the view in the fragment: #x=TX&y=TY&z=Z ----------------------------------------
function viewFromFragment() {
  const f = new URLSearchParams(location.hash.slice(1));
  const x = parseFloat(f.get('x')), y = parseFloat(f.get('y')), z = parseFloat(f.get('z'));
  if (![x, y, z].every(Number.isFinite)) return false;
  map.setView([y * tileH(), x * tileW()], Math.min(3, Math.max(-6, z)), { animate: false });
  return true;
}
let fragment = '';
map.on('moveend zoomend', () => {
  const c = map.getCenter();
  const round = (v) => String(Math.round(v * 1000) / 1000);
  fragment = `#x=${round(c.lng / tileW())}&y=${round(c.lat / tileH())}&z=${round(map.getZoom())}`;
  if (location.hash !== fragment) history.replaceState(null, '', fragment);
});
window.addEventListener('hashchange', () => { if (location.hash !== fragment) viewFromFragment(); });
setBounds();
if (!viewFromFragment()) map.fitBounds([[0, 0], [8192, 7168]]);

// --- taking disks ------------------------------------------------------------------------
async function readFile(file) {
  return { name: file.name, bytes: await file.arrayBuffer() };
}
function take(kind, file) {
  inputs[kind] = file;
  $({ program: 'program-name', world: 'world-name', sheet: 'sheet-name' }[kind]).textContent = file ? file.name : '';
}
const bmpFile = (f) => new Uint8Array(f.bytes, 0, 2).join() === '66,77'; // "BM"

// Files from a drop or the address: a BMP is the tile sheet; of two disks the
// program disk is the one whose catalog holds the tile files; a single disk
// is the program disk if it has them, else the world disk.
async function takeMany(files) {
  const disks = files.filter((f) => !bmpFile(f));
  for (const f of files.filter(bmpFile)) take('sheet', f);
  if (disks.length === 1) {
    const { program } = await ask('classify', { files: [copy(disks[0])], order: order() });
    take(program === 0 && !inputs.sheet ? 'program' : 'world', disks[0]);
  } else if (disks.length >= 2) {
    const pair = disks.slice(0, 2);
    const { program } = await ask('classify', { files: pair.map(copy), order: order() });
    const p = program === 1 ? 1 : 0;
    take('program', pair[p]);
    take('world', pair[1 - p]);
  }
  draw();
}
for (const [id, kind] of [['program-disk', 'program'], ['world-disk', 'world'], ['tile-sheet', 'sheet']])
  $(id).onchange = async () => {
    if (!$(id).files.length) return;
    take(kind, await readFile($(id).files[0]));
    draw();
  };
for (const id of ['order', 'mode', 'gates', 'balloon', ...[1, 2, 3, 4, 5, 6, 7, 8].map((p) => 'phase-' + p)])
  $(id).onchange = draw;
document.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('drop'); });
document.addEventListener('dragleave', () => document.body.classList.remove('drop'));
document.addEventListener('drop', async (e) => {
  e.preventDefault();
  document.body.classList.remove('drop');
  takeMany(await Promise.all([...e.dataTransfer.files].map(readFile)));
});

$('demo').onclick = async () => {
  setState('rendering', 'Making the demo disks…');
  const answer = await ask('demo', { order: order() });
  if (answer.status !== 0) {
    $('messages').textContent = answer.lines.map((l) => l + '\n').join('');
    setState('error', 'The demo disks could not be made.');
    return;
  }
  take('sheet', null);
  take('program', answer.files[0]);
  take('world', answer.files[1]);
  draw();
};

// --- disks named in the address: ?d1=URL&d2=URL&mode=ntsc&po&gates&phase=N -------------
async function takeFromAddress() {
  const q = new URLSearchParams(location.search);
  if (['plain', 'blur', 'ntsc'].includes(q.get('mode'))) $('mode').value = q.get('mode');
  if (q.has('po')) $('order').value = 'po';
  if (q.has('do')) $('order').value = 'do';
  $('gates').checked = q.has('gates');
  $('balloon').checked = q.has('balloon');
  for (const p of q.getAll('phase')) if ($('phase-' + p)) $('phase-' + p).checked = true;
  if (!q.has('d1') && !q.has('d2') && !q.has('s')) return;
  if (!/^https?:$/.test(location.protocol)) {
    setState('error', 'Disks named in the address are fetched only when the page is served over HTTP.');
    return;
  }
  setState('rendering', 'Fetching the disks…');
  try {
    const fetchDisk = async (url) => {
      const response = await fetch(url);
      if (!response.ok) throw new Error(`${url}: ${response.status} ${response.statusText}`);
      const name = decodeURIComponent(new URL(url, location.href).pathname.split('/').pop()) || 'disk';
      return { name: name.replace(/[\\/]/g, '_'), bytes: await response.arrayBuffer() };
    };
    for (const [key, kind] of [['s', 'sheet'], ['d1', 'program'], ['d2', 'world']])
      if (q.has(key)) take(kind, await fetchDisk(q.get(key)));
  } catch (e) {
    setState('error', 'Could not fetch a disk: ' + e.message);
    return;
  }
  draw();
}
takeFromAddress();
