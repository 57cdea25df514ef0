#include "app/mdiclient.h"

#include "app/mdichild.h"
#include "app/preferences.h"
#include "configwin/fleetdialog.h"
#include "configwin/historydialog.h"
#include "configwin/nimbrelwindow.h"
#include "fleet/history.h"
#include "link/linksession.h"
#include "platform/commandids.h"
#include "platform/options.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"
#include "resources/pictures.h"
#include "terminal/termwin.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

using nimbrel::Answer;
using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::Icon;
namespace cmd = nimbrel::cmd;

constexpr const char* kOneFileOpen = "One file is already open. Close it before proceeding";
constexpr const char* kNoTerminal = "You must have an open\r\nterminal window for this\r\ncommand";
constexpr const char* kNoConfig = "You must open a configuration file first.";
constexpr const char* kNotStarted = "You must first start PTT comunications.";
constexpr const char* kPassword = "Tolvar417";
constexpr int kChildMinHeight = 200;
constexpr int kTerminalWidth = 640;

bool NeedsTerminal(int id) {
    switch (id) {
    case cmd::kLog:
    case cmd::kLogClose:
    case cmd::kReadMemory:
    case cmd::kSendProgram:
    case cmd::kSendString:
    case cmd::kUserCommand:
        return true;
    default:
        return false;
    }
}

bool NeedsStarted(int id) {
    return id == cmd::kStop || id == cmd::kSendConfig || id == cmd::kPttVersion ||
           id == cmd::kReadConfig || id == cmd::kCompare;
}

bool IsWindowCommand(int id) {
    return id == cmd::kCascade || id == cmd::kTile || id == cmd::kArrangeIcons ||
           id == cmd::kCloseAll;
}

void Refuse(const char* text, const char* caption) {
    CurrentUi().MessageBox(text, caption, Buttons::Ok, Icon::Exclamation);
}

} // namespace

QStringList DroppedFiles(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

namespace {

class FileDrops : public QObject {
public:
    FileDrops(QObject* parent, std::function<void(const QStringList&)> dropped)
        : QObject(parent), dropped_(std::move(dropped)) {}

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!DroppedFiles(drag->mimeData()).isEmpty()) drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = DroppedFiles(drop->mimeData());
            if (paths.isEmpty()) return true;
            drop->acceptProposedAction();
            dropped_(paths);
            return true;
        }
        default:
            return false;
        }
    }

private:
    std::function<void(const QStringList&)> dropped_;
};

} // namespace

void TakeFileDrops(QWidget* target, std::function<void(const QStringList&)> dropped) {
    target->setAcceptDrops(true);
    target->installEventFilter(new FileDrops(target, std::move(dropped)));
}

