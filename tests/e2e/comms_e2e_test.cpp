// The PTT Communications and user command list end to end: menu commands
// through the MDI client, the configuration and terminal windows, the serial
// link over a pseudo-terminal, and the simulated transmitter's memory.
#include "terminal/usercommands.h"
#include "platform/clock.h"
#include "platform/commandids.h"
#include "tests/configwin/commsfixture.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

const std::string kTail = "\r\nError programming the transmitter.\n\rResend file.";

std::vector<std::string> Entries(const UserCommands& dialog) {
    std::vector<std::string> entries;
    for (int i = 0; i < dialog.List()->count(); ++i)
        entries.push_back(dialog.List()->item(i)->text().toStdString());
    return entries;
}

void DoubleClick(UserCommands& dialog, int row) {
    dialog.show();
    QListWidget* list = dialog.List();
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

TEST_F(CommsTest, WholeSessionStartsSendsReadsAndAsksTheVersion) {
    sim::SimOptions options;
    options.pace = false;
    options.wakeIntervalMs = 15;
    auto& sim = StartSim(options);
    Settings::WriteString("TIMING", "StartWaitMs", "3000");

    // The transmitter sensor at 0, 4, 8 and 12, then the GPS and serial sensors.
    client.CmFileNew();
    TNimbrelWindow* window = client.ConfigWindow();
    client.SetPassword(true);
    window->CmAddgps();
    window->CmAddserial();
    const std::vector<std::int32_t> addresses = {0, 4, 8, 12, 16, 20, 24, 28, 29, 30};
    ASSERT_EQ(window->ItemCount(), static_cast<std::int32_t>(addresses.size()));
    std::vector<std::string> values;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        window->Items[i]->SetAddress(addresses[i]);
        values.push_back(window->Items[i]->GetValueText());
    }
    EXPECT_EQ(values, (std::vector<std::string>{"11111", "90", "7200", "14400", "1200", "3600",
                                                "9600", "1", "1", "1"}));

    ui.Clear();
    client.ExecuteCommand(cmd::kStart);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Communications started");
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].icon, Icon::None);
    EXPECT_TRUE(client.GetUserMode());
    ASSERT_TRUE(WaitFor([&] { return sim.Awake(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sim.Received(), "A");

    ui.Clear();
    client.ExecuteCommand(cmd::kSendConfig);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Configuration sent."});
    const std::vector<std::uint8_t> expected = {
        0x00, 0x0A, 0xD9, 0xEC, // PTT ID 11111 with its check bits
        0x00, 0x00, 0x00, 0x5A, // 90
        0x00, 0x00, 0x1C, 0x20, // 7200
        0x00, 0x00, 0x38, 0x40, // 14400
        0x00, 0x00, 0x04, 0xB0, // 1200
        0x00, 0x00, 0x0E, 0x10, // 3600
        0x30, 0xFF, 0xFF, 0xFF, // 9600 as its one-byte code
        0x01, 0x01,             // two chars
        0x00, 0x00, 0x00, 0x01, // 1
        0xFF,                   // untouched
    };
    for (std::size_t a = 0; a < expected.size(); ++a)
        EXPECT_EQ(sim.Peek(static_cast<std::uint16_t>(a)), expected[a]) << "address " << a;
    const auto commands = sim.Commands();
    ASSERT_EQ(commands.size(), 2u * 31u);
    for (std::size_t i = 0; i < commands.size(); i += 2) {
        EXPECT_EQ(commands[i][0], 'E');
        EXPECT_EQ(commands[i + 1], "R" + commands[i].substr(1)) << "every write read back";
    }

    // The same items holding other values get every value back.
    for (std::size_t i = 0; i < addresses.size(); ++i)
        window->Items[i]->SetValue(i == 6 ? "300" : "0");
    window->DataModified = false; // reading must not mark it
    ui.Clear();
    client.ExecuteCommand(cmd::kReadConfig);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Configuration read."});
    for (std::size_t i = 0; i < addresses.size(); ++i)
        EXPECT_EQ(window->Items[i]->GetValueText(), values[i]) << window->Items[i]->GetName();
    EXPECT_FALSE(window->DataModified);

    ui.Clear();
    client.ExecuteCommand(cmd::kPttVersion);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "2.10");
    EXPECT_EQ(ui.messages[0].caption, "Software version");
    EXPECT_EQ(ui.messages[0].icon, Icon::None);

    client.ExecuteCommand(cmd::kStop);
    EXPECT_TRUE(WaitFor([&] { return !sim.Awake(); }));
}

TEST_F(CommsTest, StartAnswersTheFirstAckOnceAndDropsWhatCameBefore) {
    Pty transmitter;
    ASSERT_TRUE(transmitter.Ok());
    UsePort(transmitter.Slave());
    Settings::WriteString("TIMING", "StartWaitMs", "3000");
    client.CmFileNew();
    // The transmitter wakes while Start waits.
    QTimer::singleShot(60, [&] { transmitter.WriteAll(std::string("\x15\x06\x06", 3)); });
    ui.Clear();
    client.ExecuteCommand(cmd::kStart);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Communications started"});
    EXPECT_TRUE(client.GetUserMode());
    EXPECT_EQ(transmitter.Read(2, 100), "A");
}

TEST_F(CommsTest, StartWaitEndsOnTimeOrWhenTheTerminalCloses) {
    sim::SimOptions options;
    options.neverWake = true;
    StartSim(options);
    Settings::WriteString("TIMING", "StartWaitMs", "300");
    client.CmFileNew();
    TNimbrelWindow* window = client.ConfigWindow();
    ui.Clear();
    auto start = std::chrono::steady_clock::now();
    client.ExecuteCommand(cmd::kStart);
    EXPECT_GE(MsSince(start), 300 - 2); // whole-millisecond ticks
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "No communication from PTT");
    EXPECT_EQ(ui.messages[0].caption, "Communications error");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_FALSE(client.GetUserMode());
    EXPECT_TRUE(window->CommEnabled) << "the port stays open for the next Start";
    EXPECT_TRUE(peer->sim.Received().empty());

    // Closing the terminal window during the wait offers to cancel it; the
    // wait ends at once and the terminal closes after it.
    Settings::WriteString("TIMING", "StartWaitMs", "20000");
    QTimer::singleShot(50, [this] { CloseTerminal(); });
    ui.Clear();
    ui.answers.push_back(Answer::Yes);
    start = std::chrono::steady_clock::now();
    client.ExecuteCommand(cmd::kStart);
    EXPECT_LT(MsSince(start), 50 + 200);
    EXPECT_EQ(ui.Texts(),
              (std::vector<std::string>{
                  "A transfer with the transmitter is running.\r\nCancel it and close the "
                  "terminal window?",
                  "Starting was cancelled.\r\nCommunications were not started."}));
    WaitUntil([this] { return !client.TermWindowOpen(); }, 3000);
    EXPECT_FALSE(client.TermWindowOpen());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(client.GetUserMode());
}

