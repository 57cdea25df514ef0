// The link to the transmitter: opens and closes the serial port with the
// line settings of its LinkOptions, runs the receive task that collects what the
// transmitter sends (and hands its display text to a sink and its raw bytes to
// the log file), and notices when the port goes away. As LinkIo it is what the
// transfer engine talks to; every exchange with the transmitter lives there.
// Besides, it offers the raw port operations the windows use (a write of the
// exit string, the receive buffer's count, taking and discarding bytes). No
// GUI and no settings: the caller gives the options and shows the open error;
// every wait is bounded. Transports share nothing: each link has its own.
//
// Threads: opening, closing, logging and the raw operations are called on the
// owner's thread (the UI thread in the windows); the LinkIo operations may run on one other thread (a
// transfer's); the receive task runs on its own thread. One lock guards the
// receive buffer and its count, the run flag, the port pointer, the loss
// state and the log stream; a condition variable on it wakes waiters when
// bytes arrive or the port is lost.
#pragma once

#include "link/linkio.h"
#include "link/comstream.h"
#include "link/protocol.h"
#include "platform/options.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nimbrel {

class Transport : public LinkIo {
public:
    static constexpr std::int32_t kReceiveBufferSize = 64000;
    static constexpr std::int32_t kChunkSize = 1000;
    // How long a WriteComm waits for a port that takes no byte.
    static constexpr std::int32_t kWriteStallMs = 2000;
    // Longest single wait inside Write and Drain, so cancel and loss are seen.
    static constexpr std::int32_t kWriteSliceMs = 50;

    // Receives received display text and the raw byte count it stands for,
    // in batches: at most one call per display interval (the options'
    // displayIntervalMs), earlier only when a batch holds kChunkSize
    // bytes, and what is left when the task stops. Called on the receive
    // thread: it must hand the text over to the UI thread without waiting for
    // it (e.g. a queued call). A derived window stops the task (ClosePort) or
    // clears the sink in its own destructor, before what the sink uses is gone.
    using DisplaySink = std::function<void(const std::string& text, std::int32_t rawCount)>;
    // Told once when an open port goes away, with the reason. Called on the
    // receive thread (on the noticing thread when no receive task runs): it
    // must post the news on and never call ClosePort itself.
    using LostHandler = std::function<void(const std::string& reason)>;
    // Told once when a write to the log file fails, with the message for the
    // user; logging is off by then. Called on the receive thread, like the
    // lost handler.
    using LogFailedHandler = std::function<void(const std::string& message)>;

    // Why the last Open failed; empty after a success.
    struct OpenError {
        std::int32_t port = 0; // the configured port number
        std::string device;    // the device path tried ("" for a bad number)
        std::string reason;    // "busy — held by another program", ...
        bool Failed() const { return !reason.empty(); }
        // "/dev/ttyUSB0: busy — held by another program." or "Port 0: ...".
        std::string Text() const;
        // What the user is shown: kOpenErrorText, "\r\n", Text().
        std::string Message() const;
    };

    Transport();
    // Stops the receive task, closes the log and the port.
    ~Transport() override;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Opens the options' device with their line settings unless a port is
    // open already (a port that was lost is released and opened again with
    // these options, and its receive task restarted). False, with
    // LastOpenError saying why, when it cannot; the caller tells the user.
    bool Open(const LinkOptions& options);
    // A port is open and has not gone away.
    bool IsPortEnabled() const;
    OpenError LastOpenError() const;
    // Stops the receive task (within milliseconds) and closes the port,
    // releasing the device for the next open.
    void ClosePort();

