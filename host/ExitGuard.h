// A module or library that calls exit() in the middle of our work must not
// pass for a normal end. While an ExitGuard lives on a thread, exit() called
// on that thread runs the clean-up hooks, prints one line naming the culprit
// and what was under way, and ends the process with status 1 whatever status
// exit() was given.
#pragma once

#include <string>

namespace vhost {

class ExitGuard {
public:
    // The line reads "vellora: WHO ended the process with exit(N) DURING",
    // then ": " and what a hook explained, if any. Guards nest; the outermost
    // one on the thread speaks, as it knows most about the work.
    ExitGuard(std::string who, std::string during);
    ~ExitGuard();
    ExitGuard(const ExitGuard&) = delete;
    ExitGuard& operator=(const ExitGuard&) = delete;

private:
    friend void RunExitGuard(int status);
    std::string who_;
    std::string during_;
    ExitGuard* outer_;
};

// Run in order of registration when a guarded exit happens, before the line is
// printed. A hook may return text that explains the exit (what a library
// printed); the first non-empty one ends the line.
using ExitHook = std::string (*)();
void AddExitHook(ExitHook hook);

// Registers the guard's exit handler now, if not yet: handlers registered
// after it (a child process's own) run before it.
void RegisterExitGuard();

}  // namespace vhost
