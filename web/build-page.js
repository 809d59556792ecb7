// Writes the single-file page: the page's markup with its styles, the viewer
// library with its licence, the worker (the tool compiled to WebAssembly,
// inlined as base64, with its glue) and the page's script, all inside it.
//
//   node build-page.js WEB-DIR ENGINE-JS LEAFLET-DIR OUTPUT-HTML
'use strict';
const fs = require('fs');
const path = require('path');

const [webDir, engineJs, leafletDir, output] = process.argv.slice(2);
const read = (file) => fs.readFileSync(file, 'utf8');
const limit = 1024 * 1024;

// Inside a script element the text may not close it or open a comment.
function scriptText(text, what) {
  if (/<\/script|<!--/i.test(text)) throw new Error(`${what} holds </script or <!--`);
  return text;
}

// The library's stylesheet names its control images; the page uses none of
// those controls and fetches nothing, so the references go.
const leafletCss = read(path.join(leafletDir, 'dist', 'leaflet.css')).replace(/url\([^)]*\)/g, 'none');
const parts = {
  LEAFLET_CSS: leafletCss,
  PAGE_CSS: read(path.join(webDir, 'page.css')),
  LEAFLET_LICENSE: '/*! Leaflet ' + require(path.join(leafletDir, 'package.json')).version + '\n' +
    read(path.join(leafletDir, 'LICENSE')).replace(/\*\//g, '* /') + '*/',
  LEAFLET_JS: scriptText(read(path.join(leafletDir, 'dist', 'leaflet.js')), 'leaflet.js'),
  WORKER_JS: scriptText([read(engineJs), read(path.join(webDir, 'bmp.js')), read(path.join(webDir, 'worker.js'))].join('\n'), 'the worker'),
  PAGE_JS: scriptText(read(path.join(webDir, 'bmp.js')) + '\n' + read(path.join(webDir, 'page.js')), 'page.js'),
};
const page = read(path.join(webDir, 'page.html')).replace(/\/\*([A-Z_]+)\*\//g, (all, name) => {
  if (!(name in parts)) throw new Error(`no part ${name}`);
  return parts[name];
});
const bytes = Buffer.byteLength(page);
if (bytes > limit) {
  console.error(`${output}: ${bytes} bytes, more than ${limit}`);
  process.exit(1);
}
fs.writeFileSync(output, page);
console.log(`${output}: ${bytes} bytes`);
