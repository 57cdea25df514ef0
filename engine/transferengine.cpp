#include "engine/transferengine.h"

#include "config/displayline.h"
#include "link/protocol.h"
#include "platform/text.h"
#include "platform/ui.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kNoAnswerText = "No communication from PTT";
constexpr const char* kVersionCaption = "Software version";
constexpr const char* kNoVersionText = "No version information available";
constexpr const char* kBadVersionText = "Invalid response from PTT";
constexpr const char* kReadCaption = "Read Error";
constexpr const char* kReadFailedText = "Error reading data";
constexpr const char* kNotAnAnswerText = "What came back was not an answer to the read.";
constexpr const char* kIdInvalidText = "Ptt ID invalid";
constexpr const char* kIdInvalidCaption = "Read error";
constexpr const char* kCancelCaption = "Cancelled";
constexpr const char* kExitSentNote =
    "\r\nThe exit string was sent: start communications again before the next transfer.";

// Bytes of one item that a read can take.
constexpr std::int32_t kReadBufferSize = 256;
// After an echo of the command with less than an answer behind it, the line
// must be quiet this many times the quiet time, and at least this long.
constexpr std::int32_t kEchoQuietFactor = 10;
constexpr std::int32_t kEchoQuietMinMs = 50;
// Characters kept to find an echo: the command, an answer and some to spare.
constexpr std::size_t kRecentKept = 32;

// The version answer keeps this many characters.
constexpr std::size_t kVersionKeep = 199;
// Progress of a wait is reported at least this often.
constexpr std::int32_t kProgressEveryMs = 100;
// The line settles within this many settle times, or the wait ends anyway.
constexpr std::int32_t kSettleBound = 20;
// Raw sends go out in pieces of this size, with progress after each.
constexpr std::size_t kRawPiece = 256;

std::int32_t MsBetween(Clock::time_point from, Clock::time_point to) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(to - from).count();
    using Limits = std::numeric_limits<std::int32_t>;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>((us + 999) / 1000, Limits::min(), Limits::max())); // rounded up
}

