#include "terminal/termwin.h"

#include "engine/transferengine.h"
#include "link/linksession.h"
#include "link/protocol.h"
#include "terminal/termhost.h"
#include "terminal/transferrunner.h"
#include "platform/commandids.h"
#include "platform/options.h"
#include "platform/text.h"
#include "platform/ui.h"

#include <QFontDatabase>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QVBoxLayout>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
// Received bytes waiting for the display at most; older batches go first.
// The display would trim them away anyway.
constexpr std::int32_t kInboxMaxRaw = nimbrel::kDisplayTrimAt;

void Exclaim(const std::string& text, const std::string& caption = "") {
    CurrentUi().MessageBox(text, caption, Buttons::Ok, Icon::Exclamation);
}

std::string SystemReason(int error) {
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string FullName(const std::string& path) {
    std::error_code ec;
    const auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

bool IsUpperHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Length of the shown form of one byte that starts at `at`: "{/ACK/}",
// "{NAK}", "{ NULL}", "{ 0x1b}", else one character.
std::size_t ShownFormLength(const std::string& text, std::size_t at) {
    if (text[at] != '{') return 1;
    for (const std::string_view form : {"{/ACK/}", "{NAK}", "{ NULL}"}) {
        if (text.compare(at, form.size(), form) == 0) return form.size();
    }
    auto hex = [&](std::size_t i) {
        return i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    };
    if (text.compare(at, 4, "{ 0x") == 0 && hex(at + 4) && hex(at + 5) && at + 6 < text.size() &&
        text[at + 6] == '}') {
        return 7;
    }
    return 1;
}

// Reads a regular file whole; false with the reason when it cannot be.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = SystemReason(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        reason = "it is not a regular file";
        return false;
    }
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            reason = SystemReason(errno);
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
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
    link_->Port().SetLogFailedHandler({});
    CmLogclose();
    CmTermclose();
    if (host_ != nullptr) host_->CloseTerminalWindow();
}

void TermWin::SetupWindow() {
    // Both run on the receive thread: they hand over to the UI thread and
    // return. Calls still queued when the window goes are dropped with it.
    link_->SetTrafficSink(
        [this](const std::string& text, std::int32_t rawCount) { Receive(text, rawCount); });
    link_->Port().SetLogFailedHandler([this](const std::string& message) {
        QMetaObject::invokeMethod(
            this, [this, message] { LogFailed(message); }, Qt::QueuedConnection);
    });
    if (!link_->IsOpen() && !link_->Open(nimbrel::ReadLinkOptions())) {
        CurrentUi().MessageBox(link_->LastOpenError().Message(), "", Buttons::Ok,
                               Icon::Exclamation);
    }
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
        const QPointer<QWidget> frame(parentWidget());
        running->OfferCancelThen("close the terminal window", [frame] {
            if (!frame.isNull()) frame->close();
        });
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

bool TermWin::RequireOpenPort() const {
    if (link_->IsOpen()) return true;
    const std::string device = link_->Device();
    Exclaim("The serial port " + (device.empty() ? std::string() : device + " ") +
                "is not open.\r\nNothing was sent.",
            "Error");
    return false;
}

bool TermWin::Send(const std::string& bytes, const std::string& what) {
    if (bytes.empty()) return true;
    if (!RequireOpenPort()) return false;
    return TransferRunner::Run(this, *link_, QStringLiteral("Terminal"),
                               [&bytes, &what](nimbrel::TransferEngine& engine) {
                                   return engine.SendRaw(bytes, what);
                               }) == nimbrel::Outcome::Done;
}

void TermWin::Receive(const std::string& text, std::int32_t rawCount) {
    std::lock_guard<std::mutex> guard(inboxLock_);
    inbox_.push_back({text, rawCount});
    inboxRaw_ += rawCount;
    while (inboxRaw_ > kInboxMaxRaw && inbox_.size() > 1) {
        inboxRaw_ -= inbox_.front().rawCount;
        inbox_.pop_front();
        inboxDropped_ = true;
    }
    if (updatePosted_) return;
    updatePosted_ = true;
    QMetaObject::invokeMethod(
        this, [this] { ShowPending(); }, Qt::QueuedConnection);
}

void TermWin::ShowPending() {
    std::deque<Batch> batches;
    bool dropped = false;
    {
        std::lock_guard<std::mutex> guard(inboxLock_);
        batches.swap(inbox_);
        std::swap(dropped, inboxDropped_);
        inboxRaw_ = 0;
        updatePosted_ = false;
    }
    // Text was left out: the display starts afresh, so what it shows stays
    // one unbroken stretch of what was received.
    if (dropped) {
        shown_.clear();
        displayLength_ = 0;
        blockLength_ = 0;
        endedWithCr_ = false;
    }
    const std::size_t before = shown_.size();
    bool trimmed = false;
    for (const Batch& batch : batches) {
        if (AddToShown(batch.text, batch.rawCount)) trimmed = true;
    }
    if (trimmed || dropped) {
        display_->setPlainText(
            QString::fromLatin1(shown_.data(), static_cast<qsizetype>(shown_.size())));
    } else if (shown_.size() > before) {
        QTextCursor end(display_->document());
        end.movePosition(QTextCursor::End);
        end.insertText(QString::fromLatin1(shown_.data() + before,
                                           static_cast<qsizetype>(shown_.size() - before)));
    }
    QTextCursor cursor(display_->document());
    cursor.movePosition(QTextCursor::End);
    display_->setTextCursor(cursor);
    display_->ensureCursorVisible();
}

bool TermWin::AddToShown(const std::string& text, std::int32_t rawCount) {
    const bool trim = nimbrel::DisplayNeedsTrim(displayLength_, rawCount);
    if (trim) {
        shown_ = nimbrel::TrimDisplayText(shown_, displayLength_);
        const auto lastBreak = shown_.rfind('\n');
        blockLength_ = static_cast<std::int32_t>(
            lastBreak == std::string::npos ? shown_.size() : shown_.size() - lastBreak - 1);
    }

    // The display breaks lines at LF: a CR LF pair (also one split across
    // two chunks) and a lone CR each make one line break. A line without a
    // break (the wake-up bytes of a transmitter asleep) is broken before a
    // byte's shown form that would take it past kLineMax characters, so that
    // appending never lays out one ever-growing paragraph again and a form
    // stays whole.
    const std::size_t before = shown_.size();
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\n' && (i > 0 ? text[i - 1] == '\r' : endedWithCr_)) {
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            shown_ += '\n';
            blockLength_ = 0;
            ++i;
            continue;
        }
        const std::size_t length = ShownFormLength(text, i);
        if (blockLength_ > 0 && blockLength_ + static_cast<std::int32_t>(length) > kLineMax) {
            shown_ += '\n';
            blockLength_ = 0;
        }
        shown_.append(text, i, length);
        blockLength_ += static_cast<std::int32_t>(length);
        i += length;
    }
    if (!text.empty()) endedWithCr_ = text.back() == '\r';
    displayLength_ += static_cast<std::int32_t>(shown_.size() - before);
    return trim;
}

