#include "files/AtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <vector>

#include "host/ExitGuard.h"
#include "host/HostError.h"
#include "support/InputError.h"

namespace vfiles {

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }
std::string Prefix(const std::string& what) { return what.empty() ? std::string() : what + ": "; }

std::string Folder(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

std::string BaseName(const std::string& file) {
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

// ".png" of "a/b.png"; nothing for "a/.hidden" or an extension too long to be one.
std::string Extension(const std::string& file) {
    const std::string base = BaseName(file);
    const size_t dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0 || base.size() - dot > 16) return "";
    return base.substr(dot);
}

// A file that cannot be written or read for want of room, memory or a
// working disk is the system's failure; any other reason (no such folder,
// permission, a read-only file system, a name too long) is the path's.
bool SystemFault(int err) {
    return err == ENOSPC || err == EDQUOT || err == EIO || err == EFBIG || err == ENOMEM || err == EMFILE ||
           err == ENFILE;
}

// The errors about one file, each starting "what: cannot read 'path': ".
struct FileFault {
    std::string start;
    [[noreturn]] void Errno(int err) const {
        if (SystemFault(err)) throw vhost::HostError(start + std::strerror(err));
        throw vsupport::InputError(start + std::strerror(err));
    }
    [[noreturn]] void operator()(const std::string& reason) const { throw vsupport::InputError(start + reason); }
};

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Temporary files to remove if the process is stopped by a signal. The
// handler may run at any moment, so the table is fixed and lock-free.
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 claimed, 2 holds a path to remove
    char path[PATH_MAX];
};
Slot g_slots[16];
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];
bool g_installed[3] = {false, false, false};

void RemoveTempFiles() {
    for (Slot& slot : g_slots) {
        if (slot.state.load() == 2) ::unlink(slot.path);
    }
}

void RemoveTempFilesAndRaise(int sig) {
    RemoveTempFiles();
    for (int i = 0; i < 3; ++i) {
        if (kSignals[i] == sig && g_installed[i]) ::sigaction(sig, &g_previous[i], nullptr);
    }
    ::raise(sig);  // delivered with the previous disposition once this handler returns
}

void InstallSignalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A library that gives up with exit() takes no temporary file with it.
        vhost::AddExitHook([] {
            RemoveTempFiles();
            return std::string();
        });
        for (int i = 0; i < 3; ++i) {
            struct sigaction previous {};
            if (::sigaction(kSignals[i], nullptr, &previous) != 0) continue;
            // An ignored signal (nohup) stays ignored.
            if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) continue;
            g_previous[i] = previous;
            struct sigaction action {};
            action.sa_handler = RemoveTempFilesAndRaise;
            sigemptyset(&action.sa_mask);
            g_installed[i] = true;
            ::sigaction(kSignals[i], &action, nullptr);
        }
    });
}

int ClaimSlot() {
    InstallSignalHandlers();
    for (int i = 0; i < static_cast<int>(sizeof(g_slots) / sizeof(g_slots[0])); ++i) {
        int expected = 0;
        if (g_slots[i].state.compare_exchange_strong(expected, 1)) return i;
    }
    return -1;  // a process with this many writes at once goes unprotected
}

void ReleaseSlot(int slot) {
    if (slot >= 0) g_slots[slot].state.store(0);
}

std::string RandomName() {
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}() ^ (static_cast<uint64_t>(::getpid()) << 32)};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::lock_guard<std::mutex> lock(mutex);
    std::string name(8, 'x');
    for (char& c : name) c = kChars[random() % 36];
    return name;
}

void WriteAll(int fd, const char* data, size_t size, const std::function<void(int)>& fail) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(errno);
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Flushes a complete file to the disk, so a full or failing disk is known now.
void Sync(const std::string& file, const std::function<void(int)>& fail) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(errno);
    if (::fsync(fd) != 0 && errno != EINVAL) {
        const int err = errno;
        ::close(fd);
        fail(err);
    }
    if (::close(fd) != 0) fail(errno);
}

