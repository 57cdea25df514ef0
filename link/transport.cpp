#include "link/transport.h"

#include "platform/clock.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace nimbrel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kNotOpen = "the port is not open";
// How often wake-up bytes alone reach the display.
constexpr std::int64_t kWakeBytesDisplayMs = 1000;

bool IsLossError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

} // namespace

// A Write or Drain holds the port it started on; ClosePort waits for it to
// let go, so the device is free when ClosePort returns.
class Transport::PortUse {
public:
    explicit PortUse(Transport& t) : t_(t), port(t.AcquirePort()) {}
    ~PortUse() {
        if (port) t_.ReleasePort();
    }
    PortUse(const PortUse&) = delete;
    PortUse& operator=(const PortUse&) = delete;

private:
    Transport& t_;

public:
    const std::shared_ptr<comstream> port;
};

std::string Transport::OpenError::Text() const {
    const std::string where = device.empty() ? "Port " + std::to_string(port) : device;
    return where + ": " + reason + ".";
}

std::string Transport::OpenError::Message() const {
    return std::string(kOpenErrorText) + "\r\n" + Text();
}

Transport::Transport() : receive_(static_cast<std::size_t>(kReceiveBufferSize)) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Transport::~Transport() {
    ClosePort();
    CloseLog();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool Transport::Open(const LinkOptions& options) {
    if (enabled_.load() && !Lost()) return true;
    options_ = options;
    if (!enabled_.load()) return OpenPort();
    // The port went away: let go of it and open the device again (the
    // adapter plugged back in, a new simulator on the same path).
    const bool receiving = IsMonitorRunning();
    ClosePort();
    if (!OpenPort()) return false;
    if (receiving) StartMonitor();
    return true;
}

bool Transport::OpenPort() {
    auto port = std::make_shared<comstream>(options_.device);
    OpenError error;
    error.port = options_.port;
    error.device = port->Device();
    if (port->GetPortErrorState() == kPortNotOpen) {
        error.reason = port->OpenErrorReason();
    } else {
        const std::string line = options_.LineText();
        LineSettings settings;
        if (!ParseModeText("com" + std::to_string(options_.port) + ":" + line, settings) ||
            !port->SetDcb(settings)) {
            error.reason = "the line settings " + line + " cannot be used";
        }
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        device_ = port->Device();
        openError_ = error;
    }
    if (error.Failed()) {
        // The port is released again, so a corrected setting can open it.
        port.reset();
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        port_ = std::move(port);
        lost_ = false;
        lostTold_ = false;
        lostReason_.clear();
    }
    enabled_ = true;
    Wake(); // a running receive task picks the port up
    return true;
}

bool Transport::IsPortEnabled() const {
    std::lock_guard<std::mutex> guard(lock_);
    return enabled_.load() && port_ && !lost_;
}

Transport::OpenError Transport::LastOpenError() const {
    std::lock_guard<std::mutex> guard(lock_);
    return openError_;
}

void Transport::Wake() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
        // Already signalled (the counter is full): the task wakes anyway.
    }
}

void Transport::StopMonitor() {
    if (!monitor_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        run_ = false;
    }
    Wake();
    monitor_.join();
}

void Transport::ClosePort() {
    // The receive task stops even without a port: it must never outlive us.
    StopMonitor();
    std::shared_ptr<comstream> closing;
    {
        std::unique_lock<std::mutex> guard(lock_);
        closing = std::move(port_);
        port_.reset();
        changed_.notify_all();
        // A writer on another thread lets go within one slice.
        changed_.wait_for(guard, std::chrono::seconds(1), [this] { return writers_ == 0; });
    }
    closing.reset();
    enabled_ = false;
}

std::shared_ptr<comstream> Transport::AcquirePort() {
    std::lock_guard<std::mutex> guard(lock_);
    if (port_) ++writers_;
    return port_;
}