std::int32_t DurationMs(Clock::duration d) {
    return MsBetween(Clock::time_point{}, Clock::time_point{} + d);
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

std::string AddressText(std::uint32_t address) {
    return DisplayLine::LongToString(static_cast<std::int32_t>(address), true);
}

std::string DurationText(std::int32_t ms) {
    if (ms % 1000 != 0) return std::to_string(ms) + " milliseconds";
    const std::int32_t s = ms / 1000;
    return std::to_string(s) + (s == 1 ? " second" : " seconds");
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The address a memory command names, or `fallback` for any other command.
std::uint32_t CommandAddress(const std::string& command, std::uint32_t fallback) {
    if (command.size() < 5 || (command[0] != 'E' && command[0] != 'R')) return fallback;
    if (!std::all_of(command.begin() + 1, command.begin() + 5, IsHex)) return fallback;
    return std::stoul(command.substr(1, 4), nullptr, 16);
}

std::int32_t CommandCount(const std::string& commands) {
    return static_cast<std::int32_t>((commands.size() + kCommandLength - 1) / kCommandLength);
}

// "3 of 8 items were sent, the rest were not"; none done reads "none of ...".
std::string DoneText(std::int64_t done, std::int64_t total, const std::string& unit,
                     const std::string& verb, const std::string& rest) {
    if (done == 0) return "none of the " + std::to_string(total) + " " + unit + " was " + verb;
    return std::to_string(done) + " of " + std::to_string(total) + " " + unit + " were " + verb +
           (done < total ? ", " + rest : "");
}

// Why an item cannot be read as it is, or "" when it can.
} // namespace

// One operation: its clock, the engine's options, and the steps every
// operation shares.
class TransferEngine::Run {
public:
    explicit Run(TransferEngine& engine)
        : e_(engine), start_(Clock::now()), stallMs_(engine.options_.writeStallMs),
          quietMs_(engine.options_.answerQuietMs) {}

    const TransferOptions& Options() const { return e_.options_; }

    LinkIo& Io() { return e_.io_; }
    Ui& User() { return e_.ui_; }
    const CancelFlag* CancelFlagPtr() const { return e_.cancel_; }
    bool CancelSet() const { return e_.cancel_ != nullptr && e_.cancel_->load(); }

    void Report(const std::string& what, std::int64_t step, std::int64_t steps, std::int64_t bytes,
                std::int64_t totalBytes, std::int32_t leftMs = -1) {
        if (!e_.progress_) return;
        Progress p;
        p.what = what;
        p.step = static_cast<std::int32_t>(step);
        p.steps = static_cast<std::int32_t>(steps);
        p.bytes = bytes;
        p.totalBytes = totalBytes;
        p.elapsedMs = MsBetween(start_, Clock::now());
        p.leftMs = leftMs;
        e_.progress_(p);
    }

    IoStatus Write(const char* data, std::size_t count, const CancelFlag* cancel,
                   std::size_t& written) {
        written = 0;
        if (count == 0) return IoStatus::Ok;
        const IoStatus status = Io().Write(data, count, cancel, stallMs_, written);
        if (written > 0) wrote_ = true;
        return status;
    }

    IoStatus Write(const std::string& bytes, const CancelFlag* cancel) {
        std::size_t written = 0;
        return Write(bytes.data(), bytes.size(), cancel, written);
    }

    IoStatus Drain(const CancelFlag* cancel) { return Io().Drain(cancel, stallMs_); }

    // Takes everything received and appends it to `out`.
    void TakeAll(std::string& out) {
        std::array<char, 1024> chunk;
        std::size_t n;
        while ((n = Io().Take(chunk.data(), chunk.size())) > 0)
            out.append(chunk.data(), n);
    }

    void Message(const std::string& text, const std::string& caption, Icon icon) {
        User().MessageBox(text, caption, Buttons::Ok, icon);
    }

    // The one message of a port that went away or stalled, then where the
    // transfer stopped.
    Outcome PortFailed(IoStatus status, const std::string& where) {
        std::string text = "The serial port " + Io().PortName();
        if (status == IoStatus::Stalled) {
            text += " took no data for " + DurationText(stallMs_) + ".";
        } else {
            const std::string reason = Io().LostReason();
            text += reason.empty() ? " went away." : " went away (" + reason + ").";
        }
        Message(text + "\r\n" + where, kCommsCaption, Icon::Exclamation);
        return Outcome::PortLost;
    }

    // After a send or read that ended mid-way: the exit string, when the
    // transmitter's user interface was entered and this transfer wrote
    // something. Answers the note for the message ("" when none was sent).
    std::string Leave() {
        if (!e_.entered_ || !wrote_) return {};
        if (Write(Options().exitString, nullptr) != IoStatus::Ok || Drain(nullptr) != IoStatus::Ok)
            return {};
        e_.entered_ = false;
        return kExitSentNote;
    }

    Outcome Cancelled(const std::string& text) {
        const std::string note = Leave();
        Message(text + note, kCancelCaption, Icon::Information);
        return Outcome::Cancelled;
    }

    // Waits until no byte has arrived for settleMs (at most kSettleBound
    // times that), discarding what comes.
    IoStatus Settle() {
        const std::int32_t settleMs = std::max(Options().settleMs, 0);
        const auto bound = Clock::now() + std::chrono::milliseconds(settleMs) * kSettleBound;
        Io().Flush();
        for (;;) {
            const std::int32_t left = MsBetween(Clock::now(), bound);
            if (left <= 0) break;
            const IoStatus status = Io().WaitForBytes(1, std::min(settleMs, left), nullptr);
            if (status == IoStatus::TimedOut) break;
            if (status != IoStatus::Ok) return status;
            Io().Flush();
        }
        Io().Flush();
        return IoStatus::Ok;
    }

    // What came back after one command, gathered towards its answer.
    struct Listening {
        explicit Listening(std::string command) : echo(Upper(std::move(command))) {}
        std::string echo;   // the command, as a transmitter that echoes sends it back
        std::string recent; // the last characters received, enough to hold an echo and an answer
        std::string tail;   // the last characters received
        bool fresh = false; // characters came since the last answer taken
        Clock::time_point last{};  // when characters last came
        Clock::duration longest{}; // the longest pause between characters
    };

    // Waits until `deadline` for the next answer: at least 12 characters, then
    // the line quiet for the quiet time, or for twice the longest pause between
    // the characters so far when that is longer (a slow transmitter's answer
    // is not cut). An echo or a stream runs on without such a pause; an echo of
    // the command followed by less than an answer waits longer still, so a
    // pause in the middle (a busy peer, an adapter's packets) does not cut the
    // answer. The answer is the last 12 characters.
    //
    // With `naming`, an answer that names that address in the learned form
    // (AnswerForm::Names) is taken at once, without the quiet time.
    IoStatus NextAnswer(Listening& l, Clock::time_point deadline, const CancelFlag* cancel,
                        std::string& answer, std::optional<std::uint32_t> naming = {}) {
        const auto length = static_cast<std::size_t>(kAnswerLength);
        for (;;) {
            const std::int32_t left = MsBetween(Clock::now(), deadline);
            if (left <= 0) return IoStatus::TimedOut;
            const bool full = l.fresh && l.tail.size() >= length;
            std::int32_t quiet = std::max(quietMs_, DurationMs(2 * l.longest));
            if (full && EchoedShort(l)) quiet = std::max(kEchoQuietFactor * quiet, kEchoQuietMinMs);
            const IoStatus status =
                Io().WaitForBytes(1, full ? std::min(quiet, left) : left, cancel);
            if (status == IoStatus::TimedOut) {
                if (!full || quiet > left) return IoStatus::TimedOut;
                answer = l.tail.substr(l.tail.size() - length);
                l.fresh = false;
                return IoStatus::Ok;
            }
            if (status != IoStatus::Ok) return status;
            const auto now = Clock::now();
            if (!l.tail.empty()) l.longest = std::max(l.longest, now - l.last);
            l.last = now;
            l.fresh = true;
            const std::size_t before = l.tail.size();
            TakeAll(l.tail);
            l.recent += Upper(l.tail.substr(before));
            if (l.recent.size() > kRecentKept) l.recent.erase(0, l.recent.size() - kRecentKept);
            if (l.tail.size() > length) l.tail.erase(0, l.tail.size() - length);
            if (naming && l.tail.size() == length && form_.Names(l.tail, *naming)) {
                answer = l.tail;
                l.fresh = false;
                return IoStatus::Ok;
            }
        }
    }

    // The last echo of the command came with fewer than 12 characters after it.
    static bool EchoedShort(const Listening& l) {
        if (l.echo.empty()) return false;
        const auto at = l.recent.rfind(l.echo);
        return at != std::string::npos &&
               l.recent.size() - at - l.echo.size() < static_cast<std::size_t>(kAnswerLength);
    }

    // Result of sending a run of 7-character commands.
    struct Sent {
        IoStatus status = IoStatus::Ok; // a port failure
        bool verified = true;
        bool answered = false; // an answer came back
        bool refused = false;  // something came back that was not an answer
        char sent[2] = {' ', ' '};
        char got[2] = {' ', ' '};
        std::uint32_t address = 0; // of the command that failed
    };

    // Sends `commands` (upper case) 7 characters at a time; with `verify`,
    // each write command is read back within `waitMs`. What was received is
    // discarded right before each command goes out. An answer with another
    // byte leaves the wait running: a later answer may still bring the byte.
    // A refused answer is asked for once more. Not cancellable, so an item
    // goes out whole.
    Sent SendCommands(const std::string& commands, bool verify, std::int32_t waitMs,
                      std::uint32_t fallbackAddress) {
        Sent result;
        for (std::size_t p = 0; p < commands.size(); p += kCommandLength) {
            const std::string command = commands.substr(p, kCommandLength);
            result.address = CommandAddress(command, fallbackAddress);
            Io().Flush();
            result.status = Write(command, nullptr);
            if (result.status != IoStatus::Ok) return result;
            if (!verify || command[0] != 'E') continue;

            std::string read = command;
            read[0] = 'R';
            const std::size_t n = command.size();
            const auto at = static_cast<std::size_t>(kCommandDataPos);
            result.sent[0] = n > at ? command[at] : ' ';
            result.sent[1] = n > at + 1 ? command[at + 1] : ' ';
            result.got[0] = result.got[1] = ' ';
            result.answered = result.refused = result.verified = false;
            const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
            Asking asking;
            while (!result.verified && asking.Again()) {
                Io().Flush();
                result.status = Write(read, nullptr);
                if (result.status != IoStatus::Ok) return result;
                Listening listening(read);
                AnswerForm::Verdict verdict = AnswerForm::Verdict::Taken;
                while (!result.verified && verdict == AnswerForm::Verdict::Taken) {
                    std::string answer;
                    const IoStatus status = NextAnswer(listening, deadline, nullptr, answer);
                    if (status == IoStatus::TimedOut) break;
                    if (status != IoStatus::Ok) {
                        result.status = status;
                        return result;
                    }
                    verdict = form_.Judge(answer, result.address);
                    asking.Note(verdict);
                    if (verdict != AnswerForm::Verdict::Taken) break;
                    answer = Upper(answer);
                    result.answered = true;
                    result.got[0] = answer[kAnswerDataPos];
                    result.got[1] = answer[kAnswerDataPos + 1];
                    result.verified =
                        result.got[0] == result.sent[0] && result.got[1] == result.sent[1];
                }
                // Verified, or the time ran out: no more asking.
                if (verdict == AnswerForm::Verdict::Taken) break;
            }
            result.refused = asking.refused;
            if (!result.verified) return result;
        }
        return result;
    }

    // "Sent xx got yy", the line naming what was written, then the tail.
    std::string UnverifiedText(const Sent& sent, const std::string& what) {
        std::string text = kPttErrorTemplate;
        text[5] = sent.sent[0];
        text[6] = sent.sent[1];
        text[12] = sent.got[0];
        text[13] = sent.got[1];
        const std::string why =
            sent.refused && !sent.answered ? std::string("\r\n") + kNotAnAnswerText : "";
        return text + "\r\n" + what + why + kPttErrorTail;
    }

    // How a failed verification ends the transfer.
    static Outcome Unverified(const Sent& sent) {
        return sent.answered || sent.refused ? Outcome::Mismatch : Outcome::NoAnswer;
    }

    // How often one read is asked for: once more after a refused answer, and
    // once more for a first answer that must come again (AnswerForm).
    struct Asking {
        int asks = 0;
        int refusals = 0;
        bool refused = false; // something came back that was not an answer
        bool Again() { return asks++ < 3 && refusals < 2; }
        void Note(AnswerForm::Verdict verdict) {
            if (verdict == AnswerForm::Verdict::Taken) return;
            refused = true;
            if (verdict == AnswerForm::Verdict::Refused) ++refusals;
        }
    };

    // Reads one memory byte: the read command, then its answer (NextAnswer)
    // within the per-byte wait, asked for again as Asking says. `refused`
    // tells a read that ended on something that was not an answer. `early`
    // takes an answer naming the address without the quiet time (NextAnswer).
    IoStatus ReadByte(std::uint32_t address, std::uint8_t& byte, bool& refused,
                      bool early = false) {
        const std::string command = GetReadCommand(address);
        const auto deadline = Clock::now() + std::chrono::milliseconds(Options().readByteWaitMs);
        Asking asking;
        IoStatus status = IoStatus::TimedOut;
        while (asking.Again()) {
            Io().Flush();
            status = Write(command, CancelFlagPtr());
            if (status != IoStatus::Ok) break;
            Listening listening(command);
            std::string answer;
            status = NextAnswer(listening, deadline, CancelFlagPtr(), answer,
                                early ? std::optional(address) : std::nullopt);
            if (status != IoStatus::Ok) break;
            const AnswerForm::Verdict verdict = form_.Judge(answer, address);
            asking.Note(verdict);
            if (verdict == AnswerForm::Verdict::Taken) {
                byte = AsciiToHex(answer.data() + kAnswerDataPos);
                break;
            }
            status = IoStatus::TimedOut;
        }
        refused = asking.refused;
        return status;
    }

    // A read that got no answer, a cancel or a port failure, reported.
    Outcome ReadFailed(IoStatus status, bool refused, const std::string& at,
                       const std::string& cancelled, const std::string& where) {
        if (status == IoStatus::Cancelled) return Cancelled(cancelled);
        if (status != IoStatus::TimedOut) return PortFailed(status, where);
        // As before: a read that got no answer ends; the transmitter stays
        // in its user interface, so the user may read again at once.
        Message(std::string(kReadFailedText) + "\r\n" + at +
                    (refused ? std::string("\r\n") + kNotAnAnswerText : ""),
                kReadCaption, Icon::None);
        return refused ? Outcome::Invalid : Outcome::NoAnswer;
    }

    Clock::time_point Start() const { return start_; }

private:
    TransferEngine& e_;
    Clock::time_point start_;
    std::int32_t stallMs_;
    std::int32_t quietMs_;
    AnswerForm form_; // learned from the first answer of this transfer
    bool wrote_ = false;
};

std::string TransferEngine::ReadProblem(const ReadItem& item) {
    const std::string name = "The item " + Quoted(item.name);
    if (item.size > kReadBufferSize) {
        return name + " has " + std::to_string(item.size) + " bytes; at most " +
               std::to_string(kReadBufferSize) +
               " bytes of one item can be read.\r\nIts value was left unchanged.";
    }
    if (item.size <= 0) return {};
    const std::int64_t last = std::int64_t{item.address} + item.size - 1;
    if (item.address < 0 || last > kMaxAddress) {
        return name + " at address " + DisplayLine::LongToString(item.address, true) + " with " +
               std::to_string(item.size) +
               " bytes lies outside the memory addresses 0 to ffff H.\r\nIts value was left "
               "unchanged.";
    }
    return {};
}

TransferEngine::TransferEngine(LinkIo& io, Ui& ui, TransferOptions options,
                               const CancelFlag* cancel, ProgressFn progress)
    : io_(io), ui_(ui), options_(std::move(options)), cancel_(cancel),
      progress_(std::move(progress)) {}

Outcome TransferEngine::WakeUp(std::int32_t waitMs, std::int32_t awakeWaitMs, bool* foundAwake,
                               std::string* version) {
    const std::int32_t firstMs = std::clamp(awakeWaitMs, 0, std::max(waitMs, 0));
    HoldingUi held(ui_);
    TransferEngine probe(io_, held, options_, cancel_, progress_);
    const auto start = Clock::now();
    std::string answer;
    Outcome outcome = probe.Start(firstMs);
    const bool woke = outcome == Outcome::Done;
    if (outcome == Outcome::NoAnswer) outcome = probe.QueryVersion(&answer);
    if (outcome == Outcome::Done) {
        if (foundAwake != nullptr) *foundAwake = !woke;
        if (version != nullptr && !woke) *version = answer;
        entered_ = true;
        return Outcome::Done;
    }
    // A port that went away or a cancel ends the start; any other answer
    // (none, or not in form) means asleep.
    if (outcome == Outcome::PortLost || outcome == Outcome::Cancelled) {
        held.Release();
        return outcome;
    }
    return Start(std::max<std::int32_t>(0, waitMs - MsBetween(start, Clock::now())));
}

Outcome TransferEngine::Start(std::int32_t waitMs) {
    Run run(*this);
    const char* what = "Waiting for the transmitter";
    const auto deadline = run.Start() + std::chrono::milliseconds(std::max(waitMs, 0));
    io_.Flush();
    run.Report(what, 0, 0, 0, 0, std::max(waitMs, 0));
    auto lastReport = Clock::now();
    for (;;) {
        const std::int32_t left = MsBetween(Clock::now(), deadline);
        if (left <= 0) break;
        const IoStatus status =
            io_.WaitForBytes(1, std::min(left, kProgressEveryMs), run.CancelFlagPtr());
        if (status == IoStatus::Cancelled || (status != IoStatus::Ok && run.CancelSet())) {
            return run.Cancelled("Starting was cancelled.\r\nCommunications were not started.");
        }
        if (status == IoStatus::PortLost || status == IoStatus::Stalled) {
            return run.PortFailed(status, "Communications were not started.");
        }
        if (status == IoStatus::Ok) {
            std::string received;
            run.TakeAll(received);
            if (received.find(kAck) != std::string::npos) {
                IoStatus answer = run.Write(std::string(1, kWakeAnswer), nullptr);
                if (answer == IoStatus::Ok) answer = run.Settle();
                if (answer != IoStatus::Ok) {
                    return run.PortFailed(answer, "Communications were not started.");
                }
                entered_ = true;
                return Outcome::Done;
            }
        }
        const auto now = Clock::now();
        if (MsBetween(lastReport, now) >= kProgressEveryMs || status == IoStatus::TimedOut) {
            run.Report(what, 0, 0, 0, 0, std::max(MsBetween(now, deadline), 0));
            lastReport = now;
        }
    }
    run.Message(kNoAnswerText, kCommsCaption, Icon::Exclamation);
    return Outcome::NoAnswer;
}

Outcome TransferEngine::Stop() {
    Run run(*this);
    IoStatus status = run.Write(options_.exitString, nullptr);
    if (status == IoStatus::Ok) status = run.Drain(nullptr);
    if (status != IoStatus::Ok) return run.PortFailed(status, "The exit string was not sent.");
    entered_ = false;
    return Outcome::Done;
}

Outcome TransferEngine::QueryVersion(std::string* version) {
    Run run(*this);
    const char* what = "Asking for the software version";
    const char* notRead = "The software version was not read.";
    run.Report(what, 0, 0, 0, 0);
    io_.Flush();
    IoStatus status = run.Write(kVersionRequest, run.CancelFlagPtr());
    std::string answer;
    bool received = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options_.versionWaitMs);
    while (status == IoStatus::Ok) {
        const std::int32_t left = MsBetween(Clock::now(), deadline);
        if (left <= 0) break;
        status = io_.WaitForBytes(1, left, run.CancelFlagPtr());
        if (status != IoStatus::Ok) break;
        std::string chunk;
        run.TakeAll(chunk);
        if (chunk.empty()) continue;
        received = true;
        answer += chunk.substr(0, kVersionKeep - std::min(answer.size(), kVersionKeep));
        if (chunk.back() == '\0') break;
    }
    if (status == IoStatus::Cancelled) {
        return run.Cancelled("Asking for the software version was cancelled.");
    }
    if (status == IoStatus::PortLost || status == IoStatus::Stalled) {
        return run.PortFailed(status, notRead);
    }

    const std::string text = answer.substr(0, answer.find('\0'));
    const std::string prefix = kVersionPrefix;
    if (received && text.rfind(prefix, 0) == 0) {
        const std::string shown = text.substr(prefix.size());
        if (version != nullptr) *version = shown;
        run.Message(shown, kVersionCaption, Icon::None);
        return Outcome::Done;
    }
    run.Message(received ? kBadVersionText : kNoVersionText, kVersionCaption, Icon::None);
    return received ? Outcome::Invalid : Outcome::NoAnswer;
}

