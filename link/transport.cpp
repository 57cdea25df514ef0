#include "link/transport.h"

#include "platform/clock.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstring>

namespace nimbrel {
namespace {

void ShowOpenError() {
    CurrentUi().MessageBox(kOpenErrorText, "", Buttons::Ok, Icon::Exclamation);
}

void SleepMs(std::int32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 1)));
}

} // namespace

Transport::Transport() : receive_(static_cast<std::size_t>(kReceiveBufferSize)) {}

Transport::~Transport() {
    ClosePort();
    CloseLog();
}

bool Transport::EnableCommPort(bool enable) {
    if (!enable) {
        ClosePort();
        enabled_ = false;
        return true;
    }
    if (enabled_) return true;

    const std::int32_t number = Settings::Get(keys::kPortNumber);
    std::string mode = "com" + Settings::Get(keys::kPortText);
    auto port = std::make_unique<comstream>(number);
    if (port->GetPortErrorState() == kPortNotOpen) {
        ShowOpenError();
        return false;
    }
    mode += ":" + Settings::Get(keys::kPortBaud) + "," + Settings::Get(keys::kPortParity) + "," +
            Settings::Get(keys::kPortBits) + "," + Settings::Get(keys::kPortStop);
    LineSettings line;
    if (!ParseModeText(mode, line) || !port->SetDcb(line)) {
        // The port is released again, so a corrected setting can open it.
        ShowOpenError();
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        port_ = std::move(port);
    }
    enabled_ = true;
    return true;
}

void Transport::StopMonitor() {
    if (!monitor_.joinable()) return;
    const std::int32_t pollMs = Settings::Get(keys::kClosePollMs);
    {
        std::lock_guard<std::mutex> guard(lock_);
        run_ = false;
    }
    for (;;) {
        SleepMs(pollMs);
        std::lock_guard<std::mutex> guard(lock_);
        if (run_) break;
    }
    monitor_.join();
}

void Transport::ClosePort() {
    // The receive task stops even without a port: it must never outlive us.
    StopMonitor();
    std::unique_ptr<comstream> closing;
    {
        std::lock_guard<std::mutex> guard(lock_);
        closing = std::move(port_);
    }
    closing.reset();
    enabled_ = false;
}

std::int32_t Transport::WriteComm(const char* data, std::int32_t count) {
    if (!port_ || count <= 0) return 0;
    return port_->WriteBytes(data, count);
}

std::int32_t Transport::TransmitCommChar(char ch) {
    WriteComm(&ch, 1);
    return 0;
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
    return port_ ? port_->GetPortErrorState() : kPortNotOpen;
}

std::int32_t Transport::StringToUpperCase(char* text) {
    std::int32_t length = 0;
    for (; text[length] != '\0'; ++length) {
        text[length] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[length])));
    }
    return length;
}

bool Transport::SendPttData(std::string& commands) {
    return SendPttData(commands.data());
}

bool Transport::SendPttData(char* commands) {
    const bool verify = Settings::Get(keys::kReadAfterWrite) != 0;
    const std::int32_t waitMs = ResponseWaitMs();
    const std::int32_t length = StringToUpperCase(commands);

    for (std::int32_t p = 0; p < length; p += kCommandLength) {
        char* command = commands + p;
        const std::int32_t n = std::min(kCommandLength, length - p);
        WriteComm(command, n);
        if (!verify || command[0] != 'E') continue;

        command[0] = 'R';
        // Discard before asking, so that a quick answer is never thrown away.
        FlushComm(1);
        WriteComm(command, n);

        const char sent[2] = {n > kCommandDataPos ? command[kCommandDataPos] : ' ',
                              n > kCommandDataPos + 1 ? command[kCommandDataPos + 1] : ' '};
        char got[2] = {' ', ' '};
        const bool verified = WaitUntil(
            [&] {
                std::array<char, kAnswerLength + 1> answer{};
                while (GetBytesInQue() >= kAnswerLength) {
                    ReadComm(answer.data(), kAnswerLength);
                    StringToUpperCase(answer.data());
                    got[0] = answer[kAnswerDataPos];
                    got[1] = answer[kAnswerDataPos + 1];
                    if (got[0] == sent[0] && got[1] == sent[1]) return true;
                }
                return false;
            },
            waitMs);
        if (!verified) {
            std::string text = kPttErrorTemplate;
            text[5] = sent[0];
            text[6] = sent[1];
            text[12] = got[0];
            text[13] = got[1];
            text += kPttErrorTail;
            CurrentUi().MessageBox(text, kPttErrorTitle, Buttons::Ok, Icon::Exclamation);
            return false;
        }
    }
    return true;
}

bool Transport::StartMonitor() {
    if (monitor_.joinable()) return false;
    const std::int32_t pauseMs = Settings::Get(keys::kMonitorPauseMs);
    {
        std::lock_guard<std::mutex> guard(lock_);
        run_ = true;
    }
    monitor_ = std::thread([this, pauseMs] { Monitor(*this, pauseMs); });
    return true;
}

void Transport::SetDisplaySink(DisplaySink sink) {
    std::lock_guard<std::mutex> guard(sinkLock_);
    sink_ = std::move(sink);
}

bool Transport::OpenLog(const std::string& path) {
    CloseLog();
    std::ofstream file(path, std::ios::binary | std::ios::app);
    if (!file) return false;
    std::lock_guard<std::mutex> guard(lock_);
    log_ = std::move(file);
    logging_ = true;
    return true;
}

