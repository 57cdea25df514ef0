// The main frame: menus, toolbar, status bar, command enabling and routing,
// accelerators, the window list, dropped files, help and closing.
#include "app/helpwindow.h"
#include "app/recentfiles.h"
#include "configwin/memorymappanel.h"
#include "platform/commandids.h"
#include "terminal/termwin.h"
#include "tests/app/appfixture.h"
#include "tests/link/ptyhelpers.h"

#include <QAction>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QSet>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <map>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

} // namespace

// Receives the URLs the program asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

namespace {

// Text, command id and hint of a menu item; "-" is a separator.
struct Item {
    std::string text;
    int id = 0;
    std::string hint;
    bool operator==(const Item&) const = default;
};
const Item kSep{"-", 0, ""};

void PrintTo(const Item& item, std::ostream* os) {
    *os << "{\"" << item.text << "\", " << item.id << ", \"" << item.hint << "\"}";
}

std::vector<Item> Items(QMenu* menu) {
    std::vector<Item> out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out.push_back(kSep);
        } else {
            out.push_back(
                {a->text().toStdString(), a->data().toInt(), a->statusTip().toStdString()});
        }
    }
    return out;
}

void ExpectMenu(QMenu* menu, const std::vector<Item>& expected) {
    EXPECT_EQ(Items(menu), expected) << menu->title().toStdString();
}

QMenu* TopMenu(TNimbrelFrame* frame, const QString& title) {
    for (QAction* a : frame->menuBar()->actions()) {
        if (a->text() == title) return a->menu();
    }
    return nullptr;
}

