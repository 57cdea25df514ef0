// The terminal window inside the MDI client, on a pseudo-terminal: the test
// plays the transmitter on the master side, or the simulated transmitter does.
#include "app/qtui.h"
#include "terminal/termwin.h"

#include "app/mdichild.h"
#include "app/mdiclient.h"
#include "link/comstream.h"
#include "link/linksession.h"
#include "platform/clock.h"
#include "platform/commandids.h"
#include "platform/settings.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

const std::string kNeedPassword = "This function requires the system password";

class TermWinTest : public ::testing::Test {
protected:
    TermWinTest() {
        // As the program waits: until an event arrives or the slice is over.
        ui.onServe = &QtUi::ServeQtEvents;
        QuickTimings();
        Settings::WriteString("TIMING", "ResponseWaitMs", "2000");
        Settings::WriteString("FILE TRANSFER", "ReadAfterWrite", "0");
    }

    // Opens the terminal on the test's own line; the stream's initial 0 byte
    // has been shown on return.
    TermWin* OpenOnPty() {
        pty = std::make_unique<Pty>();
        UsePort(pty->Slave());
        return Open();
    }

    // Opens the terminal on the simulated transmitter, awake and quick.
    TermWin* OpenOnSim() {
        sim::SimOptions options;
        options.startAwake = true;
        options.pace = false;
        peer = std::make_unique<SimThread>(options);
        UsePort(peer->pty.Slave());
        return Open();
    }

    TermWin* Open() {
        client.TermOpen(false);
        TermWin* term = client.TerminalWindow();
        if (term != nullptr) {
            EXPECT_TRUE(Shows("{ NULL}"));
            term->Link().Port().FlushComm(1);
        }
        return term;
    }

    std::string Shown() {
        TermWin* term = client.TerminalWindow();
        return term == nullptr ? "" : term->Display()->toPlainText().toStdString();
    }

    // Serves events until the display ends with `tail`.
    bool Shows(const std::string& tail, int timeoutMs = 3000) {
        return WaitUntil(
            [&] {
                const std::string text = Shown();
                return text.size() >= tail.size() &&
                       text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
            },
            timeoutMs);
    }

    std::string ReadFileWhenSize(const std::string& path, std::size_t size) {
        WaitUntil([&] { return TempDir::ReadFile(path).size() >= size; }, 3000);
        return TempDir::ReadFile(path);
    }

    void CloseTerminal() {
        for (QMdiSubWindow* frame : client.subWindowList()) {
            if (frame->widget() == client.TerminalWindow()) frame->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TempDir dir;
    RecordingUi ui;
    std::unique_ptr<Pty> pty;
    std::unique_ptr<SimThread> peer;
    TNimbrelMDIClient client;
};

std::string AllByteValues() {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

TEST_F(TermWinTest, DisplayShowsReceivedBytesInTheirFormsAtTheEnd) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    EXPECT_TRUE(term->Display()->isReadOnly());

    ASSERT_TRUE(pty->WriteAll(std::string("OK\r\n\x06\x15", 6) + std::string(1, '\0') + "\x1b"));
    EXPECT_TRUE(Shows("{ NULL}OK\n{/ACK/}{NAK}{ NULL}{ 0x1b}")) << Shown();

    // A CR LF split over two chunks is still one line break; a lone CR is one too.
    ASSERT_TRUE(pty->WriteAll("A\r"));
    ASSERT_TRUE(Shows("A\n"));
    ASSERT_TRUE(pty->WriteAll("\nB\rC\x7f"));
    EXPECT_TRUE(Shows("{ 0x1b}A\nB\nC{ 0x7f}")) << Shown();

    // The receive buffer got the raw bytes, whatever the display shows.
    ASSERT_TRUE(WaitUntil([&] { return term->Link().Port().GetBytesInQue() == 15; }, 2000));
    std::string raw(15, '?');
    EXPECT_EQ(term->Link().Port().ReadComm(raw.data(), 15), 15);
    EXPECT_EQ(raw,
              std::string("OK\r\n\x06\x15", 6) + std::string(1, '\0') + "\x1b" + "A\r\nB\rC\x7f");
}

TEST_F(TermWinTest, LongOutputKeepsTheLatestTextAndStaysShort) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    std::string stream = "{ NULL}";
    std::string sent;
    for (int i = 0; i < 2400; ++i)
        sent += std::to_string(i) + ",";
    stream += sent;
    ASSERT_TRUE(pty->WriteAll(sent));
    ASSERT_TRUE(Shows("2399,", 5000));

    // Trimmed at least once, never past the limit, and what is left is the
    // tail of everything received, without gaps, in lines of at most 256.
    std::string shown = Shown();
    EXPECT_LT(shown.size(), 8000u);
    EXPECT_GE(shown.size(), 1000u);
    std::size_t from = 0;
    for (std::size_t lf = shown.find('\n'); lf != std::string::npos; lf = shown.find('\n', from)) {
        EXPECT_LE(lf - from, 256u);
        from = lf + 1;
    }
    shown.erase(std::remove(shown.begin(), shown.end(), '\n'), shown.end());
    EXPECT_EQ(stream.compare(stream.size() - shown.size(), shown.size(), shown), 0);
    EXPECT_LE(term->DisplayLength(), 8000);
}

TEST_F(TermWinTest, LinesBreakOnlyBetweenShownForms) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    std::string sent;
    for (int i = 0; i < 120; ++i)
        sent += i % 3 == 0 ? "\x06" : i % 3 == 1 ? "\x15" : "\x84";
    ASSERT_TRUE(pty->WriteAll(sent + "\n"));
    ASSERT_TRUE(Shows("{ 0x84}\n"));
    const std::string shown = Shown();
    std::size_t from = 0;
    for (std::size_t lf = shown.find('\n'); lf != std::string::npos; lf = shown.find('\n', from)) {
        const std::string line = shown.substr(from, lf - from);
        EXPECT_LE(line.size(), 256u);
        if (!line.empty()) {
            EXPECT_TRUE(line.front() == '{' && line.back() == '}') << line;
        }
        from = lf + 1;
    }
}

