// The output file on the file system: replacement through a temporary file,
// its removal on a stop signal, writing in place where a file can't be
// replaced, standard output by any name, and the identity of files. POSIX
// and Windows each have their own half; both name the temporary file
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

// The temporary file's name, in a buffer of the run's own for the whole run
// (room for the longest path Windows has). The console handler, on a thread
// of its own, reads it only while temp_state says the file is ours, and
// claims it first, so the main thread never rewrites or drops a name the
// handler is reading.
constexpr std::size_t temp_room = 32768 + 64;
wchar_t temp_name[temp_room];
constexpr int temp_none = 0;    // no temporary file
constexpr int temp_ours = 1;    // temp_name is our file: the handler may remove it
constexpr int temp_claimed = 2; // the handler is removing it and ends the process
std::atomic<int> temp_state{temp_none};

// Runs when Ctrl-C, Ctrl-Break or the closing console stops the run: the
// temporary file goes (marked for deletion while the main thread still holds
// it open), and the process ends with the status of an interrupted console
// program.
BOOL WINAPI remove_temp_and_stop(DWORD) {
    int state = temp_ours;
    if (temp_state.compare_exchange_strong(state, temp_claimed))
        DeleteFileW(temp_name);
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

// Takes the name back from the handler; once the handler has claimed it, the
// process is ending and this thread waits for that.
void forget_temp_file() {
    int state = temp_ours;
    if (!temp_state.compare_exchange_strong(state, temp_none) && state == temp_claimed)
        Sleep(INFINITE);
}

output_fault fault_of(DWORD error) {
    if (error == ERROR_WRITE_PROTECT)
        return output_fault::read_only_file_system;
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? output_fault::no_space
                                                                       : output_fault::other;
}

// Opens an existing entry for its attributes only, following links.
HANDLE open_entry(const wchar_t* path) {
    return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool same_ids(const BY_HANDLE_FILE_INFORMATION* a, const BY_HANDLE_FILE_INFORMATION* b) {
    return a->dwVolumeSerialNumber == b->dwVolumeSerialNumber &&
           a->nFileIndexHigh == b->nFileIndexHigh && a->nFileIndexLow == b->nFileIndexLow;
}

// Whether the entry is the disk file that standard output writes to.
bool is_standard_output(const BY_HANDLE_FILE_INFORMATION* named) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    BY_HANDLE_FILE_INFORMATION info;
    return out != INVALID_HANDLE_VALUE && out != nullptr && GetFileType(out) == FILE_TYPE_DISK &&
           GetFileInformationByHandle(out, &info) && same_ids(named, &info);
}

// The picture through a descriptor of standard output's own handle: at its
// position, after whatever the run printed, in binary mode.
int open_standard_output(output_stream* output) {
    std::fflush(stdout);
    const int descriptor = _dup(_fileno(stdout));
    if (descriptor >= 0)
        _setmode(descriptor, _O_BINARY);
    output->file = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
    if (output->file == nullptr && descriptor >= 0)
        _close(descriptor);
    output->way = output_way::standard_output;
    return output->file != nullptr ? 0 : -1;
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

std::size_t folder_length(const wchar_t* path) {
    std::size_t folder = 0;
    for (std::size_t i = 0; path[i] != L'\0'; ++i) {
        if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':')
            folder = i + 1;
    }
    return folder;
}

// The temporary file in the folder of target, created new and open for
// writing (deletable while open); null when it can't be created, *error
// saying why.
std::FILE* create_temp_file(const wchar_t* target, DWORD* error) {
    const std::size_t folder = folder_length(target);
    *error = ERROR_FILENAME_EXCED_RANGE;
    if (folder + 48 > temp_room)
        return nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned n = 0; n < temp_name_tries && file == INVALID_HANDLE_VALUE; ++n) {
        std::swprintf(temp_name, temp_room, L"%.*ls.qarvex-%lu-%u.tmp", static_cast<int>(folder),
                      target, GetCurrentProcessId(), n);
        file = CreateFileW(temp_name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        *error = GetLastError();
        if (file == INVALID_HANDLE_VALUE && *error != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    temp_state = temp_ours;
    const int descriptor =
        _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_BINARY | _O_WRONLY);
    std::FILE* stream = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
    if (stream == nullptr) {
        if (descriptor >= 0)
            _close(descriptor);
        else
            CloseHandle(file);
        DeleteFileW(temp_name);
        forget_temp_file();
    }
    return stream;
}

// The existing file itself, open for writing over it from its first byte.
int open_in_place(output_stream* output, const wchar_t* target) {
    output->way = output_way::in_place;
    output->file = _wfopen(target, L"r+b");
    if (output->file == nullptr) {
        output->fault = fault_of(GetLastError());
        return -1;
    }
    return 0;
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
    return same_ids(&info[0], &info[1]);
}

int check_output_path(const char* path, output_fault* fault) {
    *fault = output_fault::other;
    wchar_t* wide = widen_path(path);
    if (wide == nullptr || wide[0] == L'\0') {
        std::free(wide);
        return -1;
    }
    HANDLE entry = open_entry(wide);
    int result = 0;
    if (entry != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileType(entry) == FILE_TYPE_DISK && GetFileInformationByHandle(entry, &info) &&
            !is_standard_output(&info)) {
            const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
            result = (info.dwFileAttributes & refused) != 0 ? -1 : 0;
        }
        CloseHandle(entry);
    } else if (GetLastError() == ERROR_PATH_NOT_FOUND) {
        result = -1;
    }
    std::free(wide);
    return result;
}

int open_output(output_stream* output, const char* path, std::uint64_t size) {
    *output = {};
    output->size = size;
    wchar_t* target = widen_path(path);
    if (target == nullptr)
        return -1;
    HANDLE entry = open_entry(target);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool exists = entry != INVALID_HANDLE_VALUE;
    if (!exists) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            std::free(target);
            return open_directly(output, path);
        }
    } else {
        const bool regular = GetFileType(entry) == FILE_TYPE_DISK &&
                             GetFileInformationByHandle(entry, &info) &&
                             (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        wchar_t* followed = regular ? final_path(entry) : nullptr;
        CloseHandle(entry);
        if (regular && is_standard_output(&info)) {
            std::free(followed);
            std::free(target);
            return open_standard_output(output);
        }
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
    int opened = 0;
    if (exists && info.nNumberOfLinks > 1) {
        output->cause = in_place_cause::links;
        opened = open_in_place(output, target);
    } else {
        // Stays for the rest of the run: a console event after the rename
        // still ends it with the usual status.
        SetConsoleCtrlHandler(remove_temp_and_stop, TRUE);
        DWORD error = 0;
        output->file = create_temp_file(target, &error);
        if (output->file != nullptr) {
            output->way = output_way::replace;
            output->temp_path = temp_name;
            output->target_path = target;
            return 0;
        }
        if (exists && error == ERROR_ACCESS_DENIED) {
            output->cause = in_place_cause::folder;
            opened = open_in_place(output, target);
        } else {
            output->fault = fault_of(error);
            opened = -1;
        }
    }
    std::free(target);
    return opened;
}

int close_output(output_stream* output, bool keep) {
    if (output->way != output_way::replace) {
        bool whole = output->file != nullptr && keep && std::fflush(output->file) == 0;
        if (whole && output->way == output_way::in_place)
            whole = _chsize_s(_fileno(output->file), static_cast<__int64>(output->size)) == 0;
        whole = (output->file == nullptr || std::fclose(output->file) == 0) && whole;
        output->file = nullptr;
        return whole ? 0 : -1;
    }
    bool whole = keep && std::fflush(output->file) == 0 && _commit(_fileno(output->file)) == 0;
    whole = std::fclose(output->file) == 0 && whole;
    output->file = nullptr;
    whole = whole && MoveFileExW(output->temp_path, output->target_path,
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!whole)
        DeleteFileW(output->temp_path);
    forget_temp_file();
    std::free(output->target_path);
    output->temp_path = nullptr;
    output->target_path = nullptr;
    return whole ? 0 : -1;
}

#else // POSIX

#include <array>
#include <cassert>
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

// Every signal that ends a process by default and may be caught, but for the
// faults of the program itself; the real-time signals are added at run time.
// clang-format off
constexpr int stop_signals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
#if defined(SIGXFSZ)
    SIGXFSZ,
#endif
#if defined(SIGXCPU)
    SIGXCPU,
#endif
#if defined(SIGVTALRM)
    SIGVTALRM,
#endif
#if defined(SIGPROF)
    SIGPROF,
#endif
#if defined(SIGPOLL)
    SIGPOLL,
#endif
#if defined(SIGPWR)
    SIGPWR,
#endif
#if defined(SIGSTKFLT)
    SIGSTKFLT,
#endif
};
// clang-format on
#if defined(NSIG)
constexpr int signal_slots = NSIG;
#else
constexpr int signal_slots = 65;
#endif

