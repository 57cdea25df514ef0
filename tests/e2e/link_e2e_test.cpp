// The transfer engine on the real transport against the simulated transmitter
// over a pseudo-terminal: in-process (the simulator's logic on a thread, to
// look at what it took) and as the separate nimbrel-sim program.
#include "config/displayline.h"
#include "engine/transferengine.h"
#include "link/transport.h"
#include "platform/settings.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

using namespace nimbrel;
using nimbrel::test::MsSince;
using nimbrel::test::RecordingUi;
using nimbrel::test::SimThread;
using nimbrel::test::SinkLog;
using nimbrel::test::TempDir;
using nimbrel::test::WaitFor;

namespace {

const std::string kTail = "\r\nError programming the transmitter.\n\rResend file.";

// nimbrel-sim as a child process; its first output line is the device.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> all = {NIMBREL_SIM_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, NIMBREL_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    std::string FirstLine(int timeoutMs = 5000) {
        std::string line;
        const auto start = std::chrono::steady_clock::now();
        while (MsSince(start) < timeoutMs) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            char c;
            if (::read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return {};
    }

    // The exit status once the process has ended, or -1 after timeoutMs.
    int WaitExit(int timeoutMs = 5000) {
        const auto start = std::chrono::steady_clock::now();
        while (MsSince(start) < timeoutMs) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    void Signal(int sig) { ::kill(pid_, sig); }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

class LinkE2e : public ::testing::Test {
protected:
    void SetUp() override {
        test::QuickTimings();
        Settings::WriteString("TIMING", "ResponseWaitMs", "2000");
    }

    static sim::SimOptions Awake() {
        sim::SimOptions o;
        o.startAwake = true;
        o.pace = false;
        return o;
    }

    // Opens the port on `device` and starts receiving; the stream's initial
    // 0 byte is taken out of the way unless `keepFirst`.
    void Open(Transport& t, const std::string& device, bool keepFirst = false) {
        test::UsePort(device);
        ASSERT_TRUE(nimbrel::test::OpenAsConfigured(t));
        ASSERT_TRUE(t.StartMonitor());
        if (!keepFirst) {
            ASSERT_TRUE(WaitFor([&] { return t.GetBytesInQue() >= 1; }));
            t.FlushComm(1);
        }
    }

    TransferEngine Engine(Transport& t, const CancelFlag* cancel = nullptr) {
        return TransferEngine(t, ui, ReadTransferOptions(), cancel);
    }

    // The byte at `address`, or nullopt when the read did not end Done.
    std::optional<std::uint8_t> ReadByte(Transport& t, std::uint32_t address) {
        std::vector<std::uint8_t> bytes;
        if (Engine(t).ReadMemory(address, 1, bytes) != Outcome::Done || bytes.size() != 1) {
            return std::nullopt;
        }
        return bytes[0];
    }

    TempDir dir;
    RecordingUi ui;
};

// One item's write commands for `bytes` from `address` on.
TransferEngine::SendItem WriteItem(const std::string& name, std::int32_t address,
                                   const std::vector<std::uint8_t>& bytes) {
    TransferEngine::SendItem item{name, address, ""};
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        char command[16];
        std::snprintf(command, sizeof command, "e%04x%02x",
                      static_cast<unsigned>(address) + static_cast<unsigned>(k), bytes[k]);
        item.commands += command;
    }
    return item;
}

TEST_F(LinkE2e, ProgramDownloadSendsEachWriteAndVerifiesIt) {
    SimThread peer(Awake());
    Transport t;
    Open(t, peer.pty.Slave());
    std::string text;
    ASSERT_TRUE(ReadProgramText(dir.Write("p.prg", "0A1B2C"), text));
    EXPECT_EQ(Engine(t).SendProgram(text, ParseBaseAddress("b600")), Outcome::Done);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(peer.sim.Commands(), (std::vector<std::string>{"EB6000A", "RB6000A", "EB6011B",
                                                             "RB6011B", "EB6022C", "RB6022C"}));
    EXPECT_EQ(peer.sim.Peek(0xB600), 0x0A);
    EXPECT_EQ(peer.sim.Peek(0xB601), 0x1B);
    EXPECT_EQ(peer.sim.Peek(0xB602), 0x2C);

    // Refused programs send nothing at all.
    EXPECT_EQ(Engine(t).SendProgram("0A1B", 0xFFFF), Outcome::Refused);
    EXPECT_EQ(Engine(t).SendProgram("0A1", 0xB600), Outcome::Refused);
    EXPECT_EQ(ui.Texts(),
              (std::vector<std::string>{"The program runs past address FFFF.\r\nNothing was sent.",
                                        "Invalid program."}));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(peer.sim.Commands().size(), 6u);
}

// A read-back one hex digit off fails as surely as a wholly wrong byte.
TEST_F(LinkE2e, ReadBackOffByOneDigitOrAWholeByteFailsAfterTheResponseTime) {
    Settings::WriteString("TIMING", "ResponseWaitMs", "200");
    struct Case {
        bool wholeByte; // else one digit
        std::string got;
    };
    for (const Case& c : {Case{true, "E4"}, Case{false, "1C"}}) {
        SCOPED_TRACE(c.got);
        ui.Clear();
        auto options = Awake();
        (c.wholeByte ? options.wrongByteAddress : options.wrongDigitAddress) = 0xB601;
        SimThread peer(options);
        Transport t;
        Open(t, peer.pty.Slave());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Engine(t).SendConfiguration({WriteItem("Rate", 0xB601, {0x1B})}),
                  Outcome::Mismatch);
        EXPECT_GE(MsSince(start), 200 - 2); // whole-millisecond ticks
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text,
                  "Sent 1B got " + c.got + "\r\nItem \"Rate\" at address b601 H." + kTail);
        EXPECT_EQ(ui.messages[0].caption, "PTT communication error");

