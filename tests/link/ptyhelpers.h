// Test helpers for the link: a pseudo-terminal whose slave the program opens
// as its port while the test plays the transmitter on the master, and the
// settings that point a port at it and keep every wait short.
#pragma once

#include "platform/options.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "tools/simtransmitter.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <poll.h>
#include <unistd.h>

namespace nimbrel::test {

class Pty {
public:
    Pty() { master_ = sim::OpenPseudoTerminal(slave_); }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool Ok() const { return master_ >= 0; }
    int Master() const { return master_; }
    const std::string& Slave() const { return slave_; }

    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Writes all bytes, waiting for room as needed (at most timeoutMs).
    bool WriteAll(const std::string& bytes, int timeoutMs = 5000) const {
        std::size_t done = 0;
        const auto start = std::chrono::steady_clock::now();
        while (done < bytes.size()) {
            const ssize_t r = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (r > 0) {
                done += static_cast<std::size_t>(r);
                continue;
            }
            if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs)) {
                return false;
            }
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
        return true;
    }

    // Reads what arrives until `count` bytes are in or timeoutMs have passed.
    std::string Read(std::size_t count, int timeoutMs = 2000) const {
        std::string got;
        const auto start = std::chrono::steady_clock::now();
        while (got.size() < count &&
               std::chrono::steady_clock::now() - start < std::chrono::milliseconds(timeoutMs)) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            char buf[4096];
            const ssize_t r = ::read(master_, buf, sizeof buf);
            if (r > 0) got.append(buf, static_cast<std::size_t>(r));
        }
        return got;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// The simulated transmitter serving a pseudo-terminal on a thread of the test.
class SimThread {
public:
    explicit SimThread(sim::SimOptions options) : sim(std::move(options)) {
        if (pty.Ok()) {
            thread_ = std::thread([this] {
                end = sim.Run(pty.Master(), stop_);
                if (end == sim::Transmitter::End::Unplugged) pty.CloseMaster(); // hangs up
            });
        }
    }
    ~SimThread() { Stop(); }
    SimThread(const SimThread&) = delete;
    SimThread& operator=(const SimThread&) = delete;

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }

    Pty pty;
    sim::Transmitter sim;
    sim::Transmitter::End end = sim::Transmitter::End::Error;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Everything the receive task handed to the display. Declare it before the
// transport whose receive task calls it.
struct SinkLog {
    std::mutex mutex;
    std::string text;

    std::function<void(const std::string&, std::int32_t)> Sink() {
        return [this](const std::string& t, std::int32_t) {
            std::lock_guard<std::mutex> guard(mutex);
            text += t;
        };
    }
    std::string Text() {
        std::lock_guard<std::mutex> guard(mutex);
        return text;
    }
};

// Points port `port` at `device` and makes it the configured port.
inline void UsePort(const std::string& device, int port = 2) {
    Settings::WriteString("COM", "port", std::to_string(port));
    Settings::WriteString("COM", "device" + std::to_string(port), device);
}

// Short fixed waits: the display gets received text within milliseconds.
inline void QuickTimings() {
    Settings::WriteString("TIMING", "ClosePollMs", "5");
    Settings::WriteString("TIMING", "MonitorPauseMs", "2");
    Settings::WriteString("TIMING", "StartPassMs", "5");
}

// Opens `link` (a Transport or a LinkSession) as the windows do: with the
// settings file's options, an open error shown on CurrentUi().
template <typename Link> bool OpenAsConfigured(Link& link) {
    if (link.Open(ReadLinkOptions())) return true;
    CurrentUi().MessageBox(link.LastOpenError().Message(), "", Buttons::Ok, Icon::Exclamation);
    return false;
}

inline std::int64_t MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// Polls `done` until it holds or timeoutMs have passed.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 3000) {
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (MsSince(start) > timeoutMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace nimbrel::test