void Transport::CloseLog() {
    std::lock_guard<std::mutex> guard(lock_);
    if (log_.is_open()) {
        log_.flush();
        log_.close();
    }
    logging_ = false;
}

bool Transport::IsLogging() {
    std::lock_guard<std::mutex> guard(lock_);
    return logging_;
}

void Monitor(Transport& t, std::int32_t pauseMs) {
    std::vector<char> chunk(static_cast<std::size_t>(Transport::kChunkSize));
    for (;;) {
        bool last;
        comstream* port;
        {
            std::lock_guard<std::mutex> guard(t.lock_);
            last = !t.run_;
            port = t.port_.get();
        }
        // The port is destroyed only after this task has stopped.
        const std::int32_t n = port ? port->ReadQueued(chunk.data(), Transport::kChunkSize) : 0;
        if (n > 0) {
            {
                std::lock_guard<std::mutex> guard(t.lock_);
                if (t.count_ + n >= Transport::kReceiveBufferSize) {
                    std::memmove(t.receive_.data(), t.receive_.data() + n,
                                 static_cast<std::size_t>(t.count_ - n));
                    t.count_ -= n;
                }
                std::memcpy(t.receive_.data() + t.count_, chunk.data(),
                            static_cast<std::size_t>(n));
                t.count_ += n;
                if (t.logging_ && t.log_.is_open()) {
                    t.log_.write(chunk.data(), n);
                    t.log_.flush();
                }
            }
            const std::string text = ChunkDisplayText(chunk.data(), n);
            std::lock_guard<std::mutex> guard(t.sinkLock_);
            if (t.sink_) t.sink_(text, n);
        }
        if (last) break;
        SleepMs(pauseMs);
    }
    std::lock_guard<std::mutex> guard(t.lock_);
    t.run_ = true;
}

Transport::WakeResult Transport::WaitForWake(std::int32_t timeoutMs,
                                             const std::function<bool()>& stillOpen) {
    FlushComm(1);
    const std::int32_t passMs = std::max(Settings::Get(keys::kStartPassMs), 1);
    WakeResult result = WakeResult::TimedOut;
    WaitUntil(
        [&] {
            if (stillOpen && !stillOpen()) {
                result = WakeResult::Closed;
                return true;
            }
            char b;
            while (ReadComm(&b, 1) == 1) {
                if (b == kAck) {
                    TransmitCommChar(kWakeAnswer);
                    result = WakeResult::Answered;
                    return true;
                }
            }
            return false;
        },
        timeoutMs, passMs);
    return result;
}

Transport::VersionAnswer Transport::QueryVersion() {
    std::array<char, kVersionBufferSize> buffer{};
    std::strcpy(buffer.data(), "BAD");
    std::size_t stored = 0;

    FlushComm(1);
    WriteComm(kVersionRequest, kCommandLength);
    WaitUntil(
        [&] {
            std::array<char, kChunkSize> chunk;
            bool endsWithZero = false;
            std::int32_t n;
            while ((n = ReadComm(chunk.data(), kChunkSize)) > 0) {
                for (std::int32_t i = 0; i < n; ++i) {
                    // The last byte stays the terminator; excess is dropped.
                    if (stored < buffer.size() - 1) buffer[stored++] = chunk[i];
                }
                endsWithZero = chunk[n - 1] == '\0';
            }
            return endsWithZero;
        },
        Settings::Get(keys::kVersionWaitMs));

    VersionAnswer answer;
    const std::string text(buffer.data());
    if (text == "BAD") {
        answer.kind = VersionAnswer::Kind::None;
    } else if (text.rfind(kVersionPrefix, 0) == 0) {
        answer.kind = VersionAnswer::Kind::Valid;
        answer.text = text.substr(std::strlen(kVersionPrefix));
    } else {
        answer.kind = VersionAnswer::Kind::Invalid;
        answer.text = text;
    }
    return answer;
}

std::optional<std::uint8_t> Transport::ReadMemoryByte(std::uint32_t address) {
    char command[8];
    if (!GetReadCommand(address, command)) return std::nullopt;
    FlushComm(1);
    WriteComm(command, kCommandLength);
    if (!WaitUntil([&] { return GetBytesInQue() >= kAnswerLength; },
                   Settings::Get(keys::kReadByteWaitMs))) {
        return std::nullopt;
    }
    std::array<char, kAnswerLength> answer{};
    ReadComm(answer.data(), kAnswerLength);
    return AsciiToHex(answer.data() + kAnswerDataPos);
}

ProgramStatus Transport::SendProgram(const std::string& programText, std::uint32_t base) {
    const ProgramPlan plan = BuildProgramCommands(programText, base);
    if (plan.status == ProgramStatus::OddLength) {
        CurrentUi().MessageBox(kInvalidProgramText, "", Buttons::Ok, Icon::Exclamation);
        return plan.status;
    }
    if (plan.status == ProgramStatus::PastLastAddress) {
        CurrentUi().MessageBox(kProgramTooLongText, "", Buttons::Ok, Icon::Exclamation);
        return plan.status;
    }
    for (const std::string& command : plan.commands) {
        std::string text = command;
        SendPttData(text); // a failed verification shows its message; go on
    }
    return ProgramStatus::Ok;
}

} // namespace nimbrel
