#include "host/ExitGuard.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace vhost {

void RunExitGuard(int status);

namespace {

thread_local ExitGuard* t_innermost = nullptr;

std::mutex g_hooks_mutex;
std::vector<ExitHook>& Hooks() {
    static auto* hooks = new std::vector<ExitHook>();  // outlives static destruction
    return *hooks;
}

const int kUnknownStatus = -1;

void OnExit(int status, void*) { RunExitGuard(status); }
void OnExitFromLibrary() { RunExitGuard(kUnknownStatus); }

// Whether this code is part of the program rather than a library it loaded
// (the frei0r filter inside ffmpeg), which may be unloaded before the end.
bool InProgram() {
    Dl_info here{}, program{};
    const auto entry = reinterpret_cast<void*>(::getauxval(AT_ENTRY));
    return ::dladdr(reinterpret_cast<void*>(&OnExitFromLibrary), &here) != 0 && ::dladdr(entry, &program) != 0 &&
           here.dli_fbase == program.dli_fbase;
}

}  // namespace

void RegisterExitGuard() {
    static std::once_flag once;
    // on_exit tells the status but outlives an unloaded library; atexit there
    // is dropped with it.
    std::call_once(once, [] {
        if (InProgram()) {
            ::on_exit(&OnExit, nullptr);
        } else {
            std::atexit(&OnExitFromLibrary);
        }
    });
}

void RunExitGuard(int status) {
    const ExitGuard* guard = t_innermost;
    if (!guard) return;  // a normal end, or exit() on a thread we gave no work
    while (guard->outer_) guard = guard->outer_;
    t_innermost = nullptr;
    std::vector<ExitHook> hooks;
    if (g_hooks_mutex.try_lock()) {
        hooks = Hooks();
        g_hooks_mutex.unlock();
    }
    std::string reason;
    for (ExitHook hook : hooks) {
        std::string text = hook();
        if (reason.empty()) reason = std::move(text);
    }
    std::fflush(stdout);
    const std::string call = status == kUnknownStatus ? "exit()" : "exit(" + std::to_string(status) + ")";
    std::fprintf(stderr, "vellora: %s ended the process with %s %s%s%s\n", guard->who_.c_str(), call.c_str(),
                 guard->during_.c_str(), reason.empty() ? "" : ": ", reason.c_str());
    std::fflush(stderr);
    ::_exit(1);
}

ExitGuard::ExitGuard(std::string who, std::string during)
    : who_(std::move(who)), during_(std::move(during)), outer_(t_innermost) {
    // Registered on first use, after the libraries loaded at start-up, so it runs before their clean-up.
    RegisterExitGuard();
    t_innermost = this;
}

ExitGuard::~ExitGuard() { t_innermost = outer_; }

void AddExitHook(ExitHook hook) {
    RegisterExitGuard();
    std::lock_guard<std::mutex> lock(g_hooks_mutex);
    Hooks().push_back(hook);
}

}  // namespace vhost
