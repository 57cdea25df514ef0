// The MDI client: New, Open and the one-file rule, simple mode, the recent
// list after an open, the password, and the refusals of forwarded commands.
#include "app/qtui.h"
#include "app/recentfiles.h"
#include "configwin/nimbrelwindow.h"
#include "configwin/simpledialog.h"
#include "platform/commandids.h"
#include "platform/settings.h"
#include "tests/app/appfixture.h"
#include "tests/app/whenmodal.h"

#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

const char* const kOneFile = "One file is already open. Close it before proceeding";
const char* const kNoTerminal = "You must have an open\r\nterminal window for this\r\ncommand";
const char* const kNotStarted = "You must first start PTT comunications.";

TEST_F(AppTest, NewMakesOneConfigurationWindowInAFrameWithoutTitle) {
    Client()->CmFileNew();
    ASSERT_EQ(Client()->ConfigCount(), 1);
    TNimbrelWindow* window = Client()->ConfigWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(Client()->subWindowList().size(), 1);
    QMdiSubWindow* frame = Client()->subWindowList()[0];
    EXPECT_EQ(frame->widget(), window);
    EXPECT_EQ(frame->windowTitle(), "");
    EXPECT_FALSE(frame->windowIcon().isNull());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(window->ItemCount(), 4); // set up: the transmitter sensor was added
    EXPECT_TRUE(ui.messages.empty());

    // A second New is refused and creates nothing.
    Client()->CmFileNew();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kOneFile);
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].buttons, Buttons::Ok);
    EXPECT_EQ(ui.messages[0].icon, Icon::None);
    EXPECT_EQ(Client()->subWindowList().size(), 1);
}

TEST_F(AppTest, OpenAsksForAFileThenOpensItAndRecordsIt) {
    const std::string path = ConfigFile("unit.cfg");
    ui.fileReplies.push_back(path);
    Client()->CmFileOpen();
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    const FileRequest& request = ui.fileRequests[0];
    EXPECT_FALSE(request.save);
    EXPECT_EQ(request.filter, "Configuration files (*.cfg)|*.cfg|All Files (*.*)|*.*|");
    EXPECT_EQ(request.defaultExt, "cfg");
    EXPECT_TRUE(request.mustExist);
    EXPECT_TRUE(request.overwritePrompt);
    EXPECT_EQ(request.initialName, "");

    ASSERT_EQ(Client()->ConfigCount(), 1);
    EXPECT_EQ(Client()->ConfigWindow()->GetFileName(), path);
    EXPECT_EQ(Client()->subWindowList()[0]->windowTitle().toStdString(), path);
    EXPECT_EQ(RecentFiles().Path(0), path);

    // Open while a configuration is open still shows the dialog first; the
    // refusal follows and the recent list stays as it was.
    const std::string other = ConfigFile("other.cfg");
    ui.fileReplies.push_back(other);
    Client()->CmFileOpen();
    EXPECT_EQ(ui.fileRequests.size(), 2u);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{kOneFile});
    EXPECT_EQ(RecentFiles().Path(0), path);
    EXPECT_EQ(RecentFiles().Path(1), "");

    // A cancelled dialog does nothing.
    ui.Clear();
    Client()->CmFileOpen();
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AppTest, ClosingTheConfigurationAllowsTheNextOne) {
    const std::string first = ConfigFile("first.cfg");
    Client()->OpenFile(first);
    QPointer<QMdiSubWindow> frame = Client()->subWindowList()[0];
    ASSERT_TRUE(frame->close());
    Settle();
    EXPECT_TRUE(frame.isNull());
    EXPECT_EQ(Client()->ConfigCount(), 0);
    EXPECT_EQ(Client()->ConfigWindow(), nullptr);

    Client()->CmFileNew();
    EXPECT_EQ(Client()->ConfigCount(), 1);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AppTest, ClosingTheMainWindowAsksAModifiedConfigurationOnce) {
    Client()->OpenFile(ConfigFile("changed.cfg"));
    Client()->ConfigWindow()->Modified();
    ui.answers.push_back(Answer::No);
    EXPECT_TRUE(Frame()->close());
    Settle();
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Do you wish to save the contents of this window"});
    EXPECT_TRUE(Client()->subWindowList().isEmpty());
    EXPECT_EQ(Client()->ConfigCount(), 0);
}

