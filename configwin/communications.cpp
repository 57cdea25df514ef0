// The configuration window's transmitter commands: start (the wake-up
// handshake), stop (the exit string), the software version, reading the
// configuration out of the transmitter's memory and sending it in, and the
// user command list. The link is the terminal window's; every wait serves
// events, so the program stays responsive while the transmitter answers.
#include "configwin/nimbrelwindow.h"

#include "app/mdiclient.h"
#include "link/protocol.h"
#include "link/termwin.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QPointer>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::DisplayLine;
using nimbrel::Icon;

namespace {

constexpr const char* kCommsCaption = "Communications error";
constexpr const char* kStartFirst = "You must start PTT communications first";
constexpr const char* kNoAnswer = "No communication from PTT";
constexpr const char* kStarted = "Communications started";
constexpr const char* kVersionCaption = "Software version";
constexpr const char* kNoVersion = "No version information available";
constexpr const char* kBadVersion = "Invalid response from PTT";
constexpr const char* kReadCaption = "Read Error";
constexpr const char* kReadFailed = "Error reading data";
constexpr const char* kBusy = "Another transmitter command is still running.\r\nWait until it "
                              "has finished.";
constexpr const char* kChangedWhileSending =
    "The configuration was changed while it was being sent.\r\nThe rest was not sent.";
constexpr const char* kChangedWhileReading =
    "The configuration was changed while it was being read.\r\nThe rest was not read.";

// The exit string is sent as this many characters.
constexpr std::size_t kExitLength = 7;
// Bytes of one item that a read can take.
constexpr std::int32_t kReadBufferSize = 256;

void Exclaim(const std::string& text, const std::string& caption) {
    CurrentUi().MessageBox(text, caption, Buttons::Ok, Icon::Exclamation);
}

void Progress(const char* what, std::int32_t k, std::int32_t n) {
    CurrentUi().StatusText(std::string(what) + " configuration: item " + std::to_string(k) +
                           " of " + std::to_string(n));
}

// Why an item cannot be read as it is, or "" when it can.
std::string ReadProblem(const DisplayLine& item) {
    const std::string name = "The item \"" + item.GetName() + "\"";
    const std::int32_t size = item.GetSize();
    if (size > kReadBufferSize) {
        return name + " has " + std::to_string(size) + " bytes; at most " +
               std::to_string(kReadBufferSize) +
               " bytes of one item can be read.\r\nIts value was left unchanged.";
    }
    if (size <= 0) return {};
    const std::int64_t last = std::int64_t{item.GetAddress()} + size - 1;
    if (item.GetAddress() < 0 || last > nimbrel::kMaxAddress) {
        return name + " at address " + DisplayLine::LongToString(item.GetAddress(), true) +
               " with " + std::to_string(size) +
               " bytes lies outside the memory addresses 0 to ffff H.\r\nIts value was left "
               "unchanged.";
    }
    return {};
}

// Marks the window busy with a transmitter command for one scope.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy_;
};

} // namespace

TermWin* TNimbrelWindow::Terminal() const {
    if (MDIClient == nullptr || !MDIClient->TermWindowOpen()) return nullptr;
    return MDIClient->TerminalWindow();
}

bool TNimbrelWindow::CommBusy() {
    if (!commBusy_) return false;
    Exclaim(kBusy, kCommsCaption);
    return true;
}

bool TNimbrelWindow::EnableCommPort(bool enable) {
    TermWin* term = Terminal();
    if (term == nullptr) return false;
    if (!enable) {
        term->EnableCommPort(false);
        CommEnabled = false;
        return true;
    }
    // A terminal opened after an earlier one closed may still lack its port.
    if (CommEnabled && term->IsPortEnabled()) return true;
    CommEnabled = term->EnableCommPort(true);
    return CommEnabled;
}

bool TNimbrelWindow::CmStart() {
    if (CommBusy()) return false;
    BusyScope busy(commBusy_);
    if (MDIClient != nullptr) MDIClient->TermOpen(true);
    if (!EnableCommPort(true)) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }

    // Closing the terminal window during the wait ends it at once.
    const QPointer<TermWin> term(Terminal());
    const auto result = term->WaitForWake(nimbrel::StartWaitMs(), [this, &term] {
        return !term.isNull() && MDIClient->TermWindowOpen();
    });
    if (result != nimbrel::Transport::WakeResult::Answered) {
        // The port stays open: a later Start tries again on it.
        Exclaim(kNoAnswer, kCommsCaption);
        return false;
    }
    MDIClient->ComStart(true);
    CurrentUi().MessageBox(kStarted, "", Buttons::Ok, Icon::None);
    return true;
}

void TNimbrelWindow::SendExitString() {
    TermWin* term = Terminal();
    if (term == nullptr) return;
    std::string exit = nimbrel::Settings::Get(nimbrel::keys::kStopAbort);
    // A shorter string is sent as it is, with nothing after it.
    if (exit.size() > kExitLength) exit.resize(kExitLength);
    term->WriteComm(exit.data(), static_cast<std::int32_t>(exit.size()));
}