TEST_F(TermWinTest, AFloodIsShownInOneDisplayUpdate) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    int updates = 0;
    QObject::connect(term->Display(), &QPlainTextEdit::textChanged, [&] { ++updates; });
    std::string sent;
    for (int i = 0; sent.size() < 30000; ++i)
        sent += std::to_string(i) + ",";
    // The receive task takes it all in before the event loop turns once.
    ASSERT_TRUE(pty->WriteAll(sent));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (term->Link().Port().GetBytesInQue() < static_cast<std::int32_t>(sent.size()) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150)); // the last batch's interval
    const std::string tail = sent.substr(sent.size() - 20);
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::string shown = Shown();
            shown.erase(std::remove(shown.begin(), shown.end(), '\n'), shown.end());
            return shown.size() >= tail.size() &&
                   shown.compare(shown.size() - tail.size(), tail.size(), tail) == 0;
        },
        3000));
    // One update, or two when the last batch came after the first was shown
    // (thirty, one a batch, before).
    EXPECT_LE(updates, 2);
    EXPECT_LE(term->DisplayLength(), 8000);
}

TEST_F(TermWinTest, LogHoldsExactlyTheBytesReceivedWhileLogging) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    const std::string first = dir.Write("first.log", "old;");

    ui.fileReplies.push_back(first);
    client.ExecuteCommand(cmd::kLog);
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    const FileRequest& request = ui.fileRequests.back();
    EXPECT_FALSE(request.save);
    EXPECT_EQ(request.filter, "Log Files|*.log");
    EXPECT_EQ(request.defaultExt, "log");
    EXPECT_TRUE(request.pathMustExist);
    EXPECT_FALSE(request.mustExist);
    ASSERT_FALSE(ui.status.empty());
    EXPECT_EQ(ui.status.back(), "Logging to " + first);
    EXPECT_TRUE(term->Link().IsLogging());

    // Appended, byte for byte, every value included.
    ASSERT_TRUE(pty->WriteAll(AllByteValues()));
    EXPECT_EQ(ReadFileWhenSize(first, 4 + 256), "old;" + AllByteValues());

    // A second log closes the first; each keeps what it received.
    const std::string second = dir.File("second.log");
    ui.fileReplies.push_back(second);
    client.ExecuteCommand(cmd::kLog);
    ASSERT_TRUE(term->Link().IsLogging());
    ASSERT_TRUE(pty->WriteAll("xyz"));
    EXPECT_EQ(ReadFileWhenSize(second, 3), "xyz");

    client.ExecuteCommand(cmd::kLogClose);
    EXPECT_FALSE(term->Link().IsLogging());
    EXPECT_EQ(ui.status.back(), "");
    ASSERT_TRUE(pty->WriteAll("after"));
    ASSERT_TRUE(Shows("xyzafter"));
    EXPECT_EQ(TempDir::ReadFile(first), "old;" + AllByteValues());
    EXPECT_EQ(TempDir::ReadFile(second), "xyz");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TermWinTest, LogThatCannotBeOpenedSaysSoAndLeavesLoggingOff) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    const std::string path = dir.File("missing/folder.log");
    ui.fileReplies.push_back(path);
    term->CmLog();

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(path), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_FALSE(term->Link().IsLogging());
    for (const std::string& text : ui.status)
        EXPECT_EQ(text.find("Logging to"), std::string::npos);

    // Cancelling the dialog while logging ends the old log and starts none.
    ui.fileReplies.push_back(dir.File("a.log"));
    term->CmLog();
    ASSERT_TRUE(term->Link().IsLogging());
    term->CmLog(); // no reply queued: cancelled
    EXPECT_FALSE(term->Link().IsLogging());
    EXPECT_EQ(ui.status.back(), "");
}

