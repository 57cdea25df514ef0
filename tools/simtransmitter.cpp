#include "tools/simtransmitter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace nimbrel::sim {
namespace {

bool IsHex(const std::string& s, std::size_t from, std::size_t count) {
    if (from + count > s.size()) return false;
    return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from),
                       s.begin() + static_cast<std::ptrdiff_t>(from + count),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::uint32_t HexValue(const std::string& s, std::size_t from, std::size_t count) {
    return static_cast<std::uint32_t>(std::stoul(s.substr(from, count), nullptr, 16));
}

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

} // namespace

bool ParseHexBytes(const std::string& text, std::string& bytes) {
    if (text.size() % 2 != 0 || !IsHex(text, 0, text.size())) return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        bytes += static_cast<char>(HexValue(text, i, 2));
    }
    return true;
}

int OpenPseudoTerminal(std::string& slavePath) {
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    char name[128];
    termios t{};
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0 ||
        ::tcgetattr(fd, &t) != 0) {
        ::close(fd);
        return -1;
    }
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    slavePath = name;
    return fd;
}

Transmitter::Transmitter(SimOptions options)
    : options_(std::move(options)), memory_(kMemorySize, 0xFF),
      awake_(options_.startAwake && !options_.deaf),
      random_(
          static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) |
          1u) {}

char Transmitter::RandomByte() {
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return static_cast<char>(random_ >> 24);
}

std::int64_t Transmitter::NowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t Transmitter::NowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t Transmitter::ByteUs() const {
    return std::max<std::int64_t>(10'000'000 / std::max<std::uint32_t>(options_.baud, 1), 1);
}

bool Transmitter::LoadMemory(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> bytes(kMemorySize);
    in.read(bytes.data(), kMemorySize);
    std::lock_guard<std::mutex> guard(mutex_);
    std::copy_n(bytes.begin(), in.gcount(), memory_.begin());
    return true;
}

bool Transmitter::DumpMemory(const std::string& path) const {
    std::vector<std::uint8_t> copy;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        copy = memory_;
    }
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(copy.data()), kMemorySize);
        if (!out) return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

std::uint8_t Transmitter::Peek(std::uint16_t address) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return memory_[address];
}

void Transmitter::Poke(std::uint16_t address, std::uint8_t value) {
    std::lock_guard<std::mutex> guard(mutex_);
    memory_[address] = value;
}

bool Transmitter::Awake() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return awake_;
}

std::vector<std::string> Transmitter::Commands() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return commands_;
}

std::string Transmitter::Received() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return received_;
}

void Transmitter::Send(int fd, const std::string& bytes) {
    // Paced against a fixed schedule, so that late wake-ups do not add up.
    const auto perByte = options_.byteGapMs > 0
                             ? std::chrono::microseconds(options_.byteGapMs * 1000LL)
                             : std::chrono::microseconds(ByteUs());
    auto next = std::chrono::steady_clock::now();
    for (const char c : bytes) {
        for (;;) {
            const ssize_t r = ::write(fd, &c, 1);
            if (r == 1) break;
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, 100) > 0 && (p.revents & POLLOUT)) continue;
            }
            return; // nobody listens: the byte is lost, as on a real line
        }
        if (options_.pace || options_.byteGapMs > 0) {
            next += perByte;
            std::this_thread::sleep_until(next);
        }
    }
}

bool Transmitter::IsCommandStart(char c) const {
    const char u = Upper(c);
    if (u == 'E' || u == 'R' || u == 'T') return true;
    return std::any_of(options_.exitStrings.begin(), options_.exitStrings.end(),
                       [c](const std::string& s) { return !s.empty() && s[0] == c; });
}

void Transmitter::Take(int fd, char c) {
    memoryAnswer_ = false;
    const std::string answer = Respond(c);
    if (answer.empty()) return;
    if (memoryAnswer_ && options_.answerPauseMs > 0 && answer.size() > 7) {
        // An answer in two parts, as a busy transmitter or an adapter's packets give it.
        const std::size_t cut = answer.size() - 7;
        Send(fd, answer.substr(0, cut));
        std::this_thread::sleep_for(std::chrono::milliseconds(options_.answerPauseMs));
        Send(fd, answer.substr(cut));
        return;
    }
    Send(fd, answer);
}

