// Some libraries under OpenImageIO (libpng, libtiff) print their errors and
// warnings straight to standard error. While a LibraryMessages is alive,
// standard error goes to a private file instead, so the user sees one line of
// ours rather than theirs beside it; Take() gives back what they printed.
// A library that gives up with exit() under an ExitGuard still has its
// message shown: the guard's line ends with its first line.
// Standard error is one for the process: captures on several threads at once
// share one file, the first redirects and the last restores, and each takes
// what was printed while it lived.
#pragma once

#include <string>

namespace vimaging {

class LibraryMessages {
public:
    LibraryMessages();
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // Restores standard error and returns what was printed meanwhile.
    std::string Take();

private:
    static std::string TakeOnExit();

    bool active_ = false;
    long start_ = 0;  // where this capture's text starts in the shared file
};

// Writes `text` to the user's standard error, even while a capture on another
// thread holds it (progress of work running beside image reads and writes).
void WriteStandardError(const std::string& text);

// The first line of `text` with text on it, trimmed; empty when there is none.
std::string FirstLine(const std::string& text);

}  // namespace vimaging
