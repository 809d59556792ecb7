// The page's engine writes its picture into the in-memory file system a few
// kilobytes at a time, and that file system grows a file past 1 MB by an
// eighth at a time, copying it each time: a 176 MB picture would be copied
// some forty times over. Here a growing file doubles instead.
Module['preRun'] = [].concat(Module['preRun'] || [], function () {
  const expand = MEMFS.expandFileStorage;
  MEMFS.expandFileStorage = function (node, capacity) {
    const previous = node.contents ? node.contents.length : 0;
    return expand(node, capacity > previous ? Math.max(capacity, Math.min(2 * previous, 0xffff0000)) : capacity);
  };
});
