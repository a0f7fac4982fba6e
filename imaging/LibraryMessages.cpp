#include "imaging/LibraryMessages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <mutex>

#include "host/ExitGuard.h"

namespace vimaging {

namespace {
// Nested captures share the outermost one.
thread_local int t_depth = 0;
thread_local LibraryMessages* t_outermost = nullptr;
}  // namespace

std::string LibraryMessages::TakeOnExit() {
    LibraryMessages* active = t_outermost;
    return active ? FirstLine(active->Take()) : std::string();
}

LibraryMessages::LibraryMessages() {
    if (t_depth++ > 0) return;
    static std::once_flag once;
    std::call_once(once, [] { vhost::AddExitHook(&LibraryMessages::TakeOnExit); });
    t_outermost = this;
    std::fflush(stderr);
    file_ = ::memfd_create("vellora-library-messages", MFD_CLOEXEC);
    if (file_ < 0) return;
    saved_ = ::dup(STDERR_FILENO);
    if (saved_ < 0 || ::dup2(file_, STDERR_FILENO) < 0) {
        if (saved_ >= 0) ::close(saved_);
        ::close(file_);
        saved_ = file_ = -1;
    }
}

LibraryMessages::~LibraryMessages() {
    Take();
    if (t_outermost == this) t_outermost = nullptr;
    --t_depth;
}

std::string LibraryMessages::Take() {
    if (saved_ < 0) return "";
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
    std::string text;
    char buffer[4096];
    ssize_t n;
    off_t at = 0;
    while ((n = ::pread(file_, buffer, sizeof(buffer), at)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
        at += n;
    }
    ::close(file_);
    file_ = -1;
    return text;
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
