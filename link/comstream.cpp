#include "link/comstream.h"

#include "platform/clock.h"
#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace nimbrel {
namespace {

struct BaudEntry {
    std::uint32_t baud;
    speed_t speed;
};

constexpr BaudEntry kBauds[] = {
    {110, B110},     {150, B150},       {300, B300},       {600, B600},     {1200, B1200},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

bool SpeedOf(std::uint32_t baud, speed_t& speed) {
    for (const auto& e : kBauds) {
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

// The mode command's two-digit abbreviations of the classic rates.
std::uint32_t ExpandBaud(std::uint32_t value) {
    switch (value) {
    case 11:
        return 110;
    case 15:
        return 150;
    case 30:
        return 300;
    case 60:
        return 600;
    case 12:
        return 1200;
    case 24:
        return 2400;
    case 48:
        return 4800;
    case 96:
        return 9600;
    case 19:
        return 19200;
    default:
        return value;
    }
}

std::vector<std::string> SplitFields(const std::string& s) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto comma = s.find(',', start);
        fields.push_back(Trim(s.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

bool AllDigits(const std::string& s) {
    return !s.empty() && s.size() <= 9 &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// The system's text for an error, starting in lower case like ours.
std::string SystemText(int error) {
    std::string text = std::strerror(error);
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) != 0 &&
        std::islower(static_cast<unsigned char>(text[1])) != 0) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

} // namespace

DeviceAccess AccessOf(const std::string& device) {
    DeviceAccess access;
    struct stat st {};
    if (device.empty() || ::stat(device.c_str(), &st) != 0) return access;
    access.known = true;
    const passwd* user = ::getpwuid(st.st_uid);
    access.owner = user != nullptr ? user->pw_name : std::to_string(st.st_uid);
    const group* grp = ::getgrgid(st.st_gid);
    access.group = grp != nullptr ? grp->gr_name : std::to_string(st.st_gid);
    // Joining root's group is no advice to give; nor a group that may not
    // read and write.
    if (st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        access.joinGroup = access.group;
    }
    return access;
}

std::string PermissionText(const std::string& device) {
    const DeviceAccess access = AccessOf(device);
    std::string text = "permission denied";
    if (!access.known) return text;
    text += " — the device belongs to user " + access.owner + " and group " + access.group;
    if (access.joinGroup.empty()) return text + "; ask your administrator for access";
    return text + "; add yourself to the " + access.joinGroup + " group (sudo adduser $USER " +
           access.joinGroup + "), then log in again";
}

std::string OpenErrorText(int error, const std::string& device) {
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return "no such device";
    case EBUSY:
    case EWOULDBLOCK: // flock: another open holds the lock
        return "busy — held by another program";
    case EACCES:
    case EPERM:
        return PermissionText(device);
    case ENOTTY:
        return "not a serial port";
    default:
        return SystemText(error);
    }
}

std::string LossText(int error) {
    switch (error) {
    case 0:
    case EPIPE:
        return "the other end hung up";
    case EIO:
        return "input/output error";
    case ENXIO:
    case ENODEV:
        return "the device was removed";
    default:
        return SystemText(error);
    }
}

bool ParseModeText(const std::string& text, LineSettings& out) {
    std::string s = Trim(text);
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (s.rfind("com", 0) == 0) {
        const auto colon = s.find(':');
        if (colon == std::string::npos || !AllDigits(s.substr(3, colon - 3))) return false;
        s = s.substr(colon + 1);
    }
    const auto fields = SplitFields(s);
    if (fields.size() > 4) return false;

    LineSettings result = out;
    result.parity = 0;
    result.dataBits = 8;
    result.stopBits = 0;
    result.ctsFlow = false;
    result.xonXoff = false;
    result.binary = true;

    if (!AllDigits(fields[0])) return false;
    result.baud = ExpandBaud(static_cast<std::uint32_t>(std::stoul(fields[0])));
    speed_t unused;
    if (!SpeedOf(result.baud, unused)) return false;

    if (fields.size() > 1 && !fields[1].empty()) {
        static const std::string kLetters = "noems"; // none, odd, even, mark, space
        if (fields[1].size() != 1 || kLetters.find(fields[1][0]) == std::string::npos) {
            return false;
        }
        result.parity = static_cast<std::int32_t>(kLetters.find(fields[1][0]));
    }
    if (fields.size() > 2 && !fields[2].empty()) {
        if (fields[2].size() != 1 || fields[2][0] < '5' || fields[2][0] > '8') return false;
        result.dataBits = fields[2][0] - '0';
    }
    if (fields.size() > 3 && !fields[3].empty()) {
        if (fields[3] == "1") {
            result.stopBits = 0;
        } else if (fields[3] == "1.5") {
            result.stopBits = 1;
        } else if (fields[3] == "2") {
            result.stopBits = 2;
        } else {
            return false;
        }
    }
    result.parityCheck = result.parity != 0;
    out = result;
    return true;
}

bool FillTermios(const LineSettings& settings, termios& t) {
    speed_t speed;
    if (!SpeedOf(settings.baud, speed)) return false;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (settings.dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    case 8:
        t.c_cflag |= CS8;
        break;
    default:
        return false;
    }
    switch (settings.parity) {
    case 0:
        break;
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    switch (settings.stopBits) {
    case 0:
        break;
    case 1:
    case 2:
        t.c_cflag |= CSTOPB;
        break;
    default:
        return false;
    }
    if (settings.ctsFlow) t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    if (settings.xonXoff) t.c_iflag |= IXON | IXOFF;
    if (settings.parityCheck) t.c_iflag |= INPCK;
    // The descriptor is non-blocking, so no read waits. With VMIN 1 a read
    // that finds nothing says EAGAIN; with 0 it would answer 0, which is
    // also what a hung-up line answers.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    return true;
}

// ---------------------------------------------------------------- portbuf

portbuf::portbuf(int fd) : fd_(fd) {
    // The first byte a new stream delivers is a single 0.
    char* end = get_.data() + kBufferSize;
    end[-1] = 0;
    setg(get_.data(), end - 1, end);
    setp(nullptr, nullptr);
}

void portbuf::NoteGone(int error) {
    int none = -1;
    goneError_.compare_exchange_strong(none, error);
    NoteError(kPortGone);
}

std::uint32_t portbuf::TakeErrors() {
    return errors_.fetch_and(kPortGone);
}

portbuf::int_type portbuf::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    // The get area is empty here: new bytes go right before its fixed end.
    char* end = get_.data() + kBufferSize;
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0) queued = 0;
    // With nothing queued, a one-byte read still tells "nothing yet" (EAGAIN)
    // from "the other end is gone" (end of file or EIO).
    const std::int32_t want = std::clamp<std::int32_t>(queued, 1, kBufferSize);
    ssize_t got;
    do {
        got = ::read(fd_, end - want, static_cast<std::size_t>(want));
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        if (got < want) std::memmove(end - got, end - want, static_cast<std::size_t>(got));
        setg(get_.data(), end - got, end);
        return traits_type::to_int_type(*gptr());
    }
    if (got == 0) {
        NoteGone(0);
    } else if (errno == EIO || errno == ENXIO || errno == ENODEV) {
        NoteGone(errno);
    }
    return traits_type::eof();
}

portbuf::int_type portbuf::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return 0;
    const char c = traits_type::to_char_type(ch);
    const auto start = std::chrono::steady_clock::now();
    const std::int32_t timeout = writeTimeoutMs_.load();
    for (;;) {
        const ssize_t r = ::write(fd_, &c, 1);
        if (r == 1) break;
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const std::int32_t left = timeout - ElapsedMs(start);
            if (left <= 0) {
                NoteError(kPortTxFailed);
                break;
            }
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, left);
            continue;
        }
        if (errno == EIO || errno == ENXIO || errno == ENODEV || errno == EPIPE) NoteGone(errno);
        NoteError(kPortTxFailed);
        break;
    }
    // A failed write never fails the stream.
    return 0;
}

