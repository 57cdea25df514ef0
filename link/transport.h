// The link to the transmitter: opens and closes the serial port with the
// settings file's line settings, runs the receive task that collects what the
// transmitter sends (and hands its display text to a sink and its raw bytes to
// the log file), and offers the operations and exchanges that the terminal
// and configuration windows use. No GUI: messages go through CurrentUi() and
// every wait serves events in bounded slices.
//
// Threads: every operation is called on the UI thread; the receive task runs
// on its own thread. One lock guards the receive buffer and its count, the
// run flag, the port pointer seen by the task, and the log stream.
#pragma once

#include "link/comstream.h"
#include "link/protocol.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace nimbrel {

class Transport {
public:
    static constexpr std::int32_t kReceiveBufferSize = 64000;
    static constexpr std::int32_t kChunkSize = 1000;
    static constexpr std::int32_t kVersionBufferSize = 200;

    // Receives the display text of each received chunk and the chunk's raw
    // byte count. Called on the receive thread: it must hand the text over
    // to the UI thread without waiting for it (e.g. a queued call). A
    // derived window stops the task (ClosePort) or clears the sink in its
    // own destructor, before what the sink uses is gone.
    using DisplaySink = std::function<void(const std::string& text, std::int32_t rawCount)>;

    Transport();
    // Stops the receive task, closes the log and the port.
    virtual ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // true: opens the configured port unless already enabled; false after
    // showing "Error opening serial port. Check ini file.". false: closes
    // the port; answers true.
    bool EnableCommPort(bool enable);
    bool IsPortEnabled() const { return enabled_; }
    // Stops the receive task (run-flag handshake, polled every ClosePollMs)
    // and closes the port.
    void ClosePort();

    // Raw bytes to the port; nothing while no port is open. Answers the
    // count written. Every exchange writes through here, so a terminal can
    // override it to trace what is sent.
    virtual std::int32_t WriteComm(const char* data, std::int32_t count);
    std::int32_t TransmitCommChar(char ch); // answers 0
    // Bytes received and not yet taken.
    std::int32_t GetBytesInQue();
    // Takes up to `count` bytes from the front of the receive buffer.
    std::int32_t ReadComm(char* data, std::int32_t count);
    // Discards the receive buffer; the argument is ignored; answers 1.
    std::int32_t FlushComm(std::int32_t ignored = 0);
    // The port's error state; kPortNotOpen while no port is open.
    std::uint32_t GetCommError();
    // Upper-cases in place; answers the length.
    static std::int32_t StringToUpperCase(char* text);

    // Sends a string of 7-character commands, upper-cased in place. With
    // ReadAfterWrite on, each "E" command is read back (its first letter
    // becomes "R" in the caller's string) and the answer's characters 10 and
    // 11 must equal the written data digits within the response time; else
    // the "Sent    got   " message is shown and the call answers false
    // without sending the rest.
    bool SendPttData(char* commands);
    bool SendPttData(std::string& commands);

    // Starts the receive task (once per open; ClosePort ends it). Answers
    // false when it is already running.
    bool StartMonitor();
    bool IsMonitorRunning() const { return monitor_.joinable(); }
    // Replaces the display sink; waits for a call in progress to finish.
    void SetDisplaySink(DisplaySink sink);

    // Raw logging of everything received, appended in binary. False, with
    // logging off, when the file cannot be opened.
    bool OpenLog(const std::string& path);
    void CloseLog();
    bool IsLogging();

    // Start handshake: discards what was received, then waits up to
    // `timeoutMs` for the byte 0x06 and answers the first one with "A".
    // `stillOpen` (optional) is asked on each pass; false ends the wait.
    enum class WakeResult { Answered, TimedOut, Closed };
    WakeResult WaitForWake(std::int32_t timeoutMs, const std::function<bool()>& stillOpen = {});

    // Version query: "TTTTTTT", then up to VersionWaitMs for an answer that
    // ends with a 0 byte. None: nothing arrived; Valid: it began with "VER="
    // and `text` is what follows; Invalid: anything else (`text` is the raw
    // answer). At most 199 characters are kept.
    struct VersionAnswer {
        enum class Kind { None, Valid, Invalid };
        Kind kind = Kind::None;
        std::string text;
    };
    VersionAnswer QueryVersion();

    // Reads one memory byte: discards what was received, sends the read
    // command, waits up to ReadByteWaitMs for 12 bytes and decodes
    // characters 10 and 11. nullopt on timeout or for an address above FFFF.
    std::optional<std::uint8_t> ReadMemoryByte(std::uint32_t address);

    // Program download of a program file's text from `base` on: refuses an
    // odd length with "Invalid program." and a program running past FFFF
    // with kProgramTooLongText (both empty title, exclamation, nothing
    // sent); else sends each command with SendPttData, going on after a
    // failed verification.
    ProgramStatus SendProgram(const std::string& programText, std::uint32_t base);

private:
    friend void Monitor(Transport& transport, std::int32_t pauseMs);
    void StopMonitor();

    std::mutex lock_; // the receive lock
    std::vector<char> receive_;
    std::int32_t count_ = 0;
    bool run_ = true;
    std::unique_ptr<comstream> port_; // replaced under lock_ on the UI thread
    std::ofstream log_;
    bool logging_ = false;

    bool enabled_ = false;
    std::thread monitor_;
    std::mutex sinkLock_;
    DisplaySink sink_;
};

// The receive task: each cycle takes up to 1000 queued bytes from the port,
// appends them to the receive buffer (dropping the oldest bytes rather than
// passing 64000), writes them to the log while logging, hands their display
// text to the sink, then pauses `pauseMs`. Ends after the cycle that finds
// the run flag cleared, and sets it back.
void Monitor(Transport& transport, std::int32_t pauseMs);

} // namespace nimbrel