TEST_F(AppTest, MenusHoldEveryItemInOrderWithIdsAndHints) {
    QStringList titles;
    for (QAction* a : Frame()->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, QStringList({"&File", "&View", "&Sensor configuration", "&PTT Communications",
                                   "&Terminal", "P&assword", "&Window", "&Help"}));

    ExpectMenu(
        TopMenu(Frame(), "&File"),
        {{"&New", cmd::kFileNew, "Creates a new document"},
         {"&Open...", cmd::kFileOpen, "Opens an existing document"},
         kSep,
         {"&Preferences", cmd::kPreferences, ""},
         kSep,
         {"&Print Configuration", cmd::kPrintConfig, "Prints the configuration file"},
         {"Print Pre&view", cmd::kPrintPreview, "Shows the printed pages of the configuration"},
         kSep,
         {"&Save", cmd::kFileSave, "Saves the active document"},
         {"Save &As...", cmd::kFileSaveAs, "Sets PTT communication settings"},
         kSep,
         {"E&xit", cmd::kExit, "Quits Nimbrel and prompts to save the documents"}});
    ExpectMenu(TopMenu(Frame(), "&View"),
               {{"&Simple", cmd::kViewSimple, ""},
                {"&Memory map", cmd::kViewMemoryMap,
                 "Shows where each item lies in the transmitter's memory"}});

    QMenu* sensor = TopMenu(Frame(), "&Sensor configuration");
    ASSERT_EQ(sensor->actions().size(), 4);
    QMenu* add = sensor->actions()[3]->menu();
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add->title(), "Add a sensor");
    sensor->removeAction(sensor->actions()[3]);
    ExpectMenu(sensor,
               {{"&Modify Sensor", cmd::kModifySensor, "Edits a sensor"},
                {"&Delete an item", cmd::kDeleteItem, "Deletes a sensor or configuration item"},
                {"Add &Item", cmd::kAddItem, "Adds a blank sensor item"}});
    ExpectMenu(add,
               {{"Add a &sensor", cmd::kAddSensor, "Adds a sensor"},
                {"Add &serial communications", cmd::kAddSerial, "Adds settings for a serial port"},
                {"&ARGOS &Transmitter", cmd::kAddTransmitter, "Adds a new ARGOS transmitter"},
                {"Add &GPS", cmd::kAddGps, "Adds a GPS type sensor"}});

    ExpectMenu(
        TopMenu(Frame(), "&PTT Communications"),
        {{"&Start", cmd::kStart, "Initiates PTT communications"},
         {"Read software &version", cmd::kPttVersion, "Reads the software version from ROM"},
         {"&Read configuration", cmd::kReadConfig,
          "Reads the values from EEPROM into the configuration file for display"},
         {"Co&mpare with transmitter", cmd::kCompare,
          "Reads the transmitter's values and lists the items that differ"},
         {"Send &Configuration", cmd::kSendConfig, "Sends the configuration file to the unit"},
         {"S&top", cmd::kStop, "Terminates a PTT communication session"},
         kSep,
         {"&History", cmd::kHistory,
          "Lists every configuration sent, to which unit, when and how it ended"},
         {"Program a &fleet\u2026", cmd::kProgramFleet,
          "Sends the configuration to many transmitters at once, each with its own PTT ID"}});
    ExpectMenu(TopMenu(Frame(), "&Terminal"),
               {{"&Open terminal window", cmd::kOpenTerminal, "Opens a terminal window"},
                kSep,
                {"Read &memory", cmd::kReadMemory, ""},
                kSep,
                {"&Send interface command", cmd::kSendString,
                 "Sends a string to the PTT with no format checking"},
                {"Send &File", cmd::kSendFile, ""},
                {"Send &user command", cmd::kUserCommand, ""},
                {"Send &program", cmd::kSendProgram, "Sends an unformatted string to the PTT"},
                kSep,
                {"&Log to file", cmd::kLog, "Logs the incommong data to a file"},
                {"&Close log file", cmd::kLogClose, ""}});
    ExpectMenu(TopMenu(Frame(), "P&assword"),
               {{"&Enter Password", cmd::kEnterPassword,
                 "Enter system password to allow configuration modification"}});
    ExpectMenu(TopMenu(Frame(), "&Window"),
               {{"&Cascade", cmd::kCascade, "Cascades open windows"},
                {"&Tile", cmd::kTile, "Tiles open windows"},
                {"Arrange &Icons", cmd::kArrangeIcons, "Arranges iconic windows along bottom"},
                {"C&lose All", cmd::kCloseAll, "Closes all open windows"},
                kSep});
    ExpectMenu(TopMenu(Frame(), "&Help"),
               {{"&Help Main Screen", cmd::kHelpMain, "Displays an index of help items"},
                {"&About...", cmd::kHelpAbout, "About the Nimbrel application"}});
}

// The key a menu text underlines ("" for none): the first '&' not doubled.
QString Mnemonic(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] != u'&') return text[i + 1].toUpper();
        ++i;
    }
    return {};
}

TEST_F(AppTest, EachMenusMnemonicsAreUniqueAndAltPCSends) {
    // Shared from the start: Preferences and Print Configuration, and the
    // two "Add s..." entries.
    const std::map<QString, QString> shared{{"&File", "P"}, {"Add a sensor", "S"}};
    std::function<void(const QString&, const QList<QAction*>&)> check =
        [&](const QString& title, const QList<QAction*>& actions) {
            QSet<QString> seen;
            for (QAction* a : actions) {
                if (a->menu() != nullptr) check(a->menu()->title(), a->menu()->actions());
                const QString key = Mnemonic(a->text());
                const bool allowed = shared.count(title) != 0 && shared.at(title) == key;
                EXPECT_TRUE(key.isEmpty() || !seen.contains(key) || allowed)
                    << title.toStdString() << ": " << a->text().toStdString();
                seen << key;
            }
        };
    check("menu bar", Frame()->menuBar()->actions());

    // Alt+P, C runs Send Configuration.
    FakeChild* child = AddChild("ptt", {cmd::kSendConfig, cmd::kCompare});
    Settle();
    QMenu* ptt = TopMenu(Frame(), "&PTT Communications");
    ptt->popup(Frame()->geometry().center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(ptt));
    QTest::keyClick(ptt, Qt::Key_C);
    Settle();
    EXPECT_EQ(child->executed, std::vector<int>{cmd::kSendConfig});
}

