#include "app/mainframe.h"

#include "app/keylocks.h"
#include "app/mdichild.h"
#include "app/mdiclient.h"
#include "app/recentfiles.h"
#include "configwin/memorymappanel.h"
#include "configwin/qttext.h"
#include "link/linksession.h"
#include "platform/commandids.h"
#include "platform/ui.h"
#include "resources/pictures.h"
#include "terminal/termwin.h"
#include "terminal/transferrunner.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <utility>

namespace cmd = nimbrel::cmd;

namespace {

bool IsEditCommand(int id) {
    return id == cmd::kEditUndo || id == cmd::kEditCut || id == cmd::kEditCopy ||
           id == cmd::kEditPaste || id == cmd::kEditClear;
}

QLabel* Indicator(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(text);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
    label->setEnabled(false);
    return label;
}

} // namespace

QWidget* FocusedTextEdit() {
    QWidget* w = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<QTextEdit*>(w) != nullptr ||
        qobject_cast<QPlainTextEdit*>(w) != nullptr) {
        return w;
    }
    return nullptr;
}

TNimbrelFrame::TNimbrelFrame(nimbrel::CommandTarget* app, QWidget* parent,
                             nimbrel::LinkSession* link)
    : QMainWindow(parent), app_(app) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Nimbrel"));
    setWindowIcon(nimbrel::res::Icon(nimbrel::res::kAppIcon));
    TakeFileDrops(this, [this](const QStringList& paths) { emit FilesDropped(paths); });

    client_ = new TNimbrelMDIClient(this, link);
    setCentralWidget(client_);
    connect(client_, &TNimbrelMDIClient::FilesDropped, this, &TNimbrelFrame::FilesDropped);
    connect(client_, &QMdiArea::subWindowActivated, this, &TNimbrelFrame::UpdateCommandStates);
    connect(client_, &TNimbrelMDIClient::LinkStateChanged, this,
            &TNimbrelFrame::UpdateCommandStates);

    // The memory map of the configuration window, beside it.
    mapPanel_ = new MemoryMapPanel(this);
    addDockWidget(Qt::RightDockWidgetArea, mapPanel_);
    mapPanel_->Restore();
    connect(client_, &QMdiArea::subWindowActivated, this,
            [this] { mapPanel_->SetWindow(client_->ConfigWindow()); });

    BuildMenus();
    BuildToolBar();
    BuildStatusBar();

    // Command states follow events (focus, the active child, the link, each
    // command) and menus refresh as they open; nothing polls while idle.
    connect(qApp, &QApplication::focusChanged, this, &TNimbrelFrame::UpdateCommandStates);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this] { UpdateLocks(); });
    qApp->installEventFilter(this);
    UpdateLocks();
}

TNimbrelFrame::~TNimbrelFrame() {
    qApp->removeEventFilter(this);
    disconnect(qApp, nullptr, this, nullptr);
    // The child windows go while the frame is whole: they may still report
    // to the client or show messages as they close.
    disconnect(client_, nullptr, this, nullptr);
    delete client_;
    client_ = nullptr;
}

QAction* TNimbrelFrame::AddCommand(QMenu* menu, const QString& text, int id, const QString& hint,
                                   const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setData(id);
    action->setObjectName(QStringLiteral("cmd%1").arg(id));
    action->setStatusTip(hint);
    if (!key.isEmpty()) action->setShortcut(key);
    action->setEnabled(false);
    connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
    if (menu != nullptr) menu->addAction(action);
    addAction(action); // accelerators work while the frame is active
    actions_[id] = action;
    return action;
}

void TNimbrelFrame::BuildMenus() {
    QMenuBar* bar = menuBar();
    BuildFileMenu(bar);
    QMenu* view = RefreshOnShow(bar->addMenu(QStringLiteral("&View")));
    AddCommand(view, QStringLiteral("&Simple"), cmd::kViewSimple, {}, QKeySequence(Qt::Key_F1));
    QAction* map = AddCommand(view, QStringLiteral("&Memory map"), cmd::kViewMemoryMap,
                              QStringLiteral("Shows where each item lies in the transmitter's "
                                             "memory"));
    map->setCheckable(true);
    map->setChecked(!mapPanel_->isHidden());
    connect(mapPanel_->toggleViewAction(), &QAction::toggled, map, &QAction::setChecked);
    BuildSensorMenu(bar);
    BuildPttMenu(bar);
    BuildTerminalMenu(bar);
    QMenu* password = RefreshOnShow(bar->addMenu(QStringLiteral("P&assword")));
    AddCommand(password, QStringLiteral("&Enter Password"), cmd::kEnterPassword,
               QStringLiteral("Enter system password to allow configuration modification"));
    BuildWindowMenu(bar);
    BuildHelpMenu(bar);
    BuildKeyOnlyCommands();
}

