// Options and usage text. Each argument is compared whole and case-sensitively
// with the option strings in table order; a value is the next argument taken
// unchanged, even when it begins with "-".
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli.h"
#include "disk/disk.h"

namespace {

constexpr const char* program_name = "qarvex";
constexpr const char* default_program_disk = "KQboot.dsk";
constexpr const char* default_world_disk = "kqvellmara.dsk";
constexpr const char* default_output_file = "kq.Vellmarra.bmp";
constexpr std::uint32_t all_gates = 255;

enum class option_kind {
    help,
    program_disk,
    world_disk,
    dos_order,
    prodos_order,
    blur,
    shape,
    output,
    gates,
    phase,
    balloon,
    overwrite,
};

struct option_entry {
    const char* text;
    option_kind kind;
};

// clang-format off
constexpr option_entry option_table[] = {
    {"-?", option_kind::help},            {"--help", option_kind::help},
    {"-d1", option_kind::program_disk},   {"--disk1", option_kind::program_disk},
    {"--program-disk", option_kind::program_disk},
    {"-d2", option_kind::world_disk},     {"--disk2", option_kind::world_disk},
    {"--vellmarra-disk", option_kind::world_disk},
    {"--do", option_kind::dos_order},     {"--po", option_kind::prodos_order},
    {"-B", option_kind::blur},            {"--blur", option_kind::blur},
    {"-s", option_kind::shape},           {"--shape", option_kind::shape},
    {"-o", option_kind::output},          {"--output", option_kind::output},
    {"-g", option_kind::gates},           {"--gates", option_kind::gates},
    {"-p", option_kind::phase},           {"--phase", option_kind::phase},
    {"-b", option_kind::balloon},         {"--baloon", option_kind::balloon},
    {"--overwrite", option_kind::overwrite},
};
// clang-format on

const option_entry* find_option(const char* argument) {
    for (const option_entry& entry : option_table) {
        if (std::strcmp(argument, entry.text) == 0)
            return &entry;
    }
    return nullptr;
}

// The line printed when an option's value is missing.
const char* missing_value_message(option_kind kind) {
    switch (kind) {
    case option_kind::program_disk:
    case option_kind::world_disk:
        return "error: no disk image name";
    case option_kind::shape:
        return "error: no bitmap name";
    case option_kind::output:
        return "error: no output name";
    case option_kind::phase:
        return "error: no phase value";
    default:
        return nullptr;
    }
}

// A phase number in base 0 (decimal, 0x hexadecimal, leading 0 octal). The
// whole text must be a number and its low 32 bits, read as a signed number,
// must lie in 1 to 8. The conversion is done in 64 bits on every platform so
// that the answer never depends on the size of long.
int parse_phase(const char* text, int* phase) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (end == nullptr || *end != '\0')
        return -1;
    const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    if (number < 1 || number > 8)
        return -1;
    *phase = number;
    return 0;
}

} // namespace

void set_default_settings(run_settings* settings) {
    *settings = run_settings{};
    settings->program_disk = default_program_disk;
    settings->world_disk = default_world_disk;
    settings->sector_order = dos_order;
    settings->output_file = default_output_file;
    settings->exit_status = 1;
}

void print_usage() {
    std::printf("usage: %s [options]\n", program_name);
    std::printf("option:\n");
    std::printf("        -d1|--disk1|--program-disk   DISK-IMG\n");
    std::printf("                                specify program disk\n");
    std::printf("                                read '%s' if not specified\n",
                default_program_disk);
    std::printf("        -d2|--disk2|--vellmarra-disk DISK-IMG\n");
    std::printf("                                specify vellmarra disk\n");
    std::printf("                                read '%s' if not specified\n", default_world_disk);
    std::printf("        --do|--po               specify sector order of disk image\n");
    std::printf("                                    --do    DOS 3.3 order (default)\n");
    std::printf("                                    --po    ProDOS order\n");
    std::printf("        -B|--blur               blur graphics\n");
    std::printf("        -s|--shape SHAPE-BMP    read shape data from specified file\n");
    std::printf("        -o|--output OUTPUT-BMP  write bitmap to specified file\n");
    std::printf("        -g|--gates              draw all moon gates\n");
    std::printf("        -p|--phase NUM          draw moon gate of specified phase (1-8)\n");
    std::printf("        -b|--baloon             draw baloon\n");
    std::printf("           --overwrite          overwrite output file\n");
    std::printf("        -?|--help               print usage\n");
}

int parse_arguments(run_settings* settings, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-') {
            std::printf("error: illegal parameter '%s'\n", argument);
            continue;
        }
        const option_entry* option = find_option(argument);
        if (option == nullptr) {
            std::printf("error: unknown option '%s'\n", argument);
            return 1;
        }
        const char* value = nullptr;
        if (const char* missing = missing_value_message(option->kind)) {
            if (i + 1 >= argc) {
                std::printf("%s\n", missing);
                return 1;
            }
            value = argv[++i];
        }
        switch (option->kind) {
        case option_kind::help:
            print_usage();
            return 1;
        case option_kind::program_disk:
            settings->program_disk = value;
            break;
        case option_kind::world_disk:
            settings->world_disk = value;
            break;
        case option_kind::dos_order:
            settings->sector_order = dos_order;
            break;
        case option_kind::prodos_order:
            settings->sector_order = prodos_order;
            break;
        case option_kind::blur:
            if (settings->blur_level < 2)
                ++settings->blur_level;
            break;
        case option_kind::shape:
            settings->shape_bitmap = value;
            settings->use_shape_bitmap = 1;
            break;
        case option_kind::output:
            settings->output_file = value;
            break;
        case option_kind::gates:
            settings->gate_set = all_gates;
            break;
        case option_kind::phase: {
            int phase = 0;
            if (parse_phase(value, &phase) != 0) {
                std::printf("error: illegal phase value: %s\n", value);
                return 1;
            }
            settings->gate_set |= 1u << (phase - 1);
            break;
        }
        case option_kind::balloon:
            settings->balloon = 1;
            break;
        case option_kind::overwrite:
            settings->overwrite = 1;
            break;
        }
    }
    return 0;
}