TEST_F(CommsTest, VersionAnswersThatAreNotAVersion) {
    sim::SimOptions invalid = Awake();
    invalid.versionAnswer = "V2.10";
    sim::SimOptions silent;
    silent.neverWake = true; // asleep: the query goes unanswered
    Settings::WriteString("TIMING", "VersionWaitMs", "200");
    const std::pair<sim::SimOptions, std::string> cases[] = {
        {invalid, "Invalid response from PTT"},
        {silent, "No version information available"},
    };
    for (const auto& [options, text] : cases) {
        SCOPED_TRACE(text);
        StartSim(options);
        Open({{kTypeLong, "1", "Item", 4, 0}});
        ASSERT_NO_FATAL_FAILURE(Connect());
        ui.Clear();
        client.ExecuteCommand(cmd::kPttVersion);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(ui.messages[0].caption, "Software version");
        CloseConfig();
        CloseTerminal();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CommsTest, WrongReadBackStopsTheSendAtThatItem) {
    auto options = Awake();
    options.wrongByteAddress = 9;
    Settings::WriteString("TIMING", "ResponseWaitMs", "300");
    auto& sim = StartSim(options);
    Open({{kTypePttId, "11111", "PTT ID number", 4, 0},
          {kTypeLong, "90", "Rate", 4, 4},
          {kTypeLong, "7200", "On", 4, 8},
          {kTypeLong, "14400", "Off", 4, 12}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    client.ExecuteCommand(cmd::kSendConfig);

    ASSERT_EQ(ui.messages.size(), 1u) << "no \"Configuration sent.\"";
    EXPECT_EQ(ui.messages[0].text, "Sent 00 got FF\r\nItem \"On\" at address 9 H." + kTail);
    EXPECT_EQ(ui.messages[0].caption, "PTT communication error");
    EXPECT_EQ(sim.Peek(7), 0x5A);
    EXPECT_EQ(sim.Peek(9), 0x00) << "written, then read back wrong";
    for (std::uint16_t a = 10; a < 16; ++a)
        EXPECT_EQ(sim.Peek(a), 0xFF) << "address " << a << " not sent";
    EXPECT_EQ(sim.Commands().back(), "R000900");
    EXPECT_EQ(ui.status.back(), "");
}

TEST_F(CommsTest, ForwardedCommandsRefuseWithoutReachingTheTransmitter) {
    StartSim(Awake());
    ui.Clear();
    client.ExecuteCommand(cmd::kStart);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"You must open a configuration file first."});
    EXPECT_EQ(ui.messages[0].caption, "Nimbrel Notice");

    // The port is open, but Start has not been answered.
    Open({{kTypeLong, "1", "Item", 4, 0}});
    client.TermOpen(false);
    ASSERT_TRUE(client.ConfigWindow()->EnableCommPort(true));
    for (int id : {cmd::kStop, cmd::kSendConfig, cmd::kPttVersion, cmd::kReadConfig}) {
        SCOPED_TRACE(id);
        ui.Clear();
        client.ExecuteCommand(id);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{"You must first start PTT comunications."});
        EXPECT_EQ(ui.messages[0].caption, "Error");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(peer->sim.Received().empty());
}

TEST_F(CommsTest, UserCommandListOffersUserCommandsAndSendsTheirValues) {
    StartSim(Awake());
    Open({{kTypeUserCommand, "X1", "Reset", 0, 0}, {kTypeLong, "5", "Reset", 4, 0x10}});
    client.TermOpen(false);

    std::vector<std::vector<std::string>> shown;
    std::vector<int> selected;
    UserCommands::ScopedDriver driver([&](UserCommands& dialog) {
        shown.push_back(Entries(dialog));
        selected.push_back(dialog.List()->currentRow());
        switch (shown.size()) {
        case 1:
            EXPECT_EQ(dialog.windowTitle(), "User command list (available commands)");
            EXPECT_TRUE(dialog.ExecuteButton()->isDefault());
            dialog.List()->setCurrentRow(0);
            dialog.ExecuteButton()->click();
            break;
        case 2:
            DoubleClick(dialog, 0);
            break;
        default:
            dialog.CloseButton()->click();
            break;
        }
    });
    client.ExecuteCommand(cmd::kUserCommand);

    EXPECT_EQ(shown, std::vector<std::vector<std::string>>(3, {"Reset"}));
    EXPECT_EQ(selected, (std::vector<int>{-1, 0, 0})) << "the executed entry stays selected";
    EXPECT_EQ(Received(4), "X1X1");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(peer->sim.Received(), "X1X1") << "Close sends nothing";
}

TEST_F(CommsTest, UserCommandListWithoutAConfigurationIsEmpty) {
    StartSim(Awake());
    client.TermOpen(false);
    std::vector<int> counts;
    UserCommands::ScopedDriver driver([&](UserCommands& dialog) {
        counts.push_back(dialog.List()->count());
        if (counts.size() == 1) {
            dialog.ExecuteButton()->click(); // nothing to send; the list comes back
        } else {
            dialog.reject();
        }
    });
    client.ExecuteCommand(cmd::kUserCommand);
    EXPECT_EQ(counts, (std::vector<int>{0, 0}));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(peer->sim.Received().empty());
}

TEST_F(CommsTest, UserCommandListRunsAsARealModalDialog) {
    StartSim(Awake());
    Open({{kTypeUserCommand, "B7", "Beep", 0, 0}, {kTypeUserCommand, "Q", "Quiet", 0, 0}});
    client.TermOpen(false);

    // Each opening is answered once: Return on the second entry, then Escape.
    int openings = 0;
    QStringList notes;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<UserCommands*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog->property("answered").toBool()) return;
        dialog->setProperty("answered", true);
        if (++openings == 1) {
            for (const QLabel* label : dialog->findChildren<QLabel*>())
                notes << label->text();
            dialog->List()->setCurrentRow(1);
            QTest::keyClick(dialog, Qt::Key_Return);
        } else {
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
    poll.start(10);
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    watchdog.start(10000);

    client.ExecuteCommand(cmd::kUserCommand);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(openings, 2);
    EXPECT_TRUE(notes.contains("The Execute button does not close window"));
    EXPECT_EQ(Received(1), "Q");
}

} // namespace
} // namespace nimbrel::test
