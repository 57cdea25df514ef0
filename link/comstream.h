// A byte stream over one serial device on POSIX termios.
// Reads are non-blocking: they deliver what the port has already received and
// never wait for more. Stream writes are unbuffered, one write call per byte,
// each bounded by the write timeouts; WriteSome is the non-blocking write for
// a caller that waits for room itself.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>

struct termios;

namespace nimbrel {

// Line settings of a port; our counterpart of the device-control record.
struct LineSettings {
    std::uint32_t baud = 9600;
    std::int32_t parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::int32_t dataBits = 8; // 5 to 8
    std::int32_t stopBits = 0; // 0 one, 1 one and a half, 2 two
    bool parityCheck = false;  // check parity of received bytes
    bool binary = true;        // always binary: no byte is translated
    bool ctsFlow = false;      // hardware flow control
    bool xonXoff = false;      // software flow control
};

// Turns a mode text such as "com2:9600,n,8,1" into line settings, without
// handshake (no flow control). The "comN:" prefix is optional; trailing
// fields may be left out (parity none, 8 data bits, 1 stop bit). False for a
// text it cannot turn into settings; `out` is then unchanged.
bool ParseModeText(const std::string& text, LineSettings& out);

// Raw mode with the settings' speed and framing, on top of `t`. termios has
// one or two stop bits: one and a half is sent as two, as a UART does at
// 5 data bits. False for a value termios cannot express.
bool FillTermios(const LineSettings& settings, termios& t);

// Error state bits. kPortNotOpen is sticky for the life of a stream that
// never opened; the others are line errors, read and cleared by
// GetPortErrorState, except kPortGone, which stays once the other end is gone.
inline constexpr std::uint32_t kPortRxOver = 0x0001;
inline constexpr std::uint32_t kPortOverrun = 0x0002;
inline constexpr std::uint32_t kPortParity = 0x0004;
inline constexpr std::uint32_t kPortFrame = 0x0008;
inline constexpr std::uint32_t kPortBreak = 0x0010;
inline constexpr std::uint32_t kPortNotOpen = 32;
inline constexpr std::uint32_t kPortTxFailed = 0x0100; // a byte could not be written in time
inline constexpr std::uint32_t kPortGone = 0x0400;     // read gave end of file or EIO

// Who may open a device: the names of its owner and group, and the group a
// user joins to open it ("" when that would not help: the group is root's or
// may not read and write). Nothing known when the device cannot be looked at.
struct DeviceAccess {
    bool known = false;
    std::string owner;
    std::string group;
    std::string joinGroup;
};
DeviceAccess AccessOf(const std::string& device);
// "permission denied — the device belongs to user root and group dialout;"
// then the advice to join the group, or to ask the administrator when no
// group would help.
std::string PermissionText(const std::string& device);

// Why a port could not be opened, for messages: "no such device" (ENOENT,
// ENXIO, ENODEV), "busy — held by another program" (EBUSY, or the lock held
// elsewhere), PermissionText of the device (EACCES, EPERM), "not a serial
// port" (ENOTTY), else the system's text.
std::string OpenErrorText(int error, const std::string& device = {});
// Why an open port went away: 0 stands for end of file. "the other end hung
// up" (0, EPIPE), "input/output error" (EIO), "the device was removed"
// (ENXIO, ENODEV), else the system's text.
std::string LossText(int error);

// Stream buffer on an open port descriptor (not owned, not closed here).
class portbuf : public std::streambuf {
public:
    static constexpr std::int32_t kBufferSize = 3000;

    explicit portbuf(int fd);

    // Bounded wait for each written byte, in milliseconds.
    void SetWriteTimeout(std::int32_t ms) { writeTimeoutMs_.store(ms); }
    // Error bits collected by reads and writes since the last call; clears
    // them except kPortGone.
    std::uint32_t TakeErrors();
    // Whether a read found the other end gone, and why (errno, 0 for end of
    // file); -1 while it is there.
    int GoneError() const { return goneError_.load(); }

protected:
    int_type underflow() override;
    int_type overflow(int_type ch) override;
    pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override {
        return pos_type(off_type(0));
    }
    pos_type seekpos(pos_type, std::ios_base::openmode) override { return pos_type(off_type(0)); }

private:
    void NoteError(std::uint32_t bits) { errors_.fetch_or(bits); }
    void NoteGone(int error);

    int fd_;
    std::array<char, kBufferSize> get_{};
    std::atomic<std::int32_t> writeTimeoutMs_{20};
    std::atomic<std::uint32_t> errors_{0};
    std::atomic<int> goneError_{-1};
};

class comstream : public std::iostream {
public:
    // Opens the device ("" stands for a port number outside 1 to 4, which
    // names none). Any failure leaves the stream unattached and the error
    // state at kPortNotOpen for good; OpenError and OpenErrorReason say why.
    explicit comstream(const std::string& device);
    ~comstream() override;
    comstream(const comstream&) = delete;
    comstream& operator=(const comstream&) = delete;

    // Each setter discards pending output, applies the settings and answers
    // whether applying succeeded; a refused change leaves the settings as
    // they were.
    bool SetDcb(const LineSettings& settings);
    bool SetBaud(std::uint32_t baud);
    bool SetParity(std::int32_t parity); // also sets the parity check for non-zero codes
    bool SetDataBits(std::int32_t bits);
    bool SetStopBits(std::int32_t code); // 0 one, 1 one and a half (as two), 2 two
    // Write timeout per byte: multiplier + 10 ms. Reads never wait.
    bool SetTimeouts(std::uint32_t multiplier);
    // Asserts a break for the given time. A port that cannot send breaks (a
    // pseudo-terminal) is not failed by this.
    bool SendBreak(std::int32_t milliseconds);

    int GetHandle() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // The device opened or tried ("" for a port number outside 1 to 4).
    const std::string& Device() const { return device_; }
    // Why the open failed: the errno of the failing call (EINVAL for a port
    // number outside 1 to 4), and its text for messages; 0 and "" when open.
    int OpenError() const { return openError_; }
    std::string OpenErrorReason() const;
    const LineSettings& Settings() const { return settings_; }
    // kPortNotOpen when the port never opened; else the line error flags
    // since the last call (0 = none).
    std::uint32_t GetPortErrorState();

    // Byte access for the transport that leaves the stream state alone, so a
    // reading thread and a writing thread never share it: takes up to n
    // queued bytes without waiting; writes n bytes one by one.
    std::int32_t ReadQueued(char* data, std::int32_t n);
    std::int32_t WriteBytes(const char* data, std::int32_t n);

    // Non-blocking write of as much as the port takes now: the count taken
    // (0 when it has no room), or -1 with `error` set to the errno.
    std::int32_t WriteSome(const char* data, std::int32_t n, int& error);
    // Bytes written and not yet sent on the line; -1 when the device cannot
    // say (then nothing is known to be waiting), with the errno in `error`.
    std::int32_t OutputQueued(int* error = nullptr) const;
    // Whether a read found the other end gone (see portbuf::GoneError).
    int GoneError() const { return buf_ ? buf_->GoneError() : -1; }

private:
    bool Apply();
    void FailOpen(int error);

    int fd_ = -1;
    std::string device_;
    int openError_ = 0;
    std::uint32_t errorState_ = 0;
    LineSettings settings_;
    std::int32_t writeTimeoutMs_ = 20;
    std::array<int, 5> lastCounts_{}; // frame, overrun, parity, break, buffer overrun
    std::unique_ptr<portbuf> buf_;
};

} // namespace nimbrel
