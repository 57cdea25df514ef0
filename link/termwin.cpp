#include "link/termwin.h"

#include "app/commandids.h"
#include "app/mdiclient.h"
#include "link/protocol.h"
#include "platform/ui.h"

#include <QFontDatabase>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>

namespace {

using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::Icon;

constexpr const char* kNeedPassword = "This function requires the system password";
constexpr const char* kFileSent = "File sent.";
constexpr const char* kBusy =
    "Another transmitter command is still running.\r\nWait until it has finished.";
constexpr const char* kCommandPrompt = "Enter command string (255 characters max)";
constexpr int kCommandMaxChars = 255;
constexpr const char* kBasePrompt =
    "Enter the EEPROM base address for the program in hex\n\rexample b600";
constexpr int kBaseMaxChars = 255;
constexpr const char* kReadCaption = "Read a byte";
constexpr const char* kReadPrompt = "Please enter the address(in hex) of the byte to read";
constexpr int kReadMaxChars = 10;
constexpr int kAddressDigits = 4;

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

TermWin::TermWin(QWidget* parent, TNimbrelMDIClient* client, const char* title)
    : QWidget(parent), client_(client) {
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

    // Runs on the receive thread: hand the text to the UI thread and return.
    // Calls still queued when the window goes are dropped with it.
    SetDisplaySink([this](const std::string& text, std::int32_t rawCount) {
        QMetaObject::invokeMethod(
            this, [this, text, rawCount] { ShowReceived(text, rawCount); }, Qt::QueuedConnection);
    });
}

TermWin::~TermWin() {
    ClosePort();
    CmLogclose();
    CmTermclose();
    SetDisplaySink({});
    EnableCommPort(false);
    // A terminal opened after this one closed is not ours to forget.
    if (client_ != nullptr &&
        (client_->TerminalWindow() == this || client_->TerminalWindow() == nullptr)) {
        client_->CloseTerminalWindow();
    }
}

void TermWin::SetupWindow() {
    EnableCommPort(true);
    StartMonitor();
    display_->setReadOnly(true);
}

bool TermWin::HandlesCommand(int id) const {
    return id == nimbrel::cmd::kSendFile;
}

void TermWin::ExecuteCommand(int id) {
    if (id == nimbrel::cmd::kSendFile) CmTerminalfile();
}

bool TermWin::CanClose() {
    if (holds_ > 0) {
        Exclaim(kBusy, "Communications error");
        return false;
    }
    if (client_ != nullptr) client_->CloseTerminalWindow();
    return true;
}

TNimbrelMDIClient* TermWin::MDIClient() const {
    return client_;
}

bool TermWin::GetPassword() const {
    return client_ != nullptr && client_->GetPassword();
}

bool TermWin::GetUserMode() const {
    return client_ != nullptr && client_->GetUserMode();
}

bool TermWin::RequirePassword() const {
    if (GetPassword()) return true;
    Exclaim(kNeedPassword);
    return false;
}

void TermWin::ShowReceived(const std::string& text, std::int32_t rawCount) {
    if (nimbrel::DisplayNeedsTrim(displayLength_, rawCount)) {
        const std::string shown = display_->toPlainText().toStdString();
        const std::string kept = nimbrel::TrimDisplayText(shown, displayLength_);
        display_->setPlainText(QString::fromStdString(kept));
    }

    // The display breaks lines at LF: a CR LF pair (also one split across
    // two chunks) and a lone CR each make one line break.
    QString shownText;
    shownText.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' && (i > 0 ? text[i - 1] == '\r' : endedWithCr_)) continue;
        shownText += QLatin1Char(c == '\r' ? '\n' : c);
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
    if (!OpenLog(name)) {
        Exclaim("Cannot open the log file " + name + ".\r\nLogging is off.", "Error");
        return;
    }
    CurrentUi().StatusText("Logging to " + name);
}

void TermWin::CmLogclose() {
    if (!IsLogging()) return;
    CloseLog();
    CurrentUi().StatusText("");
}

void TermWin::CmTermclose() {
    ClosePort();
    if (client_ != nullptr) client_->ComStart(false);
    if (IsLogging()) CloseLog();
}

void TermWin::CmSendstring() {
    if (GetUserMode() && !GetPassword()) {
        Exclaim(kNeedPassword);
        return;
    }
    const auto text = CurrentUi().InputText("", kCommandPrompt, "", kCommandMaxChars);
    if (!text) return;
    const std::string command = text->substr(0, kCommandMaxChars);
    WriteComm(command.data(), static_cast<std::int32_t>(command.size()));
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
    char byte;
    while (in.get(byte))
        WriteComm(&byte, 1);
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
    // A refused program has said why; it was not sent.
    const Hold hold(this);
    if (SendProgram(program, nimbrel::ParseBaseAddress(*base)) != nimbrel::ProgramStatus::Ok) {
        return;
    }
    CurrentUi().MessageBox(kFileSent, "", Buttons::Ok, Icon::None);
}

void TermWin::CmReadmemory() {
    const auto input = CurrentUi().InputText(kReadCaption, kReadPrompt, "", kReadMaxChars);
    if (!input) return;
    std::string address = input->substr(0, kAddressDigits);
    nimbrel::Transport::StringToUpperCase(address.data());
    bool hex = address.size() == static_cast<std::size_t>(kAddressDigits);
    for (char c : address)
        hex = hex && IsUpperHexDigit(c);
    if (!hex) {
        Exclaim("Value must be in hex", "Input error");
        return;
    }
    const std::string command = "R" + address + "00";
    WriteComm(command.data(), static_cast<std::int32_t>(command.size()));
}