        // A program download reports the failure and goes on with the next pair.
        ui.Clear();
        EXPECT_EQ(Engine(t).SendProgram("0A1B2C", 0xB600), Outcome::Mismatch);
        EXPECT_EQ(ui.Texts(),
                  std::vector<std::string>{"Sent 1B got " + c.got +
                                           "\r\nProgram byte at address b601 H." + kTail});
        EXPECT_EQ(peer.sim.Peek(0xB602), 0x2C);
    }
}

// nimbrel-sim takes bytes no faster than its line: a program writing more
// than the pseudo-terminal holds waits for room and loses nothing, and the
// write never stalls, though it lasts longer than the stall time. Only a
// pause longer than the stall time ends it.
TEST_F(LinkE2e, WritingToASlowSteadyReaderWaitsLosesNothingAndOnlyAPauseStalls) {
    // A pseudo-terminal gives its writer room in steps of about 4 KiB, which
    // this line takes in 45 ms.
    const std::uint32_t baud = 921600;
    const std::int32_t stallMs = 200;
    std::string commands;
    std::string expected;
    for (int a = 0; a < 12288; ++a) {
        const auto value = static_cast<std::uint8_t>(a * 7 + a / 256);
        char command[8];
        std::snprintf(command, sizeof command, "E%04X%02X", 0x1000 + a, value);
        commands += command;
        expected += static_cast<char>(value);
    }
    // What the pseudo-terminal cannot hold goes at the line's pace.
    const double lineMs = (commands.size() - 18432.0) * 10 * 1000 / baud;
    ASSERT_GT(lineMs, 3 * stallMs);

    for (const bool pause : {false, true}) {
        SCOPED_TRACE(pause ? "a pause" : "steady");
        const std::string dump = dir.File("eeprom.bin");
        std::vector<std::string> args = {"--awake", "--baud", std::to_string(baud), "--dump", dump};
        if (pause) args.insert(args.end(), {"--stop-taking-after", "20000"});
        SimProcess process(args);
        const std::string device = process.FirstLine();
        ASSERT_FALSE(device.empty());
        Transport t;
        Open(t, device);
        std::size_t written = 0;
        const auto start = std::chrono::steady_clock::now();
        const IoStatus status =
            t.Write(commands.data(), commands.size(), nullptr, stallMs, written);
        if (pause) {
            EXPECT_EQ(status, IoStatus::Stalled);
            EXPECT_LT(written, commands.size());
            EXPECT_LT(MsSince(start), 1000);
            continue;
        }
        EXPECT_EQ(status, IoStatus::Ok);
        EXPECT_EQ(written, commands.size());
        EXPECT_GE(MsSince(start), lineMs / 2);

        // The last command has been carried out once a read behind it is answered.
        Settings::WriteString("TIMING", "ReadByteWaitMs", "5000");
        EXPECT_EQ(ReadByte(t, 0x3FFF), std::optional<std::uint8_t>(expected.back()));
        process.Signal(SIGTERM);
        EXPECT_EQ(process.WaitExit(), 0);
        const std::string memory = TempDir::ReadFile(dump);
        ASSERT_EQ(memory.size(), 65536u);
        EXPECT_EQ(memory.substr(0x1000, expected.size()), expected) << "every byte, in order";
    }
}