QMenu* TNimbrelFrame::RefreshOnShow(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, this, &TNimbrelFrame::UpdateCommandStates);
    return menu;
}

void TNimbrelFrame::BuildFileMenu(QMenuBar* bar) {
    fileMenu_ = bar->addMenu(QStringLiteral("&File"));
    // Besides the fixed accelerators: the keys users expect of New, Open,
    // Save, Save As, Print and Exit, shown in the menu.
    AddCommand(fileMenu_, QStringLiteral("&New"), cmd::kFileNew,
               QStringLiteral("Creates a new document"), QKeySequence(Qt::CTRL | Qt::Key_N));
    AddCommand(fileMenu_, QStringLiteral("&Open..."), cmd::kFileOpen,
               QStringLiteral("Opens an existing document"), QKeySequence(Qt::CTRL | Qt::Key_O));
    fileMenu_->addSeparator();
    AddCommand(fileMenu_, QStringLiteral("&Preferences"), cmd::kPreferences, {});
    fileMenu_->addSeparator();
    AddCommand(fileMenu_, QStringLiteral("&Print Configuration"), cmd::kPrintConfig,
               QStringLiteral("Prints the configuration file"), QKeySequence(Qt::CTRL | Qt::Key_P));
    AddCommand(fileMenu_, QStringLiteral("Print Pre&view"), cmd::kPrintPreview,
               QStringLiteral("Shows the printed pages of the configuration"));
    fileMenu_->addSeparator();
    AddCommand(fileMenu_, QStringLiteral("&Save"), cmd::kFileSave,
               QStringLiteral("Saves the active document"), QKeySequence(Qt::CTRL | Qt::Key_S));
    AddCommand(fileMenu_, QStringLiteral("Save &As..."), cmd::kFileSaveAs,
               QStringLiteral("Sets PTT communication settings"),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    fileMenu_->addSeparator();
    exit_ = AddCommand(fileMenu_, QStringLiteral("E&xit"), cmd::kExit,
                       QStringLiteral("Quits Nimbrel and prompts to save the documents"));
    // The menu shows the first key, Ctrl+Q as on every Linux desktop; the
    // original Alt+F4 works too.
    exit_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::ALT | Qt::Key_F4)});
    connect(fileMenu_, &QMenu::aboutToShow, this, [this] {
        RefreshRecentFiles();
        UpdateCommandStates();
    });
}

void TNimbrelFrame::BuildSensorMenu(QMenuBar* bar) {
    QMenu* sensor = RefreshOnShow(bar->addMenu(QStringLiteral("&Sensor configuration")));
    AddCommand(sensor, QStringLiteral("&Modify Sensor"), cmd::kModifySensor,
               QStringLiteral("Edits a sensor"));
    AddCommand(sensor, QStringLiteral("&Delete an item"), cmd::kDeleteItem,
               QStringLiteral("Deletes a sensor or configuration item"));
    AddCommand(sensor, QStringLiteral("Add &Item"), cmd::kAddItem,
               QStringLiteral("Adds a blank sensor item"));
    QMenu* add = RefreshOnShow(sensor->addMenu(QStringLiteral("Add a sensor")));
    AddCommand(add, QStringLiteral("Add a &sensor"), cmd::kAddSensor,
               QStringLiteral("Adds a sensor"));
    AddCommand(add, QStringLiteral("Add &serial communications"), cmd::kAddSerial,
               QStringLiteral("Adds settings for a serial port"));
    AddCommand(add, QStringLiteral("&ARGOS &Transmitter"), cmd::kAddTransmitter,
               QStringLiteral("Adds a new ARGOS transmitter"));
    AddCommand(add, QStringLiteral("Add &GPS"), cmd::kAddGps,
               QStringLiteral("Adds a GPS type sensor"));
}