TEST_F(AppTest, AcceleratorsAndFrameBasics) {
    using Keys = QList<QKeySequence>;
    const std::vector<std::pair<int, Keys>> keys{
        {cmd::kEditCut, {QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
        {cmd::kEditCopy, {QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
        {cmd::kEditPaste, {QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
        {cmd::kEditClear, {QKeySequence(Qt::CTRL | Qt::Key_Delete)}},
        {cmd::kEditUndo, {QKeySequence(Qt::ALT | Qt::Key_Backspace)}},
        {cmd::kFindNext, {QKeySequence(Qt::Key_F3)}},
        {cmd::kViewSimple, {QKeySequence(Qt::Key_F1)}},
        {cmd::kFileNew, {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {cmd::kFileOpen, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {cmd::kFileSave, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {cmd::kFileSaveAs, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}},
        {cmd::kPrintConfig, {QKeySequence(Qt::CTRL | Qt::Key_P)}},
        {cmd::kExit, {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::ALT | Qt::Key_F4)}},
    };
    for (const auto& [id, key] : keys) {
        ASSERT_NE(Frame()->Action(id), nullptr) << id;
        EXPECT_EQ(Frame()->Action(id)->shortcuts(), key) << id;
    }
    EXPECT_EQ(Frame()->windowTitle(), "Nimbrel");
    EXPECT_FALSE(Frame()->windowIcon().isNull());
    EXPECT_TRUE(Frame()->isMaximized());
    EXPECT_EQ(Frame()->centralWidget(), Client());
    EXPECT_TRUE(Frame()->acceptDrops());
    EXPECT_EQ(Frame()->CapsIndicator()->text(), "CAPS");
    EXPECT_EQ(Frame()->NumIndicator()->text(), "NUM");
    EXPECT_EQ(Frame()->ScrollIndicator()->text(), "SCRL");
}

TEST_F(AppTest, CtrlNOpensANewConfigurationAndCtrlQExits) {
    Frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    QTest::keyClick(Frame(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Client()->ConfigCount(), 1);
    QTest::keyClick(Frame(), Qt::Key_Q, Qt::ControlModifier);
    Settle();
    EXPECT_FALSE(Frame()->isVisible());
}

TEST(AppStartTest, StartedMinimisedStaysMinimisedAndExitCloses) {
    TempDir dir;
    RecordingUi ui;
    TNimbrelApp::Options options;
    options.splash = false;
    options.installUi = false;
    options.startMinimised = true;
    TNimbrelApp app(options);
    app.InitMainWindow();
    EXPECT_TRUE(app.MainWindow()->isMinimized());
    EXPECT_FALSE(app.MainWindow()->isMaximized());
    app.MainWindow()->ExecuteCommand(cmd::kExit);
    EXPECT_FALSE(app.MainWindow()->isVisible());
}

TEST(AppStartTest, TheFrameComesUpOnceTheSplashHasBlinkedItsTime) {
    TempDir dir;
    dir.Write("Nimbrel.ini", "[TIMING]\r\nSplashSeconds=1\r\n");
    RecordingUi ui;
    TNimbrelApp::Options options;
    options.installUi = false;
    TNimbrelApp app(options);
    app.InitMainWindow();
    // The constructor returned with the splash still blinking.
    QPointer<QWidget> splash;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("splash")) splash = w;
    }
    ASSERT_FALSE(splash.isNull());
    EXPECT_TRUE(splash->isVisible());
    EXPECT_FALSE(app.MainWindow()->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.MainWindow()->isVisible(); }, 3000));
    EXPECT_TRUE(splash.isNull() || !splash->isVisible());
}

TEST(FrameTest, ToolBarButtonsAndGapsInOrderStartingDisabled) {
    TNimbrelFrame frame(nullptr);
    QToolBar* bar = frame.ToolBar();
    EXPECT_EQ(bar->windowTitle(), "Toolbar");
    EXPECT_EQ(bar->font().pointSize(), 10);
    // Positive: a button's command; negative: a gap of that width.
    const std::vector<int> expected{cmd::kFileNew,
                                    cmd::kFileOpen,
                                    cmd::kFileSave,
                                    -6,
                                    cmd::kAddItem,
                                    cmd::kAddSensor,
                                    -24,
                                    cmd::kEditCut,
                                    cmd::kEditCopy,
                                    cmd::kEditPaste,
                                    -24,
                                    cmd::kStart,
                                    cmd::kSendConfig,
                                    cmd::kUserCommand};
    std::vector<int> actual;
    for (QAction* a : bar->actions()) {
        if (QWidget* w = bar->widgetForAction(a); w != nullptr && a->data().isNull()) {
            actual.push_back(-w->width());
        } else {
            actual.push_back(a->data().toInt());
            EXPECT_FALSE(a->isEnabled()) << a->data().toInt();
            EXPECT_FALSE(a->icon().isNull()) << a->data().toInt();
        }
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(AppTest, EnablingFollowsTheHandlerReachableFromTheActiveWindow) {
    Frame()->UpdateCommandStates();
    auto enabled = [this](int id) { return Frame()->Action(id)->isEnabled(); };
    // The client and the application with no child window.
    for (int id : {cmd::kFileNew, cmd::kFileOpen, cmd::kPreferences, cmd::kStart, cmd::kStop,
                   cmd::kSendConfig, cmd::kLog, cmd::kUserCommand, cmd::kEnterPassword,
                   cmd::kHelpMain, cmd::kHelpAbout, cmd::kExit}) {
        EXPECT_TRUE(enabled(id)) << id;
    }
    for (int id : {cmd::kFileSave, cmd::kFileSaveAs, cmd::kPrintConfig, cmd::kViewSimple,
                   cmd::kAddItem, cmd::kSendFile, cmd::kCascade, cmd::kCloseAll, cmd::kEditCut,
                   cmd::kEditUndo, cmd::kFindNext}) {
        EXPECT_FALSE(enabled(id)) << id;
    }

    // A child that saves: Save is enabled while it is the current child, and
    // the Window commands once a child exists.
    FakeChild* saver = AddChild("saver", {cmd::kFileSave});
    Settle();
    EXPECT_TRUE(enabled(cmd::kFileSave));
    EXPECT_TRUE(enabled(cmd::kCascade));
    EXPECT_FALSE(enabled(cmd::kFileSaveAs));

    FakeChild* other = AddChild("other", {cmd::kFileSaveAs});
    Settle();
    EXPECT_FALSE(enabled(cmd::kFileSave));
    EXPECT_TRUE(enabled(cmd::kFileSaveAs));

    // Commands go to the current child.
    Frame()->ExecuteCommand(cmd::kFileSaveAs);
    EXPECT_EQ(other->executed, std::vector<int>{cmd::kFileSaveAs});
    Frame()->ExecuteCommand(cmd::kFileSave); // nobody handles it now
    EXPECT_TRUE(saver->executed.empty());

    // Opening a menu refreshes its items.
    Frame()->Action(cmd::kFileSave)->setEnabled(true);
    emit TopMenu(Frame(), "&File")->aboutToShow();
    EXPECT_FALSE(enabled(cmd::kFileSave));
}

TEST_F(AppTest, EditCommandsServeTheFocusedTextEdit) {
    FakeChild* child = AddChild("edit", {cmd::kViewSimple});
    auto* edit = new QLineEdit(child);
    edit->setText("alpha beta");
    edit->show();
    Frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    edit->setFocus();
    Settle();
    ASSERT_EQ(QApplication::focusWidget(), edit);
    EXPECT_TRUE(Frame()->Action(cmd::kEditCut)->isEnabled());
    EXPECT_TRUE(Frame()->Action(cmd::kEditClear)->isEnabled());
    EXPECT_FALSE(Frame()->Action(cmd::kFindNext)->isEnabled());

    // Ctrl+Del clears the selection (a line edit alone would delete a word).
    edit->setSelection(0, 3);
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "ha beta");
    // Alt+Backspace undoes it.
    QTest::keyClick(edit, Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(edit->text(), "alpha beta");
    // Shift+Del cuts, Shift+Ins pastes at the cursor.
    edit->setSelection(6, 4);
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(edit->text(), "alpha ");
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(edit->text(), "betaalpha ");
    // F3 does nothing; F1 goes to the child as View Simple.
    QTest::keyClick(edit, Qt::Key_F3);
    QTest::keyClick(edit, Qt::Key_F1);
    EXPECT_EQ(edit->text(), "betaalpha ");
    EXPECT_EQ(child->executed, std::vector<int>{cmd::kViewSimple});

    // Without a focused text edit the edit commands are off.
    edit->clearFocus();
    Frame()->setFocus();
    Settle();
    Frame()->UpdateCommandStates();
    EXPECT_FALSE(Frame()->Action(cmd::kEditPaste)->isEnabled());
}

TEST_F(AppTest, WindowMenuListsTheChildrenAndActivatesTheChosenOne) {
    AddChild("First");
    FakeChild* hidden = AddChild("Hidden");
    hidden->parentWidget()->hide();
    AddChild("Third");
    QMenu* menu = Frame()->WindowMenu();
    emit menu->aboutToShow();
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 8);
    EXPECT_TRUE(actions[4]->isSeparator());
    EXPECT_TRUE(actions[4]->isVisible());
    EXPECT_EQ(actions[5]->text(), "&1 First");
    EXPECT_EQ(actions[6]->text(), "&2 Hidden");
    EXPECT_EQ(actions[7]->text(), "&3 Third");
    actions[5]->trigger();
    EXPECT_EQ(Client()->currentSubWindow()->windowTitle(), "First");

    // Arrange Icons lines the minimised children up along the bottom.
    for (QMdiSubWindow* w : Client()->subWindowList()) {
        if (!w->isHidden()) w->showMinimized();
    }
    Frame()->ExecuteCommand(cmd::kArrangeIcons);
    int bottomCount = 0;
    for (QMdiSubWindow* w : Client()->subWindowList()) {
        if (w->isHidden()) continue;
        EXPECT_EQ(w->geometry().bottom(), Client()->viewport()->height() - 1);
        ++bottomCount;
    }
    EXPECT_EQ(bottomCount, 2);

    // Choosing a hidden child shows it.
    emit menu->aboutToShow();
    menu->actions()[6]->trigger();
    EXPECT_FALSE(hidden->parentWidget()->isHidden());
    EXPECT_EQ(Client()->currentSubWindow()->windowTitle(), "Hidden");
}

TEST_F(AppTest, CloseAllClosesTheChildrenThatAgree) {
    FakeChild* stays = AddChild("stays");
    stays->allowClose = false;
    QPointer<FakeChild> goes = AddChild("goes");
    Frame()->ExecuteCommand(cmd::kCloseAll);
    Settle();
    EXPECT_TRUE(goes.isNull());
    ASSERT_EQ(Client()->subWindowList().size(), 1);
    EXPECT_EQ(Client()->subWindowList()[0]->widget(), stays);
}

TEST_F(AppTest, ClosingTheMainWindowNeedsEveryChildToAgree) {
    QPointer<FakeChild> first = AddChild("first");
    QPointer<FakeChild> second = AddChild("second");
    second->allowClose = false;
    EXPECT_FALSE(Frame()->close());
    Settle();
    EXPECT_TRUE(Frame()->isVisible());
    ASSERT_FALSE(first.isNull()); // asked, agreed, but not closed alone
    EXPECT_EQ(first->closeAsked, 1);

    second->allowClose = true;
    first->closeAsked = 0;
    EXPECT_TRUE(Frame()->close());
    Settle();
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
}

TEST_F(AppTest, RefusedMainWindowCloseKeepsTheTerminalRegistered) {
    // A terminal without a port: its close query reports it closed at once,
    // so it must be asked only after every other window agreed.
    Settings::WriteString("COM", "device2", dir.File("no-such-port"));
    Client()->TermOpen(false);
    ASSERT_TRUE(Client()->TermWindowOpen());
    Client()->setActiveSubWindow(Client()->subWindowList().front());
    FakeChild* refuses = AddChild("refuses");
    refuses->allowClose = false;
    EXPECT_FALSE(Frame()->close());
    Settle();
    EXPECT_TRUE(Client()->TermWindowOpen());
    EXPECT_NE(Client()->TerminalWindow(), nullptr);
}

TEST_F(AppTest, WhileATransferRunsOnlyHelpIsOfferedAndClosingOffersToCancel) {
    Pty silent; // nothing wakes: Start waits
    UsePort(silent.Slave());
    Settings::WriteString("TIMING", "StartWaitMs", "20000");
    Settings::WriteString("TIMING", "ProgressDelayMs", "0");
    Client()->OpenFile(ConfigFile("a.cfg"));
    Frame()->UpdateCommandStates();
    ASSERT_TRUE(Frame()->Action(cmd::kStart)->isEnabled());
    std::vector<int> enabled;
    QTimer::singleShot(50, [&] {
        for (int id : {cmd::kStart, cmd::kFileOpen, cmd::kSendConfig, cmd::kExit, cmd::kHelpAbout})
            enabled.push_back(Frame()->Action(id)->isEnabled() ? 1 : 0);
        Frame()->close(); // answered No: the transfer goes on
    });
    QTimer::singleShot(100, [&] { Frame()->close(); }); // answered Yes
    ui.answers = {Answer::No, Answer::Yes};
    Frame()->ExecuteCommand(cmd::kStart);
    EXPECT_EQ(enabled, (std::vector<int>{0, 0, 0, 0, 1}));
    const std::string question =
        "A transfer with the transmitter is running.\r\nCancel it and exit?";
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{
                              question, question,
                              "Starting was cancelled.\r\nCommunications were not started."}));
    Settle();
    EXPECT_FALSE(Frame()->isVisible()) << "closed once the transfer had ended";
}

TEST_F(AppTest, MemoryMapEntryTogglesTheRememberedPanelThatFollowsTheConfigurationWindow) {
    MemoryMapPanel* panel = Frame()->MapPanel();
    QAction* entry = Frame()->Action(cmd::kViewMemoryMap);
    EXPECT_TRUE(panel->isHidden()) << "hidden until asked for";
    EXPECT_EQ(panel->View()->Window(), nullptr);
    Frame()->UpdateCommandStates();
    ASSERT_TRUE(entry->isEnabled() && entry->isCheckable());

    Client()->OpenFile(ConfigFile("a.cfg"));
    for (const bool shown : {true, false, true}) {
        Frame()->ExecuteCommand(cmd::kViewMemoryMap);
        EXPECT_EQ(panel->isHidden(), !shown);
        EXPECT_EQ(entry->isChecked(), shown);
        EXPECT_EQ(Settings::GetInt("VIEW", "memorymap", -1), shown ? 1 : 0);
    }
    Settle();
    EXPECT_EQ(panel->View()->Window(), Client()->ConfigWindow());
    EXPECT_EQ(panel->View()->Map().Ranges().size(), 4U);

    Client()->ConfigFrame()->close();
    Settle();
    EXPECT_EQ(panel->View()->Window(), nullptr);
    EXPECT_TRUE(panel->View()->Map().Ranges().empty());

    // Closed with its own button, it stays closed.
    panel->close();
    EXPECT_FALSE(entry->isChecked());
    EXPECT_EQ(Settings::GetInt("VIEW", "memorymap", -1), 0);
}

TEST_F(AppTest, ConfigurationWindowDeletedWithoutItsCloseQueryIsForgotten) {
    Client()->OpenFile(ConfigFile("a.cfg"));
    ASSERT_EQ(Client()->ConfigCount(), 1);
    delete Client()->subWindowList().front();
    EXPECT_EQ(Client()->ConfigCount(), 0);
    EXPECT_EQ(Client()->ConfigWindow(), nullptr);
    Client()->CmFileNew();
    EXPECT_EQ(Client()->ConfigCount(), 1);
}

TEST_F(AppTest, ChildFrameAsksItsWindowAndClosesWhenTheWindowGoes) {
    FakeChild* refuses = AddChild("refuses");
    refuses->allowClose = false;
    QPointer<QWidget> frame = refuses->parentWidget();
    EXPECT_FALSE(frame->close());
    Settle();
    EXPECT_FALSE(frame.isNull());
    EXPECT_EQ(refuses->closeAsked, 1);

    // The window destroyed by other means takes its frame with it.
    delete refuses;
    Settle();
    EXPECT_TRUE(frame.isNull());
    EXPECT_TRUE(Client()->subWindowList().isEmpty());
}

TEST(DropTest, DroppedLocalFilesAreTakenInOrder) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/d/b.cfg"), QUrl("https://example.org/x.cfg"),
                  QUrl::fromLocalFile("/d/a.cfg")});
    EXPECT_EQ(DroppedFiles(&mime), QStringList({"/d/b.cfg", "/d/a.cfg"}));
    QMimeData text;
    text.setText("/d/c.cfg");
    EXPECT_TRUE(DroppedFiles(&text).isEmpty());
    EXPECT_TRUE(DroppedFiles(nullptr).isEmpty());
}

TEST_F(AppTest, DroppedFilesOpenInOrderOneConfigurationAtATime) {
    EXPECT_TRUE(Client()->viewport()->acceptDrops());
    const QStringList three{QString::fromStdString(ConfigFile("a.cfg")),
                            QString::fromStdString(ConfigFile("b.cfg")),
                            QString::fromStdString(ConfigFile("c.cfg"))};
    // A drop on the client area is handed to the frame and the application.
    emit Client()->FilesDropped(three);
    EXPECT_EQ(Client()->ConfigCount(), 1);
    ASSERT_EQ(Client()->subWindowList().size(), 1);
    EXPECT_EQ(Client()->subWindowList()[0]->windowTitle(), three[0]);
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>(2, "One file is already open. Close it before proceeding"));
    EXPECT_EQ(RecentFiles().Path(0), three[0].toStdString());

    // A drop on the frame itself is handled the same way.
    ui.Clear();
    emit Frame()->FilesDropped(three);
    EXPECT_EQ(ui.Texts().size(), 3u);
}

