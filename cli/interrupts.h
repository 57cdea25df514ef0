// Ctrl+C and termination for nimbrel-cli. SIGINT, SIGTERM and SIGHUP are
// blocked in every thread and taken by a thread of their own: the first sets
// the cancel flag the transfer engine watches, so the run ends cleanly (the
// exit string when the transmitter was woken, the port released, the
// temporary settings folder removed); a second one removes that folder and
// ends the process at once with 130.
#pragma once

#include "link/linkio.h"

#include <mutex>
#include <string>
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

    // The folder a second signal removes before ending the process ("" none).
    void SetTempFolder(const std::string& folder);

private:
    void Wait();

    CancelFlag cancel_{false};
    std::mutex lock_;
    std::string tempFolder_;
    std::thread thread_;
};

} // namespace nimbrel::cli