// The temporary file a stop signal removes; set only once the file is ours.
// Lock-free, so the signal handler may read it.
std::atomic<const char*> stop_temp_path{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);
std::array<struct sigaction, signal_slots> previous_actions;
std::array<bool, signal_slots> caught;

extern "C" void remove_temp_and_stop(int signal_number) {
    const char* temp = stop_temp_path;
    if (temp != nullptr)
        unlink(temp);
    // The handler was reset on entry and the signal is not blocked in it: it
    // now ends the run as it would have.
    raise(signal_number);
}

void catch_signal(int signal_number, const struct sigaction* action) {
    assert(signal_number > 0 && signal_number < signal_slots);
    // A signal that the run was started ignoring (a background job's SIGINT)
    // stays ignored.
    struct sigaction* previous = &previous_actions[static_cast<std::size_t>(signal_number)];
    caught[static_cast<std::size_t>(signal_number)] =
        sigaction(signal_number, nullptr, previous) == 0 && previous->sa_handler != SIG_IGN &&
        sigaction(signal_number, action, nullptr) == 0;
}

// Catches the stop signals while a temporary file may exist.
void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = remove_temp_and_stop;
    action.sa_flags = static_cast<int>(SA_RESETHAND | SA_NODEFER);
    sigemptyset(&action.sa_mask);
    for (const int signal_number : stop_signals)
        catch_signal(signal_number, &action);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
        catch_signal(signal_number, &action);