TEST_F(TermWinTest, ALogWriteThatFailsEndsLoggingAndSaysSoOnce) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    ui.fileReplies.push_back("/dev/full");
    term->CmLog();
    ASSERT_TRUE(term->Link().IsLogging());
    ASSERT_TRUE(pty->WriteAll("one"));
    ASSERT_TRUE(WaitUntil([&] { return !ui.messages.empty(); }, 3000));
    ASSERT_TRUE(pty->WriteAll("two"));
    ASSERT_TRUE(Shows("onetwo"));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Cannot write to the log file /dev/full: no "
                                                   "space left on device.\r\nLogging is off."});
    EXPECT_FALSE(term->Link().IsLogging());
    EXPECT_EQ(ui.status.back(), "");
}

TEST_F(TermWinTest, InterfaceCommandIsSentAsTypedAndNeedsThePasswordOnlyWhileStarted) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);

    ui.inputReplies.push_back("r01a000");
    client.ExecuteCommand(cmd::kSendString);
    ASSERT_EQ(ui.inputs.size(), 1u);
    EXPECT_EQ(ui.inputs[0].caption, "");
    EXPECT_EQ(ui.inputs[0].prompt, "Enter command string (255 characters max)");
    EXPECT_EQ(ui.inputs[0].initial, "");
    EXPECT_EQ(ui.inputs[0].maxChars, 255);
    EXPECT_EQ(pty->Read(7), "r01a000");

    // Nothing is added, and an empty text sends nothing.
    ui.inputReplies.push_back("");
    term->CmSendstring();
    ui.inputReplies.push_back(" q ");
    term->CmSendstring();
    EXPECT_EQ(pty->Read(4, 300), " q ");

    client.ComStart(true);
    term->CmSendstring();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kNeedPassword);
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(ui.inputs.size(), 3u);

    client.SetPassword(true);
    ui.inputReplies.push_back("TTTTTTT");
    term->CmSendstring();
    EXPECT_EQ(pty->Read(7), "TTTTTTT");
}

TEST_F(TermWinTest, SendFileSendsEveryByteWithThePasswordAndNamesAFileItCannotOpen) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    EXPECT_TRUE(term->HandlesCommand(cmd::kSendFile));
    const std::string file = dir.Write("raw.bin", AllByteValues());

    ui.fileReplies.push_back(file);
    term->ExecuteCommand(cmd::kSendFile);
    ASSERT_EQ(ui.Texts(), std::vector<std::string>{kNeedPassword});
    EXPECT_TRUE(ui.fileRequests.empty());
    ui.Clear();
    ui.fileReplies.clear();

    client.SetPassword(true);
    ui.fileReplies.push_back(file);
    term->ExecuteCommand(cmd::kSendFile);
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_EQ(ui.fileRequests[0].filter, "Unformated Binary Files|*.*");
    EXPECT_EQ(ui.fileRequests[0].defaultExt, "");
    EXPECT_EQ(pty->Read(256), AllByteValues());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "File sent.");
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].icon, Icon::None);

    ui.Clear();
    const std::string missing = dir.File("gone.bin");
    ui.fileReplies.push_back(missing);
    term->CmTerminalfile();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(missing), std::string::npos);
    EXPECT_NE(ui.messages[0].text, "File sent.");
    EXPECT_EQ(pty->Read(1, 200), "");

    // A file that fails part-way, or that is no file at all, sends nothing.
    for (const auto& [path, reason] :
         {std::pair<std::string, std::string>{"/proc/self/mem", "input/output error"},
          {dir.Path(), "it is not a regular file"}}) {
        ui.Clear();
        ui.fileReplies.push_back(path);
        term->CmTerminalfile();
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Cannot read the file " + path + ": " +
                                                       reason + ".\r\nNothing was sent."});
        EXPECT_EQ(pty->Read(1, 100), "");
    }
}

