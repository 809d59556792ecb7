// The page's worker: the tool itself, compiled to WebAssembly, run on files
// in its in-memory file system, off the page's main thread.
'use strict';

let lines = null; // the run's printed lines while a run is collecting them
const engine = createQarvex({
  print: (text) => { if (lines) lines.push(text); },
  printErr: (text) => { if (lines) lines.push(text); },
});

function cString(m, text) {
  const size = m.lengthBytesUTF8(text) + 1;
  const at = m._malloc(size);
  m.stringToUTF8(text, at, size);
  return at;
}

// The tool's own run with argv, in the current folder; the exit status.
function runTool(m, args) {
  const pointers = args.map((a) => cString(m, a));
  const argv = m._malloc(4 * (args.length + 1)) >>> 0;
  pointers.forEach((p, i) => m.setValue(argv + 4 * i, p, 'i32'));
  m.setValue(argv + 4 * args.length, 0, 'i32');
  const status = m._web_run(args.length, argv);
  pointers.forEach((p) => m._free(p));
  m._free(argv);
  return status;
}

// Calls fn(m) in a fresh folder holding files, printing nowhere unless
// collecting; the folder goes again afterwards.
let folders = 0;
function inFolder(m, files, fn) {
  const dir = '/run' + ++folders;
  m.FS.mkdir(dir);
  m.FS.chdir(dir);
  try {
    for (const f of files) {
      if (f.name.includes('/')) m.FS.mkdirTree(f.name.replace(/\/[^/]*$/, ''));
      m.FS.writeFile(f.name, new Uint8Array(f.bytes));
    }
    return fn(m);
  } finally {
    m.FS.chdir('/');
    removeTree(m, dir);
  }
}

function removeTree(m, path) {
  if (!m.FS.isDir(m.FS.stat(path).mode)) return m.FS.unlink(path);
  for (const name of m.FS.readdir(path)) if (name !== '.' && name !== '..') removeTree(m, path + '/' + name);
  m.FS.rmdir(path);
}

function worldMap(m, name, order) {
  const at = m._malloc(65536) >>> 0;
  const got = m.ccall('web_read_world_map', 'number', ['string', 'number', 'number'], [name, order, at]);
  const bytes = got === 0 ? m.HEAPU8.slice(at, at + 65536) : null;
  m._free(at);
  return bytes;
}

function isProgramDisk(m, name, order) {
  return m.ccall('web_is_program_disk', 'number', ['string', 'number'], [name, order]) === 1;
}

const handlers = {
  // msg: files, args, output, world, order. Answers with the lines, the
  // status, the BMP and the world map's bytes.
  run(m, msg) {
    return inFolder(m, msg.files, () => {
      lines = [];
      const started = performance.now();
      let status;
      try {
        status = runTool(m, ['qarvex', ...msg.args]);
      } catch (e) {
        lines.push(String(e && e.message || e));
        status = 1;
      }
      const out = { lines, status, ms: performance.now() - started };
      lines = null;
      if (status === 0) {
        // The file's own storage goes to the page as it is, uncopied (the
        // file is removed with its folder).
        const file = m.FS.lookupPath(msg.output).node;
        out.bmp = file.contents.buffer;
        out.size = file.usedBytes;
        out.world = worldMap(m, msg.world, msg.order);
      }
      return out;
    });
  },
  // Which of the disks is the program disk: its index, or -1.
  classify(m, msg) {
    return inFolder(m, msg.files, () => {
      for (const order of [msg.order, 3 - msg.order])
        for (let i = 0; i < msg.files.length; ++i)
          if (isProgramDisk(m, msg.files[i].name, order)) return { program: i };
      return { program: -1 };
    });
  },
  demo(m, msg) {
    return inFolder(m, [], () => {
      lines = [];
      const status = m.ccall('web_make_demo', 'number', ['string', 'string', 'number'],
                             ['KQboot.dsk', 'kqvellmara.dsk', msg.order]);
      const out = { lines, status };
      lines = null;
      if (status === 0)
        out.files = ['KQboot.dsk', 'kqvellmara.dsk'].map((name) => ({ name, bytes: m.FS.readFile(name).buffer }));
      return out;
    });
  },
  // The BMP's pixels as a PNG, by the browser's own encoder.
  async png(m, msg) {
    const picture = decodeBmp(new Uint8Array(await msg.blob.arrayBuffer()));
    const canvas = new OffscreenCanvas(picture.width, picture.height);
    const context = canvas.getContext('2d');
    const band = 256;
    for (let y0 = 0; y0 < picture.height; y0 += band) {
      const rows = Math.min(band, picture.height - y0);
      const image = context.createImageData(picture.width, rows);
      const pixels = new Uint32Array(image.data.buffer);
      for (let y = 0; y < rows; ++y) picture.row(y0 + y, pixels, y * picture.width);
      context.putImageData(image, 0, y0);
    }
    return { png: await canvas.convertToBlob({ type: 'image/png' }) };
  },
};

onmessage = async (event) => {
  const msg = event.data;
  let answer;
  try {
    answer = await handlers[msg.type](await engine, msg);
  } catch (e) {
    answer = { failed: String(e && e.message || e) };
  }
  answer.id = msg.id;
  const transfer = [answer.bmp, ...(answer.files || []).map((f) => f.bytes)].filter(Boolean);
  postMessage(answer, transfer);
};