// Rewrites `to` in place with the bytes of `from`, keeping its inode and so its
// other names. The space is reserved before the first byte changes, so a full
// disk leaves the old content whole; `refuse` explains when it cannot be.
void CopyInto(const std::string& from, const std::string& to, const std::function<void(int)>& fail,
              const std::function<void(const std::string&)>& refuse) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) fail(errno);
    const int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
    struct stat from_st {}, to_st {};
    if (out < 0 || ::fstat(in, &from_st) != 0 || ::fstat(out, &to_st) != 0) {
        const int err = errno;
        ::close(in);
        if (out >= 0) ::close(out);
        fail(err);
    }
    const auto give_up = [&](int e) {
        ::close(in);
        ::close(out);
        fail(e);
    };
    if (from_st.st_size > 0 && ::fallocate(out, FALLOC_FL_KEEP_SIZE, 0, from_st.st_size) != 0) {
        const int err = errno;
        // Without reservations, only content no longer than the old is sure to fit in its blocks.
        if (err != EOPNOTSUPP || from_st.st_size > to_st.st_size) {
            ::close(in);
            ::close(out);
            refuse(err == EOPNOTSUPP ? std::string("its file system cannot reserve the room to rewrite the hard-linked "
                                                   "file in place safely; it is left as it was")
                                     : std::string("there is no room to rewrite the hard-linked file in place (") +
                                           std::strerror(err) + "); it is left as it was");
        }
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) give_up(errno);
        if (n == 0) break;
        WriteAll(out, buffer.data(), static_cast<size_t>(n), give_up);
    }
    if (::ftruncate(out, from_st.st_size) != 0 || (::fsync(out) != 0 && errno != EINVAL)) give_up(errno);
    ::close(in);
    if (::close(out) != 0) fail(errno);
}

}  // namespace

OutputTarget FindOutputTarget(const std::string& path, bool allow_special, const std::string& what) {
    const FileFault fail{Prefix(what) + "cannot write " + Quoted(path) + ": "};
    OutputTarget target;
    target.path = path;
    target.file = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) fail(std::strerror(EISDIR));
        target.exists = true;
        target.special = !S_ISREG(st.st_mode);
        if (target.special && !allow_special) fail(std::string("it is ") + KindOf(st.st_mode) + ", not a regular file");
        target.linked = !target.special && st.st_nlink > 1;
        // Replacing needs only the folder's permission; like cp, ask for the file's own.
        if (!target.special && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
            fail(std::string(std::strerror(errno)) + " (the file itself may not be written)");
        }
        target.mode = st.st_mode & 07777;
        target.uid = st.st_uid;
        target.gid = st.st_gid;
        target.dev = st.st_dev;
        target.ino = st.st_ino;
        // The file at the end of any links is the one replaced; special files
        // (/dev/stdout, a link to a pipe) are opened through the name given.
        if (!target.special) {
            if (char* real = ::realpath(path.c_str(), nullptr)) {
                target.file = real;
                std::free(real);
            }
        }
        return target;
    }
    if (errno != ENOENT) fail.Errno(errno);
    // A new file, perhaps named by a link to where it will be: follow the links by hand.
    for (int hops = 0;; ++hops) {
        if (::lstat(target.file.c_str(), &st) != 0) {
            if (errno == ENOENT) break;  // its folder is checked when the temporary file is made
            fail.Errno(errno);
        }
        if (!S_ISLNK(st.st_mode) || hops >= 40) fail(std::strerror(ELOOP));
        std::vector<char> link(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.file.c_str(), link.data(), PATH_MAX);
        if (n < 0) fail.Errno(errno);
        const std::string to(link.data(), static_cast<size_t>(n));
        target.file = to[0] == '/' ? to : Folder(target.file) + "/" + to;
    }
    return target;
}

bool SameFile(const OutputTarget& a, const OutputTarget& b) {
    if (a.exists || b.exists) return a.exists && b.exists && a.dev == b.dev && a.ino == b.ino;
    const auto canonical = [](const std::string& file) {
        char* folder = ::realpath(Folder(file).c_str(), nullptr);
        if (!folder) return file;
        std::string name = std::string(folder) + "/" + BaseName(file);
        std::free(folder);
        return name;
    };
    return canonical(a.file) == canonical(b.file);
}