TEST_F(TermWinTest, ProgramIsWrittenFromTheBaseAddressAndVerified) {
    Settings::WriteString("FILE TRANSFER", "ReadAfterWrite", "1");
    TermWin* term = OpenOnSim();
    ASSERT_NE(term, nullptr);
    const std::string program = dir.Write("demo.prg", "0A1B2C");

    ui.fileReplies.push_back(program);
    ui.inputReplies.push_back("b600");
    client.ExecuteCommand(cmd::kSendProgram);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{kNeedPassword});
    EXPECT_TRUE(peer->sim.Commands().empty());
    ui.Clear();
    ui.fileReplies.clear();
    ui.inputReplies.clear();

    client.SetPassword(true);
    ui.fileReplies.push_back(program);
    ui.inputReplies.push_back("b600");
    client.ExecuteCommand(cmd::kSendProgram);
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_EQ(ui.fileRequests[0].filter, "Program Files|*.prg");
    EXPECT_EQ(ui.fileRequests[0].defaultExt, "prg");
    ASSERT_EQ(ui.inputs.size(), 1u);
    EXPECT_EQ(ui.inputs[0].prompt,
              "Enter the EEPROM base address for the program in hex\n\rexample b600");
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"File sent."});

    const std::vector<std::string> expected = {"EB6000A", "RB6000A", "EB6011B",
                                               "RB6011B", "EB6022C", "RB6022C"};
    EXPECT_EQ(peer->sim.Commands(), expected);
    EXPECT_EQ(peer->sim.Peek(0xB600), 0x0A);
    EXPECT_EQ(peer->sim.Peek(0xB601), 0x1B);
    EXPECT_EQ(peer->sim.Peek(0xB602), 0x2C);
}

TEST_F(TermWinTest, ClosingDuringAProgramDownloadOffersToCancelIt) {
    Settings::WriteString("FILE TRANSFER", "ReadAfterWrite", "1");
    sim::SimOptions options;
    options.startAwake = true; // paced at 9600 baud: the download takes a while
    peer = std::make_unique<SimThread>(options);
    UsePort(peer->pty.Slave());
    TermWin* term = Open();
    ASSERT_NE(term, nullptr);
    client.SetPassword(true);
    ui.fileReplies.push_back(dir.Write("demo.prg", "0A1B2C3D4E5F"));
    ui.inputReplies.push_back("b600");
    ui.answers.push_back(Answer::No); // keep the download going
    QTimer::singleShot(20, [this] { CloseTerminal(); });
    client.ExecuteCommand(cmd::kSendProgram);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"A transfer with the transmitter is "
                                                    "running.\r\nCancel it and close the "
                                                    "terminal window?",
                                                    "File sent."}));
    EXPECT_EQ(client.TerminalWindow(), term);
    EXPECT_EQ(peer->sim.Peek(0xB605), 0x5F) << "the download went on to the end";
    CloseTerminal();
    EXPECT_FALSE(client.TermWindowOpen());
}

TEST_F(TermWinTest, ProgramFilesThatAreOddUnreadableOrCancelledSendNothing) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    client.SetPassword(true);

    ui.fileReplies.push_back(dir.Write("odd.prg", "0A1B2"));
    ui.inputReplies.push_back("100");
    term->CmSendprog();
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Invalid program."});
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);

    ui.Clear();
    const std::string missing = dir.File("none.prg");
    ui.fileReplies.push_back(missing);
    ui.inputReplies.push_back("100");
    term->CmSendprog();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(missing), std::string::npos);
    EXPECT_NE(ui.messages[0].text, "File sent.");

    ui.Clear();
    ui.fileReplies.push_back(dir.Write("ok.prg", "0A"));
    term->CmSendprog(); // base address cancelled
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(pty->Read(1, 200), "");

    // Text mode: CR LF reads as LF; a pair starting with LF is skipped and
    // uses no address.
    ui.fileReplies.push_back(dir.Write("lines.prg", "0A\r\n1B\r\n"));
    ui.inputReplies.push_back("0x100");
    term->CmSendprog();
    EXPECT_EQ(pty->Read(14), "E01000AE0101B\n");
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"File sent."});
}

