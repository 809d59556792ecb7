// The output file on the file system: replacement through a temporary file,
// its removal on a stop signal, and the identity of files. POSIX and Windows
// each have their own half; both name the temporary file
// ".qarvex-<process id>-<n>.tmp", so that runs at once never share one and
// the last rename wins.
#include "cli/output_stream.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "picture/file.h"

namespace {

// Tries per run at a free temporary name (a stale file of an earlier process
// with the same id takes one).
constexpr unsigned temp_name_tries = 100;

// Writes straight to the path, as for a device or a pipe.
int open_directly(output_stream* output, const char* path) {
    output->file = open_file(path, "wb");
    return output->file != nullptr ? 0 : -1;
}

} // namespace

#if defined(_WIN32)

#include <cstdint>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <windows.h>

namespace {

// The temporary file a console event removes; set while it exists.
std::atomic<const wchar_t*> stop_temp_path{nullptr};

// Runs on a thread of its own when Ctrl-C, Ctrl-Break or the closing console
// stops the run: the temporary file goes (marked for deletion while the main
// thread still holds it open), and the process ends with the status of an
// interrupted console program.
BOOL WINAPI remove_temp_and_stop(DWORD) {
    const wchar_t* temp = stop_temp_path;
    if (temp != nullptr)
        DeleteFileW(temp);
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

// Opens an existing entry for its attributes only, following links.
HANDLE open_entry(const wchar_t* path) {
    return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The path of the file an open entry is, every link followed; null when it
// can't be had.
wchar_t* final_path(HANDLE entry) {
    const DWORD length = GetFinalPathNameByHandleW(entry, nullptr, 0, FILE_NAME_NORMALIZED);
    if (length == 0)
        return nullptr;
    auto* path = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * (length + 1)));
    if (path != nullptr &&
        GetFinalPathNameByHandleW(entry, path, length + 1, FILE_NAME_NORMALIZED) > length) {
        std::free(path);
        path = nullptr;
    }
    return path;
}

// The temporary file in the folder of target, created new and open for
// writing (deletable while open); null when it can't be created.
std::FILE* create_temp_file(const wchar_t* target, wchar_t** temp_path) {
    std::size_t folder = 0;
    for (std::size_t i = 0; target[i] != L'\0'; ++i) {
        if (target[i] == L'\\' || target[i] == L'/' || target[i] == L':')
            folder = i + 1;
    }
    const std::size_t room = folder + 48;
    auto* temp = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * room));
    if (temp == nullptr)
        return nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned n = 0; n < temp_name_tries && file == INVALID_HANDLE_VALUE; ++n) {
        stop_temp_path = nullptr;
        std::swprintf(temp, room, L"%.*ls.qarvex-%lu-%u.tmp", static_cast<int>(folder), target,
                      GetCurrentProcessId(), n);
        stop_temp_path = temp;
        file = CreateFileW(temp, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    std::FILE* stream = nullptr;
    if (file != INVALID_HANDLE_VALUE) {
        const int descriptor =
            _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_BINARY | _O_WRONLY);
        stream = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
        if (stream == nullptr) {
            if (descriptor >= 0)
                _close(descriptor);
            else
                CloseHandle(file);
            DeleteFileW(temp);
        }
    }
    if (stream == nullptr) {
        stop_temp_path = nullptr;
        std::free(temp);
        return nullptr;
    }
    *temp_path = temp;
    return stream;
}

} // namespace

bool path_exists(const char* path) {
    wchar_t* wide = widen_path(path);
    struct _stat64 status;
    const bool exists = wide != nullptr && _wstat64(wide, &status) == 0;
    std::free(wide);
    return exists;
}

bool same_file(const char* path, const char* other) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const char* paths[2] = {path, other};
    for (int i = 0; i < 2; ++i) {
        wchar_t* wide = widen_path(paths[i]);
        HANDLE entry = wide != nullptr ? open_entry(wide) : INVALID_HANDLE_VALUE;
        std::free(wide);
        if (entry == INVALID_HANDLE_VALUE)
            return false;
        const BOOL known = GetFileInformationByHandle(entry, &info[i]);
        CloseHandle(entry);
        if (!known)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

int open_output(output_stream* output, const char* path) {
    *output = {};
    wchar_t* target = widen_path(path);
    if (target == nullptr)
        return -1;
    HANDLE entry = open_entry(target);
    if (entry == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            std::free(target);
            return open_directly(output, path);
        }
    } else {
        BY_HANDLE_FILE_INFORMATION info;
        const bool regular = GetFileType(entry) == FILE_TYPE_DISK &&
                             GetFileInformationByHandle(entry, &info) &&
                             (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        wchar_t* followed = regular ? final_path(entry) : nullptr;
        CloseHandle(entry);
        if (!regular) {
            std::free(target);
            return open_directly(output, path);
        }
        // A read-only file is refused, as opening it for writing would be;
        // the rename alone would not be stopped by it.
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            std::free(followed);
            std::free(target);
            return -1;
        }
        if (followed != nullptr) {
            std::free(target);
            target = followed;
        }
    }
    // Stays for the rest of the run: a console event after the rename still
    // ends it with the usual status.
    SetConsoleCtrlHandler(remove_temp_and_stop, TRUE);
    output->file = create_temp_file(target, &output->temp_path);
    if (output->file == nullptr) {
        std::free(target);
        return -1;
    }
    output->target_path = target;
    return 0;
}