void TermWin::LogFailed(const std::string& message) {
    if (!link_->IsLogging()) CurrentUi().StatusText("");
    Exclaim(message, "Error");
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
    if (!RequireOpenPort()) return;
    const auto text = CurrentUi().InputText("", kCommandPrompt, "", kCommandMaxChars);
    if (!text) return;
    Send(text->substr(0, kCommandMaxChars), "the interface command");
}

void TermWin::CmTerminalfile() {
    if (!RequirePassword() || !RequireOpenPort()) return;
    nimbrel::FileRequest request;
    request.filter = "Unformated Binary Files|*.*";
    request.pathMustExist = true;
    const auto path = CurrentUi().ChooseFile(request);
    if (!path || path->empty()) return;

    // The file is read whole before anything goes out: a read error sends nothing.
    std::string bytes;
    std::string reason;
    if (!ReadWholeFile(*path, bytes, reason)) {
        Exclaim("Cannot read the file " + FullName(*path) + ": " + reason +
                    ".\r\nNothing was sent.",
                "Error");
        return;
    }
    // A send that did not complete has said why.
    if (!Send(bytes, "the file")) return;
    CurrentUi().MessageBox(kFileSent, "", Buttons::Ok, Icon::None);
}

void TermWin::CmSendprog() {
    if (!RequirePassword() || !RequireOpenPort()) return;
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
    if (!RequireOpenPort()) return; // the port went away meanwhile
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
    if (!RequireOpenPort()) return;
    const auto input = CurrentUi().InputText(kReadCaption, kReadPrompt, "", kReadMaxChars);
    if (!input) return;
    const std::string address = nimbrel::Upper(input->substr(0, kAddressDigits));
    bool hex = address.size() == static_cast<std::size_t>(kAddressDigits);
    for (char c : address)
        hex = hex && IsUpperHexDigit(c);
    if (!hex) {
        Exclaim("Value must be in hex", "Input error");
        return;
    }
    Send("R" + address + "00", "the memory read");
}