void TNimbrelFrame::BuildPttMenu(QMenuBar* bar) {
    QMenu* ptt = RefreshOnShow(bar->addMenu(QStringLiteral("&PTT Communications")));
    AddCommand(ptt, QStringLiteral("&Start"), cmd::kStart,
               QStringLiteral("Initiates PTT communications"));
    AddCommand(ptt, QStringLiteral("Read software &version"), cmd::kPttVersion,
               QStringLiteral("Reads the software version from ROM"));
    AddCommand(ptt, QStringLiteral("&Read configuration"), cmd::kReadConfig,
               QStringLiteral("Reads the values from EEPROM into the configuration file for "
                              "display"));
    AddCommand(ptt, QStringLiteral("Co&mpare with transmitter"), cmd::kCompare,
               QStringLiteral("Reads the transmitter's values and lists the items that differ"));
    AddCommand(ptt, QStringLiteral("Send &Configuration"), cmd::kSendConfig,
               QStringLiteral("Sends the configuration file to the unit"));
    AddCommand(ptt, QStringLiteral("S&top"), cmd::kStop,
               QStringLiteral("Terminates a PTT communication session"));
    ptt->addSeparator();
    AddCommand(ptt, QStringLiteral("&History"), cmd::kHistory,
               QStringLiteral("Lists every configuration sent, to which unit, when and how it "
                              "ended"));
    AddCommand(ptt, QStringLiteral("Program a &fleet\u2026"), cmd::kProgramFleet,
               QStringLiteral("Sends the configuration to many transmitters at once, each with "
                              "its own PTT ID"));
}

void TNimbrelFrame::BuildTerminalMenu(QMenuBar* bar) {
    QMenu* terminal = RefreshOnShow(bar->addMenu(QStringLiteral("&Terminal")));
    AddCommand(terminal, QStringLiteral("&Open terminal window"), cmd::kOpenTerminal,
               QStringLiteral("Opens a terminal window"));
    terminal->addSeparator();
    AddCommand(terminal, QStringLiteral("Read &memory"), cmd::kReadMemory, {});
    terminal->addSeparator();
    AddCommand(terminal, QStringLiteral("&Send interface command"), cmd::kSendString,
               QStringLiteral("Sends a string to the PTT with no format checking"));
    AddCommand(terminal, QStringLiteral("Send &File"), cmd::kSendFile, {});
    AddCommand(terminal, QStringLiteral("Send &user command"), cmd::kUserCommand, {});
    AddCommand(terminal, QStringLiteral("Send &program"), cmd::kSendProgram,
               QStringLiteral("Sends an unformatted string to the PTT"));
    terminal->addSeparator();
    AddCommand(terminal, QStringLiteral("&Log to file"), cmd::kLog,
               QStringLiteral("Logs the incommong data to a file"));
    AddCommand(terminal, QStringLiteral("&Close log file"), cmd::kLogClose, {});
}

void TNimbrelFrame::BuildWindowMenu(QMenuBar* bar) {
    windowMenu_ = bar->addMenu(QStringLiteral("&Window"));
    AddCommand(windowMenu_, QStringLiteral("&Cascade"), cmd::kCascade,
               QStringLiteral("Cascades open windows"));
    AddCommand(windowMenu_, QStringLiteral("&Tile"), cmd::kTile,
               QStringLiteral("Tiles open windows"));
    AddCommand(windowMenu_, QStringLiteral("Arrange &Icons"), cmd::kArrangeIcons,
               QStringLiteral("Arranges iconic windows along bottom"));
    AddCommand(windowMenu_, QStringLiteral("C&lose All"), cmd::kCloseAll,
               QStringLiteral("Closes all open windows"));
    windowListSeparator_ = windowMenu_->addSeparator();
    windowListSeparator_->setVisible(false);
    connect(windowMenu_, &QMenu::aboutToShow, this, [this] {
        RefreshWindowList();
        UpdateCommandStates();
    });
}

void TNimbrelFrame::BuildHelpMenu(QMenuBar* bar) {
    QMenu* help = RefreshOnShow(bar->addMenu(QStringLiteral("&Help")));
    AddCommand(help, QStringLiteral("&Help Main Screen"), cmd::kHelpMain,
               QStringLiteral("Displays an index of help items"));
    AddCommand(help, QStringLiteral("&About..."), cmd::kHelpAbout,
               QStringLiteral("About the Nimbrel application"));
}