int close_output(output_stream* output, bool keep) {
    if (output->temp_path == nullptr) {
        const bool closed = output->file == nullptr || std::fclose(output->file) == 0;
        output->file = nullptr;
        return keep && closed ? 0 : -1;
    }
    bool whole = keep && std::fflush(output->file) == 0 && _commit(_fileno(output->file)) == 0;
    whole = std::fclose(output->file) == 0 && whole;
    output->file = nullptr;
    whole = whole && MoveFileExW(output->temp_path, output->target_path,
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!whole)
        DeleteFileW(output->temp_path);
    stop_temp_path = nullptr;
    std::free(output->temp_path);
    std::free(output->target_path);
    output->temp_path = nullptr;
    output->target_path = nullptr;
    return whole ? 0 : -1;
}

#else // POSIX

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Symbolic links followed before a path counts as a loop, as the system does.
constexpr int max_links = 40;
// The longest link text read (the system's own limit is far below).
constexpr std::size_t max_link_length = std::size_t{1} << 20;

constexpr std::array<int, 3> stop_signals = {SIGINT, SIGTERM, SIGHUP};

// The temporary file a stop signal removes; set while it exists. Lock-free,
// so the signal handler may read it.
std::atomic<const char*> stop_temp_path{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);
std::array<struct sigaction, stop_signals.size()> previous_actions;
std::array<bool, stop_signals.size()> caught;

extern "C" void remove_temp_and_stop(int signal_number) {
    const char* temp = stop_temp_path;
    if (temp != nullptr)
        unlink(temp);
    // The handler was reset on entry: the signal now ends the run as it would have.
    raise(signal_number);
}

// Catches the stop signals while a temporary file exists; a signal that the
// run was started ignoring (a background job's SIGINT) stays ignored.
void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = remove_temp_and_stop;
    action.sa_flags = static_cast<int>(SA_RESETHAND | SA_NODEFER);
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < stop_signals.size(); ++i) {
        caught[i] = sigaction(stop_signals[i], nullptr, &previous_actions[i]) == 0 &&
                    previous_actions[i].sa_handler != SIG_IGN &&
                    sigaction(stop_signals[i], &action, nullptr) == 0;
    }
}

void release_stop_signals() {
    for (std::size_t i = 0; i < stop_signals.size(); ++i) {
        if (caught[i])
            sigaction(stop_signals[i], &previous_actions[i], nullptr);
        caught[i] = false;
    }
}