// Takes one received byte and answers what to send back: a complete
// 7-character command is carried out, an unknown one dropped up to the next
// character that can start a command.
std::string Transmitter::Respond(char c) {
    std::string answer;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        received_ += c;
        if (options_.deaf || options_.randomBytes) return answer;
        if (awake_ && options_.echo) answer += c;
        if (!awake_) {
            if (c == 'A') {
                awake_ = true;
                pending_.clear();
            }
            return answer;
        }
        if (pending_.empty() && !IsCommandStart(c)) return answer;
        pending_ += c;
        if (pending_.size() < 7) return answer;

        const std::string command = pending_;
        bool known = true;
        const char op = Upper(command[0]);
        if (std::find(options_.exitStrings.begin(), options_.exitStrings.end(), command) !=
            options_.exitStrings.end()) {
            awake_ = false;
            nextWakeMs_ = NowMs() + options_.wakeIntervalMs;
        } else if (op == 'E' && IsHex(command, 1, 6)) {
            memory_[HexValue(command, 1, 4)] = static_cast<std::uint8_t>(HexValue(command, 5, 2));
        } else if (op == 'R' && IsHex(command, 1, 6)) {
            const auto address = static_cast<std::uint16_t>(HexValue(command, 1, 4));
            ++reads_;
            if (options_.stopAfterReads < 0 || reads_ <= options_.stopAfterReads) {
                std::uint8_t value = memory_[address];
                if (options_.wrongByteAddress && *options_.wrongByteAddress == address) {
                    value ^= 0xFF;
                }
                if (options_.wrongDigitAddress && *options_.wrongDigitAddress == address) {
                    // The low digit one higher: 1B answers 1C, 1F answers 10.
                    value = static_cast<std::uint8_t>((value & 0xF0) | ((value + 1) & 0x0F));
                }
                // Twelve characters, the byte in the last two; the line break
                // first puts each answer on a line of its own in a terminal.
                char text[32];
                std::snprintf(text, sizeof text, "\r\nR%04X = %02X", address, value);
                // Garbage: ten random printable characters, then two random
                // hex digits, so that it passes for an answer at a glance.
                for (int k = 0; options_.garbage && k < 12; ++k) {
                    const auto r = static_cast<unsigned char>(RandomByte());
                    text[k] = k < 10 ? static_cast<char>(' ' + r % 95) : "0123456789ABCDEF"[r % 16];
                }
                answer += options_.noise + text;
                memoryAnswer_ = true;
            }
        } else if (std::all_of(command.begin(), command.end(),
                               [](char ch) { return Upper(ch) == 'T'; })) {
            std::string body;
            if (options_.longVersion) {
                body = "VER=";
                while (body.size() < 300)
                    body += "0123456789";
            } else {
                body = options_.versionAnswer ? *options_.versionAnswer : "VER=" + options_.version;
            }
            answer += options_.noise + body + std::string(1, '\0');
        } else {
            known = false;
        }

        if (known) {
            commands_.push_back(command);
            pending_.clear();
        } else {
            // Resync on the next character that can start a command.
            pending_.erase(0, 1);
            while (!pending_.empty() && !IsCommandStart(pending_[0]))
                pending_.erase(0, 1);
        }
    }
    return answer;
}

Transmitter::End Transmitter::Run(int fd, const std::atomic<bool>& stop,
                                  std::atomic<bool>* dumpRequest, const std::string& dumpPath) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        nextWakeMs_ = NowMs();
    }
    for (;;) {
        if (stop.load()) return End::Stopped;
        if (dumpRequest && dumpRequest->exchange(false) && !dumpPath.empty()) {
            DumpMemory(dumpPath);
        }

        bool wake = false;
        std::int64_t waitUs = options_.randomBytes ? 0 : 10'000;
        std::int64_t takenSoFar = 0;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            takenSoFar = static_cast<std::int64_t>(received_.size());
            if ((!awake_ || options_.wakeAlways) && !options_.neverWake) {
                const std::int64_t due = nextWakeMs_ - NowMs();
                if (due <= 0) {
                    wake = true;
                    nextWakeMs_ = NowMs() + std::max(options_.wakeIntervalMs, 1);
                } else {
                    waitUs = std::min<std::int64_t>(due * 1000, waitUs);
                }
            }
        }
        if (wake) Send(fd, options_.noise + std::string(1, '\x06'));
        if (options_.randomBytes) {
            std::string noise(16, '\0');
            for (char& c : noise)
                c = RandomByte();
            Send(fd, noise);
        }

        // Paced input: bytes are taken no faster than the line delivers them,
        // so a program writing faster fills the pseudo-terminal and waits.
        char bytes[256];
        std::int64_t allowed = sizeof bytes;
        if (options_.pace && !lineIdle_) {
            const std::int64_t now = NowUs();
            if (now < nextInUs_) {
                allowed = 0;
                waitUs = std::min(waitUs, nextInUs_ - now);
            } else {
                allowed = std::min<std::int64_t>(allowed, (now - nextInUs_) / ByteUs() + 1);
            }
        }
        for (const std::int64_t limit : {options_.stopTakingAfter, options_.unplugAfter}) {
            if (limit >= 0)
                allowed = std::min(allowed, std::max<std::int64_t>(limit - takenSoFar, 0));
        }
        if (options_.unplugAfter >= 0 && takenSoFar >= options_.unplugAfter) return End::Unplugged;
        // Microsecond time-outs: a byte time at 9600 baud is 1.04 ms.
        pollfd p{fd, static_cast<short>(allowed > 0 ? POLLIN : 0), 0};
        const timespec wait{static_cast<time_t>(waitUs / 1'000'000),
                            static_cast<long>(waitUs % 1'000'000 * 1000)};
        const int ready = ::ppoll(&p, 1, &wait, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return End::Error;
        }
        if (ready == 0) continue;
        bool closed = false;
        if (p.revents & POLLIN) {
            if (options_.pace && lineIdle_) {
                // The first byte after a quiet spell is in a byte time from now.
                lineIdle_ = false;
                nextInUs_ = NowUs() + ByteUs();
                continue;
            }
            const ssize_t n = ::read(fd, bytes, static_cast<std::size_t>(allowed));
            if (n > 0) {
                nextInUs_ += n * ByteUs();
                // The line has run dry when nothing more waits: time spent
                // answering is then no credit for bytes written after it.
                int queued = 0;
                if (n < allowed || (::ioctl(fd, FIONREAD, &queued) == 0 && queued == 0)) {
                    lineIdle_ = true;
                }
                for (ssize_t i = 0; i < n; ++i)
                    Take(fd, bytes[i]);
                continue;
            }
            if (n < 0 && errno == EAGAIN) {
                lineIdle_ = true;
                continue;
            }
            closed = n == 0 || errno == EIO;
        } else if (p.revents & (POLLHUP | POLLERR)) {
            closed = true;
        }
        if (closed) {
            if (!options_.persist) return End::PeerClosed;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

} // namespace nimbrel::sim
