#include "terminal/termwin.h"

#include "engine/transferengine.h"
#include "link/linksession.h"
#include "link/protocol.h"
#include "terminal/termhost.h"
#include "terminal/transferrunner.h"
#include "platform/commandids.h"
#include "platform/ui.h"

#include <QFontDatabase>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QVBoxLayout>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::Icon;

constexpr const char* kNeedPassword = "This function requires the system password";
constexpr const char* kFileSent = "File sent.";
constexpr const char* kCommandPrompt = "Enter command string (255 characters max)";
constexpr int kCommandMaxChars = 255;
constexpr const char* kBasePrompt =
    "Enter the EEPROM base address for the program in hex\n\rexample b600";
constexpr int kBaseMaxChars = 255;
constexpr const char* kReadCaption = "Read a byte";
constexpr const char* kReadPrompt = "Please enter the address(in hex) of the byte to read";
constexpr int kReadMaxChars = 10;
constexpr int kAddressDigits = 4;
// The display breaks a line that grows longer than this.
constexpr std::int32_t kLineMax = 256;

void Exclaim(const std::string& text, const std::string& caption = "") {
    CurrentUi().MessageBox(text, caption, Buttons::Ok, Icon::Exclamation);
}

std::string FullName(const std::string& path) {
    std::error_code ec;
    const auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

bool IsUpperHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

} // namespace

TermWin::TermWin(QWidget* parent, TermHost* host, const char* title)
    : QWidget(parent), host_(host) {
    if (host_ != nullptr) {
        link_ = &host_->Link();
    } else {
        ownLink_ = std::make_unique<nimbrel::LinkSession>();
        link_ = ownLink_.get();
    }
    setWindowTitle(QString::fromLocal8Bit(title != nullptr ? title : ""));
    display_ = new QPlainTextEdit(this);
    display_->setObjectName(QStringLiteral("terminalDisplay"));
    display_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    display_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    display_->setUndoRedoEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(display_);
    setFocusProxy(display_);
}

TermWin::~TermWin() {
    if (!closed_) TidyUp();
}

void TermWin::TidyUp() {
    // Done when the close is agreed, not when the window is deleted later:
    // by then a new terminal may have opened the port again.
    closed_ = true;
    link_->SetTrafficSink({});
    CmLogclose();
    CmTermclose();
    if (host_ != nullptr) host_->CloseTerminalWindow();
}

void TermWin::SetupWindow() {
    // Runs on the receive thread: hand the text to the UI thread and return.
    // Calls still queued when the window goes are dropped with it.
    link_->SetTrafficSink([this](const std::string& text, std::int32_t rawCount) {
        QMetaObject::invokeMethod(
            this, [this, text, rawCount] { ShowReceived(text, rawCount); }, Qt::QueuedConnection);
    });
    if (!link_->IsOpen()) link_->Open();
    display_->setReadOnly(true);
}

bool TermWin::HandlesCommand(int id) const {
    return id == nimbrel::cmd::kSendFile;
}

void TermWin::ExecuteCommand(int id) {
    if (id == nimbrel::cmd::kSendFile) CmTerminalfile();
}

bool TermWin::CanClose() {
    if (TransferRunner* running = TransferRunner::Current(); running != nullptr && link_->Busy()) {
        const auto answer = CurrentUi().MessageBox(
            "A transfer with the transmitter is running.\r\nCancel it and close the terminal "
            "window?",
            "", Buttons::YesNo, Icon::Question);
        if (answer == nimbrel::Answer::Yes) {
            QPointer<QWidget> frame(parentWidget());
            running->CancelThen([frame] {
                if (!frame.isNull()) frame->close();
            });
        }
        return false;
    }
    TidyUp();
    return true;
}

bool TermWin::GetPassword() const {
    return host_ != nullptr && host_->GetPassword();
}

bool TermWin::GetUserMode() const {
    return link_->Started();
}

bool TermWin::RequirePassword() const {
    if (GetPassword()) return true;
    Exclaim(kNeedPassword);
    return false;
}

bool TermWin::Send(const std::string& bytes, const std::string& what) {
    if (bytes.empty()) return true;
    if (!link_->IsOpen()) return false; // nothing while no port is open
    return TransferRunner::Run(this, *link_, QStringLiteral("Terminal"),
                               [&bytes, &what](nimbrel::TransferEngine& engine) {
                                   return engine.SendRaw(bytes, what);
                               }) == nimbrel::Outcome::Done;
}