char* copy_text(const char* text, std::size_t length) {
    auto* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

// Length of the folder part of path, its last slash included (0 for a bare name).
std::size_t folder_length(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? static_cast<std::size_t>(slash - path) + 1 : 0;
}

// The text of the symbolic link at path, or null.
char* read_link(const char* path) {
    for (std::size_t room = 256; room <= max_link_length; room *= 2) {
        auto* text = static_cast<char*>(std::malloc(room));
        if (text == nullptr)
            return nullptr;
        const ssize_t length = readlink(path, text, room);
        if (length >= 0 && static_cast<std::size_t>(length) < room) {
            text[length] = '\0';
            return text;
        }
        std::free(text);
        if (length < 0)
            return nullptr;
    }
    return nullptr;
}

// The file path names once every symbolic link is followed (a relative link
// from the link's own folder); path itself when it is no link. Null for a
// loop, a link that can't be read, or short memory.
char* follow_links(const char* path) {
    char* current = copy_text(path, std::strlen(path));
    for (int links = 0; current != nullptr; ++links) {
        struct stat status;
        if (lstat(current, &status) != 0 || !S_ISLNK(status.st_mode))
            return current;
        char* link = links < max_links ? read_link(current) : nullptr;
        char* next = nullptr;
        if (link != nullptr && link[0] == '/') {
            next = link;
        } else if (link != nullptr) {
            const std::size_t folder = folder_length(current);
            const std::size_t length = std::strlen(link);
            next = static_cast<char*>(std::malloc(folder + length + 1));
            if (next != nullptr) {
                std::memcpy(next, current, folder);
                std::memcpy(next + folder, link, length + 1);
            }
            std::free(link);
        }
        std::free(current);
        current = next;
    }
    return nullptr;
}

// The temporary file in the folder of target, created new and open for
// writing with the usual mode of a new file; null when it can't be created.
std::FILE* create_temp_file(const char* target, char** temp_path) {
    const std::size_t folder = folder_length(target);
    const std::size_t room = folder + 48;
    auto* temp = static_cast<char*>(std::malloc(room));
    if (temp == nullptr)
        return nullptr;
    int descriptor = -1;
    for (unsigned n = 0; n < temp_name_tries && descriptor < 0; ++n) {
        stop_temp_path = nullptr;
        std::snprintf(temp, room, "%.*s.qarvex-%ld-%u.tmp", static_cast<int>(folder), target,
                      static_cast<long>(getpid()), n);
        stop_temp_path = temp;
        descriptor = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno != EEXIST)
            break;
    }
    std::FILE* stream = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (stream == nullptr) {
        if (descriptor >= 0) {
            close(descriptor);
            unlink(temp);
        }
        stop_temp_path = nullptr;
        std::free(temp);
        return nullptr;
    }
    *temp_path = temp;
    return stream;
}

} // namespace

bool path_exists(const char* path) {
    struct stat status;
    return stat(path, &status) == 0;
}

bool same_file(const char* path, const char* other) {
    struct stat first;
    struct stat second;
    return stat(path, &first) == 0 && stat(other, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

int open_output(output_stream* output, const char* path) {
    *output = {};
    // No name, no file to put in its place.
    if (path[0] == '\0')
        return open_directly(output, path);
    struct stat named;
    const bool exists = stat(path, &named) == 0;
    if (exists ? !S_ISREG(named.st_mode) : errno != ENOENT)
        return open_directly(output, path);
    // The rename goes to the file the links lead to, so that they stay links.
    // A path whose links lead elsewhere than the file it opens (the link of a
    // descriptor to a deleted file) is written as it opens.
    char* target = follow_links(path);
    struct stat followed;
    const bool found = target != nullptr && stat(target, &followed) == 0;
    if (target == nullptr || found != exists ||
        (exists && (followed.st_dev != named.st_dev || followed.st_ino != named.st_ino))) {
        std::free(target);
        return open_directly(output, path);
    }
    // A file its user may not write is refused, as opening it for writing
    // would be; the rename alone needs only the folder.
    if (exists && access(target, W_OK) != 0) {
        std::free(target);
        return -1;
    }
    catch_stop_signals();
    output->file = create_temp_file(target, &output->temp_path);
    if (output->file == nullptr) {
        release_stop_signals();
        std::free(target);
        return -1;
    }
    if (exists) {
        // The replacement keeps the owner (where the system lets us) and the
        // permission bits of the file it replaces.
        const int descriptor = fileno(output->file);
        if ((named.st_uid != geteuid() || named.st_gid != getegid()) &&
            fchown(descriptor, named.st_uid, named.st_gid) != 0) {
            // Only the owner or root may give a file away; ours it stays.
        }
        fchmod(descriptor, named.st_mode & 07777);
    }
    output->target_path = target;
    return 0;
}

int close_output(output_stream* output, bool keep) {
    if (output->temp_path == nullptr) {
        const bool closed = output->file == nullptr || std::fclose(output->file) == 0;
        output->file = nullptr;
        return keep && closed ? 0 : -1;
    }
    // Every byte handed to the file before the rename. No fsync: the output
    // path holds the old file or the whole new one whatever the run goes
    // through, and a sync would double the time of a run for a power cut that
    // the file system's own ordering of a rename over a file already covers.
    bool whole = keep && std::fflush(output->file) == 0;
    whole = std::fclose(output->file) == 0 && whole;
    output->file = nullptr;
    whole = whole && std::rename(output->temp_path, output->target_path) == 0;
    if (!whole)
        unlink(output->temp_path);
    stop_temp_path = nullptr;
    release_stop_signals();
    std::free(output->temp_path);
    std::free(output->target_path);
    output->temp_path = nullptr;
    output->target_path = nullptr;
    return whole ? 0 : -1;
}

#endif
