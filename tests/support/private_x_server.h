// A private X server for the tests that need a real one: Xvfb on a display number it picks itself
// (-displayfd), without a window manager, its screen kept in an XWD file under a folder of the
// test's own (as Xvfb_screen0). Stopped and reaped when it goes out of scope.
//
// -noreset matters: by default an X server resets itself whenever its last client disconnects,
// and a client that connects during that reset is dropped, so a test that closes one window and
// opens the next at once fails to open it now and then (more often the more loaded the machine).
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace korvana::test {

class PrivateXServer {
public:
    static constexpr const char* kXvfb = "/usr/bin/Xvfb";

    static bool available() { return access(kXvfb, X_OK) == 0; }

    // `screen` as Xvfb takes it, e.g. "1024x768x24".
    PrivateXServer(const std::string& dir, const char* screen) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execl(kXvfb, kXvfb, "-displayfd", fd.c_str(), "-screen", "0", screen, "-br", "-noreset", "-nolisten",
                  "tcp", "-fbdir", dir.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        numberPipe_ = fds[0];
        // The server writes its display number and a newline once it accepts clients (the pipe
        // stays open: a closed one would end the server).
        std::string number;
        pollfd p{numberPipe_, POLLIN, 0};
        char c = 0;
        while (pid_ > 0 && number.size() < 8 && poll(&p, 1, 10000) == 1 && read(numberPipe_, &c, 1) == 1 && c != '\n')
            number += c;
        if (c == '\n' && !number.empty()) display_ = ":" + number;
    }
    ~PrivateXServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (numberPipe_ >= 0) close(numberPipe_);
    }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":N", or empty when the server did not start.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    int numberPipe_ = -1;
    std::string display_;
};

}  // namespace korvana::test