#endif
}

void release_stop_signals() {
    for (std::size_t i = 0; i < caught.size(); ++i) {
        if (caught[i])
            sigaction(static_cast<int>(i), &previous_actions[i], nullptr);
        caught[i] = false;
    }
}

// Every signal held back while a file becomes ours or stops being ours, so
// that the handler sees the name exactly while the file is there.
struct signals_held {
    sigset_t before;
    signals_held() {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &before);
    }
    ~signals_held() { sigprocmask(SIG_SETMASK, &before, nullptr); }
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;
};

output_fault fault_of(int error) {
    if (error == EROFS)
        return output_fault::read_only_file_system;
#if defined(EDQUOT)
    if (error == EDQUOT)
        return output_fault::no_space;
#endif
    return error == ENOSPC ? output_fault::no_space : output_fault::other;
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

// The folder of path ("." for a bare name), or null when memory is short.
char* folder_of(const char* path) {
    const std::size_t length = folder_length(path);
    return length > 0 ? copy_text(path, length) : copy_text(".", 1);
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

// Whether the entry is the file that standard output writes to. Under Node
// the program's descriptor 1 is a stream of its own that Node writes to its
// own descriptor 1, whose file the system names.
bool is_standard_output(const struct stat* named) {
    struct stat out;
#if defined(__EMSCRIPTEN__)
    const int found = stat("/proc/self/fd/1", &out);
#else
    const int found = fstat(STDOUT_FILENO, &out);
#endif
    return found == 0 && out.st_dev == named->st_dev && out.st_ino == named->st_ino;
}

// The picture through a descriptor of standard output's own open file: at
// its position, in its mode, after whatever the run printed.
int open_standard_output(output_stream* output) {
    std::fflush(stdout);
    output->way = output_way::standard_output;
#if defined(__EMSCRIPTEN__)
    // Under Node a copy of descriptor 1 would open its file anew: the
    // stream itself takes the picture, and stays open after it.
    output->file = stdout;
#else
    const int descriptor = dup(STDOUT_FILENO);
    output->file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (output->file == nullptr && descriptor >= 0)
        close(descriptor);
#endif
    return output->file != nullptr ? 0 : -1;
}

// Whether the sticky bit of the target's folder keeps us from renaming over
// a file of another user: only the file's owner, the folder's owner or root
// may.
bool sticky_folder_forbids(const char* target, const struct stat* file) {
    char* folder = folder_of(target);
    struct stat status;
    const bool known = folder != nullptr && stat(folder, &status) == 0;
    std::free(folder);
    const uid_t user = geteuid();
    return known && (status.st_mode & S_ISVTX) != 0 && user != 0 && file->st_uid != user &&
           status.st_uid != user;
}

// The temporary file in the folder of target, created new and open for
// writing with the usual mode of a new file; null when it can't be created,
// *error saying why.
std::FILE* create_temp_file(const char* target, char** temp_path, int* error) {
    const std::size_t folder = folder_length(target);
    const std::size_t room = folder + 48;
    auto* temp = static_cast<char*>(std::malloc(room));
    *error = ENOMEM;
    if (temp == nullptr)
        return nullptr;
    int descriptor = -1;
    for (unsigned n = 0; n < temp_name_tries && descriptor < 0; ++n) {
        std::snprintf(temp, room, "%.*s.qarvex-%ld-%u.tmp", static_cast<int>(folder), target,
                      static_cast<long>(getpid()), n);
        const signals_held held;
        descriptor = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        *error = errno;
        if (descriptor >= 0)
            stop_temp_path = temp;
        else if (*error != EEXIST)
            break;
    }
    std::FILE* stream = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (stream == nullptr) {
        if (descriptor >= 0) {
            const signals_held held;
            close(descriptor);
            unlink(temp);
            stop_temp_path = nullptr;
        }
        std::free(temp);
        return nullptr;
    }
    *temp_path = temp;
    return stream;
}

// Closes the temporary file, removes it and forgets it; with rename_to, it
// is renamed there instead when every byte reached it: true once renamed.
bool finish_temp_file(output_stream* output, bool whole, const char* rename_to) {
    whole = std::fclose(output->file) == 0 && whole;
    output->file = nullptr;
    {
        const signals_held held;
        whole = whole && rename_to != nullptr && std::rename(output->temp_path, rename_to) == 0;
        if (!whole)
            unlink(output->temp_path);
        stop_temp_path = nullptr;
    }
    release_stop_signals();
    std::free(output->temp_path);
    output->temp_path = nullptr;
    return whole;
}

// The replacement keeps the owner and the permission bits of the file it
// replaces; false when the owner can't be given to it (only root may give a
// file away).
bool keep_owner_and_mode(int descriptor, const struct stat* named) {
    if ((named->st_uid != geteuid() || named->st_gid != getegid()) &&
        fchown(descriptor, named->st_uid, named->st_gid) != 0)
        return false;
    return fchmod(descriptor, named->st_mode & 07777) == 0;
}

// The existing file itself, open for writing over it from its first byte.
// Room for the whole picture is taken first, so that a full disk stops the
// run before the old file is touched.
int open_in_place(output_stream* output, const char* target, const struct stat* named) {
    output->way = output_way::in_place;
    const int descriptor = open(target, O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) {
        output->fault = fault_of(errno);
        return -1;
    }
    struct stat opened;
    int refused = fstat(descriptor, &opened) != 0 || opened.st_dev != named->st_dev ||
                          opened.st_ino != named->st_ino
                      ? EEXIST
                      : posix_fallocate(descriptor, 0, static_cast<off_t>(output->size));
    // A file system that can't set room aside still takes the bytes.
    if (refused == EINVAL || refused == EOPNOTSUPP)
        refused = 0;
    output->file = refused == 0 ? fdopen(descriptor, "wb") : nullptr;
    if (output->file == nullptr) {
        output->fault = fault_of(refused);
        close(descriptor);
        return -1;
    }
    return 0;
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

int check_output_path(const char* path, output_fault* fault) {
    *fault = output_fault::other;
    struct stat named;
    if (stat(path, &named) == 0) {
        if (S_ISDIR(named.st_mode))
            return -1;
        if (!S_ISREG(named.st_mode) || is_standard_output(&named) || access(path, W_OK) == 0)
            return 0;
        *fault = fault_of(errno);
        return -1;
    }
    if (errno != ENOENT)
        return -1;
    // A new file: its folder (the one a dangling link leads to) must take it.
    char* target = follow_links(path);
    char* folder = target != nullptr && target[0] != '\0' ? folder_of(target) : nullptr;
    const bool empty = target != nullptr && target[0] == '\0';
    std::free(target);
    if (folder == nullptr)
        return empty ? -1 : 0;
    const int result = access(folder, W_OK | X_OK) == 0 ? 0 : -1;
    *fault = fault_of(errno);
    std::free(folder);
    return result;
}

int open_output(output_stream* output, const char* path, std::uint64_t size) {
    *output = {};
    output->size = size;
    // No name, no file to put in its place.
    if (path[0] == '\0')
        return open_directly(output, path);
    struct stat named;
    const bool exists = stat(path, &named) == 0;
    if (exists && is_standard_output(&named))
        return open_standard_output(output);
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
        output->fault = fault_of(errno);
        std::free(target);
        return -1;
    }
    if (exists && named.st_nlink > 1) {
        output->cause = in_place_cause::links;
    } else if (exists && sticky_folder_forbids(target, &named)) {
        output->cause = in_place_cause::sticky_folder;
    } else {
        int error = 0;
        catch_stop_signals();
        output->file = create_temp_file(target, &output->temp_path, &error);
        if (output->file == nullptr) {
            release_stop_signals();
            if (!exists || (error != EACCES && error != EPERM)) {
                output->fault = fault_of(error);
                std::free(target);
                return -1;
            }
            output->cause = in_place_cause::folder;
        } else if (exists && !keep_owner_and_mode(fileno(output->file), &named)) {
            finish_temp_file(output, false, nullptr);
            output->cause = in_place_cause::owner;
        } else {
            output->way = output_way::replace;
            output->target_path = target;
            return 0;
        }
    }
    const int opened = open_in_place(output, target, &named);
    std::free(target);
    return opened;
}

int close_output(output_stream* output, bool keep) {
    if (output->way == output_way::replace) {
        // Every byte handed to the file before the rename. No fsync: the
        // output path holds the old file or the whole new one whatever the
        // run goes through, and a sync would double the time of a run for a
        // power cut that the file system's own ordering of a rename over a
        // file already covers.
        const bool renamed =
            finish_temp_file(output, keep && std::fflush(output->file) == 0, output->target_path);
        std::free(output->target_path);
        output->target_path = nullptr;
        return renamed ? 0 : -1;
    }
    // In place, an old file longer than the picture is cut to its length.
    bool whole = output->file != nullptr && keep && std::fflush(output->file) == 0;
    if (whole && output->way == output_way::in_place)
        whole = ftruncate(fileno(output->file), static_cast<off_t>(output->size)) == 0;
    const bool own = output->file != nullptr && output->file != stdout;
    whole = (!own || std::fclose(output->file) == 0) && whole;
    output->file = nullptr;
    return whole ? 0 : -1;
}

#endif