Outcome TransferEngine::SendConfiguration(const std::vector<SendItem>& items) {
    return SendConfiguration(items, options_.readAfterWrite);
}

Outcome TransferEngine::SendConfiguration(const std::vector<SendItem>& items, bool verify) {
    Run run(*this);
    const std::int32_t waitMs = options_.responseWaitMs;
    const auto n = static_cast<std::int64_t>(items.size());
    std::int64_t total = 0;
    for (const auto& item : items)
        total += CommandCount(item.commands);

    std::int64_t done = 0;
    std::uint32_t lastAddress = 0;
    for (std::int64_t k = 0; k < n; ++k) {
        const SendItem& item = items[static_cast<std::size_t>(k)];
        const std::string counter = std::to_string(k + 1) + " of " + std::to_string(n);
        run.Report("Sending item " + counter, k + 1, n, done, total);
        if (run.CancelSet()) {
            return run.Cancelled("Sending was cancelled: " +
                                 DoneText(k, n, "items", "sent", "the rest were not") + ".");
        }
        const auto base = static_cast<std::uint32_t>(item.address);
        const Run::Sent sent = run.SendCommands(Upper(item.commands), verify, waitMs, base);
        lastAddress = sent.address;
        if (sent.status != IoStatus::Ok) {
            return run.PortFailed(sent.status, "Sending stopped at item " + counter + ", " +
                                                   Quoted(item.name) + " at address " +
                                                   AddressText(sent.address) + ".");
        }
        if (!sent.verified) {
            const std::string text =
                run.UnverifiedText(sent, "Item " + Quoted(item.name) + " at address " +
                                             AddressText(sent.address) + ".");
            // "Resend file.": the transmitter stays in its user interface.
            run.Message(text, kPttErrorTitle, Icon::Exclamation);
            return Run::Unverified(sent);
        }
        done += CommandCount(item.commands);
    }
    if (n > 0) {
        const IoStatus status = run.Drain(nullptr);
        if (status != IoStatus::Ok) {
            const SendItem& last = items.back();
            return run.PortFailed(status, "Sending stopped at item " + std::to_string(n) + " of " +
                                              std::to_string(n) + ", " + Quoted(last.name) +
                                              " at address " + AddressText(lastAddress) + ".");
        }
    }
    run.Report("Sent " + std::to_string(n) + " items", n, n, total, total);
    return Outcome::Done;
}

