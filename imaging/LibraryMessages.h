// Some libraries under OpenImageIO (libpng, libtiff) print their errors and
// warnings straight to standard error. While a LibraryMessages is alive,
// standard error goes to a private file instead, so the user sees one line of
// ours rather than theirs beside it; Take() gives back what they printed.
// A library that gives up with exit() under an ExitGuard still has its
// message shown: the guard's line ends with its first line.
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

    int saved_ = -1;
    int file_ = -1;
};

// The first line of `text` with text on it, trimmed; empty when there is none.
std::string FirstLine(const std::string& text);

}  // namespace vimaging
