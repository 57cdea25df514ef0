// What a transfer needs from the serial link, so that the transfer engine runs
// against a real port (the Transport) or a scripted one in tests. Every call
// is bounded: none waits longer than its time-out, and each wait ends early
// when the port goes away or the transfer is cancelled.
//
// Threads: a transfer calls these from one thread (the engine's); the link's
// receive task fills the receive buffer on its own thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace nimbrel {

// Set by the user (any thread) to end the running transfer; checked between
// steps and while waiting.
using CancelFlag = std::atomic<bool>;

enum class IoStatus {
    Ok,
    TimedOut,  // the wait's time ran out
    Cancelled, // the cancel flag was set while waiting
    PortLost,  // the port went away (read or write error, hang-up)
    Stalled,   // the port took no byte for the stall time while writing
};

class LinkIo {
public:
    virtual ~LinkIo() = default;

    // The device the port opens ("/dev/ttyUSB0"), for messages.
    virtual std::string PortName() const = 0;

    // Discards everything received and not yet taken.
    virtual void Flush() = 0;

    // Writes all `count` bytes. When the port's output buffer is full it
    // waits for room in short slices; Stalled when no byte was taken for
    // `stallMs`, Cancelled when `cancel` (may be null) was set during such a
    // wait, PortLost on a write error. `written` counts the bytes taken.
    virtual IoStatus Write(const char* data, std::size_t count, const CancelFlag* cancel,
                           std::int32_t stallMs, std::size_t& written) = 0;

    // Waits until the port's output queue has gone out on the line (or the
    // same limits as Write apply).
    virtual IoStatus Drain(const CancelFlag* cancel, std::int32_t stallMs) = 0;

    // Waits until at least `count` received bytes are waiting, for at most
    // `timeoutMs` from the call. Wakes as soon as bytes arrive.
    virtual IoStatus WaitForBytes(std::size_t count, std::int32_t timeoutMs,
                                  const CancelFlag* cancel) = 0;

    // Received bytes waiting to be taken.
    virtual std::size_t Available() = 0;
    // Takes up to `max` bytes from the front of what was received.
    virtual std::size_t Take(char* out, std::size_t max) = 0;

    // Whether the port went away, and why ("input/output error"); "" while it
    // is there.
    virtual bool Lost() const = 0;
    virtual std::string LostReason() const = 0;
};

} // namespace nimbrel