Outcome TransferEngine::ReadConfiguration(const std::vector<ReadItem>& items,
                                          const ApplyFn& apply) {
    Run run(*this);
    const auto n = static_cast<std::int64_t>(items.size());
    std::int64_t total = 0;
    for (const auto& item : items) {
        if (ReadProblem(item).empty() && item.size > 0) total += item.size;
    }

    std::int64_t done = 0;
    std::int64_t skipped = 0;
    for (std::int64_t i = 0; i < n; ++i) {
        const ReadItem& item = items[static_cast<std::size_t>(i)];
        const std::string counter = std::to_string(i + 1) + " of " + std::to_string(n);
        const std::string what = "Reading item " + counter;
        run.Report(what, i + 1, n, done, total);
        const std::string problem = ReadProblem(item);
        if (!problem.empty()) {
            run.Message(problem, kReadCaption, Icon::Exclamation);
            ++skipped;
            continue;
        }

        std::vector<std::uint8_t> bytes;
        for (std::int32_t k = 0; k < item.size; ++k) {
            const auto address = static_cast<std::uint32_t>(item.address + k);
            const std::string cancelled =
                "Reading was cancelled: " +
                DoneText(i, n, "items", "read", "the rest keep their values") + ".";
            if (run.CancelSet()) return run.Cancelled(cancelled);
            std::uint8_t byte = 0;
            bool refused = false;
            const IoStatus status = run.ReadByte(address, byte, refused);
            if (status != IoStatus::Ok) {
                const std::string at =
                    Quoted(item.name) + " at address " + AddressText(address) + ".";
                return run.ReadFailed(status, refused, "Item " + at, cancelled,
                                      "Reading stopped at item " + counter + ", " + at);
            }
            bytes.push_back(byte);
            run.Report(what, i + 1, n, ++done, total);
        }
        if (item.size <= 0) continue; // nothing read back: the value stays

        bool idValid = true;
        const std::optional<std::string> text = PttValueText(item.type, item.hex, bytes, idValid);
        if (!idValid) run.Message(kIdInvalidText, kIdInvalidCaption, Icon::None);
        if (text && apply) apply(static_cast<std::size_t>(i), *text);
    }
    run.Report("Read " + std::to_string(n - skipped) + " items", n, n, total, total);
    return Outcome::Done;
}

