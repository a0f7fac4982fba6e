#include "imaging/LibraryMessages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "host/ExitGuard.h"

namespace vimaging {

namespace {
// Nested captures share the outermost one.
thread_local int t_depth = 0;
thread_local LibraryMessages* t_outermost = nullptr;

// The capture shared by every thread: the real standard error while it is
// redirected, the file it goes to, and the captures alive.
std::mutex g_mutex;
int g_saved = -1;
int g_file = -1;
int g_users = 0;

std::string ReadFrom(long start) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    off_t at = start;
    while ((n = ::pread(g_file, buffer, sizeof(buffer), at)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
        at += n;
    }
    return text;
}

// The last capture out puts standard error back.
void Release() {
    if (--g_users > 0) return;
    std::fflush(stderr);
    ::dup2(g_saved, STDERR_FILENO);
    ::close(g_saved);
    ::close(g_file);
    g_saved = g_file = -1;
}
}  // namespace

std::string LibraryMessages::TakeOnExit() {
    LibraryMessages* active = t_outermost;
    if (!active || !active->active_) return std::string();
    // Another thread may hold the lock forever now; exit must not wait for it.
    std::unique_lock<std::mutex> lock(g_mutex, std::try_to_lock);
    std::fflush(stderr);
    if (g_saved >= 0) ::dup2(g_saved, STDERR_FILENO);
    return g_file >= 0 ? FirstLine(ReadFrom(active->start_)) : std::string();
}

LibraryMessages::LibraryMessages() {
    if (t_depth++ > 0) return;
    static std::once_flag once;
    std::call_once(once, [] { vhost::AddExitHook(&LibraryMessages::TakeOnExit); });
    t_outermost = this;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_users == 0) {
        std::fflush(stderr);
        const int file = ::memfd_create("vellora-library-messages", MFD_CLOEXEC);
        if (file < 0) return;
        const int saved = ::dup(STDERR_FILENO);
        if (saved < 0 || ::dup2(file, STDERR_FILENO) < 0) {
            if (saved >= 0) ::close(saved);
            ::close(file);
            return;
        }
        g_saved = saved;
        g_file = file;
    }
    ++g_users;
    active_ = true;
    // Standard error and the file share one offset: where the next message lands.
    start_ = static_cast<long>(::lseek(g_file, 0, SEEK_CUR));
}

LibraryMessages::~LibraryMessages() {
    Take();
    if (t_outermost == this) t_outermost = nullptr;
    --t_depth;
}

std::string LibraryMessages::Take() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!active_) return "";
    active_ = false;
    std::fflush(stderr);
    std::string text = ReadFrom(start_);
    Release();
    return text;
}

void WriteStandardError(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::fflush(stderr);
    const int fd = g_saved >= 0 ? g_saved : STDERR_FILENO;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string FirstLine(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
        if (!line.empty()) return line;
        start = end + 1;
    }
    return "";
}

}  // namespace vimaging