TEST_F(AppTest, EscapeOnTheSaveQuestionKeepsTheWindowAndItsEdits) {
    const std::string path = ConfigFile("changed.cfg");
    Client()->OpenFile(path);
    TNimbrelWindow* window = Client()->ConfigWindow();
    window->Items[2]->SetValue("60");
    window->Modified();
    QtUi qt;
    qt.SetMainWindow(Frame());
    const ScopedUi real(qt);

    WhenModal([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_FALSE(Frame()->close());
    Settle();
    ASSERT_EQ(Client()->ConfigWindow(), window);
    EXPECT_TRUE(window->DataModified);
    EXPECT_EQ(window->Items[2]->GetValueText(), "60");

    WhenModal([](QWidget* box) {
        auto* question = qobject_cast<QMessageBox*>(box);
        ASSERT_NE(question, nullptr);
        question->button(QMessageBox::No)->click();
    });
    EXPECT_TRUE(Frame()->close());
    Settle();
    EXPECT_EQ(Client()->ConfigCount(), 0);
    EXPECT_EQ(dir.Read("changed.cfg"), kConfigText);
}

TEST_F(AppTest, SimpleModeOpensTheConfigurationFrameHidden) {
    Settings::WriteString("STARTUP", "simplemode", "1");
    Client()->OpenFile(ConfigFile("simple.cfg"));
    ASSERT_EQ(Client()->subWindowList().size(), 1);
    EXPECT_TRUE(Client()->subWindowList()[0]->isHidden());
    ASSERT_NE(Client()->ConfigWindow()->SimpleForm(), nullptr);
    EXPECT_TRUE(Client()->ConfigWindow()->SimpleForm()->isVisible());

    // The hidden configuration stays reachable through the Window menu.
    QMenu* windowMenu = nullptr;
    for (QAction* a : Frame()->menuBar()->actions()) {
        if (a->text() == "&Window") windowMenu = a->menu();
    }
    ASSERT_NE(windowMenu, nullptr);
    emit windowMenu->aboutToShow();
    QAction* entry = nullptr;
    for (QAction* a : windowMenu->actions()) {
        if (a->text().endsWith("simple.cfg")) entry = a;
    }
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    EXPECT_FALSE(Client()->subWindowList()[0]->isHidden());
}

TEST_F(AppTest, SimpleModeShowsTheFormOrTheNoticeOnNewAndRecentFiles) {
    Settings::WriteString("STARTUP", "simplemode", "1");
    const std::string gps = dir.Write(
        "gps.cfg",
        "1 1\r\n4,0,1200,GPS Sensor,Time allowed for fix (seconds),1,0,0,99999,0,4,0,0\r\n");
    const std::string recent = ConfigFile("recent.cfg");
    const struct {
        const char* what;
        std::function<void()> open;
        bool ptt;
    } cases[] = {
        {"New", [&] { Client()->CmFileNew(); }, true},
        {"recent file",
         [&] {
             RecentFiles().Add(recent);
             Frame()->ExecuteCommand(cmd::kMruFirst);
         },
         true},
        {"GPS first", [&] { Client()->OpenFile(gps); }, false},
    };
    for (const auto& c : cases) {
        ui.Clear();
        c.open();
        Settle();
        TNimbrelWindow* window = Client()->ConfigWindow();
        ASSERT_NE(window, nullptr) << c.what;
        QMdiSubWindow* frame = Client()->ConfigFrame();
        if (c.ptt) {
            EXPECT_TRUE(ui.messages.empty()) << c.what;
            ASSERT_NE(window->SimpleForm(), nullptr) << c.what;
            EXPECT_TRUE(window->SimpleForm()->isVisible()) << c.what;
            EXPECT_TRUE(frame->isHidden()) << c.what;
        } else {
            EXPECT_EQ(ui.Texts(), std::vector<std::string>{"This configuration is not for a "
                                                           "PTT.\r\nSwitching to advanced mode."});
            EXPECT_EQ(window->SimpleForm(), nullptr);
            EXPECT_FALSE(frame->isHidden());
        }
        frame->close();
        Settle();
        ASSERT_EQ(Client()->ConfigCount(), 0) << c.what;
    }
}

TEST_F(AppTest, AdvancedSetupAndF1RoundTrip) {
    Settings::WriteString("STARTUP", "simplemode", "1");
    Client()->OpenFile(ConfigFile("simple.cfg"));
    TNimbrelWindow* window = Client()->ConfigWindow();
    QPointer<SimpleDialog> form = window->SimpleForm();
    ASSERT_FALSE(form.isNull());
    QTest::mouseClick(form->AdvancedButton(), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(form.isNull());
    EXPECT_FALSE(Client()->ConfigFrame()->isHidden());

    Frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    Frame()->UpdateCommandStates();
    QTest::keyClick(Frame(), Qt::Key_F1);
    Settle();
    ASSERT_NE(window->SimpleForm(), nullptr);
    EXPECT_TRUE(window->SimpleForm()->isVisible());
    EXPECT_TRUE(Client()->ConfigFrame()->isHidden());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AppTest, TheRecentListPicksReopenAFile) {
    const std::string path = ConfigFile("picked.cfg");
    RecentFiles().Add(path);
    emit Frame()->FileMenu()->aboutToShow();
    QAction* pick = nullptr;
    for (QAction* a : Frame()->FileMenu()->actions()) {
        if (a->data().toInt() == cmd::kMruFirst) pick = a;
    }
    ASSERT_NE(pick, nullptr);
    EXPECT_TRUE(pick->isEnabled());
    pick->trigger();
    ASSERT_EQ(Client()->ConfigCount(), 1);
    EXPECT_EQ(Client()->ConfigWindow()->GetFileName(), path);
}

TEST_F(AppTest, PasswordOpensTheLockUntilTheProgramEnds) {
    EXPECT_FALSE(Client()->GetPassword());
    ui.inputReplies.push_back(std::string("tolvar417"));
    Client()->CmEnterpassword();
    ASSERT_EQ(ui.inputs.size(), 1u);
    EXPECT_EQ(ui.inputs[0].caption, "");
    EXPECT_EQ(ui.inputs[0].prompt, "Enter system password: ");
    EXPECT_EQ(ui.inputs[0].initial, "");
    EXPECT_EQ(ui.inputs[0].maxChars, 254);
    EXPECT_FALSE(Client()->GetPassword());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "You have entered an incorrect password");
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);

    ui.Clear();
    ui.inputReplies.push_back(std::string("Tolvar417"));
    Client()->CmEnterpassword();
    EXPECT_TRUE(Client()->GetPassword());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "You may now modify the configuration.\n\rChanges to the "
                                   "configuration may\n\rrender this product inopperable");
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);

    // A wrong password later, or a cancelled prompt, leaves editing allowed.
    ui.Clear();
    ui.inputReplies.push_back(std::string("wrong"));
    Client()->CmEnterpassword();
    ui.inputReplies.push_back(std::nullopt);
    Client()->CmEnterpassword();
    EXPECT_TRUE(Client()->GetPassword());
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"You have entered an incorrect password"});
}