TEST_F(AppTest, FrameAndClientAreaTakeDragsOfLocalFilesOnly) {
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/d/a.cfg")});
    QMimeData text;
    text.setText("/d/a.cfg");
    QStringList dropped;
    QObject::connect(Frame(), &TNimbrelFrame::FilesDropped,
                     [&](const QStringList& p) { dropped += p; });
    for (QWidget* target :
         {static_cast<QWidget*>(Frame()), static_cast<QWidget*>(Client()), Client()->viewport()}) {
        for (const QMimeData* mime : {&files, &text}) {
            const bool taken = mime == &files;
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &enter);
            EXPECT_EQ(enter.isAccepted(), taken) << target->objectName().toStdString();
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &drop);
            EXPECT_EQ(drop.isAccepted(), taken);
        }
    }
    EXPECT_EQ(dropped, QStringList(3, "/d/a.cfg"));
}

TEST_F(AppTest, HelpOpensTheShippedPage) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    Frame()->ExecuteCommand(cmd::kHelpMain);
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    const QFileInfo page(catcher.urls[0].toLocalFile());
    EXPECT_EQ(page.fileName(), "NimbrelHelp.html");
    EXPECT_TRUE(page.exists());
    EXPECT_EQ(app->HelpWindow(), nullptr); // the desktop's viewer took it
}