void Transport::ReleasePort() {
    std::lock_guard<std::mutex> guard(lock_);
    --writers_;
    changed_.notify_all();
}

bool Transport::PortGoneFrom(const comstream* port) {
    std::lock_guard<std::mutex> guard(lock_);
    return lost_ || port_.get() != port;
}

void Transport::MarkLost(const std::string& reason, bool onReceiveThread) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (lost_) return;
        lost_ = true;
        lostReason_ = reason;
    }
    changed_.notify_all();
    if (onReceiveThread) return; // the task tells the handler on its next pass
    Wake();
    if (!monitorActive_.load()) NotifyLost();
}

void Transport::NotifyLost() {
    std::string reason;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!lost_ || lostTold_) return;
        lostTold_ = true;
        reason = lostReason_;
    }
    std::lock_guard<std::mutex> guard(sinkLock_);
    if (lostHandler_) lostHandler_(reason);
}

bool Transport::Lost() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lost_ || !port_;
}

std::string Transport::LostReason() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (lost_) return lostReason_;
    return port_ ? "" : kNotOpen;
}

std::string Transport::PortName() const {
    std::lock_guard<std::mutex> guard(lock_);
    return device_;
}

std::int32_t Transport::WriteComm(const char* data, std::int32_t count) {
    if (count <= 0) return 0;
    std::size_t written = 0;
    lastWrite_ =
        Write(data, static_cast<std::size_t>(count), nullptr, writeStallMs_.load(), written);
    return static_cast<std::int32_t>(written);
}

IoStatus Transport::Write(const char* data, std::size_t count, const CancelFlag* cancel,
                          std::int32_t stallMs, std::size_t& written) {
    written = 0;
    const PortUse use(*this);
    comstream* port = use.port.get();
    if (port == nullptr || PortGoneFrom(port)) return IoStatus::PortLost;
    auto lastProgress = Clock::now();
    while (written < count) {
        if (PortGoneFrom(port)) return IoStatus::PortLost;
        const auto n = static_cast<std::int32_t>(
            std::min<std::size_t>(count - written, static_cast<std::size_t>(1) << 20));
        int error = 0;
        const std::int32_t took = port->WriteSome(data + written, n, error);
        if (took > 0) {
            written += static_cast<std::size_t>(took);
            lastProgress = Clock::now();
            continue;
        }
        if (took < 0) {
            // Nothing more can go out on this descriptor.
            MarkLost(LossText(error), false);
            return IoStatus::PortLost;
        }
        // No room: wait for it in short slices, looking at cancel and loss.
        for (;;) {
            if (PortGoneFrom(port)) return IoStatus::PortLost;
            if (cancel != nullptr && cancel->load()) return IoStatus::Cancelled;
            const std::int32_t left = stallMs - ElapsedMs(lastProgress);
            if (left <= 0) return IoStatus::Stalled;
            pollfd p{port->GetHandle(), POLLOUT, 0};
            const int ready = ::poll(&p, 1, std::min(left, kWriteSliceMs));
            if (ready <= 0) continue;
            if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                MarkLost(LossText((p.revents & POLLHUP) != 0 ? 0 : EIO), false);
                return IoStatus::PortLost;
            }
            if ((p.revents & POLLOUT) != 0) break;
        }
    }
    return IoStatus::Ok;
}