    // Raw bytes to the port, all of them: waits for room as Write does, for
    // at most WriteStallMs without progress. Answers the count the port took;
    // fewer after a stall or loss, which LastWriteStatus tells. Nothing while
    // no port is open.
    std::int32_t WriteComm(const char* data, std::int32_t count);
    IoStatus LastWriteStatus() const { return lastWrite_.load(); }
    void SetWriteStallMs(std::int32_t ms) { writeStallMs_.store(ms); }
    // Bytes received and not yet taken.
    std::int32_t GetBytesInQue();
    // Takes up to `count` bytes from the front of the receive buffer.
    std::int32_t ReadComm(char* data, std::int32_t count);
    // Discards the receive buffer; the argument is ignored; answers 1.
    std::int32_t FlushComm(std::int32_t ignored = 0);
    // The port's error state (with kPortGone once lost); kPortNotOpen while
    // no port is open.
    std::uint32_t GetCommError();

    // Starts the receive task (ClosePort ends it) with the display interval
    // of the last Open. Answers false when it is already running. Idle, it
    // waits in poll() and costs nothing.
    bool StartMonitor();
    bool IsMonitorRunning() const { return monitor_.joinable(); }
    // Replace the sink and the lost handler; each waits for a call in
    // progress to finish.
    void SetDisplaySink(DisplaySink sink);
    void SetLostHandler(LostHandler handler);
    void SetLogFailedHandler(LogFailedHandler handler);

    // Raw logging of everything received, appended in binary. False, with
    // logging off, when the file cannot be opened. A write that fails (a
    // full disk) ends logging and tells the log-failed handler.
    bool OpenLog(const std::string& path);
    void CloseLog();
    bool IsLogging();

    // LinkIo, for a transfer on its own thread. Every wait is bounded and
    // ends early on loss, on ClosePort, or on cancel. Without an open port
    // the waits answer PortLost at once.
    std::string PortName() const override;
    void Flush() override;
    IoStatus Write(const char* data, std::size_t count, const CancelFlag* cancel,
                   std::int32_t stallMs, std::size_t& written) override;
    IoStatus Drain(const CancelFlag* cancel, std::int32_t stallMs) override;
    IoStatus WaitForBytes(std::size_t count, std::int32_t timeoutMs,
                          const CancelFlag* cancel) override;
    std::size_t Available() override;
    std::size_t Take(char* out, std::size_t max) override;
    // True once the open port went away, and while none is open; the reason
    // ("input/output error", "the other end hung up", "the port is not
    // open") stays until the next successful open.
    bool Lost() const override;
    std::string LostReason() const override;

private:
    class PortUse;
    class ReceiveTask;
    bool OpenPort();
    void StopMonitor();
    void Wake();
    // The open port, or null; counted as in use by a writer until released.
    std::shared_ptr<comstream> AcquirePort();
    void ReleasePort();
    bool PortGoneFrom(const comstream* port);
    // Marks the port lost (first reason wins) and wakes every waiter; the
    // lost handler runs on the receive task, or here when none runs.
    void MarkLost(const std::string& reason, bool onReceiveThread);
    void NotifyLost();
    void AppendReceived(const char* data, std::int32_t n);
    // Writes to the log under the receive lock; a failure closes it and
    // answers the message for the user.
    std::string LogLocked(const char* data, std::int32_t n);

    mutable std::mutex lock_; // the receive lock
    std::condition_variable changed_;
    std::vector<char> receive_;
    std::int32_t count_ = 0;
    bool run_ = true;
    std::shared_ptr<comstream> port_;
    std::string device_;
    std::int32_t writers_ = 0; // Write calls using port_
    bool lost_ = false;
    bool lostTold_ = false;
    std::string lostReason_;
    int logFd_ = -1;
    std::string logPath_;
    bool logging_ = false;

    std::atomic<bool> enabled_{false};
    LinkOptions options_; // of the last Open; opener's thread
    OpenError openError_;
    std::atomic<IoStatus> lastWrite_{IoStatus::Ok};
    std::atomic<std::int32_t> writeStallMs_{kWriteStallMs};
    std::thread monitor_;
    std::atomic<bool> monitorActive_{false};
    int wakeFd_ = -1; // eventfd that ends the receive task's wait
    std::mutex sinkLock_;
    DisplaySink sink_;
    LostHandler lostHandler_;
    LogFailedHandler logFailedHandler_;
};

} // namespace nimbrel