TEST_F(LinkE2e, WakeHandshakeAnswersOnceAndTheDisplayAndLogShowExactlyWhatCame) {
    sim::SimOptions options;
    options.pace = false;
    options.wakeIntervalMs = 15;
    options.noise = "\x15";
    SimThread peer(options);
    SinkLog shown;
    Transport t;
    t.SetDisplaySink(shown.Sink());
    ASSERT_TRUE(t.OpenLog(dir.File("wake.log")));
    Open(t, peer.pty.Slave(), true);
    ASSERT_TRUE(WaitFor(
        [&] { return shown.Text().find("{NAK}{/ACK/}{NAK}{/ACK/}") != std::string::npos; }));

    TransferEngine engine = Engine(t);
    EXPECT_EQ(engine.Start(2000), Outcome::Done);
    EXPECT_TRUE(engine.Entered());
    ASSERT_TRUE(WaitFor([&] { return peer.sim.Awake(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(peer.sim.Received(), "A") << "exactly one answer";
    EXPECT_TRUE(ui.messages.empty()) << "the caller tells of the start";

    t.ClosePort();
    t.CloseLog();
    const std::string logged = dir.Read("wake.log");
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged[0], '\0') << "the stream's first byte";
    EXPECT_EQ(logged.find_first_not_of(std::string("\x15\x06", 2), 1), std::string::npos);
    EXPECT_EQ(shown.Text(),
              ChunkDisplayText(logged.data(), static_cast<std::int32_t>(logged.size())));
}

TEST_F(LinkE2e, WakeWaitEndsOnTimeOrWhenCancelled) {
    sim::SimOptions options;
    options.neverWake = true;
    SimThread peer(options);
    Transport t;
    Open(t, peer.pty.Slave());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Engine(t).Start(200), Outcome::NoAnswer);
    EXPECT_GE(MsSince(start), 200 - 2); // whole-millisecond ticks
    EXPECT_LT(MsSince(start), 1500);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"No communication from PTT"});

    // A cancel from another thread (the window closing) ends the wait at once.
    ui.Clear();
    CancelFlag cancel{false};
    std::thread closing([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        cancel = true;
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(Engine(t, &cancel).Start(5000), Outcome::Cancelled);
    EXPECT_LT(MsSince(start), 1000);
    closing.join();
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{
                              "Starting was cancelled.\r\nCommunications were not started."});
    EXPECT_TRUE(peer.sim.Received().empty());
}

TEST_F(LinkE2e, VersionAnswers) {
    Settings::WriteString("TIMING", "VersionWaitMs", "300");
    sim::SimOptions valid = Awake();
    sim::SimOptions invalid = Awake();
    invalid.versionAnswer = "V2.10";
    sim::SimOptions longer = Awake();
    longer.longVersion = true;
    sim::SimOptions asleep; // ignores the query
    asleep.neverWake = true;
    const struct {
        sim::SimOptions options;
        Outcome outcome;
        std::string version; // also the message when Done
        std::string text;
    } cases[] = {
        {valid, Outcome::Done, "2.10", "2.10"},
        {invalid, Outcome::Invalid, "", "Invalid response from PTT"},
        {longer, Outcome::Done, "0123456789", ""}, // its start: 199 characters are kept
        {asleep, Outcome::NoAnswer, "", "No version information available"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + c.version);
        ui.Clear();
        SimThread peer(c.options);
        Transport t;
        Open(t, peer.pty.Slave());
        std::string version;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Engine(t).QueryVersion(&version), c.outcome);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, "Software version");
        EXPECT_EQ(ui.messages[0].icon, Icon::None);
        if (c.options.longVersion) {
            EXPECT_EQ(version.size(), 199u - 4u) << "the answer keeps 199 characters";
            EXPECT_EQ(version.substr(0, 10), c.version);
            EXPECT_EQ(ui.messages[0].text, version);
            continue;
        }
        EXPECT_EQ(version, c.version);
        EXPECT_EQ(ui.messages[0].text, c.text);
        if (c.options.neverWake) {
            EXPECT_GE(MsSince(start), 300 - 2); // whole-millisecond ticks
        }
    }
}

