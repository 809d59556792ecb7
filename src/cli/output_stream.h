// The output file as the file system sees it. A picture never goes straight
// into an existing file: it is written to a temporary file of its own in the
// folder of the output (of the file a symbolic link points to), flushed,
// closed, and renamed over the output in one step, so the output path holds
// the old file or the whole new one and nothing else, whatever happens on the
// way: a full disk, a stop signal, another run writing the same output.
// Outputs that are not regular files (a terminal, a pipe, a device) take the
// picture straight.
#pragma once

#include <cstdio>

#if defined(_WIN32)
using path_char = wchar_t;
#else
using path_char = char;
#endif

struct output_stream {
    std::FILE* file;
    path_char* temp_path;   // the temporary file; null when writing straight to the path
    path_char* target_path; // the file it replaces, links followed
};

// Whether anything (a file, a directory, ...) stands at path.
bool path_exists(const char* path);

// Whether both paths name one existing file, however they are spelt: the same
// device and inode (on Windows the same volume and file index).
bool same_file(const char* path, const char* other);

// Opens the stream for the picture; 0, or -1 when the output can't be created
// or is a file its user may not write (nothing is printed, nothing is left).
// While a temporary file is open, SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break
// and a closed console on Windows) remove it and end the run as they would have.
int open_output(output_stream* output, const char* path);

// Closes the stream. With keep, the temporary file is flushed to the disk and
// renamed over the output: 0 once that is done. Without keep, or when any step
// fails, it is removed and the output left as it was: -1.
int close_output(output_stream* output, bool keep);