Outcome TransferEngine::ReadMemory(std::uint32_t address, std::int32_t count,
                                   std::vector<std::uint8_t>& out) {
    out.clear();
    const std::int64_t last = std::int64_t{address} + count - 1;
    if (count < 0 || address > kLastAddress || last > kLastAddress) {
        Run(*this).Message(
            "The " + std::to_string(count) + " bytes from address " + AddressText(address) +
                " lie outside the memory addresses 0 to ffff H.\r\nNothing was read.",
            kReadCaption, Icon::Exclamation);
        return Outcome::Refused;
    }
    std::vector<std::uint32_t> addresses(static_cast<std::size_t>(count));
    for (std::size_t k = 0; k < addresses.size(); ++k)
        addresses[k] = address + static_cast<std::uint32_t>(k);
    return ReadEach(addresses, out, "Reading memory", false);
}

Outcome TransferEngine::ReadBytes(const std::vector<std::uint32_t>& addresses,
                                  std::vector<std::uint8_t>& out) {
    out.clear();
    for (const std::uint32_t address : addresses) {
        if (address > kLastAddress) {
            Run(*this).Message("The address " + AddressText(address) +
                                   " lies outside the memory addresses 0 to ffff H.\r\nNothing "
                                   "was read.",
                               kReadCaption, Icon::Exclamation);
            return Outcome::Refused;
        }
    }
    return ReadEach(addresses, out, "Reading", true);
}