TEST_F(LinkE2e, ReadingOneByte) {
    Settings::WriteString("TIMING", "ReadByteWaitMs", "250");
    auto options = Awake();
    options.stopAfterReads = 2;
    SimThread peer(options);
    peer.sim.Poke(0x0020, 0x1C);
    peer.sim.Poke(0xFFFF, 0xA5);
    Transport t;
    Open(t, peer.pty.Slave());
    EXPECT_EQ(ReadByte(t, 0x0020), std::optional<std::uint8_t>(0x1C));
    EXPECT_EQ(ReadByte(t, 0xFFFF), std::optional<std::uint8_t>(0xA5));
    EXPECT_TRUE(ui.messages.empty());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadByte(t, 0x0021), std::nullopt) << "no answer";
    EXPECT_GE(MsSince(start), 250 - 2); // whole-millisecond ticks
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Error reading data\r\nByte at address 21 H."});
    ui.Clear();
    EXPECT_EQ(ReadByte(t, 0x10000), std::nullopt);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"The 1 bytes from address 10000 H lie outside "
                                                   "the memory addresses 0 to ffff H.\r\nNothing "
                                                   "was read."});
    EXPECT_EQ(peer.sim.Commands(), (std::vector<std::string>{"R002000", "Rffff00", "R002100"}));
}

