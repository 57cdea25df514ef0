// The configuration window's transmitter commands against the simulated
// transmitter: decoding what is read back, what is refused before anything
// is sent or read, progress, the exit string, and the user command lookups.
#include "configwin/comparedialog.h"
#include "fleet/history.h"
#include "platform/commandids.h"
#include "tests/app/whenmodal.h"
#include "tests/configwin/commsfixture.h"

#include <QCheckBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

const char* const kStartFirst = "You must start PTT communications first";

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::vector<std::string> ReadCommands(const std::vector<std::string>& commands) {
    std::vector<std::string> reads;
    for (const auto& c : commands) {
        if (c[0] == 'R') reads.push_back(c);
    }
    return reads;
}

TEST_F(CommsTest, UserCommandNamesAndTheirLookUp) {
    Open({{kTypeUserCommand, "Step", "Go", 0, 0},
          {kTypeUserCommand, "X1", "Reset", 0, 0},
          {kTypeLong, "5", "Reset", 4, 0},
          {kTypeUserCommand, "S9", "Step", 0, 0}});
    std::vector<std::string> names{"kept"};
    client.FillCommandList(names);
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "Go", "Reset", "Step"}));

    auto lookUp = [this](std::string text) {
        client.GetCommand(text);
        return text;
    };
    EXPECT_EQ(lookUp("Reset"), "X1") << "the later item of another type no longer matches";
    EXPECT_EQ(lookUp("Go"), "S9") << "the walk goes on with the text it found";
    EXPECT_EQ(lookUp("reset"), "reset");
    EXPECT_EQ(lookUp("Nothing"), "Nothing");
}

TEST_F(CommsTest, ReadingDecodesEachTypeAndLeavesTheConfigurationUnmodified) {
    auto& sim = StartSim(Awake());
    const std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> memory = {
        {0x20, {0x00, 0x00, 0x1C, 0x20}},
        {0x30, {0x12, 0x34}},
        {0x40, {0x33, 0x00, 0x00, 0x00}},
        {0x50, {0x00, 0x00, 0x00, 0x62}},
        {0x60, {0x41, 0x42, 0x43}},
        {0x70, {0x3F, 0xC0, 0x00, 0x00}},
        {0x80, {0x41, 0x42}},
    };
    for (const auto& [address, bytes] : memory) {
        for (std::size_t k = 0; k < bytes.size(); ++k)
            sim.Poke(static_cast<std::uint16_t>(address + k), bytes[k]);
    }
    TNimbrelWindow* window = Open({{kTypeLong, "1", "Long", 4, 0x20},
                                   {kTypeInt, "1", "Int", 2, 0x30},
                                   {kTypeBaud, "9600", "Baud", 4, 0x40},
                                   {kTypePttId, "1", "Id", 4, 0x50},
                                   {kTypeString, "000000", "String", 3, 0x60},
                                   {kTypeFloat, "0.0", "Float", 4, 0x70},
                                   {kTypeAscii, "zz", "Ascii", 2, 0x80}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    client.ExecuteCommand(cmd::kReadConfig);

    EXPECT_EQ(Value(0), "7200");
    EXPECT_EQ(Value(1), "4660");
    EXPECT_EQ(Value(2), "1200");
    EXPECT_EQ(Value(3), "16385");
    EXPECT_EQ(Value(4), "414243");
    EXPECT_EQ(Value(5), "1.500000");
    EXPECT_EQ(Value(6), "zz") << "ASCII strings are read but not used";
    EXPECT_FALSE(window->DataModified);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Configuration read."});
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].icon, Icon::None);

    const auto reads = ReadCommands(sim.Commands());
    ASSERT_EQ(reads.size(), 23u);
    EXPECT_EQ(std::vector<std::string>(reads.begin(), reads.begin() + 4),
              (std::vector<std::string>{"R002000", "R002100", "R002200", "R002300"}));

    ASSERT_FALSE(ui.status.empty());
    // Progress is shown as it stands when the screen catches up: the newest
    // step at least, the last one always.
    EXPECT_EQ(ui.status.front().rfind("Reading configuration: item ", 0), 0u) << ui.status.front();
    EXPECT_TRUE(Contains(ui.status, "Reading configuration: item 7 of 7"));
    EXPECT_EQ(ui.status.back(), "");
}