IoStatus Transport::Drain(const CancelFlag* cancel, std::int32_t stallMs) {
    const PortUse use(*this);
    comstream* port = use.port.get();
    if (port == nullptr) return IoStatus::PortLost;
    auto lastProgress = Clock::now();
    std::int32_t last = -1;
    for (;;) {
        if (PortGoneFrom(port)) return IoStatus::PortLost;
        int error = 0;
        const std::int32_t queued = port->OutputQueued(&error);
        if (queued < 0 && IsLossError(error)) {
            MarkLost(LossText(error), false);
            return IoStatus::PortLost;
        }
        if (queued <= 0) return IoStatus::Ok; // or the device cannot say
        if (last < 0 || queued < last) lastProgress = Clock::now();
        last = queued;
        if (cancel != nullptr && cancel->load()) return IoStatus::Cancelled;
        const std::int32_t left = stallMs - ElapsedMs(lastProgress);
        if (left <= 0) return IoStatus::Stalled;
        // About the time the queue needs on the line (10 bits a byte).
        const std::int64_t lineMs = static_cast<std::int64_t>(queued) * 10000 /
                                    std::max<std::uint32_t>(port->Settings().baud, 1);
        const auto slice = std::chrono::milliseconds(
            std::clamp<std::int64_t>(lineMs, 1, std::min(left, kWriteSliceMs)));
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait_for(guard, slice, [&] { return lost_ || port_.get() != port; });
    }
}

IoStatus Transport::WaitForBytes(std::size_t count, std::int32_t timeoutMs,
                                 const CancelFlag* cancel) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        if (static_cast<std::size_t>(count_) >= count) return IoStatus::Ok;
        if (lost_ || !port_) return IoStatus::PortLost;
        if (cancel != nullptr && cancel->load()) return IoStatus::Cancelled;
        const auto now = Clock::now();
        if (now >= deadline) return IoStatus::TimedOut;
        // Bytes and loss wake us at once; the slice only bounds how late a
        // cancel is seen.
        changed_.wait_for(guard,
                          std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(20)));
    }
}

void Transport::Flush() {
    FlushComm(1);
}

std::size_t Transport::Available() {
    return static_cast<std::size_t>(GetBytesInQue());
}

std::size_t Transport::Take(char* out, std::size_t max) {
    const auto n = static_cast<std::int32_t>(
        std::min<std::size_t>(max, static_cast<std::size_t>(kReceiveBufferSize)));
    return static_cast<std::size_t>(ReadComm(out, n));
}

std::int32_t Transport::GetBytesInQue() {
    std::lock_guard<std::mutex> guard(lock_);
    return count_;
}

std::int32_t Transport::ReadComm(char* data, std::int32_t count) {
    if (count <= 0) return 0;
    std::lock_guard<std::mutex> guard(lock_);
    const std::int32_t n = std::min(count, count_);
    if (n <= 0) return 0;
    std::memcpy(data, receive_.data(), static_cast<std::size_t>(n));
    std::memmove(receive_.data(), receive_.data() + n, static_cast<std::size_t>(count_ - n));
    count_ -= n;
    return n;
}

std::int32_t Transport::FlushComm(std::int32_t) {
    std::lock_guard<std::mutex> guard(lock_);
    count_ = 0;
    return 1;
}

std::uint32_t Transport::GetCommError() {
    std::shared_ptr<comstream> port;
    bool lost;
    {
        std::lock_guard<std::mutex> guard(lock_);
        port = port_;
        lost = lost_;
    }
    if (!port) return kPortNotOpen;
    return port->GetPortErrorState() | (lost ? kPortGone : 0);
}

void Transport::SetDisplaySink(DisplaySink sink) {
    std::lock_guard<std::mutex> guard(sinkLock_);
    sink_ = std::move(sink);
}

void Transport::SetLostHandler(LostHandler handler) {
    std::lock_guard<std::mutex> guard(sinkLock_);
    lostHandler_ = std::move(handler);
}

void Transport::SetLogFailedHandler(LogFailedHandler handler) {
    std::lock_guard<std::mutex> guard(sinkLock_);
    logFailedHandler_ = std::move(handler);
}

bool Transport::OpenLog(const std::string& path) {
    CloseLog();
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    std::lock_guard<std::mutex> guard(lock_);
    logFd_ = fd;
    logPath_ = path;
    logging_ = true;
    return true;
}

void Transport::CloseLog() {
    std::lock_guard<std::mutex> guard(lock_);
    if (logFd_ >= 0) ::close(logFd_);
    logFd_ = -1;
    logging_ = false;
}