// A desktop on which no viewer can be started, for one test.
class NoViewer {
public:
    NoViewer() : saved_(TNimbrelApp::DesktopOpener()) {
        TNimbrelApp::DesktopOpener() = [this](const QUrl& url) {
            urls << url;
            return false;
        };
    }
    ~NoViewer() { TNimbrelApp::DesktopOpener() = saved_; }
    QList<QUrl> urls;

private:
    TNimbrelApp::UrlOpener saved_;
};

TEST_F(AppTest, WithoutAViewerHelpOpensInTheProgramsOwnWindow) {
    NoViewer desktop;
    Frame()->ExecuteCommand(cmd::kHelpMain);
    ASSERT_EQ(desktop.urls.size(), 1);
    THelpWindow* help = app->HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    QTextBrowser* browser = help->Browser();
    EXPECT_EQ(browser->source(), desktop.urls[0]);
    EXPECT_EQ(help->windowTitle(), "Nimbrel Help");
    for (const char* topic : {"scripts/run.sh", "Preferences", "dialout", "Tolvar417",
                              "Sensor Item Editor", "Compare with transmitter", "Cancel",
                              "Basic PTT Setup", "--print-to-pdf", "nimbrel-cli"}) {
        EXPECT_TRUE(browser->toPlainText().contains(topic)) << topic;
    }
    // Its pictures load, and every link within the page has its anchor.
    EXPECT_FALSE(
        browser->loadResource(QTextDocument::ImageResource, QUrl("preferences.png")).isNull());
    QStringList anchors, links;
    for (QTextBlock b = browser->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            anchors << f.anchorNames();
            if (f.anchorHref().startsWith('#')) links << f.anchorHref().mid(1);
        }
    }
    EXPECT_GE(links.size(), 10);
    for (const QString& link : links)
        EXPECT_TRUE(anchors.contains(link)) << link.toStdString();

    // Asked again, the same window comes back.
    help->showMinimized();
    Frame()->ExecuteCommand(cmd::kHelpMain);
    EXPECT_EQ(app->HelpWindow(), help);
    EXPECT_FALSE(help->isMinimized());
}