TEST_F(AppTest, ForwardedCommandsRefuseUntilTheirPreconditionsHold) {
    auto run = [this](int id) {
        ui.Clear();
        Frame()->ExecuteCommand(id);
        return ui.messages;
    };
    auto expectRefusal = [](const std::vector<RecordedMessage>& m, const char* text,
                            const char* caption) {
        ASSERT_EQ(m.size(), 1u);
        EXPECT_EQ(m[0].text, text);
        EXPECT_EQ(m[0].caption, caption);
        EXPECT_EQ(m[0].buttons, Buttons::Ok);
        EXPECT_EQ(m[0].icon, Icon::Exclamation);
    };

    // No configuration window.
    expectRefusal(run(cmd::kStart), "You must open a configuration file first.", "Nimbrel Notice");
    expectRefusal(run(cmd::kProgramFleet), "You must open a configuration file first.",
                  "Nimbrel Notice");
    for (int id : {cmd::kStop, cmd::kSendConfig, cmd::kPttVersion, cmd::kReadConfig}) {
        SCOPED_TRACE(id);
        expectRefusal(run(id), kNotStarted, "Error");
    }
    // No terminal window, with or without a configuration.
    for (int id : {cmd::kLog, cmd::kLogClose, cmd::kReadMemory, cmd::kSendProgram, cmd::kSendString,
                   cmd::kUserCommand}) {
        SCOPED_TRACE(id);
        expectRefusal(run(id), kNoTerminal, "Error");
    }

    // Started but no configuration: still refused.
    Client()->ComStart(true);
    EXPECT_TRUE(Client()->GetUserMode());
    for (int id : {cmd::kStop, cmd::kSendConfig, cmd::kPttVersion, cmd::kReadConfig}) {
        SCOPED_TRACE(id);
        expectRefusal(run(id), kNotStarted, "Error");
    }

    // A configuration, communications not started.
    Client()->ComStart(false);
    Client()->CmFileNew();
    for (int id : {cmd::kStop, cmd::kSendConfig, cmd::kPttVersion, cmd::kReadConfig}) {
        SCOPED_TRACE(id);
        expectRefusal(run(id), kNotStarted, "Error");
    }
    expectRefusal(run(cmd::kLog), kNoTerminal, "Error");
}

} // namespace
} // namespace nimbrel::test