std::string Transport::LogLocked(const char* data, std::int32_t n) {
    std::int32_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(logFd_, data + done, static_cast<std::size_t>(n - done));
        if (w > 0) {
            done += static_cast<std::int32_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        const int error = w < 0 ? errno : ENOSPC;
        ::close(logFd_);
        logFd_ = -1;
        logging_ = false;
        std::string reason = std::strerror(error);
        if (!reason.empty()) {
            reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        }
        return "Cannot write to the log file " + logPath_ + ": " + reason + ".\r\nLogging is off.";
    }
    return {};
}

bool Transport::IsLogging() {
    std::lock_guard<std::mutex> guard(lock_);
    return logging_;
}

void Transport::AppendReceived(const char* data, std::int32_t n) {
    std::string logFailure;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (count_ + n >= kReceiveBufferSize) {
            // n is at most one chunk, so count_ is larger than n here.
            std::memmove(receive_.data(), receive_.data() + n,
                         static_cast<std::size_t>(count_ - n));
            count_ -= n;
        }
        std::memcpy(receive_.data() + count_, data, static_cast<std::size_t>(n));
        count_ += n;
        if (logging_ && logFd_ >= 0) logFailure = LogLocked(data, n);
    }
    changed_.notify_all();
    if (!logFailure.empty()) {
        std::lock_guard<std::mutex> guard(sinkLock_);
        if (logFailedHandler_) logFailedHandler_(logFailure);
    }
}

namespace {

// Display text received and not yet handed to the sink. A batch holds at most
// one chunk and is due once per display interval. A transmitter asleep sends
// its wake-up byte every few hundred milliseconds: a batch of those alone is
// due once a second, so a terminal left open on a sleeping unit repaints
// seldom.
class DisplayBatch {
public:
    explicit DisplayBatch(std::int32_t intervalMs)
        : normal_(std::chrono::milliseconds(std::max(intervalMs, 0))),
          wakeOnly_(
              std::max<Clock::duration>(normal_, std::chrono::milliseconds(kWakeBytesDisplayMs))),
          last_(Clock::now() - wakeOnly_) {}

    bool Empty() const { return raw_ == 0; }
    // Whether `n` more bytes would take the batch past one chunk.
    bool WouldOverflow(std::int32_t n) const { return raw_ + n > Transport::kChunkSize; }

    void Add(const char* data, std::int32_t n) {
        text_ += ChunkDisplayText(data, n);
        raw_ += n;
        onlyWake_ = onlyWake_ && std::all_of(data, data + n, [](char c) { return c == kAck; });
    }

    bool Due() const {
        return raw_ > 0 && (Clock::now() - last_ >= Interval() || raw_ >= Transport::kChunkSize);
    }

    // How long poll() may wait before the batch is due; -1 (for ever) when empty.
    int WaitMs() const {
        if (raw_ == 0) return -1;
        const auto due = last_ + Interval() - Clock::now();
        return static_cast<int>(
            std::max<std::int64_t>(std::chrono::ceil<std::chrono::milliseconds>(due).count(), 0));
    }

    // Gives the text to `deliver` and starts the next batch; nothing when empty.
    template <typename Deliver> void HandOver(Deliver&& deliver) {
        if (raw_ == 0) return;
        deliver(text_, raw_);
        text_.clear();
        raw_ = 0;
        onlyWake_ = true;
        last_ = Clock::now();
    }

private:
    Clock::duration Interval() const { return onlyWake_ ? wakeOnly_ : normal_; }

    const Clock::duration normal_;
    const Clock::duration wakeOnly_;
    std::string text_;
    std::int32_t raw_ = 0;
    bool onlyWake_ = true; // every byte of the batch is the wake-up byte
    Clock::time_point last_;
};

} // namespace