// ---------------------------------------------------------------- comstream

void comstream::FailOpen(int error) {
    openError_ = error != 0 ? error : EIO;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    errorState_ = kPortNotOpen;
}

std::string comstream::OpenErrorReason() const {
    if (openError_ == 0) return {};
    if (device_.empty()) return "no such port (the port number must be 1 to 4)";
    return OpenErrorText(openError_, device_);
}

comstream::comstream(const std::string& device) : std::iostream(nullptr), device_(device) {
    if (device_.empty()) {
        FailOpen(EINVAL);
        return;
    }
    fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        FailOpen(errno);
        return;
    }
    // flock keeps out every other opener, root included; TIOCEXCL the rest.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        FailOpen(errno);
        return;
    }
    termios probe{};
    if (::tcgetattr(fd_, &probe) != 0) {
        FailOpen(errno);
        return;
    }
    ::ioctl(fd_, TIOCEXCL);
    ::tcflush(fd_, TCIOFLUSH);
    if (!Apply() || !SetTimeouts(10)) {
        const int error = errno;
        ::ioctl(fd_, TIOCNXCL);
        FailOpen(error);
        return;
    }
    serial_icounter_struct counts{};
    if (::ioctl(fd_, TIOCGICOUNT, &counts) == 0) {
        lastCounts_ = {counts.frame, counts.overrun, counts.parity, counts.brk, counts.buf_overrun};
    }
    buf_ = std::make_unique<portbuf>(fd_);
    buf_->SetWriteTimeout(writeTimeoutMs_);
    rdbuf(buf_.get());
    ::tcflush(fd_, TCIFLUSH);
}

