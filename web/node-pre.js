// Pipes as Node gives them to the program. Node leaves a pipe non-blocking,
// so a write to a full pipe or a read from an empty one fails with EAGAIN:
// it is tried again, a moment later, until the other side has caught up, as
// a blocking call would. And the file system layer reads and writes at the
// stream's position, which a pipe has not (ESPIPE): such a call takes the
// pipe as it stands, as read() and write() do. And the .wasm file is read,
// not fetched.
(function () {
  // Node's own fetch can't read the program's .wasm file beside this
  // script; without a fetch the loader reads the file from disk.
  delete globalThis.fetch;
  const fs = require('fs');
  const pause = new Int32Array(new SharedArrayBuffer(4));
  const patiently = function (call) {
    return function (fd, buffer, offset, length, position) {
      for (;;) {
        try {
          return call.call(fs, fd, buffer, offset, length, position);
        } catch (e) {
          if (e.code === 'ESPIPE' && position != null) position = null;
          else if (e.code === 'EAGAIN') Atomics.wait(pause, 0, 0, 1);
          else throw e;
        }
      }
    };
  };
  fs.writeSync = patiently(fs.writeSync);
  fs.readSync = patiently(fs.readSync);
})();