TEST_F(AppTest, OpenTerminalAndTheWindowListBringTheTerminalForward) {
    Settings::WriteString("COM", "device2", dir.File("no-such-port"));
    struct Case {
        bool viaWindowMenu; // else Terminal > Open terminal window
        bool minimised;     // else only behind another window
    };
    for (const Case& c : {Case{false, true}, Case{true, true}, Case{false, false}}) {
        SCOPED_TRACE(testing::Message() << "menu " << c.viaWindowMenu << ", min " << c.minimised);
        Client()->TermOpen(false);
        TermWin* terminal = Client()->TerminalWindow();
        ASSERT_NE(terminal, nullptr);
        auto* frame = qobject_cast<QMdiSubWindow*>(terminal->parentWidget());
        ASSERT_NE(frame, nullptr);
        if (c.minimised) frame->showMinimized();
        AddChild("in front");
        ASSERT_NE(Client()->currentSubWindow(), frame);

        if (c.viaWindowMenu) {
            emit Frame()->WindowMenu()->aboutToShow();
            const auto actions = Frame()->WindowMenu()->actions();
            const auto it = std::find_if(actions.begin(), actions.end(), [](QAction* a) {
                return a->text().endsWith("Terminal Window Viewer");
            });
            ASSERT_NE(it, actions.end());
            (*it)->trigger();
        } else {
            Frame()->ExecuteCommand(cmd::kOpenTerminal);
        }
        EXPECT_FALSE(frame->isMinimized());
        EXPECT_EQ(Client()->currentSubWindow(), frame);
        EXPECT_EQ(Client()->TerminalWindow(), terminal); // no second one
    }
    // Start asks for a minimised terminal: an open one stays as it is.
    QMdiSubWindow* frame = Client()->currentSubWindow();
    frame->showMinimized();
    Client()->TermOpen(true);
    EXPECT_TRUE(frame->isMinimized());
}

} // namespace
} // namespace nimbrel::test

#include "frame_test.moc"