comstream::~comstream() {
    rdbuf(nullptr);
    if (fd_ >= 0) {
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
}

bool comstream::Apply() {
    if (fd_ < 0) return false;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0 || !FillTermios(settings_, t)) return false;
    return ::tcsetattr(fd_, TCSANOW, &t) == 0;
}

bool comstream::SetDcb(const LineSettings& settings) {
    if (fd_ < 0) return false;
    const LineSettings previous = settings_;
    settings_ = settings;
    ::tcflush(fd_, TCOFLUSH);
    if (Apply()) return true;
    // The record keeps what the device runs with, so one refused value does
    // not make every later change fail too.
    settings_ = previous;
    return false;
}

bool comstream::SetBaud(std::uint32_t baud) {
    LineSettings s = settings_;
    s.baud = baud;
    return SetDcb(s);
}

bool comstream::SetParity(std::int32_t parity) {
    LineSettings s = settings_;
    s.parity = parity;
    s.parityCheck = parity != 0;
    return SetDcb(s);
}

bool comstream::SetDataBits(std::int32_t bits) {
    LineSettings s = settings_;
    s.dataBits = bits;
    return SetDcb(s);
}

bool comstream::SetStopBits(std::int32_t code) {
    LineSettings s = settings_;
    s.stopBits = code;
    return SetDcb(s);
}

bool comstream::SetTimeouts(std::uint32_t multiplier) {
    if (fd_ < 0) return false;
    writeTimeoutMs_ = static_cast<std::int32_t>(std::min<std::uint32_t>(multiplier, 60000)) + 10;
    if (buf_) buf_->SetWriteTimeout(writeTimeoutMs_);
    return true;
}

bool comstream::SendBreak(std::int32_t milliseconds) {
    if (fd_ < 0) return false;
    // A pseudo-terminal accepts both calls and sends nothing; a device that
    // refuses them (ENOTTY, EINVAL) only makes this call answer false.
    const bool set = ::ioctl(fd_, TIOCSBRK) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(milliseconds, 0)));
    const bool cleared = ::ioctl(fd_, TIOCCBRK) == 0;
    return set && cleared;
}

std::uint32_t comstream::GetPortErrorState() {
    if (errorState_ == kPortNotOpen) return kPortNotOpen;
    std::uint32_t bits = buf_ ? buf_->TakeErrors() : 0;
    serial_icounter_struct counts{};
    if (::ioctl(fd_, TIOCGICOUNT, &counts) == 0) {
        const std::array<int, 5> now = {counts.frame, counts.overrun, counts.parity, counts.brk,
                                        counts.buf_overrun};
        if (now[0] != lastCounts_[0]) bits |= kPortFrame;
        if (now[1] != lastCounts_[1]) bits |= kPortOverrun;
        if (now[2] != lastCounts_[2]) bits |= kPortParity;
        if (now[3] != lastCounts_[3]) bits |= kPortBreak;
        if (now[4] != lastCounts_[4]) bits |= kPortRxOver;
        lastCounts_ = now;
    }
    errorState_ = bits;
    return bits;
}

std::int32_t comstream::ReadQueued(char* data, std::int32_t n) {
    if (!buf_ || n <= 0) return 0;
    return static_cast<std::int32_t>(buf_->sgetn(data, n));
}

std::int32_t comstream::WriteBytes(const char* data, std::int32_t n) {
    if (!buf_ || n <= 0) return 0;
    return static_cast<std::int32_t>(buf_->sputn(data, n));
}

std::int32_t comstream::WriteSome(const char* data, std::int32_t n, int& error) {
    error = 0;
    if (fd_ < 0) {
        error = EBADF;
        return -1;
    }
    if (n <= 0) return 0;
    for (;;) {
        const ssize_t r = ::write(fd_, data, static_cast<std::size_t>(n));
        if (r >= 0) return static_cast<std::int32_t>(r);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        error = errno;
        return -1;
    }
}

std::int32_t comstream::OutputQueued(int* error) const {
    int queued = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &queued) != 0) {
        if (error != nullptr) *error = fd_ < 0 ? EBADF : errno;
        return -1;
    }
    return queued;
}

} // namespace nimbrel