// A transmitter asleep sends its wake byte every 20 ms: Start, then at once a
// verified send and a read, succeeds every time, whichever moment the wake
// byte comes; the exit string puts it back to sleep for the next round.
TEST_F(LinkE2e, StartThenSendAndReadAtOnceSucceedEveryTime) {
    sim::SimOptions options;
    options.wakeIntervalMs = 20;
    options.baud = 230400;
    // Quiet for longer than the wake interval: a wake byte crossing the answer is seen.
    Settings::WriteString("TIMING", "SettleMs", "25");
    SimThread peer(options);
    Transport t;
    Open(t, peer.pty.Slave());
    TransferEngine engine = Engine(t);
    const std::vector<TransferEngine::ReadItem> reads = {
        {"On time", 0x20, 4, kTypeLong, false},
        {"Rate", 0x30, 2, kTypeInt, false},
    };
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        const auto on = static_cast<std::uint8_t>(round);
        const auto rate = static_cast<std::uint8_t>(90 + round);
        const std::vector<TransferEngine::SendItem> items = {
            WriteItem("On time", 0x20, {0x00, 0x00, 0x1C, on}),
            WriteItem("Rate", 0x30, {0x00, rate}),
        };
        ASSERT_EQ(engine.Start(2000), Outcome::Done);
        ASSERT_EQ(engine.SendConfiguration(items), Outcome::Done);
        std::vector<std::string> values;
        ASSERT_EQ(engine.ReadConfiguration(
                      reads, [&](std::size_t, const std::string& v) { values.push_back(v); }),
                  Outcome::Done);
        ASSERT_EQ(values,
                  (std::vector<std::string>{std::to_string(0x1C00 + on), std::to_string(rate)}));
        ASSERT_EQ(engine.Stop(), Outcome::Done);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(LinkE2e, SimulatorProgramServesSessionsThroughItsLinkAndKeepsItsMemory) {
    const std::string dump = dir.File("eeprom.bin");
    const std::string link = dir.File("ttyPTT");
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0) << "a stale link is replaced";
    SimProcess process({"--no-pace", "--wake-interval", "20", "--dump", dump, "--link", link});
    const std::string device = process.FirstLine();
    ASSERT_FALSE(device.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);

    SinkLog shown;
    Transport t;
    t.SetDisplaySink(shown.Sink());
    Open(t, link);
    TransferEngine engine = Engine(t);
    ASSERT_EQ(engine.Start(3000), Outcome::Done);
    EXPECT_EQ(engine.SendProgram("0A1B2C", 0xB600), Outcome::Done);
    EXPECT_EQ(ReadByte(t, 0xB601), std::optional<std::uint8_t>(0x1B));
    std::string version;
    EXPECT_EQ(engine.QueryVersion(&version), Outcome::Done);
    EXPECT_EQ(version, "2.10");
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"2.10"});

    // The exit string puts it back to sleep: it asks to be woken again.
    const std::string before = shown.Text();
    EXPECT_EQ(engine.Stop(), Outcome::Done);
    ASSERT_TRUE(WaitFor([&] {
        return shown.Text().size() > before.size() &&
               shown.Text().substr(before.size()).find("{/ACK/}") != std::string::npos;
    }));

    // Closing the port ends a session, not the simulator.
    t.ClosePort();
    Transport again;
    Open(again, link);
    EXPECT_EQ(Engine(again).Start(3000), Outcome::Done);
    EXPECT_EQ(ReadByte(again, 0xB602), std::optional<std::uint8_t>(0x2C));
    again.ClosePort();

    process.Signal(SIGTERM);
    EXPECT_EQ(process.WaitExit(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link goes with the simulator";
    const std::string memory = TempDir::ReadFile(dump);
    ASSERT_EQ(memory.size(), 65536u);
    EXPECT_EQ(memory.substr(0xB600, 3), "\x0a\x1b\x2c");
    EXPECT_EQ(static_cast<unsigned char>(memory[0xB603]), 0xFF);
}

TEST_F(LinkE2e, SimulatorProgramLoadsMemoryAndDumpsOnSigterm) {
    std::string image(0x30, '\0');
    image[0x20] = 0x42;
    const std::string load = dir.Write("in.bin", image);
    const std::string dump = dir.File("out.bin");
    SimProcess process({"--awake", "--no-pace", "--version-answer", "V2.10", "--wrong-digit", "1f",
                        "--load", load, "--dump", dump});
    const std::string device = process.FirstLine();
    ASSERT_FALSE(device.empty());
    Transport t;
    Open(t, device);
    EXPECT_EQ(ReadByte(t, 0x20), std::optional<std::uint8_t>(0x42));
    EXPECT_EQ(ReadByte(t, 0x1F), std::optional<std::uint8_t>(0x01)) << "00 with one digit off";
    EXPECT_EQ(Engine(t).QueryVersion(), Outcome::Invalid);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Invalid response from PTT"});
    EXPECT_EQ(Engine(t).SendConfiguration({WriteItem("Byte", 0x21, {0xEE})}), Outcome::Done);

    process.Signal(SIGTERM);
    EXPECT_EQ(process.WaitExit(), 0);
    const std::string memory = TempDir::ReadFile(dump);
    ASSERT_EQ(memory.size(), 65536u);
    EXPECT_EQ(memory.substr(0x20, 2), "\x42\xEE");
}

// Peers that are not well-behaved transmitters, as the nimbrel-sim program:
// a read or a read-back never takes what they send for answers, and ends
// within the per-byte wait; an echoing or slow transmitter still reads.
TEST_F(LinkE2e, HostilePeersNeverPassForAnswers) {
    Settings::WriteString("TIMING", "ReadByteWaitMs", "1000");
    Settings::WriteString("TIMING", "ResponseWaitMs", "1000");
    // A quiet time that a busy test machine does not outlast by chance: after
    // an echo, 100 ms.
    Settings::WriteString("TIMING", "AnswerQuietMs", "10");
    std::string image(0x40, '\0');
    image[0x30] = 0x12;
    image[0x31] = 0x34;
    const std::string load = dir.Write("in.bin", image);
    const std::string readFailed = "Error reading data\r\nItem \"Rate\" at address 30 H.";
    const std::string notAnswer = "\r\nWhat came back was not an answer to the read.";
    const std::string sendFailed =
        "Sent 12 got   \r\nItem \"Rate\" at address 30 H." + notAnswer + kTail;
    enum class Op { Read, Send, Version };
    using O = Outcome;
    const struct {
        std::string args; // nimbrel-sim's, besides --load
        Op op;
        std::vector<Outcome> outcomes; // either of them
        std::string text;              // how the message begins ("": none)
    } cases[] = {
        {"--awake --garbage", Op::Read, {O::Invalid}, readFailed + notAnswer},
        {"--awake --garbage", Op::Send, {O::Mismatch}, sendFailed},
        {"--random-bytes", Op::Read, {O::NoAnswer, O::Invalid}, readFailed},
        {"--awake --wake-always --wake-interval 5",
         Op::Read,
         {O::NoAnswer, O::Invalid},
         readFailed},
        {"--deaf --wake-interval 20", Op::Read, {O::NoAnswer}, readFailed},
        {"--awake --version-answer V2.10", Op::Version, {O::Invalid}, "Invalid response from PTT"},
        {"--awake --echo", Op::Read, {O::Done}, ""},
        {"--awake --echo", Op::Send, {O::Done}, ""},
        // 12 characters (echo and a part of the answer), then a pause
        {"--awake --echo --answer-pause 40", Op::Read, {O::Done}, ""},
        {"--awake --echo --answer-pause 40", Op::Send, {O::Done}, ""},
        {"--awake --byte-gap 50", Op::Read, {O::Done}, ""}, // one byte every 50 ms
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        ui.Clear();
        std::istringstream words(c.args + " --load " + load);
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        SimProcess process(args);
        const std::string device = process.FirstLine();
        ASSERT_FALSE(device.empty());
        Transport t;
        Open(t, device, true);
        t.FlushComm(1);
        std::vector<std::string> values;
        const auto start = std::chrono::steady_clock::now();
        const Outcome outcome =
            c.op == Op::Read ? Engine(t).ReadConfiguration(
                                   {{"Rate", 0x30, 2, kTypeInt, false}},
                                   [&](std::size_t, const std::string& v) { values.push_back(v); })
            : c.op == Op::Send ? Engine(t).SendConfiguration({WriteItem("Rate", 0x30, {0x12})})
                               : Engine(t).QueryVersion();
        const std::int64_t ms = MsSince(start);
        EXPECT_NE(std::find(c.outcomes.begin(), c.outcomes.end(), outcome), c.outcomes.end())
            << static_cast<int>(outcome);
        if (c.text.empty()) {
            EXPECT_EQ(ui.Texts(), std::vector<std::string>{});
            if (c.op == Op::Read) {
                EXPECT_EQ(values, std::vector<std::string>{"4660"});
            }
            EXPECT_LT(ms, 5000);
        } else {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_TRUE(ui.messages[0].text.starts_with(c.text)) << ui.messages[0].text;
            EXPECT_EQ(values, std::vector<std::string>{}) << "no value from a failed read";
            EXPECT_LT(ms, 1000 + 500) << "within the per-byte wait";
        }
    }
}

TEST(SimulatorOptions, BadOptionsAreRefused) {
    for (const char* bad : {"--noise=1", "--wrong-byte=10000", "--wrong-digit=x", "--what"}) {
        SimProcess process({bad});
        EXPECT_EQ(process.WaitExit(), 2) << bad;
    }
}

} // namespace
