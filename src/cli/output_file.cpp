// The output file: test the path, ask before overwriting an existing entry,
// then write the picture as a BMP file. A write counts only once the stream
// has taken every byte and the whole file stands at the output path.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bmp/bmp.h"
#include "cli/cli.h"
#include "cli/output_stream.h"

namespace {

constexpr std::size_t output_buffer_size = std::size_t{1} << 20;

// What follows "error: open '%s'" when the path alone does not say why.
const char* fault_text(output_fault fault) {
    switch (fault) {
    case output_fault::read_only_file_system:
        return " (read-only file system)";
    case output_fault::no_space:
        return " (no space left on the device)";
    default:
        return "";
    }
}

// Why an existing file is written in place.
const char* cause_text(in_place_cause cause) {
    switch (cause) {
    case in_place_cause::links:
        return "it has other hard links, which stay one file";
    case in_place_cause::folder:
        return "its folder takes no new file";
    case in_place_cause::sticky_folder:
        return "its folder's sticky bit forbids the rename";
    default:
        return "a new file could not keep its owner";
    }
}

} // namespace

int ask_yes_no(const char* question) {
    std::printf("%s (Y or N): ", question);
    std::fflush(stdout);
    for (;;) {
        const int c = std::getchar();
        if (c == 'y' || c == 'Y')
            return 1;
        if (c == 'n' || c == 'N')
            return 0;
        // Standard input ended before an answer: that is a no, so nothing
        // is overwritten.
        if (c == EOF)
            return 0;
    }
}

int check_output_file(const run_settings* settings) {
    const char* inputs[] = {settings->program_disk, settings->world_disk, settings->shape_bitmap};
    for (const char* input : inputs) {
        if (input != nullptr && same_file(settings->output_file, input)) {
            std::printf("error: output '%s' is the same file as '%s'\n", settings->output_file,
                        input);
            return -1;
        }
    }
    // A path that no answer could make writable is refused now, before any
    // work, unless the overwrite question comes first.
    output_fault fault = output_fault::other;
    if ((settings->overwrite || !path_exists(settings->output_file)) &&
        check_output_path(settings->output_file, &fault) < 0) {
        std::printf("error: open '%s'%s\n", settings->output_file, fault_text(fault));
        std::printf("error: write bitmap file '%s'\n", settings->output_file);
        return -1;
    }
    return 0;
}

int write_bitmap_file(const char* path, const image_info* picture, int overwrite) {
    bitmap_header header{};
    if (create_bitmap_header(&header, static_cast<std::uint32_t>(picture->width),
                             static_cast<std::uint32_t>(picture->height),
                             static_cast<std::uint16_t>(picture->bit_count & 0xFFFFu)) < 0) {
        std::printf("error: create bitmap header\n");
        return -1;
    }
    if (!overwrite && path_exists(path)) {
        std::printf("'%s' already exists\n", path);
        if (ask_yes_no("overwrite ?") < 1)
            return -1;
    }
    // The stream buffer is our own (a null one would leave the stream at its
    // small default size); declared first, it outlives the stream.
    std::unique_ptr<char, decltype(&std::free)> buffer(
        static_cast<char*>(std::malloc(output_buffer_size)), &std::free);
    output_stream output{};
    if (open_output(&output, path, header.file_length) < 0) {
        std::printf("error: open '%s'%s\n", path, fault_text(output.fault));
        return -1;
    }
    if (output.way == output_way::in_place) {
        std::printf("warning: '%s' is written in place, not replaced atomically: %s\n", path,
                    cause_text(output.cause));
        std::fflush(stdout);
    }
    // The map is tens of MiB: a large stream buffer means few, big writes.
    // Should the buffer not be had, the stream keeps its own smaller one.
    if (buffer != nullptr && output.file != stdout)
        std::setvbuf(output.file, buffer.get(), _IOFBF, output_buffer_size);
    const bool written = write_bitmap(output.file, &header, picture->palette, picture->pixels) >= 0;
    if (close_output(&output, written) < 0) {
        std::printf("error: write bitmap '%s'\n", path);
        return -1;
    }
    return 0;
}
