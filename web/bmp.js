// The pixels of an uncompressed BMP file, bottom row first, at 1, 4, 8, 16,
// 24 or 32 bits a pixel, as colours in the byte order of canvas image data
// (read as little-endian 32-bit words: red lowest, alpha highest).
'use strict';

function decodeBmp(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const offset = view.getUint32(10, true);
  const width = view.getInt32(18, true);
  const height = view.getInt32(22, true);
  const bits = view.getUint16(28, true);
  const stride = ((width * bits + 31) >>> 5) * 4;
  const rgb = (r, g, b) => (0xff000000 | (b << 16) | (g << 8) | r) >>> 0;
  const palette = new Uint32Array(256);
  for (let i = 0; i < 256 && 54 + 4 * i + 3 < offset; ++i)
    palette[i] = rgb(bytes[56 + 4 * i], bytes[55 + 4 * i], bytes[54 + 4 * i]);
  const five = (v) => (v << 3) | (v >> 2);
  const readers = {
    1: (row, x) => palette[(bytes[row + (x >> 3)] >> (7 - (x & 7))) & 1],
    4: (row, x) => palette[(bytes[row + (x >> 1)] >> (x & 1 ? 0 : 4)) & 15],
    8: (row, x) => palette[bytes[row + x]],
    16: (row, x) => {
      const w = bytes[row + 2 * x] | (bytes[row + 2 * x + 1] << 8);
      return rgb(five((w >> 10) & 31), five((w >> 5) & 31), five(w & 31));
    },
    24: (row, x) => rgb(bytes[row + 3 * x + 2], bytes[row + 3 * x + 1], bytes[row + 3 * x]),
    32: (row, x) => rgb(bytes[row + 4 * x + 2], bytes[row + 4 * x + 1], bytes[row + 4 * x]),
  };
  const read = readers[bits];
  const rowStart = (y) => offset + (height - 1 - y) * stride;
  return {
    width, height, bits,
    at: (x, y) => read(rowStart(y), x),
    // Row y into out from index start on.
    row(y, out, start) {
      const r = rowStart(y);
      for (let x = 0; x < width; ++x) out[start + x] = read(r, x);
    },
  };
}
