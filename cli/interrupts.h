// Ctrl+C and termination for nimbrel-cli. SIGINT, SIGTERM and SIGHUP are
// blocked in every thread and taken by a thread of their own: the first sets
// the cancel flag the transfer engine watches, so the run ends cleanly (the
// exit string when the transmitter was woken, the port released); a second
// one ends the process at once with 130.
#pragma once

#include "link/linkio.h"

#include <thread>

namespace nimbrel::cli {

class Interrupts {
public:
    // Construct before any other thread starts, so that all inherit the mask.
    Interrupts();
    ~Interrupts();
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;

    const CancelFlag& Flag() const { return cancel_; }
    bool Interrupted() const { return cancel_.load(); }

private:
    void Wait();

    CancelFlag cancel_{false};
    std::thread thread_;
};

} // namespace nimbrel::cli
