#include "cli/cli.h"

#if defined(_WIN32)
#include <cstdio>
#include <cstdlib>

#include <windows.h>

namespace {

// One argument as UTF-8 in a buffer of its own; null when memory is short.
char* narrow_argument(const wchar_t* wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    auto* text = static_cast<char*>(std::malloc(size > 0 ? static_cast<std::size_t>(size) : 1));
    if (text != nullptr &&
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, size, nullptr, nullptr) != size)
        text[0] = '\0';
    return text;
}

} // namespace

// Windows hands the arguments over as UTF-16; the run takes them as UTF-8,
// the paths of every script included, and prints them as such. A console
// shows those bytes as UTF-8 for the length of the run.
int wmain(int argc, wchar_t** wide_argv) {
    auto** argv =
        static_cast<char**>(std::calloc(static_cast<std::size_t>(argc) + 1, sizeof(char*)));
    bool complete = argv != nullptr;
    for (int i = 0; complete && i < argc; ++i) {
        argv[i] = narrow_argument(wide_argv[i]);
        complete = argv[i] != nullptr;
    }
    int status = 1;
    if (complete) {
        DWORD mode = 0;
        const UINT console_page = GetConsoleOutputCP();
        const bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
        if (console)
            SetConsoleOutputCP(CP_UTF8);
        status = run_qarvex(argc, argv);
        if (console)
            SetConsoleOutputCP(console_page);
    } else {
        std::printf("error: memory exhausted!\n");
    }
    for (int i = 0; argv != nullptr && i < argc; ++i)
        std::free(argv[i]);
    std::free(argv);
    return status;
}

#else

int main(int argc, char** argv) {
    return run_qarvex(argc, argv);
}

#endif
