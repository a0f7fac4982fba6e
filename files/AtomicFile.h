// Files written whole or not at all. The content goes to a temporary file
// beside the file it replaces; once complete it takes the old file's mode and
// owner and is renamed over it in one step. A symbolic link is written
// through to its target. A file with other hard links is rewritten in place
// once the new content is complete, so every name sees it. Temporary files
// are removed on every error and on SIGINT, SIGTERM and SIGHUP.
//
// Errors name the file. A path that cannot be used (no such folder, a
// directory, permission) throws vsupport::InputError; a full disk, a quota, an
// I/O error or no memory throws vhost::HostError.
#pragma once

#include <sys/types.h>

#include <string>

namespace vfiles {

// What a write to `path` replaces, found before any work so errors come first.
struct OutputTarget {
    std::string path;  // as given, for messages
    std::string file;  // the file written: `path`, or the end of its chain of links
    bool exists = false;
    bool special = false;  // a FIFO, device or socket
    bool linked = false;   // the file has other hard links
    mode_t mode = 0;       // permission bits of the existing file
    uid_t uid = 0;
    gid_t gid = 0;
    dev_t dev = 0;
    ino_t ino = 0;
};

// Throws naming `path` (after "what: " when given) for a directory,
// a link loop, an unreadable folder, or a special file unless `allow_special`.
OutputTarget FindOutputTarget(const std::string& path, bool allow_special, const std::string& what = "");

// Whether two targets name the same file, existing or not.
bool SameFile(const OutputTarget& a, const OutputTarget& b);

// A temporary file beside a target, created empty and private (mode 600).
// Its name is short, so it fits wherever the target's does, and keeps the
// target's extension, because image writers choose their format by it.
class TempFile {
public:
    explicit TempFile(const OutputTarget& target, const std::string& what = "");
    ~TempFile();  // removes the file unless committed
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }
    // Puts the content in place of the target (see the top of this file).
    void Commit();

private:
    [[noreturn]] void Fail(const std::string& reason) const;  // the host's
    [[noreturn]] void Fail(int err) const;

    OutputTarget target_;
    std::string what_;
    std::string path_;
    int slot_ = -1;
    bool committed_ = false;
};

// `text` written beside `path` now, put in its place only by Commit(), so a
// save of several files can fail before any of them is replaced. Throws
// naming `path` (after "what: " when given) when it cannot be written.
class PendingText {
public:
    PendingText(const std::string& path, const std::string& text, const std::string& what = "");
    void Commit() { temp_.Commit(); }

private:
    OutputTarget target_;
    TempFile temp_;
};

// `text` as the whole content of `path`, atomically; a FIFO or device (such as
// /dev/stdout) is written in place. `what` starts error messages ("--trace").
void WriteTextAtomically(const std::string& path, const std::string& text, const std::string& what);

// Throws unless `path` is a regular file this process can read:
// "cannot read 'x': Is a directory", "... Permission denied", a FIFO (which
// would wait for a writer) or a device. `what` starts the message when given.
void CheckReadableFile(const std::string& path, const std::string& what = "");

// The whole of a small text file, a pipe (<(...), /dev/stdin) or a terminal,
// at most `limit` bytes. Throws naming `path` for anything else,
// for more bytes, and for the reasons CheckReadableFile gives.
std::string ReadTextFile(const std::string& path, size_t limit, const std::string& what = "");

}  // namespace vfiles
