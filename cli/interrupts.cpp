#include "cli/interrupts.h"

#include "cli/options.h"

#include <csignal>

#include <pthread.h>
#include <unistd.h>

namespace nimbrel::cli {
namespace {

// Sent by the destructor to the waiting thread: time to end.
constexpr int kQuit = SIGUSR2;

sigset_t Signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, kQuit);
    return set;
}

} // namespace

Interrupts::Interrupts() {
    const sigset_t set = Signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    thread_ = std::thread([this] { Wait(); });
}

Interrupts::~Interrupts() {
    pthread_kill(thread_.native_handle(), kQuit);
    thread_.join();
}

void Interrupts::Wait() {
    const sigset_t set = Signals();
    for (;;) {
        siginfo_t info{};
        const int sig = sigwaitinfo(&set, &info);
        if (sig < 0) continue; // EINTR
        if (sig == kQuit) {
            // Only our own destructor ends the wait.
            if (info.si_pid == ::getpid()) return;
            continue;
        }
        if (!cancel_.exchange(true)) continue;
        // Asked twice: leave now.
        ::_exit(kExitInterrupted);
    }
}

} // namespace nimbrel::cli
