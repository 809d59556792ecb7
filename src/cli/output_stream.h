// The output file as the file system sees it. A picture never goes straight
// into an existing file if it can help it: it is written to a temporary file
// of its own in the folder of the output (of the file a symbolic link points
// to), flushed, closed, and renamed over the output in one step, so the output
// path holds the old file or the whole new one and nothing else, whatever
// happens on the way: a full disk, a stop signal, another run writing the
// same output.
//
// Where that can't be done, the picture goes into the file itself, as `cat >`
// would write it: a file with other hard links (which stay one file), a file
// in a folder that takes no new file, a file whose folder's sticky bit keeps
// the rename from us, a file whose owner a new file could not keep.
//
// Standard output, by any name that is the same open file as descriptor 1,
// takes the picture at its current position through that descriptor: never
// cut, reopened or replaced, so what was written before it and after it
// stays. Other outputs that are not regular files (a terminal, a pipe, a
// device) are written straight.
#pragma once

#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
using path_char = wchar_t;
#else
using path_char = char;
#endif

// How the picture reaches the output.
enum class output_way { straight, standard_output, replace, in_place };

// Why an existing file is written in place instead of replaced.
enum class in_place_cause { none, links, folder, sticky_folder, owner };

// Why an output can't be written, beyond what its path shows.
enum class output_fault { other, read_only_file_system, no_space };

struct output_stream {
    std::FILE* file;
    output_way way;
    in_place_cause cause;
    output_fault fault;     // set when open_output fails
    std::uint64_t size;     // the whole picture file; an in-place write is cut to it
    path_char* temp_path;   // the temporary file while it exists
    path_char* target_path; // the file it replaces, links followed
};

// Whether anything (a file, a directory, ...) stands at path.
bool path_exists(const char* path);

// Whether both paths name one existing file, however they are spelt: the same
// device and inode (on Windows the same volume and file index).
bool same_file(const char* path, const char* other);

// Before anything is read: -1 when the output certainly can't be written
// (its folder is missing, it is a directory, a read-only file or on a
// read-only file system, or a new file can't be made in its folder), with
// *fault saying why where the path alone does not; 0 when it may be.
int check_output_path(const char* path, output_fault* fault);

// Opens the stream for a picture file of size bytes; 0, or -1 when the output
// can't be created or is a file its user may not write (output->fault says
// why where it can; nothing is printed, nothing is left). While a temporary
// file is open, every signal that would end the run (Ctrl-C, Ctrl-Break and a
// closed console on Windows) removes it first.
int open_output(output_stream* output, const char* path, std::uint64_t size);

// Closes the stream. With keep, the temporary file is flushed to the disk and
// renamed over the output (an in-place write cut to the picture's length): 0
// once that is done. Without keep, or when any step fails, the temporary file
// is removed and the output left as it was: -1.
int close_output(output_stream* output, bool keep);
