// The command line and the run: options, the run sequence from the disks (or
// a BMP tile sheet) to the output file, and the output file with its
// overwrite question.
#pragma once

#include <cstdint>
#include <cstdio>

#include "picture/picture.h"

struct run_settings {
    const char* program_disk; // borrowed from the argument list
    const char* world_disk;
    int sector_order; // 1 DOS 3.3 order, 2 ProDOS order
    int blur_level;   // 0, 1 or 2
    int use_shape_bitmap;
    const char* shape_bitmap; // null unless "-s" was given
    const char* output_file;
    std::uint32_t gate_set; // bit n-1: moon gate of phase n
    int balloon;
    int overwrite;
    int exit_status; // 1 until the output file has been written
};

// --- command line ------------------------------------------------------------------
void set_default_settings(run_settings* settings);
// 0: go on with the run; 1: the run ends here with exit status 1.
int parse_arguments(run_settings* settings, int argc, char** argv);
void print_usage();

// --- the run -------------------------------------------------------------------------
// The whole tool: parse, run every stage, release; returns the exit status.
int run_qarvex(int argc, char** argv);

// --- output file -----------------------------------------------------------------------
// 0 when the output is none of the files the run reads and may be written;
// otherwise -1, after the lines saying why, before anything has been read.
// When the overwrite question comes first, the write judges the path after it.
int check_output_file(const run_settings* settings);
int write_bitmap_file(const char* path, const image_info* picture, int overwrite);
int ask_yes_no(const char* question);