bool TNimbrelWindow::CmStop() {
    if (CommBusy()) return false;
    if (Terminal() == nullptr) return false;
    SendExitString();
    return true;
}

bool TNimbrelWindow::CmPttversion() {
    if (CommBusy()) return false;
    BusyScope busy(commBusy_);
    TermWin* term = Terminal();
    if (term == nullptr) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }
    const TermWin::Hold hold(term);
    const auto answer = term->QueryVersion();
    using Kind = nimbrel::Transport::VersionAnswer::Kind;
    const std::string text = answer.kind == Kind::Valid  ? answer.text
                             : answer.kind == Kind::None ? kNoVersion
                                                         : kBadVersion;
    CurrentUi().MessageBox(text, kVersionCaption, Buttons::Ok, Icon::None);
    return answer.kind == Kind::Valid;
}

bool TNimbrelWindow::ReadConfig() {
    if (CommBusy()) return false;
    BusyScope busy(commBusy_);
    const QPointer<TermWin> term(Terminal());
    if (term.isNull()) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }
    const TermWin::Hold hold(term.data());

    bool complete = true;
    const std::int32_t count = ItemCount();
    auto stillThere = [this, count](std::int32_t i, const DisplayLine* item) {
        return ItemCount() == count && Items[static_cast<std::size_t>(i)].get() == item;
    };
    for (std::int32_t i = 0; i < count; ++i) {
        if (ItemCount() != count) {
            Exclaim(kChangedWhileReading, kReadCaption);
            complete = false;
            break;
        }
        DisplayLine* item = Items[static_cast<std::size_t>(i)].get();
        Progress("Reading", i + 1, count);
        const std::string problem = ReadProblem(*item);
        if (!problem.empty()) {
            Exclaim(problem, kReadCaption);
            complete = false;
            continue;
        }

        const std::int32_t size = item->GetSize();
        const auto address = static_cast<std::uint32_t>(item->GetAddress());
        std::vector<std::uint8_t> bytes;
        bool failed = false;
        for (std::int32_t k = 0; k < size && !failed; ++k) {
            std::optional<std::uint8_t> byte;
            if (!term.isNull() && MDIClient->TermWindowOpen()) {
                byte = term->ReadMemoryByte(address + static_cast<std::uint32_t>(k));
            }
            if (!byte) {
                CurrentUi().MessageBox(kReadFailed, kReadCaption, Buttons::Ok, Icon::None);
                failed = true;
            } else {
                bytes.push_back(*byte);
            }
        }
        if (failed) {
            complete = false;
            break;
        }
        if (!stillThere(i, item)) {
            Exclaim(kChangedWhileReading, kReadCaption);
            complete = false;
            break;
        }
        // An item without bytes has nothing read back: its value stays.
        if (size > 0) item->SetFromPttBytes(bytes);
    }
    CurrentUi().StatusText("");
    client_->update();
    return complete;
}

bool TNimbrelWindow::CmSendfile() {
    if (CommBusy()) return false;
    BusyScope busy(commBusy_);
    const QPointer<TermWin> term(Terminal());
    const TermWin::Hold hold(term.data());
    if (term.isNull()) CommEnabled = false;
    if (!CommEnabled) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }

    // Nothing is sent unless every item can be sent whole.
    std::int32_t toSend = 0;
    for (const auto& item : Items) {
        if (item->GetType() == nimbrel::kTypeUserCommand) continue;
        ++toSend;
        std::string problem;
        if (!item->CheckPttValue(problem)) {
            Exclaim(problem + "\r\nNothing was sent.", kCommsCaption);
            return false;
        }
    }

    const std::int32_t count = ItemCount();
    std::int32_t sent = 0;
    bool ok = true;
    for (std::int32_t i = 0; i < count && ok; ++i) {
        if (ItemCount() != count) {
            Exclaim(kChangedWhileSending, kCommsCaption);
            ok = false;
            break;
        }
        const DisplayLine& item = *Items[static_cast<std::size_t>(i)];
        if (item.GetType() == nimbrel::kTypeUserCommand) continue;
        Progress("Sending", ++sent, toSend);
        std::string commands = item.GetPttValue();
        if (term.isNull() || !MDIClient->TermWindowOpen()) {
            Exclaim(kStartFirst, kCommsCaption);
            ok = false;
        } else {
            // A transmitter that does not take an item has been reported.
            ok = term->SendPttData(commands);
        }
    }
    CurrentUi().StatusText("");
    return ok;
}

void TNimbrelWindow::FillCommandList(std::vector<std::string>& names) const {
    for (const auto& item : Items) {
        if (item->GetType() == nimbrel::kTypeUserCommand) names.push_back(item->GetName());
    }
}

void TNimbrelWindow::GetCommand(std::string& text) const {
    for (const auto& item : Items) {
        if (item->GetName() == text) text = item->GetValueText().substr(0, nimbrel::kMaxItemText);
    }
}