Outcome TransferEngine::ReadEach(const std::vector<std::uint32_t>& addresses,
                                 std::vector<std::uint8_t>& out, const std::string& lead,
                                 bool early) {
    Run run(*this);
    const auto count = static_cast<std::int64_t>(addresses.size());
    for (std::int64_t k = 0; k < count; ++k) {
        const std::string counter = std::to_string(k + 1) + " of " + std::to_string(count);
        run.Report("Reading byte " + counter, k + 1, count, k, count);
        const std::string cancelled =
            lead + " was cancelled: " + DoneText(k, count, "bytes", "read", "the rest were not") +
            ".";
        if (run.CancelSet()) return run.Cancelled(cancelled);
        const std::uint32_t at = addresses[static_cast<std::size_t>(k)];
        std::uint8_t byte = 0;
        bool refused = false;
        const IoStatus status = run.ReadByte(at, byte, refused, early);
        if (status != IoStatus::Ok) {
            return run.ReadFailed(
                status, refused, "Byte at address " + AddressText(at) + ".", cancelled,
                "Reading stopped at byte " + counter + ", at address " + AddressText(at) + ".");
        }
        out.push_back(byte);
    }
    run.Report("Read " + std::to_string(count) + " bytes", count, count, count, count);
    return Outcome::Done;
}