void TermWin::ShowReceived(const std::string& text, std::int32_t rawCount) {
    if (nimbrel::DisplayNeedsTrim(displayLength_, rawCount)) {
        const std::string shown = display_->toPlainText().toStdString();
        const std::string kept = nimbrel::TrimDisplayText(shown, displayLength_);
        display_->setPlainText(QString::fromStdString(kept));
        const auto lastBreak = kept.rfind('\n');
        blockLength_ = static_cast<std::int32_t>(
            lastBreak == std::string::npos ? kept.size() : kept.size() - lastBreak - 1);
    }

    // The display breaks lines at LF: a CR LF pair (also one split across
    // two chunks) and a lone CR each make one line break. A line without a
    // break (the wake-up bytes of a transmitter asleep) is broken every
    // kLineMax characters, so that appending never lays out one ever-growing
    // paragraph again.
    QString shownText;
    shownText.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' && (i > 0 ? text[i - 1] == '\r' : endedWithCr_)) continue;
        if (c == '\r' || c == '\n') {
            shownText += QLatin1Char('\n');
            blockLength_ = 0;
            continue;
        }
        if (blockLength_ >= kLineMax) {
            shownText += QLatin1Char('\n');
            blockLength_ = 0;
        }
        shownText += QLatin1Char(c);
        ++blockLength_;
    }
    if (!text.empty()) endedWithCr_ = text.back() == '\r';
    displayLength_ += static_cast<std::int32_t>(shownText.size());

    QTextCursor cursor(display_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shownText);
    display_->setTextCursor(cursor);
    display_->ensureCursorVisible();
}

void TermWin::CmLog() {
    // A log already open is closed first, so it keeps what it received.
    CmLogclose();

    nimbrel::FileRequest request;
    request.filter = "Log Files|*.log";
    request.defaultExt = "log";
    request.pathMustExist = true;
    const auto path = CurrentUi().ChooseFile(request);
    if (!path || path->empty()) return;

    const std::string name = FullName(*path);
    if (!link_->OpenLog(name)) {
        Exclaim("Cannot open the log file " + name + ".\r\nLogging is off.", "Error");
        return;
    }
    CurrentUi().StatusText("Logging to " + name);
}

void TermWin::CmLogclose() {
    if (!link_->IsLogging()) return;
    link_->CloseLog();
    CurrentUi().StatusText("");
}

void TermWin::CmTermclose() {
    link_->Close(); // the port, and the communications-started state
    if (link_->IsLogging()) link_->CloseLog();
}

void TermWin::CmSendstring() {
    if (GetUserMode() && !GetPassword()) {
        Exclaim(kNeedPassword);
        return;
    }
    const auto text = CurrentUi().InputText("", kCommandPrompt, "", kCommandMaxChars);
    if (!text) return;
    Send(text->substr(0, kCommandMaxChars), "the interface command");
}

void TermWin::CmTerminalfile() {
    if (!RequirePassword()) return;
    nimbrel::FileRequest request;
    request.filter = "Unformated Binary Files|*.*";
    request.pathMustExist = true;
    const auto path = CurrentUi().ChooseFile(request);
    if (!path || path->empty()) return;

    std::ifstream in(*path, std::ios::binary);
    if (!in) {
        Exclaim("Cannot open the file " + FullName(*path) + ".\r\nNothing was sent.", "Error");
        return;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A send that did not complete has said why.
    if (!Send(bytes, "the file")) return;
    CurrentUi().MessageBox(kFileSent, "", Buttons::Ok, Icon::None);
}

void TermWin::CmSendprog() {
    if (!RequirePassword()) return;
    nimbrel::FileRequest request;
    request.filter = "Program Files|*.prg";
    request.defaultExt = "prg";
    request.pathMustExist = true;
    const auto path = CurrentUi().ChooseFile(request);
    if (!path || path->empty()) return;
    const auto base = CurrentUi().InputText("", kBasePrompt, "", kBaseMaxChars);
    if (!base) return;

    std::string program;
    if (!nimbrel::ReadProgramText(*path, program)) {
        Exclaim("Cannot open the program file " + FullName(*path) + ".\r\nNothing was sent.",
                "Error");
        return;
    }
    if (!link_->IsOpen()) return; // nothing while no port is open
    const std::uint32_t first = nimbrel::ParseBaseAddress(*base);
    const nimbrel::Outcome outcome =
        TransferRunner::Run(this, *link_, QStringLiteral("Send program"),
                            [&program, first](nimbrel::TransferEngine& engine) {
                                return engine.SendProgram(program, first);
                            });
    // A refused, cancelled or broken-off download has said why; failed
    // verifications were shown and the download went on to the end.
    using nimbrel::Outcome;
    if (outcome == Outcome::Refused || outcome == Outcome::Cancelled ||
        outcome == Outcome::PortLost) {
        return;
    }
    CurrentUi().MessageBox(kFileSent, "", Buttons::Ok, Icon::None);
}

void TermWin::CmReadmemory() {
    const auto input = CurrentUi().InputText(kReadCaption, kReadPrompt, "", kReadMaxChars);
    if (!input) return;
    std::string address = input->substr(0, kAddressDigits);
    for (char& c : address)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    bool hex = address.size() == static_cast<std::size_t>(kAddressDigits);
    for (char c : address)
        hex = hex && IsUpperHexDigit(c);
    if (!hex) {
        Exclaim("Value must be in hex", "Input error");
        return;
    }
    Send("R" + address + "00", "the memory read");
}
