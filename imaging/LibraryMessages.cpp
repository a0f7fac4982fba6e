#include "LibraryMessages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

namespace vhost {

namespace {
// Nested captures share the outermost one.
thread_local int t_depth = 0;
}  // namespace

LibraryMessages::LibraryMessages() {
    if (t_depth++ > 0) return;
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

}  // namespace vhost
