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
    if (open_output(&output, path) < 0) {
        std::printf("error: open '%s'\n", path);
        return -1;
    }
    // The map is tens of MiB: a large stream buffer means few, big writes.
    // Should the buffer not be had, the stream keeps its own smaller one.
    if (buffer != nullptr)
        std::setvbuf(output.file, buffer.get(), _IOFBF, output_buffer_size);
    const bool written = write_bitmap(output.file, &header, picture->palette, picture->pixels) >= 0;
    if (close_output(&output, written) < 0) {
        std::printf("error: write bitmap '%s'\n", path);
        return -1;
    }
    return 0;
}
