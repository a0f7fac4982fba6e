#include "validator/Isolation.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/ExitGuard.h"
#include "host/HostError.h"

namespace vvalidator {

namespace {

// Marks the child's report that the work ended the process; the status follows.
const char kEndedMark[] = "\x01vellora-ended-process:";
// The exit status of a process the module ended through exit().
const int kEndedStatus = 86;

int g_child_fd = -1;

bool WriteAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Registered last in the child, so it runs first of all exit handlers: library
// finalisers that would wait for threads lost in the fork never run.
void OnChildExit(int status, void*) {
    char text[64];
    const int n = std::snprintf(text, sizeof(text), "%s%d", kEndedMark, status);
    if (g_child_fd >= 0 && n > 0) WriteAll(g_child_fd, text, static_cast<size_t>(n));
    ::_exit(kEndedStatus);
}

}  // namespace

ChildOutcome RunInChild(const std::function<std::string()>& work, int timeout_seconds) {
    ChildOutcome outcome;
    int fds[2];
    if (::pipe(fds) != 0) {
        throw vhost::HostError(std::string("cannot make a pipe for a child process: ") + std::strerror(errno));
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw vhost::HostError(std::string("cannot start a child process: ") + std::strerror(err));
    }
    if (pid == 0) {
        ::close(fds[0]);
        g_child_fd = fds[1];
        vhost::RegisterExitGuard();  // so the child's own handler, registered after it, runs first
        ::on_exit(&OnChildExit, nullptr);
        std::string text;
        try {
            text = work();
        } catch (...) {
            ::_exit(3);
        }
        const bool written = WriteAll(fds[1], text.data(), text.size());
        std::fflush(stdout);
        std::fflush(stderr);
        // Leave at once: finalisers may wait for threads that did not survive the
        // fork. (Leak checks belong to in-process runs, where they see every thread.)
        ::_exit(written ? 0 : 4);
    }
    ::close(fds[1]);
    std::string text;
    bool timed_out = false;
    char buf[65536];
    for (;;) {
        const double left =
            timeout_seconds - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (left <= 0) {
            timed_out = true;
            break;
        }
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min(left, 1.0) * 1000) + 1);
        if (ready <= 0) continue;
        const ssize_t n = ::read(fds[0], buf, sizeof(buf));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (timed_out) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const size_t mark = text.find(kEndedMark);
    if (timed_out) {
        outcome.timed_out = true;
        outcome.problem = "did not finish within " + std::to_string(timeout_seconds) + " s (hung?)";
    } else if (mark != std::string::npos) {
        outcome.problem = "the module ended the process with exit(" + text.substr(mark + sizeof(kEndedMark) - 1) + ")";
    } else if (WIFSIGNALED(status)) {
        outcome.problem =
            "crashed: signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        outcome.problem = "its process exited with code " + std::to_string(WEXITSTATUS(status)) +
                          " without a result (a sanitizer report above, or _exit() in the module?)";
    } else {
        outcome.reported = true;
        outcome.text = std::move(text);
    }
    return outcome;
}

}  // namespace vvalidator