TNimbrelMDIClient::TNimbrelMDIClient(QWidget* parent, nimbrel::LinkSession* link)
    : QMdiArea(parent), link_(link) {
    if (link_ == nullptr) {
        ownLink_ = std::make_unique<nimbrel::LinkSession>();
        link_ = ownLink_.get();
    }
    // The link tells from its own threads; the news is taken on this one.
    link_->SetLostHandler([this](const std::string& reason) {
        QMetaObject::invokeMethod(
            this, [this, reason] { LinkLost(reason); }, Qt::QueuedConnection);
    });
    link_->SetStateHandler([this] {
        QMetaObject::invokeMethod(this, &TNimbrelMDIClient::LinkStateChanged, Qt::QueuedConnection);
    });
    setObjectName(QStringLiteral("mdiClient"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setBackground(QColor(0x6b, 0x7f, 0x99));
    const auto dropped = [this](const QStringList& paths) { emit FilesDropped(paths); };
    TakeFileDrops(this, dropped);
    TakeFileDrops(viewport(), dropped);
}

TNimbrelMDIClient::~TNimbrelMDIClient() {
    // The child windows report their closing to this client, so they go first,
    // including frames that were closed but whose deletion is still pending.
    const auto frames = findChildren<TNimbrelMDIChild*>();
    for (QPointer<TNimbrelMDIChild> frame : frames)
        delete frame.data();
    link_->SetLostHandler({});
    link_->SetStateHandler({});
}

void TNimbrelMDIClient::ComStart(bool started) {
    link_->SetStarted(started);
}

bool TNimbrelMDIClient::GetUserMode() const {
    return link_->Started();
}

void TNimbrelMDIClient::LinkLost(const std::string& reason) {
    // During a transfer the transfer reports it and releases the port.
    if (link_->Busy() || !link_->Lost()) return;
    const std::string device = link_->Device();
    link_->Close();
    CurrentUi().StatusText("The serial port " + device + " went away (" + reason +
                           "); it was closed.");
    emit LinkStateChanged();
}

bool TNimbrelMDIClient::HandlesCommand(int id) const {
    switch (id) {
    case cmd::kFileNew:
    case cmd::kFileOpen:
    case cmd::kPreferences:
    case cmd::kEnterPassword:
    case cmd::kStart:
    case cmd::kHistory:
    case cmd::kProgramFleet:
        return true;
    case cmd::kOpenTerminal:
        return true;
    default:
        break;
    }
    if (NeedsTerminal(id) || NeedsStarted(id)) return true;
    if (IsWindowCommand(id)) return !subWindowList().isEmpty();
    return false;
}

void TNimbrelMDIClient::ExecuteCommand(int id) {
    switch (id) {
    case cmd::kFileNew:
        CmFileNew();
        return;
    case cmd::kFileOpen:
        CmFileOpen();
        return;
    case cmd::kPreferences:
        CmPref();
        return;
    case cmd::kOpenTerminal:
        CmOpemterminal();
        return;
    case cmd::kEnterPassword:
        CmEnterpassword();
        return;
    case cmd::kCascade:
        cascadeSubWindows();
        return;
    case cmd::kTile:
        tileSubWindows();
        return;
    case cmd::kArrangeIcons:
        ArrangeIcons();
        return;
    case cmd::kCloseAll:
        closeAllSubWindows();
        return;
    case cmd::kHistory:
        CmHistory();
        return;
    case cmd::kProgramFleet:
        if (configCount_ == 0 || config_ == nullptr) {
            Refuse(kNoConfig, "Nimbrel Notice");
            return;
        }
        CmProgramFleet();
        return;
    case cmd::kStart:
        if (configCount_ == 0) {
            Refuse(kNoConfig, "Nimbrel Notice");
            return;
        }
        Forward(id);
        return;
    default:
        break;
    }
    if (NeedsTerminal(id)) {
        if (!terminalOpen_ || terminal_ == nullptr) {
            Refuse(kNoTerminal, "Error");
            return;
        }
        ForwardTerminal(id);
    } else if (NeedsStarted(id)) {
        if (configCount_ == 0 || !link_->Started()) {
            Refuse(kNotStarted, "Error");
            return;
        }
        Forward(id);
    }
}

void TNimbrelMDIClient::Forward(int id) {
    // The window may close while a command waits for the transmitter.
    const QPointer<TNimbrelWindow> window(config_);
    if (window.isNull()) return;
    switch (id) {
    case cmd::kStart:
        window->CmStart();
        break;
    case cmd::kStop:
        window->CmStop();
        break;
    case cmd::kPttVersion:
        window->CmPttversion();
        break;
    // The closing notices only follow an operation that succeeded; a
    // failure has been reported by the window or the link.
    case cmd::kSendConfig:
        if (window->CmSendfile()) {
            CurrentUi().MessageBox(window->SentText(), "", Buttons::Ok, Icon::None);
        }
        // After the send's own result: a record the history did not take.
        if (!window.isNull()) window->TellHistoryProblem();
        break;
    case cmd::kReadConfig:
        if (window->ReadConfig()) {
            CurrentUi().MessageBox("Configuration read.", "", Buttons::Ok, Icon::None);
        }
        break;
    case cmd::kCompare:
        window->CmCompare();
        break;
    default:
        break;
    }
}

void TNimbrelMDIClient::CmFileNew() {
    if (configCount_ >= 1) {
        CurrentUi().MessageBox(kOneFileOpen, "", Buttons::Ok, Icon::None);
        return;
    }
    CreateConfigWindow("", QString());
}

void TNimbrelMDIClient::CmFileOpen() {
    nimbrel::FileRequest request;
    request.save = false;
    request.filter = "Configuration files (*.cfg)|*.cfg|All Files (*.*)|*.*|";
    request.defaultExt = "cfg";
    request.mustExist = true;
    request.pathMustExist = true;
    request.overwritePrompt = true;
    const auto path = CurrentUi().ChooseFile(request);
    if (path && !path->empty()) OpenFile(*path);
}

void TNimbrelMDIClient::OpenFile(const std::string& path) {
    if (configCount_ >= 1) {
        CurrentUi().MessageBox(kOneFileOpen, "", Buttons::Ok, Icon::None);
        return;
    }
    CreateConfigWindow(path, QFile::decodeName(path.c_str()));
    emit FileOpened(QFile::decodeName(path.c_str()));
}

void TNimbrelMDIClient::CreateConfigWindow(const std::string& path, const QString& title) {
    auto* window = new TNimbrelWindow(this, this, path);
    auto* frame = new TNimbrelMDIChild(this, title, window);
    window->SetMDIChild(frame);
    config_ = window;
    configFrame_ = frame;
    configCount_ = 1;
    // A window destroyed without its close query (its frame deleted) is gone too.
    connect(window, &QObject::destroyed, this, [this, window] {
        if (config_ == window) CloseConfigWindow();
    });
    connect(frame, &QObject::destroyed, this, [this, frame] {
        if (configFrame_ == frame) configFrame_ = nullptr;
    });
    frame->setWindowIcon(nimbrel::res::Icon(nimbrel::res::kConfigIcon));
    // Wide enough for the rows and markers at any font scale (as the room
    // allows), three quarters of the area high.
    const QSize area = viewport()->size();
    const int rowsWidth = frame->sizeHint().width();
    frame->resize(std::min(area.width(), std::max(rowsWidth, area.width() * 3 / 4)),
                  std::max(kChildMinHeight, area.height() * 3 / 4));
    frame->show();
    window->SetupWindow();
    // In simple mode the form stands in for the frame. A window that left
    // simple mode during set-up (not a PTT configuration) stays in view.
    if (nimbrel::Settings::Get(nimbrel::keys::kOpenSimpleMode) != 0 && config_ == window &&
        window->SimpleMode) {
        frame->hide();
    }
}

void TNimbrelMDIClient::CmPref() {
    Preferences dlg(this);
    dlg.exec();
}

void TNimbrelMDIClient::CmHistory() {
    HistoryDialog dlg(this, nimbrel::ConfiguredHistoryPath());
    dlg.exec();
}

void TNimbrelMDIClient::CmProgramFleet() {
    // The devices Preferences offers, and the one the settings name (a
    // simulator's pseudo-terminal, say).
    const auto listPorts = [] {
        QStringList ports = ListSerialDevices();
        const QString configured = QFile::decodeName(nimbrel::ReadLinkOptions().device.c_str());
        if (!configured.isEmpty() && !ports.contains(configured)) ports << configured;
        return ports;
    };
    FleetDialog dlg(this, config_->Items, config_->SensorCount, config_->GetFileName(), listPorts);
    dlg.exec();
}

void TNimbrelMDIClient::CmOpemterminal() {
    TermOpen(false);
}

void TNimbrelMDIClient::TermOpen(bool minimised) {
    if (terminalOpen_) {
        // Start asks for it minimised and leaves an open one where it is.
        if (!minimised) BringForward(terminalFrame_);
        return;
    }
    terminalOpen_ = true;
    auto* window = new TermWin(nullptr, static_cast<TermHost*>(this), "");
    auto* frame = new TNimbrelMDIChild(this, QStringLiteral("Terminal Window Viewer"), window);
    terminal_ = window;
    terminalFrame_ = frame;
    connect(frame, &QObject::destroyed, this, [this, frame] {
        if (terminalFrame_ == frame) terminalFrame_ = nullptr;
    });
    // Along the bottom right, below the rows of a configuration window.
    const QSize area = viewport()->size();
    const QSize size(std::min(area.width(), kTerminalWidth),
                     std::min(area.height(), std::max(kChildMinHeight, area.height() * 2 / 5)));
    frame->resize(size);
    frame->move(std::max(0, area.width() - size.width()),
                std::max(0, area.height() - size.height()));
    if (minimised) {
        frame->showMinimized();
    } else {
        frame->show();
    }
    window->SetupWindow();
}

void TNimbrelMDIClient::ForwardTerminal(int id) {
    switch (id) {
    case cmd::kLog:
        terminal_->CmLog();
        break;
    case cmd::kLogClose:
        terminal_->CmLogclose();
        break;
    case cmd::kReadMemory:
        terminal_->CmReadmemory();
        break;
    case cmd::kSendProgram:
        terminal_->CmSendprog();
        break;
    case cmd::kSendString:
        terminal_->CmSendstring();
        break;
    case cmd::kUserCommand:
        terminal_->CmUsercommand();
        break;
    default:
        break;
    }
}

void TNimbrelMDIClient::CloseTerminalWindow() {
    terminalOpen_ = false;
    terminal_ = nullptr;
    terminalFrame_ = nullptr;
}

void TNimbrelMDIClient::CmEnterpassword() {
    const auto text = CurrentUi().InputText("", "Enter system password: ", "", 254);
    if (!text) return;
    if (*text == kPassword) {
        password_ = true;
        CurrentUi().MessageBox("You may now modify the configuration.\n\rChanges to the "
                               "configuration may\n\rrender this product inopperable",
                               "", Buttons::Ok, Icon::Exclamation);
    } else {
        CurrentUi().MessageBox("You have entered an incorrect password", "", Buttons::Ok,
                               Icon::Exclamation);
    }
}

void TNimbrelMDIClient::CloseConfigWindow() {
    configCount_ = 0;
    config_ = nullptr;
}

void TNimbrelMDIClient::FillCommandList(std::vector<std::string>& names) const {
    if (config_ != nullptr) config_->FillCommandList(names);
}

void TNimbrelMDIClient::GetCommand(std::string& text) const {
    if (config_ != nullptr) config_->GetCommand(text);
}

void TNimbrelMDIClient::ArrangeIcons() {
    const int width = viewport()->width();
    int x = 0;
    int bottom = viewport()->height();
    const auto frames = subWindowList();
    for (QMdiSubWindow* frame : frames) {
        if (!frame->isMinimized() || frame->isHidden()) continue;
        const QSize size = frame->size();
        if (x > 0 && x + size.width() > width) {
            x = 0;
            bottom -= size.height();
        }
        frame->move(x, bottom - size.height());
        x += size.width();
    }
}

void TNimbrelMDIClient::BringForward(QMdiSubWindow* frame) {
    if (frame == nullptr) return;
    if (frame->isHidden()) frame->show();
    if (frame->isMinimized()) frame->showNormal();
    frame->raise();
    setActiveSubWindow(frame);
}
