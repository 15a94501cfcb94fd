// The password prompt: POSIX reads the controlling terminal (/dev/tty, whatever stdin is) with
// echo off; Windows reads the console through the Win32 console API with echo off. Either way the
// terminal gets its echo back whatever ends the prompt, Ctrl+C included.
#include "password.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/crypt.h"
#include "commands.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace korvana::rartool {

namespace {

constexpr size_t kLongest = 1024;  // a line longer than any password a reader takes

#ifdef _WIN32

HANDLE gConsoleIn = INVALID_HANDLE_VALUE;
DWORD gConsoleMode = 0;

BOOL WINAPI restoreConsole(DWORD) {
    if (gConsoleIn != INVALID_HANDLE_VALUE) SetConsoleMode(gConsoleIn, gConsoleMode);
    return FALSE;  // the default handler then ends the program
}

#else

int gTerminal = -1;
struct termios gSaved {};
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
struct sigaction gPrevious[sizeof kSignals / sizeof kSignals[0]];

// Gives the terminal its echo back, then lets the signal do what it would have done.
void restoreAndRaise(int signal) {
    if (gTerminal >= 0) {
        ::tcsetattr(gTerminal, TCSAFLUSH, &gSaved);
        const char newline = '\n';
        [[maybe_unused]] const ssize_t n = ::write(gTerminal, &newline, 1);
    }
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        if (kSignals[i] == signal) ::sigaction(signal, &gPrevious[i], nullptr);
    ::raise(signal);
}

#endif

}  // namespace

#ifdef _WIN32

bool readHiddenLine(const std::string& prompt, std::string& line) {
    line.clear();
    const HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    const HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) {
        if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        return false;
    }
    DWORD written = 0;
    WriteConsoleA(out, prompt.data(), static_cast<DWORD>(prompt.size()), &written, nullptr);
    gConsoleIn = in;
    gConsoleMode = mode;
    SetConsoleCtrlHandler(restoreConsole, TRUE);
    SetConsoleMode(in, (mode & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    char c = 0;
    DWORD got = 0;
    while (ReadConsoleA(in, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        if (c != '\r' && line.size() < kLongest) line += c;
    }
    SetConsoleMode(in, mode);
    SetConsoleCtrlHandler(restoreConsole, FALSE);
    gConsoleIn = INVALID_HANDLE_VALUE;
    WriteConsoleA(out, "\r\n", 2, &written, nullptr);
    CloseHandle(in);
    CloseHandle(out);
    return true;
}

#else

bool readHiddenLine(const std::string& prompt, std::string& line) {
    line.clear();
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return false;
    struct termios saved {};
    if (::tcgetattr(terminal, &saved) != 0) {
        ::close(terminal);
        return false;
    }
    gSaved = saved;
    gTerminal = terminal;
    struct sigaction action {};
    action.sa_handler = restoreAndRaise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        ::sigaction(kSignals[i], &action, &gPrevious[i]);
    struct termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL);
    quiet.c_lflag |= ICANON;
    ::tcsetattr(terminal, TCSAFLUSH, &quiet);
    [[maybe_unused]] ssize_t n = ::write(terminal, prompt.data(), prompt.size());
    char c = 0;
    while ((n = ::read(terminal, &c, 1)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (c == '\n') break;
        if (c != '\r' && line.size() < kLongest) line += c;
    }
    ::tcsetattr(terminal, TCSAFLUSH, &saved);
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    gTerminal = -1;
    n = ::write(terminal, "\n", 1);
    ::close(terminal);
    return true;
}

#endif

bool commandPassword(const CommandLine& line, bool confirm, std::string& password) {
    password.clear();
    if (!line.has('p')) return true;
    password = line.value('p');
    if (!password.empty()) return true;
    if (!readHiddenLine("Password: ", password)) {
        std::fprintf(stderr,
                     "korvana-rar: -p alone asks for the password on a terminal, and there is none; give it as "
                     "-pPASSWORD\n");
        return false;
    }
    if (confirm) {
        std::string again;
        const bool read = readHiddenLine("Password again: ", again);
        const bool same = read && again == password;
        wipeSecret(again.data(), again.size());
        if (!same) {
            wipeSecret(password.data(), password.size());
            password.clear();
            std::fprintf(stderr, "korvana-rar: the two passwords differ; nothing was done\n");
            return false;
        }
        if (password.empty()) {
            std::fprintf(stderr, "korvana-rar: no password typed; leave out -p to write entries unencrypted\n");
            return false;
        }
    }
    return true;
}

#ifdef _WIN32
namespace {

// Other programs read a Windows process's command line from its own copy of it (the one
// GetCommandLineW returns), not from argv: the value of every -p there is blanked too, up to the
// end of its argument (a quoted one to its closing quote).
template <typename Char>
bool blank(Char c) {
    return c == Char(' ') || c == Char('\t');
}

template <typename Char>
void blankPasswords(Char* line) {
    if (!line) return;
    bool quoted = false;
    bool argumentStart = true;
    for (Char* c = line; *c;) {
        if (argumentStart && *c == Char('"')) {
            quoted = !quoted;
            ++c;
            continue;
        }
        if (argumentStart && c[0] == Char('-') && c[1] == Char('p') && c[2] && !blank(c[2])) {
            for (c += 2; *c && (quoted || !blank(*c)); ++c) {
                if (*c == Char('"')) quoted = !quoted;
                else *c = Char('*');
            }
            continue;
        }
        if (*c == Char('"')) quoted = !quoted;
        argumentStart = !quoted && blank(*c);
        ++c;
    }
}

}  // namespace
#endif

void wipePasswordArguments(int argc, char** argv) {
#ifdef _WIN32
    blankPasswords(GetCommandLineW());
    blankPasswords(GetCommandLineA());
#endif
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (argv[i][0] == '-' && argv[i][1] == 'p' && argv[i][2] != '\0')
            std::memset(argv[i] + 2, 0, std::strlen(argv[i] + 2));
    }
}

}  // namespace korvana::rartool
