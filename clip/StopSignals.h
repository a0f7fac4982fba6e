// Stopping a clip on SIGINT or SIGTERM without cutting a frame off half-written.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

namespace vclip {

// SIGINT and SIGTERM, taken by a thread of their own instead of a handler, so
// a frame in flight is never cut off half-written: the first asks the clip to
// stop, a second stops the process at once (after the writers' temporary
// files are removed). Made before any worker thread, which inherit the mask.
class StopSignals {
public:
    explicit StopSignals(std::atomic<bool>& stop) : stop_(stop) {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &previous_);
        // A reader of --progress json that goes away must not end the clip mid-write.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &previous_pipe_);
        watcher_ = std::thread([this] { Watch(); });
    }
    ~StopSignals() {
        done_ = true;
        watcher_.join();
        // A signal that came as the last frame finished still counts.
        const timespec now{0, 0};
        const int sig = sigtimedwait(&set_, nullptr, &now);
        if (sig > 0) Take(sig);
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        sigaction(SIGPIPE, &previous_pipe_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first signal taken, or 0.
    int Received() const { return received_; }

private:
    void Take(int sig) {
        int none = 0;
        received_.compare_exchange_strong(none, sig);
        stop_ = true;
    }
    void Watch() {
        const timespec poll{0, 100 * 1000 * 1000};
        while (!done_) {
            const int sig = sigtimedwait(&set_, nullptr, &poll);
            if (sig <= 0) continue;
            if (received_ == 0) {
                Take(sig);
                continue;
            }
            // Asked twice: the default (or the temporary files' handler) ends the process now.
            pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
            ::raise(sig);
        }
    }

    std::atomic<bool>& stop_;
    std::atomic<bool> done_{false};
    std::atomic<int> received_{0};
    sigset_t set_{};
    sigset_t previous_{};
    struct sigaction previous_pipe_ {};
    std::thread watcher_;
};

// The exit status after a signal, as a shell reports it: 128 + the signal.
inline int ExitCodeAfter(int signal) { return signal == SIGTERM ? 143 : 130; }

// A clip stopped before its first frame: the command ends with `exit_code`.
struct ClipInterrupted {
    int exit_code;
};

// The flag every planning step and lane watches, and the signals that raise it.
class ClipStop {
public:
    ClipStop() : signals_(flag_) {}
    std::atomic<bool>& Flag() { return flag_; }
    // The first signal taken, or 0.
    int Signal() const { return signals_.Received(); }
    // Between two looks before the first frame: stops at once, nothing written.
    void Poll() const {
        if (!flag_) return;
        std::fprintf(stderr, "vellora: interrupted before the first frame; nothing was written\n");
        throw ClipInterrupted{ExitCodeAfter(Signal())};
    }

private:
    std::atomic<bool> flag_{false};  // before the signals, which set it
    StopSignals signals_;
};

}  // namespace vclip
