// qarvex-demo: writes a demo program disk and a demo world disk, under the
// names qarvex reads by default, so that the tool has something to draw.
//
//   qarvex-demo [--do|--po] [--seed N] [DIR]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "demo.h"

namespace {

constexpr const char* program_disk_name = "KQboot";
constexpr const char* world_disk_name = "kqvellmara";
constexpr std::uint32_t default_seed = demo_default_seed;

struct demo_settings {
    int order = 1;
    std::uint32_t seed = default_seed;
    std::string dir = ".";
    demo_form form = demo_form::raw;
    const char* extension = ".dsk";
};

void print_demo_usage() {
    std::printf("usage: qarvex-demo [--do|--po] [--woz|--nib|--2img] [--seed N] [DIR]\n");
    std::printf("        writes the demo disks %s.dsk and %s.dsk into DIR (default .)\n",
                program_disk_name, world_disk_name);
    std::printf("        --do|--po    sector order of both images (default --do)\n");
    std::printf("        --woz|--nib|--2img  write them as .woz, .nib or .2mg files instead\n");
    std::printf("        --seed N     world of seed N (default %u)\n",
                static_cast<unsigned>(default_seed));
}

// 0: go on; 1: stop with status 0 (help); -1: stop with status 1.
int parse_demo_arguments(int argc, char** argv, demo_settings* settings) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-?") {
            print_demo_usage();
            return 1;
        } else if (argument == "--do") {
            settings->order = 1;
        } else if (argument == "--po") {
            settings->order = 2;
        } else if (argument == "--woz") {
            settings->form = demo_form::woz;
            settings->extension = ".woz";
        } else if (argument == "--nib") {
            settings->form = demo_form::nib;
            settings->extension = ".nib";
        } else if (argument == "--2img") {
            settings->form = demo_form::two_img;
            settings->extension = ".2mg";
        } else if (argument == "--seed") {
            char* end = nullptr;
            if (i + 1 >= argc) {
                std::printf("error: no seed value\n");
                return -1;
            }
            const unsigned long long value = std::strtoull(argv[++i], &end, 0);
            if (end == argv[i] || *end != '\0' || value > UINT32_MAX) {
                std::printf("error: illegal seed value: %s\n", argv[i]);
                return -1;
            }
            settings->seed = static_cast<std::uint32_t>(value);
        } else if (!argument.empty() && argument[0] == '-') {
            std::printf("error: unknown option '%s'\n", argument.c_str());
            return -1;
        } else {
            settings->dir = argument;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    demo_settings settings;
    const int parsed = parse_demo_arguments(argc, argv, &settings);
    if (parsed != 0)
        return parsed > 0 ? 0 : 1;
    std::error_code error;
    std::filesystem::create_directories(settings.dir, error);
    const std::filesystem::path dir = settings.dir;
    const std::string program_path =
        (dir / (std::string(program_disk_name) + settings.extension)).string();
    const std::string world_path =
        (dir / (std::string(world_disk_name) + settings.extension)).string();
    if (write_demo_program_disk(program_path, settings.order, settings.form) < 0) {
        std::printf("error: write '%s'\n", program_path.c_str());
        return 1;
    }
    if (write_demo_world_disk(world_path, settings.order, settings.seed, settings.form) < 0) {
        std::printf("error: write '%s'\n", world_path.c_str());
        return 1;
    }
    std::printf("wrote %s and %s (%s order, seed %u)\n", program_path.c_str(), world_path.c_str(),
                settings.order == 2 ? "ProDOS" : "DOS 3.3", static_cast<unsigned>(settings.seed));
    return 0;
}