void TNimbrelFrame::BuildKeyOnlyCommands() {
    // Commands with keys but no menu item: the focused text edit's edit
    // commands and find next (which nothing handles).
    AddCommand(nullptr, QStringLiteral("Cut"), cmd::kEditCut, {},
               QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    AddCommand(nullptr, QStringLiteral("Copy"), cmd::kEditCopy, {},
               QKeySequence(Qt::CTRL | Qt::Key_Insert));
    AddCommand(nullptr, QStringLiteral("Paste"), cmd::kEditPaste, {},
               QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    AddCommand(nullptr, QStringLiteral("Clear"), cmd::kEditClear, {},
               QKeySequence(Qt::CTRL | Qt::Key_Delete));
    AddCommand(nullptr, QStringLiteral("Undo"), cmd::kEditUndo, {},
               QKeySequence(Qt::ALT | Qt::Key_Backspace));
    AddCommand(nullptr, QStringLiteral("Find Next"), cmd::kFindNext, {}, QKeySequence(Qt::Key_F3));
}

void TNimbrelFrame::BuildToolBar() {
    toolBar_ = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar_->setObjectName(QStringLiteral("toolBar"));
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(20, 20));
    QFont font = toolBar_->font();
    font.setPointSize(10);
    toolBar_->setFont(font);

    auto button = [this](int id, const QString& tip) {
        QAction* a = Action(id);
        a->setIcon(QIcon(nimbrel::res::ToolbarImage(id)));
        a->setToolTip(tip);
        toolBar_->addAction(a);
    };
    auto gap = [this](int width) {
        auto* spacer = new QWidget(toolBar_);
        spacer->setObjectName(QStringLiteral("gap%1").arg(width));
        spacer->setFixedWidth(width);
        toolBar_->addWidget(spacer);
    };
    button(cmd::kFileNew, QStringLiteral("New"));
    button(cmd::kFileOpen, QStringLiteral("Open"));
    button(cmd::kFileSave, QStringLiteral("Save"));
    gap(6);
    button(cmd::kAddItem, QStringLiteral("Add item"));
    button(cmd::kAddSensor, QStringLiteral("Add a sensor"));
    gap(24);
    button(cmd::kEditCut, QStringLiteral("Cut"));
    button(cmd::kEditCopy, QStringLiteral("Copy"));
    button(cmd::kEditPaste, QStringLiteral("Paste"));
    gap(24);
    button(cmd::kStart, QStringLiteral("Start"));
    button(cmd::kSendConfig, QStringLiteral("Send configuration"));
    button(cmd::kUserCommand, QStringLiteral("Send user command"));
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void TNimbrelFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    caps_ = Indicator(QStringLiteral("CAPS"), bar);
    num_ = Indicator(QStringLiteral("NUM"), bar);
    scroll_ = Indicator(QStringLiteral("SCRL"), bar);
    bar->addPermanentWidget(caps_);
    bar->addPermanentWidget(num_);
    bar->addPermanentWidget(scroll_);
}

void TNimbrelFrame::UpdateLocks() {
    const nimbrel::LockState s = nimbrel::ReadLockState();
    caps_->setEnabled(s.known && s.caps);
    num_->setEnabled(s.known && s.num);
    scroll_->setEnabled(s.known && s.scroll);
}

QAction* TNimbrelFrame::Action(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

nimbrel::CommandTarget* TNimbrelFrame::TargetFor(int id) const {
    if (QMdiSubWindow* current = client_->currentSubWindow()) {
        if (auto* child = dynamic_cast<nimbrel::CommandTarget*>(current->widget())) {
            if (child->HandlesCommand(id)) return child;
        }
    }
    if (client_->HandlesCommand(id)) return client_;
    if (app_ != nullptr && app_->HandlesCommand(id)) return app_;
    if (mapPanel_->HandlesCommand(id)) return mapPanel_;
    return nullptr;
}

bool TNimbrelFrame::CommandEnabled(int id) const {
    // While a transfer runs, only help is offered.
    if (client_->Link().Busy()) return id == cmd::kHelpMain || id == cmd::kHelpAbout;
    if (IsEditCommand(id)) return FocusedTextEdit() != nullptr;
    return TargetFor(id) != nullptr;
}

void TNimbrelFrame::UpdateCommandStates() {
    for (const auto& [id, action] : actions_)
        action->setEnabled(CommandEnabled(id));
    for (QAction* a : std::as_const(recentActions_)) {
        if (!a->isSeparator()) a->setEnabled(CommandEnabled(a->data().toInt()));
    }
}

void TNimbrelFrame::ExecuteCommand(int id) {
    if (IsEditCommand(id)) {
        RunEditCommand(id);
        return;
    }
    if (nimbrel::CommandTarget* target = TargetFor(id)) target->ExecuteCommand(id);
    UpdateCommandStates();
}

void TNimbrelFrame::RunEditCommand(int id) {
    QWidget* w = FocusedTextEdit();
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        switch (id) {
        case cmd::kEditUndo:
            line->undo();
            break;
        case cmd::kEditCut:
            line->cut();
            break;
        case cmd::kEditCopy:
            line->copy();
            break;
        case cmd::kEditPaste:
            line->paste();
            break;
        case cmd::kEditClear:
            line->del();
            break;
        default:
            break;
        }
        return;
    }
    auto run = [id](auto* edit) {
        switch (id) {
        case cmd::kEditUndo:
            edit->undo();
            break;
        case cmd::kEditCut:
            edit->cut();
            break;
        case cmd::kEditCopy:
            edit->copy();
            break;
        case cmd::kEditPaste:
            edit->paste();
            break;
        case cmd::kEditClear: {
            if (!edit->isReadOnly()) {
                QTextCursor c = edit->textCursor();
                c.removeSelectedText();
                edit->setTextCursor(c);
            }
            break;
        }
        default:
            break;
        }
    };
    if (auto* text = qobject_cast<QTextEdit*>(w)) run(text);
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) run(plain);
}