Outcome TransferEngine::SendProgram(const std::string& programText, std::uint32_t base) {
    Run run(*this);
    const ProgramPlan plan = BuildProgramCommands(programText, base);
    if (plan.status != ProgramStatus::Ok) {
        run.Message(plan.status == ProgramStatus::OddLength ? kInvalidProgramText
                                                            : kProgramTooLongText,
                    "", Icon::Exclamation);
        return Outcome::Refused;
    }
    const bool verify = options_.readAfterWrite;
    const std::int32_t waitMs = options_.responseWaitMs;
    const auto n = static_cast<std::int64_t>(plan.commands.size());
    Outcome outcome = Outcome::Done;
    std::uint32_t address = base;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::string counter = std::to_string(k + 1) + " of " + std::to_string(n);
        run.Report("Sending program byte " + counter, k + 1, n, k, n);
        if (run.CancelSet()) {
            return run.Cancelled("The program download was cancelled: " +
                                 DoneText(k, n, "bytes", "sent", "the rest were not") + ".");
        }
        const std::string command = Upper(plan.commands[static_cast<std::size_t>(k)]);
        address = CommandAddress(command, address);
        const Run::Sent sent = run.SendCommands(command, verify, waitMs, address);
        if (sent.status != IoStatus::Ok) {
            return run.PortFailed(sent.status, "The program download stopped at byte " + counter +
                                                   ", at address " + AddressText(address) + ".");
        }
        if (!sent.verified) {
            // Shown, and the download goes on.
            run.Message(
                run.UnverifiedText(sent, "Program byte at address " + AddressText(address) + "."),
                kPttErrorTitle, Icon::Exclamation);
            if (outcome != Outcome::Mismatch) outcome = Run::Unverified(sent);
        }
    }
    if (n > 0) {
        const IoStatus status = run.Drain(nullptr);
        if (status != IoStatus::Ok) {
            return run.PortFailed(status, "The program download stopped at byte " +
                                              std::to_string(n) + " of " + std::to_string(n) +
                                              ", at address " + AddressText(address) + ".");
        }
    }
    run.Report("Sent " + std::to_string(n) + " program bytes", n, n, n, n);
    return outcome;
}