TempFile::TempFile(const OutputTarget& target, const std::string& what) : target_(target), what_(what) {
    const std::string stem = Folder(target.file) + "/.vellora-";
    // The writer picks its format by the name given, so the temporary file keeps its extension.
    const std::string extension = Extension(target.path);
    slot_ = ClaimSlot();
    for (int attempt = 0;; ++attempt) {
        path_ = stem + RandomName() + extension;
        if (slot_ >= 0 && path_.size() < PATH_MAX) {
            std::memcpy(g_slots[slot_].path, path_.c_str(), path_.size() + 1);
            g_slots[slot_].state.store(2);
        }
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return;
        }
        const int err = errno;
        if (slot_ >= 0) g_slots[slot_].state.store(1);  // the name may be someone else's file
        if (err == EEXIST && attempt < 100) continue;
        ReleaseSlot(slot_);
        slot_ = -1;
        committed_ = true;  // nothing to remove
        Fail(err);
    }
}

TempFile::~TempFile() {
    if (!committed_) ::unlink(path_.c_str());
    ReleaseSlot(slot_);
}

void TempFile::Fail(const std::string& reason) const {
    throw vhost::HostError(Prefix(what_) + "cannot write " + Quoted(target_.path) + ": " + reason);
}

void TempFile::Fail(int err) const {
    FileFault{Prefix(what_) + "cannot write " + Quoted(target_.path) + ": "}.Errno(err);
}

void TempFile::Commit() {
    const auto fail = [&](int err) { Fail(err); };
    if (target_.exists) {
        // Only root may give a file away; the mode is kept either way.
        if (::chown(path_.c_str(), target_.uid, target_.gid) != 0) errno = 0;
        if (::chmod(path_.c_str(), target_.mode) != 0) fail(errno);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::chmod(path_.c_str(), 0666 & ~mask) != 0) fail(errno);
    }
    Sync(path_, fail);
    if (target_.linked) {
        CopyInto(path_, target_.file, fail, [&](const std::string& reason) { Fail(reason); });
        ::unlink(path_.c_str());
    } else if (::rename(path_.c_str(), target_.file.c_str()) != 0) {
        fail(errno);
    }
    committed_ = true;
    ReleaseSlot(slot_);
    slot_ = -1;
}

namespace {

void WriteText(const std::string& file, int flags, const std::string& text, const std::function<void(int)>& fail) {
    const int fd = ::open(file.c_str(), flags | O_CLOEXEC);
    if (fd < 0) fail(errno);
    WriteAll(fd, text.data(), text.size(), [&](int err) {
        ::close(fd);
        fail(err);
    });
    if (::close(fd) != 0) fail(errno);
}

}  // namespace

PendingText::PendingText(const std::string& path, const std::string& text, const std::string& what)
    : target_(FindOutputTarget(path, false, what)), temp_(target_, what) {
    const FileFault fail{Prefix(what) + "cannot write " + Quoted(path) + ": "};
    WriteText(temp_.Path(), O_WRONLY | O_TRUNC, text, [&](int err) { fail.Errno(err); });
}

void WriteTextAtomically(const std::string& path, const std::string& text, const std::string& what) {
    const OutputTarget target = FindOutputTarget(path, true, what);
    if (target.special) {
        const FileFault fail{Prefix(what) + "cannot write " + Quoted(path) + ": "};
        WriteText(target.file, O_WRONLY, text, [&](int err) { fail.Errno(err); });
        return;
    }
    PendingText(path, text, what).Commit();
}

void CheckReadableFile(const std::string& path, const std::string& what) {
    const FileFault fail{Prefix(what) + "cannot read " + Quoted(path) + ": "};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) fail.Errno(errno);
    if (S_ISDIR(st.st_mode)) fail(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) fail(std::string("it is ") + KindOf(st.st_mode) + ", not a regular file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail.Errno(errno);
    ::close(fd);
}

std::string ReadTextFile(const std::string& path, size_t limit, const std::string& what) {
    const FileFault fail{Prefix(what) + "cannot read " + Quoted(path) + ": "};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) fail.Errno(errno);
    if (S_ISDIR(st.st_mode)) fail(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) {
        fail(std::string("it is ") + KindOf(st.st_mode) + ", not a file or a pipe");
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail.Errno(errno);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            fail.Errno(err);
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
        // A pipe that never ends (/dev/zero) is refused rather than read for ever.
        if (text.size() > limit) {
            ::close(fd);
            fail("it holds more than " + std::to_string(limit) + " bytes");
        }
    }
    ::close(fd);
    return text;
}

}  // namespace vfiles
