// One serial link (the application owns one; nimbrel-cli one per run): the
// Transport with its receive task, whether PTT communications are started,
// whether a transfer is running, and which device the port is. It knows no
// window: what it has to tell goes through the handlers its owner sets.
//
// Threads: Open, Close and the logging forwarders are called on the owner's
// thread (the UI thread in the windows). The state queries, SetStarted and SetBusy may be called from
// a transfer's thread too. The traffic sink and the lost handler are called
// on the receive thread and must post their news on; the state handler is
// called on the thread that changed the state, after the change.
// Sessions share nothing: several links may run side by side.
#pragma once

#include "link/linkio.h"
#include "link/transport.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nimbrel {

class LinkSession {
public:
    using TrafficSink = Transport::DisplaySink;
    using LostHandler = Transport::LostHandler;
    using StateHandler = std::function<void()>;

    LinkSession();
    // Clears the handlers, then closes.
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // Opens the options' port (again, after a loss) and starts the receive
    // task. False when it cannot: LastOpenError says why, and its Message()
    // is what the caller shows.
    bool Open(const LinkOptions& options);
    // Stops the receive task, closes the port and clears the started state.
    void Close();
    // A port is open and has not gone away.
    bool IsOpen() const;
    // The open port went away (Close or Open afterwards), and why.
    bool Lost() const;
    std::string LostReason() const;
    Transport::OpenError LastOpenError() const { return transport_.LastOpenError(); }

    // The device of the port last opened or tried ("/dev/ttyUSB0"), and its
    // port number from the options (0 before the first Open).
    std::string Device() const { return transport_.PortName(); }
    std::int32_t PortNumber() const { return portNumber_.load(); }

    // PTT communications started (the transmitter answered Start). Cleared
    // by Close and, before the lost handler is told, by a loss.
    bool Started() const { return started_.load(); }
    void SetStarted(bool started);
    // A transfer runs on the link; the owner refuses to close meanwhile.
    bool Busy() const { return busy_.load(); }
    void SetBusy(bool busy);

    LinkIo& Io() { return transport_; }
    Transport& Port() { return transport_; }

    // Each setter waits for a call of the handler it replaces that is in
    // progress on another thread (the state handler may replace itself).
    void SetTrafficSink(TrafficSink sink) { transport_.SetDisplaySink(std::move(sink)); }
    void SetLostHandler(LostHandler handler);
    void SetStateHandler(StateHandler handler);

    bool OpenLog(const std::string& path) { return transport_.OpenLog(path); }
    void CloseLog() { transport_.CloseLog(); }
    bool IsLogging() { return transport_.IsLogging(); }

private:
    void Changed();

    Transport transport_;
    std::atomic<std::int32_t> portNumber_{0};
    std::atomic<bool> started_{false};
    std::atomic<bool> busy_{false};
    std::mutex lostLock_; // held while the lost handler runs
    LostHandler lost_;
    std::mutex stateLock_;
    std::condition_variable stateIdle_;
    StateHandler state_;
    std::vector<std::thread::id> stateCallers_; // threads calling state_ now
};

} // namespace nimbrel