// The receive task: waits in poll() for bytes (or its wake), takes up to one
// chunk of queued bytes at a time, appends them to the receive buffer
// (dropping the oldest rather than passing kReceiveBufferSize), writes them
// to the log while logging, wakes waiters, and hands the display text to the
// sink in batches. A read or poll that finds the port gone marks it lost and
// stops reading it. Ends when the run flag is cleared, and sets it back.
class Transport::ReceiveTask {
public:
    ReceiveTask(Transport& t, std::int32_t displayIntervalMs)
        : t_(t), batch_(displayIntervalMs), chunk_(static_cast<std::size_t>(kChunkSize)) {}

    void Run() {
        while (TakeState()) {
            if (port_ && readNow_ && !ReadChunk()) continue;
            if (batch_.Due()) HandOver();
            if (!readNow_) WaitForInput();
        }
        HandOver();
        t_.monitorActive_ = false;
        t_.NotifyLost();
        std::lock_guard<std::mutex> guard(t_.lock_);
        t_.run_ = true;
    }

private:
    // Picks up the run flag and the port (none once lost), and tells a loss
    // that a writer noticed. False when the task is to end.
    bool TakeState() {
        bool run;
        {
            std::lock_guard<std::mutex> guard(t_.lock_);
            run = t_.run_;
            port_ = t_.lost_ ? nullptr : t_.port_;
        }
        t_.NotifyLost();
        if (run && port_.get() != seen_) {
            // A newly opened stream has its first byte ready before anything arrives.
            seen_ = port_.get();
            readNow_ = port_ != nullptr;
        }
        return run;
    }

    // Takes what the port has queued. False when it found the port gone.
    bool ReadChunk() {
        const std::int32_t n = port_->ReadQueued(chunk_.data(), kChunkSize);
        if (n > 0) {
            t_.AppendReceived(chunk_.data(), n);
            if (batch_.WouldOverflow(n)) HandOver();
            batch_.Add(chunk_.data(), n);
        }
        if (port_->GoneError() >= 0) {
            Gone(port_->GoneError());
            return false;
        }
        // A full chunk may have left more in the stream than the descriptor shows.
        readNow_ = n == kChunkSize;
        return true;
    }

    // Waits for bytes, the wake, or the batch falling due.
    void WaitForInput() {
        int timeoutMs = batch_.WaitMs();
        if (t_.wakeFd_ < 0) timeoutMs = timeoutMs < 0 ? 50 : std::min(timeoutMs, 50);
        pollfd fds[2] = {{t_.wakeFd_, POLLIN, 0}, {port_ ? port_->GetHandle() : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0) {
            if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count;
            if (::read(t_.wakeFd_, &count, sizeof count) < 0) {
                // Nothing to take: another pass read it.
            }
        }
        if ((fds[1].revents & POLLIN) != 0) {
            readNow_ = true; // a hang-up with bytes still queued shows on the read
        } else if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            Gone((fds[1].revents & POLLHUP) != 0 ? 0 : EIO);
        }
    }

    void Gone(int error) {
        t_.MarkLost(LossText(error), true);
        HandOver();
    }

    void HandOver() {
        batch_.HandOver([this](const std::string& text, std::int32_t raw) {
            std::lock_guard<std::mutex> guard(t_.sinkLock_);
            if (t_.sink_) t_.sink_(text, raw);
        });
    }

    Transport& t_;
    DisplayBatch batch_;
    std::vector<char> chunk_;
    std::shared_ptr<comstream> port_;
    const comstream* seen_ = nullptr;
    bool readNow_ = false;
};

bool Transport::StartMonitor() {
    if (monitor_.joinable()) return false;
    const std::int32_t intervalMs = options_.displayIntervalMs;
    {
        std::lock_guard<std::mutex> guard(lock_);
        run_ = true;
    }
    monitorActive_ = true;
    monitor_ = std::thread([this, intervalMs] { ReceiveTask(*this, intervalMs).Run(); });
    return true;
}

} // namespace nimbrel