TEST_F(CommsTest, ReadTimeOutEndsTheReadWithItemsReadSoFarKept) {
    Settings::WriteString("TIMING", "ReadByteWaitMs", "200");
    auto options = Awake();
    options.stopAfterReads = 5;
    auto& sim = StartSim(options);
    for (std::uint16_t a = 0; a < 12; ++a)
        sim.Poke(a, 0);
    sim.Poke(3, 9);
    sim.Poke(7, 8);
    Open({{kTypeLong, "1", "First", 4, 0},
          {kTypeLong, "2", "Second", 4, 4},
          {kTypeLong, "3", "Third", 4, 8}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    client.ExecuteCommand(cmd::kReadConfig);

    EXPECT_EQ(Value(0), "9");
    EXPECT_EQ(Value(1), "2") << "an item only part read keeps its value";
    EXPECT_EQ(Value(2), "3");
    ASSERT_EQ(ui.messages.size(), 1u) << "no closing notice after a failed read";
    EXPECT_EQ(ui.messages[0].text, "Error reading data\r\nItem \"Second\" at address 5 H.");
    EXPECT_EQ(ui.messages[0].caption, "Read Error");
    EXPECT_EQ(ReadCommands(sim.Commands()).size(), 6u) << "nothing asked after the time-out";
    EXPECT_EQ(ui.status.back(), "");
}

TEST_F(CommsTest, ItemsThatDoNotFitTheReadAreNamedAndLeftAlone) {
    auto& sim = StartSim(Awake());
    for (std::uint16_t a = 0x200; a < 0x204; ++a)
        sim.Poke(a, 0);
    sim.Poke(0x203, 42);
    TNimbrelWindow* window = Open({{kTypeString, "AB", "Huge", 300, 0},
                                   {kTypeLong, "1", "Top", 4, 0xFFFE},
                                   {kTypeLong, "1", "Fine", 4, 0x200}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    EXPECT_FALSE(window->ReadConfig());

    const auto texts = ui.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("\"Huge\" has 300 bytes"), std::string::npos) << texts[0];
    EXPECT_NE(texts[1].find("\"Top\""), std::string::npos) << texts[1];
    EXPECT_EQ(ui.messages[0].caption, "Read Error");
    EXPECT_EQ(Value(0), "AB");
    EXPECT_EQ(Value(1), "1");
    EXPECT_EQ(Value(2), "42") << "the other items are read";
    EXPECT_EQ(ReadCommands(sim.Commands()).size(), 4u);
}

TEST_F(CommsTest, SendRefusesAnItemThatCannotBeSentBeforeSendingAnything) {
    auto& sim = StartSim(Awake());
    const std::vector<ItemSpec> cases[] = {
        {{kTypeLong, "1", "Good", 4, 0}, {kTypeString, std::string(74, '0'), "Wide", 37, 0x10}},
        {{kTypeLong, "1", "Good", 4, 0}, {kTypeLong, "1", "Edge", 4, 0xFFFD}},
    };
    for (const auto& items : cases) {
        SCOPED_TRACE(items[1].name);
        Open(items);
        ASSERT_NO_FATAL_FAILURE(Connect());
        ui.Clear();
        client.ExecuteCommand(cmd::kSendConfig);
        ASSERT_EQ(ui.messages.size(), 1u) << "no \"Configuration sent.\"";
        const auto& m = ui.messages[0];
        EXPECT_NE(m.text.find("\"" + items[1].name + "\""), std::string::npos) << m.text;
        EXPECT_NE(m.text.find("\r\nNothing was sent."), std::string::npos);
        EXPECT_EQ(m.icon, Icon::Exclamation);
        CloseConfig();
    }
    EXPECT_TRUE(ReadCommands(sim.Commands()).empty());
    for (const auto& c : sim.Commands())
        EXPECT_NE(c[0], 'E') << c;
}

TEST_F(CommsTest, SendWritesEachItemsEncodingSkipsUserCommandsAndShowsProgress) {
    auto& sim = StartSim(Awake());
    Open({{kTypeLong, "7200", "On", 4, 0x8000},
          {kTypeUserCommand, "X1", "Reset", 4, 0x8004},
          {kTypeInt, "31", "Hex", 2, 0x10},
          {kTypeFloat, "1.5", "Float", 4, 0x100},
          {kTypeBaud, "4800", "Baud", 4, 0x20},
          {kTypeAscii, "AB", "Ascii", 2, 0x30},
          {kTypeUnformatted, "e0040ab E0041CD", "Raw", 0, 0},
          {kTypePttId, "1", "Id", 4, 0x50}});
    client.ConfigWindow()->Items[2]->SetHex(true);
    EXPECT_EQ(client.ConfigWindow()->Items[2]->GetValueText(), "1f H");
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    client.ExecuteCommand(cmd::kSendConfig);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Configuration sent."});

    const std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> memory = {
        {0x8000, {0x00, 0x00, 0x1C, 0x20, 0xFF}}, // the user command after it is not sent
        {0x10, {0x00, 0x1F}},
        {0x100, {0x3F, 0xC0, 0x00, 0x00}},
        {0x20, {0x31, 0xFF}}, // one byte whatever the size
        {0x30, {0x41, 0x42}},
        {0x40, {0xAB, 0xFF}}, // cut at the blank
        {0x50, {0x00, 0x00, 0x00, 0x53}},
    };
    for (const auto& [address, bytes] : memory) {
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            const auto at = static_cast<std::uint16_t>(address + k);
            EXPECT_EQ(sim.Peek(at), bytes[k]) << std::hex << at;
        }
    }
    EXPECT_EQ(sim.Commands().front(), "E800000");
    EXPECT_EQ(ui.status.front().rfind("Sending configuration: item ", 0), 0u) << ui.status.front();
    EXPECT_TRUE(Contains(ui.status, "Sending configuration: item 7 of 7"));
    EXPECT_EQ(ui.status.back(), "");
}

TEST_F(CommsTest, WithoutATerminalTheCommandsRefuse) {
    TNimbrelWindow* window = Open({{kTypeLong, "1", "Item", 4, 0}});
    window->CommEnabled = true;
    EXPECT_FALSE(window->CmSendfile());
    EXPECT_FALSE(window->CommEnabled);
    EXPECT_FALSE(window->ReadConfig());
    EXPECT_FALSE(window->CmPttversion());
    EXPECT_FALSE(window->CmStop());
    EXPECT_EQ(ui.Texts(), std::vector<std::string>(4, kStartFirst));
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.caption, "Communications error");
        EXPECT_EQ(m.icon, Icon::Exclamation);
    }

    // Start opens the terminal; a port that cannot be opened is reported
    // once, naming the device and why.
    UsePort(dir.File("no-such-device"));
    ui.Clear();
    EXPECT_FALSE(window->CmStart());
    EXPECT_TRUE(client.TermWindowOpen());
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Error opening serial port. Check ini file.\r\n" +
                                       dir.File("no-such-device") + ": no such device."});
    EXPECT_FALSE(client.GetUserMode());
    ui.Clear();
    EXPECT_FALSE(window->CmStart()) << "another try, another single message";
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(CommsTest, StopAndClosingSendTheExitString) {
    auto& sim = StartSim(Awake());
    TNimbrelWindow* window = Open({{kTypeLong, "1", "Item", 4, 0}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    Settings::WriteString("USER INTERFACE", "abort", "AAAAAAAAAA");
    EXPECT_TRUE(window->CmStop());
    EXPECT_EQ(Received(7), "AAAAAAA");
    Settings::WriteString("USER INTERFACE", "abort", "qq");
    EXPECT_TRUE(window->CmStop());
    EXPECT_EQ(Received(9), "AAAAAAAqq") << "a short string is sent as it is";
    EXPECT_TRUE(client.GetUserMode()) << "Stop changes no state";
    EXPECT_TRUE(window->CommEnabled);

    Settings::WriteString("USER INTERFACE", "abort", "qqqqqqq");
    CloseConfig();
    EXPECT_EQ(client.ConfigWindow(), nullptr);
    EXPECT_EQ(Received(16), "AAAAAAAqqqqqqqqq");
    EXPECT_FALSE(sim.Awake());
}

// A transmitter slow enough that a read of a few items takes a while.
sim::SimOptions PacedAwake() {
    sim::SimOptions o;
    o.startAwake = true;
    o.baud = 9600;
    return o;
}

TEST_F(CommsTest, ASecondTransferWhileOneRunsIsRefused) {
    StartSim(PacedAwake());
    TNimbrelWindow* window =
        Open({{kTypeLong, "1", "First", 4, 0}, {kTypeLong, "2", "Next", 4, 4}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    std::vector<bool> nested;
    QTimer::singleShot(20, [&] {
        nested.push_back(window->CmSendfile());
        nested.push_back(window->CmStart());
    });
    EXPECT_TRUE(window->ReadConfig());
    EXPECT_EQ(nested, (std::vector<bool>{false, false}));
    const std::string busy = "Another transfer with the transmitter is running.\r\nWait until it "
                             "has ended, or cancel it, and try again.";
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{busy, busy})) << "each refusal says so once";
    EXPECT_EQ(Value(1), "-1") << "the read went on (erased memory reads ff)";
}

TEST_F(CommsTest, TheWindowsTakeNoInputWhileATransferRuns) {
    StartSim(PacedAwake());
    TNimbrelWindow* window = Open({{kTypeLong, "1", "First", 4, 0},
                                   {kTypeLong, "2", "Second", 4, 4},
                                   {kTypeLong, "3", "Third", 4, 8}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    bool typed = false;
    QTimer::singleShot(20, [&] {
        QTest::keyClick(window->GetEditPointer(0), Qt::Key_5);
        QTest::mouseDClick(window->ClientArea(), Qt::LeftButton, {}, QPoint(100, 60));
        typed = true;
    });
    EXPECT_TRUE(window->ReadConfig());
    EXPECT_TRUE(typed);
    EXPECT_EQ(window->ItemCount(), 3);
    EXPECT_EQ(Value(0), "-1") << "the read's value, not a typed one";
    EXPECT_FALSE(window->DataModified);
    EXPECT_TRUE(ui.messages.empty()) << "no editor, no password message";
}

TEST_F(CommsTest, ClosingAWindowDuringATransferOffersToCancelIt) {
    StartSim(PacedAwake());
    TNimbrelWindow* window =
        Open({{kTypeLong, "1", "First", 4, 0}, {kTypeLong, "2", "Next", 4, 4}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    ui.answers = {Answer::No, Answer::No}; // keep the transfer going
    QTimer::singleShot(20, [this] {
        CloseTerminal();
        CloseConfig();
    });
    EXPECT_TRUE(window->ReadConfig());
    EXPECT_EQ(client.ConfigWindow(), window);
    EXPECT_TRUE(client.TermWindowOpen());
    EXPECT_EQ(ui.Texts(),
              (std::vector<std::string>{"A transfer with the transmitter is running.\r\nCancel it "
                                        "and close the terminal window?",
                                        "A transfer with the transmitter is running.\r\nCancel it "
                                        "and close the window?"}));
    EXPECT_EQ(Value(1), "-1") << "the read went on to the end";

    // Once it has ended, both close as before.
    CloseConfig();
    EXPECT_EQ(client.ConfigWindow(), nullptr);
    CloseTerminal();
    EXPECT_FALSE(client.TermWindowOpen());
}

TEST_F(CommsTest, CompareListsExactlyTheItemsThatDifferAndChangesNothing) {
    auto& sim = StartSim(Awake());
    const std::vector<ItemSpec> items = {{kTypeLong, "7200", "On", 4, 0x10},
                                         {kTypeInt, "300", "Rate", 2, 0x14},
                                         {kTypeChar, "5", "Count", 1, 0x16}};
    const std::vector<std::pair<std::uint16_t, std::uint8_t>> memory = {
        {0x10, 0x00}, {0x11, 0x00}, {0x12, 0x1C}, {0x13, 0x20},
        {0x14, 0x01}, {0x15, 0x2C}, {0x16, 5}};
    for (const auto& [address, byte] : memory)
        sim.Poke(address, byte);
    TNimbrelWindow* window = Open(items);
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    client.ExecuteCommand(cmd::kCompare);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{
                              "The transmitter holds the same values as the configuration."});
    EXPECT_EQ(ui.messages[0].caption, "Compare with transmitter");

    sim.Poke(0x15, 0x2D); // the int now reads 301
    ui.Clear();
    QStringList cells;
    std::vector<std::size_t> shown, all;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<CompareDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        shown = dialog->ShownItems();
        for (int c = 0; c < dialog->Table()->columnCount(); ++c)
            cells << dialog->Table()->item(0, c)->text();
        dialog->ShowAll()->click();
        all = dialog->ShownItems();
        dialog->reject();
    });
    client.ExecuteCommand(cmd::kCompare);
    EXPECT_TRUE(ui.Texts().empty()) << "a table, not a message";
    EXPECT_EQ(shown, std::vector<std::size_t>{1});
    EXPECT_EQ(cells, (QStringList{"Rate", "Probe", "14 H", "300", "301", "yes"}));
    EXPECT_EQ(all, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(Value(1), "300") << "the configuration keeps its values";
    EXPECT_FALSE(window->DataModified);
}

TEST_F(CommsTest, OverlappingItemsAreNamedAndSentOnlyWhenTheUserSaysSo) {
    auto& sim = StartSim(Awake());
    Open({{kTypeLong, "1", "First", 4, 0}, {kTypeInt, "2", "Second", 2, 2}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    ui.answers.push_back(Answer::No);
    client.ExecuteCommand(cmd::kSendConfig);
    ASSERT_EQ(ui.messages.size(), 1u) << "no \"Configuration sent.\"";
    const auto& question = ui.messages[0];
    EXPECT_EQ(question.caption, "Overlapping items");
    EXPECT_EQ(question.buttons, Buttons::YesNo);
    EXPECT_NE(question.text.find("\"First\" (Probe, address 0 H) and \"Second\" (Probe, "
                                 "address 2 H)"),
              std::string::npos)
        << question.text;
    EXPECT_NE(question.text.find("The ready-made sensors all sit at address 0"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(sim.Commands().empty()) << "nothing sent";

    ui.Clear();
    ui.answers.push_back(Answer::Yes);
    client.ExecuteCommand(cmd::kSendConfig);
    EXPECT_EQ(ui.Texts().back(), "Configuration sent.");
    EXPECT_EQ(sim.Peek(2), 0x00) << "the later item overwrote the earlier one's bytes";
    EXPECT_EQ(sim.Peek(3), 0x02);
}

std::vector<HistoryRecord> HistoryAt(const std::string& path) {
    History history;
    if (!history.Open(path)) return {};
    return history.Query({}).value_or(std::vector<HistoryRecord>{});
}

TEST_F(CommsTest, EachSendLeavesItsRecordInTheHistoryWithTheVersionReadSinceStart) {
    auto options = Awake();
    options.wrongByteAddress = 0x14;
    StartSim(options);
    Settings::WriteString("TIMING", "ResponseWaitMs", "300");
    TNimbrelWindow* window =
        Open({{kTypePttId, "12345", "Id", 4, 0x50}, {kTypeLong, "7200", "On", 4, 0x10}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    client.ExecuteCommand(cmd::kPttVersion);
    ui.Clear();
    client.ExecuteCommand(cmd::kSendConfig);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Configuration sent."});
    window->Items[1]->SetAddress(0x12); // its last byte now reads back wrong
    ui.Clear();
    client.ExecuteCommand(cmd::kSendConfig);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string failure = ui.messages[0].text;

    const auto records = HistoryAt(HistoryPath());
    ASSERT_EQ(records.size(), 2u);
    const HistoryRecord& sent = records[1];
    EXPECT_EQ(sent.source, "window");
    EXPECT_EQ(sent.outcome, kOutcomeDone);
    EXPECT_TRUE(sent.verified);
    EXPECT_EQ(sent.message, "");
    EXPECT_EQ(sent.pttId, 12345);
    EXPECT_EQ(sent.pttWord, DisplayLine::GetPttId(12345));
    EXPECT_EQ(sent.port, peer->pty.Slave());
    EXPECT_EQ(sent.version, "2.10");
    EXPECT_EQ(sent.configFile, dir.File("test.cfg"));
    EXPECT_EQ(sent.bytesWritten, 8);
    EXPECT_FALSE(sent.configSha256.empty());
    const HistoryRecord& failed = records[0];
    EXPECT_EQ(failed.outcome, kOutcomeMismatch);
    EXPECT_FALSE(failed.verified);
    EXPECT_EQ(failed.message, failure);
    EXPECT_NE(failed.configSha256, sent.configSha256);
    EXPECT_EQ(failed.bytesWritten, 4) << "the item before the one that failed";
}

TEST_F(CommsTest, AHistoryThatCannotBeWrittenIsToldOnceAndTheSendsGoOn) {
    auto& sim = StartSim(Awake());
    const std::string unwritable = dir.Write("plain", "a file, not a folder") + "/history.sqlite";
    Settings::WriteString("HISTORY", "File", unwritable);
    Open({{kTypeLong, "7200", "On", 4, 0x10}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    client.ExecuteCommand(cmd::kSendConfig);
    client.ExecuteCommand(cmd::kSendConfig);

    const auto texts = ui.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Configuration sent.");
    EXPECT_NE(texts[1].find(unwritable), std::string::npos) << texts[1];
    EXPECT_EQ(ui.messages[1].caption, "Programming history");
    EXPECT_EQ(texts[2], "Configuration sent.") << "told once per run";
    EXPECT_EQ(sim.Peek(0x12), 0x1C);
}

} // namespace
} // namespace nimbrel::test
