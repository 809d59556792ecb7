// Standard output as Node gives it to the program. Node leaves a pipe
// non-blocking, so a write to a full pipe fails with EAGAIN: it is tried
// again, a moment later, until the reader has taken the bytes, as a
// blocking write would. And the file system layer writes at the stream's
// position, which a pipe has not (ESPIPE): such a write goes to the pipe
// as it stands, as write() does. And the .wasm file is read, not fetched.
(function () {
  // Node's own fetch can't read the program's .wasm file beside this
  // script; without a fetch the loader reads the file from disk.
  delete globalThis.fetch;
  const fs = require('fs');
  const write = fs.writeSync;
  const pause = new Int32Array(new SharedArrayBuffer(4));
  fs.writeSync = function (fd, buffer, offset, length, position) {
    for (;;) {
      try {
        return write.call(fs, fd, buffer, offset, length, position);
      } catch (e) {
        if (e.code === 'ESPIPE' && position != null) position = null;
        else if (e.code === 'EAGAIN') Atomics.wait(pause, 0, 0, 1);
        else throw e;
      }
    }
  };
})();
