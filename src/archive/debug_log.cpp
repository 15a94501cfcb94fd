// The reader's debug log: a header written once per run, then one open-append-close per entry so
// that a crash later in the program still leaves every line written so far on disk.
#include "archive/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvana {

namespace {

struct DebugLogState {
#ifdef _WIN32
    std::string configuredPath = "C:\\temp\\debug_unrar.txt";
#else
    std::string configuredPath;  // empty until the application names one
#endif
    std::string path;            // the log actually written, as given to debugLogInit
    bool enabled = false;
    uint32_t startTime = 0;
    DebugLogListener listener = nullptr;
    void* listenerContext = nullptr;
};

DebugLogState& logState() {
    static DebugLogState state;
    return state;
}

// A 32-bit millisecond count from a clock that never jumps, like the tick counter the entries
// were first measured with.
#ifdef _WIN32
uint32_t tickCount() { return GetTickCount(); }
#else
uint32_t tickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}
#endif

#ifdef _WIN32
// Opens the log only if it is a plain file on disk, not a link (reparse point), a folder or a
// device, so that nothing else receives the reader's lines; text mode, as on every system.
FILE* openLog(const std::string& path, bool truncate) {
    const HANDLE handle = CreateFileA(path.c_str(), truncate ? GENERIC_WRITE : FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        (truncate && !SetEndOfFile(handle))) {
        CloseHandle(handle);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), truncate ? _O_TEXT : _O_TEXT | _O_APPEND);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(fd, truncate ? "w" : "a");
    if (!file) _close(fd);
    return file;
}
#else
// Opens the log without ever following a symbolic link at its path, and only if what is there is
// a plain file: a FIFO or device there must neither block the reader nor receive its lines.
// Truncation happens after the open has proved the file is ours to write.
FILE* openLog(const std::string& path, bool truncate) {
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    if (!truncate) flags |= O_APPEND;
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int current = ::fcntl(fd, F_GETFL);
    if (current >= 0) ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
    if (truncate && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    FILE* file = ::fdopen(fd, truncate ? "w" : "a");
    if (!file) ::close(fd);
    return file;
}
#endif

// Drops the folders of a source path: the entries name the reader's own files, not the build tree.
const char* baseName(const char* sourceFile) {
    if (!sourceFile) return "";
    const char* base = sourceFile;
    for (const char* p = sourceFile; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}

}  // namespace

void setDebugLogPath(const char* path) { logState().configuredPath = path ? path : ""; }

const char* debugLogPath() {
    const DebugLogState& state = logState();
    return state.configuredPath.empty() ? nullptr : state.configuredPath.c_str();
}

void debugLogInit(const char* path) {
    DebugLogState& state = logState();
    state.startTime = tickCount();
    state.enabled = false;
    state.path = path ? path : "";
    if (state.path.empty()) return;
    FILE* file = openLog(state.path, true);
    if (!file) return;
    state.enabled = true;
    std::fprintf(file, "Debug log of Orvika's Quellvarin\n");
    std::fprintf(file, "~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~\n");
    std::fprintf(file, "(executable compiled on %s at %s)\n\n", __DATE__, __TIME__);
    std::fclose(file);
}

void setDebugLogListener(DebugLogListener listener, void* context) {
    logState().listener = listener;
    logState().listenerContext = context;
}

DebugLogListener debugLogListener(void** context) {
    if (context) *context = logState().listenerContext;
    return logState().listener;
}

void debugLog(const char* message, const char* sourceFile, uint32_t sourceLine) {
    DebugLogState& state = logState();
    if (state.listener) state.listener(state.listenerContext, message ? message : "");
    if (!state.enabled) return;
    FILE* file = openLog(state.path, false);
    if (!file) return;
    std::fprintf(file, " %8u ms (line %u in %s):\n              - %s\n", tickCount() - state.startTime,
                 sourceLine, baseName(sourceFile), message ? message : "");
    std::fclose(file);
}

void debugLogFormat(const char* sourceFile, uint32_t sourceLine, const char* format, ...) {
    if (!logState().enabled && !logState().listener) return;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string message;
    if (length > 0) {
        message.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(message.data(), message.size(), format, args);
        message.resize(static_cast<size_t>(length));
    }
    va_end(args);
    debugLog(message.c_str(), sourceFile, sourceLine);
}

}  // namespace korvana