void TNimbrelFrame::RefreshRecentFiles() {
    for (QAction* a : std::as_const(recentActions_)) {
        fileMenu_->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    const auto entries = nimbrel::RecentFiles().Entries();
    if (entries.empty()) return;
    for (const auto& e : entries) {
        const int id = cmd::kMruFirst + e.slot;
        auto* a = new QAction(
            QStringLiteral("&%1 %2").arg(e.slot + 1).arg(nimbrel::ShownText(e.path)), fileMenu_);
        a->setData(id);
        a->setObjectName(QStringLiteral("cmd%1").arg(id));
        connect(a, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        fileMenu_->insertAction(exit_, a);
        recentActions_ << a;
    }
    auto* separator = new QAction(fileMenu_);
    separator->setSeparator(true);
    fileMenu_->insertAction(exit_, separator);
    recentActions_ << separator;
}

void TNimbrelFrame::RefreshWindowList() {
    for (QAction* a : std::as_const(windowActions_)) {
        windowMenu_->removeAction(a);
        a->deleteLater();
    }
    windowActions_.clear();
    int n = 0;
    const auto frames = client_->subWindowList();
    for (QMdiSubWindow* frame : frames) {
        ++n;
        // A hidden frame (simple mode) is listed too, so it can always be reached.
        const QString title = frame->windowTitle().isEmpty() ? QStringLiteral("(new configuration)")
                                                             : frame->windowTitle();
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(n).arg(title), windowMenu_);
        a->setCheckable(true);
        a->setChecked(frame == client_->currentSubWindow() && !frame->isHidden());
        QPointer<QMdiSubWindow> target(frame);
        connect(a, &QAction::triggered, this, [this, target] { client_->BringForward(target); });
        windowMenu_->addAction(a);
        windowActions_ << a;
    }
    windowListSeparator_->setVisible(n > 0);
}

void TNimbrelFrame::closeEvent(QCloseEvent* event) {
    // A transfer running: offer to cancel it and close once it has ended.
    if (TransferRunner* running = TransferRunner::Current()) {
        event->ignore();
        const QPointer<TNimbrelFrame> self(this);
        running->OfferCancelThen("exit", [self] {
            if (!self.isNull()) self->close();
        });
        return;
    }
    // Every child window must agree before any of them closes. The terminal
    // is asked last: its close query already reports it closed.
    auto frames = client_->subWindowList();
    std::stable_sort(frames.begin(), frames.end(), [](QMdiSubWindow* a, QMdiSubWindow* b) {
        return qobject_cast<TermWin*>(a->widget()) == nullptr &&
               qobject_cast<TermWin*>(b->widget()) != nullptr;
    });
    for (QMdiSubWindow* frame : frames) {
        auto* child = qobject_cast<TNimbrelMDIChild*>(frame);
        if (child != nullptr && !child->QueryClose()) {
            event->ignore();
            return;
        }
    }
    for (QMdiSubWindow* frame : frames) {
        if (auto* child = qobject_cast<TNimbrelMDIChild*>(frame)) {
            child->CloseAgreed();
        } else {
            frame->close();
        }
    }
    event->accept();
}

bool TNimbrelFrame::eventFilter(QObject* watched, QEvent* event) {
    // The lock keys change with key presses: refresh once after them.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        !locksPending_) {
        locksPending_ = true;
        QTimer::singleShot(0, this, [this] {
            locksPending_ = false;
            UpdateLocks();
        });
    }
    // The frame's edit accelerators win over a text edit's own use of the
    // same keys (Ctrl+Del deletes a word in a line edit, not the selection).
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence seq(key->keyCombination());
        for (int id :
             {cmd::kEditCut, cmd::kEditCopy, cmd::kEditPaste, cmd::kEditClear, cmd::kEditUndo}) {
            QAction* a = Action(id);
            if (a->shortcut() == seq && FocusedTextEdit() == watched &&
                FocusedTextEdit()->window() == this) {
                a->setEnabled(true);
                return true; // left unaccepted: the shortcut map takes the key
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