Outcome TransferEngine::SendRaw(const std::string& bytes, const std::string& what) {
    Run run(*this);
    const auto total = static_cast<std::int64_t>(bytes.size());
    const auto pieces = static_cast<std::int64_t>((bytes.size() + kRawPiece - 1) / kRawPiece);
    const std::string sending = "Sending " + what;
    std::size_t sent = 0;
    auto stopped = [&] {
        return "Sending " + what + " stopped after " + std::to_string(sent) + " of " +
               std::to_string(total) + " bytes.";
    };
    auto cancelled = [&] {
        return "Sending " + what + " was cancelled: " +
               DoneText(static_cast<std::int64_t>(sent), total, "bytes", "sent",
                        "the rest were not") +
               ".";
    };
    for (std::int64_t piece = 0; sent < bytes.size(); ++piece) {
        run.Report(sending, piece + 1, pieces, static_cast<std::int64_t>(sent), total);
        if (run.CancelSet()) return run.Cancelled(cancelled());
        const std::size_t count = std::min(kRawPiece, bytes.size() - sent);
        std::size_t written = 0;
        const IoStatus status = run.Write(bytes.data() + sent, count, run.CancelFlagPtr(), written);
        sent += std::min(written, count);
        if (status == IoStatus::Cancelled) return run.Cancelled(cancelled());
        if (status != IoStatus::Ok) return run.PortFailed(status, stopped());
    }
    const IoStatus status = run.Drain(run.CancelFlagPtr());
    if (status == IoStatus::Cancelled) return run.Cancelled(cancelled());
    if (status != IoStatus::Ok) return run.PortFailed(status, stopped());
    run.Report(sending, pieces, pieces, total, total);
    return Outcome::Done;
}

} // namespace nimbrel
