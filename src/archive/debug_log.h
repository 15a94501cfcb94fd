// The archive reader's debug log: everything the reader has to say goes here as one entry per
// message, never to the user.
#pragma once

#include <cstdint>

namespace korvana {

// Where the log goes: "C:\temp\debug_unrar.txt" on Windows. Elsewhere the application chooses
// (it passes $XDG_CACHE_HOME/korvana/debug_unrar.txt); until it does, there is no log.
void setDebugLogPath(const char* path);
const char* debugLogPath();

// Creates (truncates) the log at `path` and writes its header; logging stays off for the rest of
// the run when the file cannot be created.
void debugLogInit(const char* path);

// Appends one entry when the log is enabled. `sourceFile`/`sourceLine` name the logging statement.
void debugLog(const char* message, const char* sourceFile, uint32_t sourceLine);

// Receives every message as it is logged, whether or not the log file is on (the archive tool
// shows why an entry failed). Null removes it. `context` is passed back unchanged.
using DebugLogListener = void (*)(void* context, const char* message);
void setDebugLogListener(DebugLogListener listener, void* context);
// The listener now set (null when none), with its context in *context.
DebugLogListener debugLogListener(void** context);

// Formats a message printf-style (any length: names can be long) and logs it as one entry.
#ifdef __MINGW32__
// MinGW's C99 stdio formats the message, not the system's older one that `printf` names there.
void debugLogFormat(const char* sourceFile, uint32_t sourceLine, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));
#else
void debugLogFormat(const char* sourceFile, uint32_t sourceLine, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
#endif

}  // namespace korvana

// Convenience for reader code: logs with the calling file and line.
#define KORVANA_LOG(message) ::korvana::debugLog((message), __FILE__, __LINE__)
#define KORVANA_LOGF(...) ::korvana::debugLogFormat(__FILE__, __LINE__, __VA_ARGS__)