TEST_F(TermWinTest, ReadMemoryNeedsFourHexDigitsAndSendsTheReadCommand) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);

    for (const char* bad : {"1a0", "01g0", ""}) {
        ui.inputReplies.push_back(bad);
        term->CmReadmemory();
    }
    ASSERT_EQ(ui.messages.size(), 3u);
    for (const RecordedMessage& m : ui.messages) {
        EXPECT_EQ(m.text, "Value must be in hex");
        EXPECT_EQ(m.caption, "Input error");
        EXPECT_EQ(m.icon, Icon::Exclamation);
    }
    EXPECT_EQ(pty->Read(1, 200), "");

    ui.Clear();
    ui.inputReplies.push_back("01a0zz");
    client.ExecuteCommand(cmd::kReadMemory);
    ASSERT_FALSE(ui.inputs.empty());
    EXPECT_EQ(ui.inputs.back().caption, "Read a byte");
    EXPECT_EQ(ui.inputs.back().prompt, "Please enter the address(in hex) of the byte to read");
    EXPECT_EQ(ui.inputs.back().maxChars, 10);
    EXPECT_EQ(pty->Read(7), "R01A000");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TermWinTest, ClosingStopsTheLinkAndTheTerminalCanBeOpenedAgain) {
    TermWin* term = OpenOnPty();
    ASSERT_NE(term, nullptr);
    ui.fileReplies.push_back(dir.File("c.log"));
    term->CmLog();

    // Opening again does nothing.
    client.TermOpen(false);
    client.ExecuteCommand(cmd::kOpenTerminal);
    EXPECT_EQ(client.TerminalWindow(), term);
    EXPECT_EQ(client.subWindowList().size(), 1);
    EXPECT_EQ(client.subWindowList()[0]->windowTitle(), "Terminal Window Viewer");

    client.ComStart(true);
    CloseTerminal();
    EXPECT_FALSE(client.TermWindowOpen());
    EXPECT_EQ(client.TerminalWindow(), nullptr);
    EXPECT_FALSE(client.GetUserMode());
    EXPECT_TRUE(client.subWindowList().isEmpty());

    // The port is free again, and the Terminal commands are refused.
    {
        comstream again(nimbrel::PortDevicePath(2));
        EXPECT_TRUE(again.IsOpen());
    }
    ui.Clear();
    for (int id : {cmd::kLog, cmd::kLogClose, cmd::kReadMemory, cmd::kSendProgram, cmd::kSendString,
                   cmd::kUserCommand}) {
        client.ExecuteCommand(id);
    }
    ASSERT_EQ(ui.messages.size(), 6u);
    EXPECT_EQ(ui.messages[0].text, "You must have an open\r\nterminal window for this\r\ncommand");
    EXPECT_EQ(ui.messages[0].caption, "Error");

    // A new terminal opens the same line without complaint.
    ui.Clear();
    TermWin* reopened = Open();
    ASSERT_NE(reopened, nullptr);
    EXPECT_TRUE(reopened->Link().IsOpen());
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_TRUE(pty->WriteAll("hi"));
    EXPECT_TRUE(Shows("hi"));
}

TEST_F(TermWinTest, TerminalWithoutAPortStaysOpenAndSendsNothing) {
    Settings::WriteString("COM", "port", "2");
    Settings::WriteString("COM", "device2", dir.File("no-such-device"));
    client.TermOpen(true);
    ASSERT_EQ(ui.Texts(),
              std::vector<std::string>{"Error opening serial port. Check ini file.\r\n" +
                                       dir.File("no-such-device") + ": no such device."});
    TermWin* term = client.TerminalWindow();
    ASSERT_NE(term, nullptr);
    EXPECT_TRUE(client.TermWindowOpen());
    EXPECT_FALSE(term->Link().IsOpen());
    EXPECT_TRUE(client.subWindowList()[0]->isMinimized());

    // Each command that sends says the port is not open, before asking for anything.
    client.SetPassword(true);
    const std::string notOpen =
        "The serial port " + dir.File("no-such-device") + " is not open.\r\nNothing was sent.";
    for (const auto command : {&TermWin::CmTerminalfile, &TermWin::CmSendprog,
                               &TermWin::CmSendstring, &TermWin::CmReadmemory}) {
        ui.Clear();
        ui.fileReplies.push_back(dir.Write("p.prg", "0A"));
        ui.inputReplies.push_back("01a0");
        (term->*command)();
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{notOpen});
        EXPECT_TRUE(ui.fileRequests.empty());
        EXPECT_TRUE(ui.inputs.empty());
        ui.fileReplies.clear();
        ui.inputReplies.clear();
    }
    CloseTerminal();
    EXPECT_FALSE(client.TermWindowOpen());
}

} // namespace
} // namespace nimbrel::test
