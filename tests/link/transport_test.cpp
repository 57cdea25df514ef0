#include "link/transport.h"
#include "platform/settings.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

using namespace nimbrel;
using nimbrel::test::MsSince;
using nimbrel::test::Pty;
using nimbrel::test::RecordingUi;
using nimbrel::test::SimThread;
using nimbrel::test::SinkLog;
using nimbrel::test::TempDir;
using nimbrel::test::WaitFor;

namespace {

const std::string kOpenError = "Error opening serial port. Check ini file.";
const std::string kTail = "\r\nError programming the transmitter.\n\rResend file.";

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::QuickTimings();
        Settings::WriteString("TIMING", "ResponseWaitMs", "2000");
    }

    // Opens the port on `device`, starts the receive task and takes the
    // stream's initial 0 byte out of the way.
    void Open(Transport& t, const std::string& device) {
        test::UsePort(device);
        ASSERT_TRUE(t.EnableCommPort(true));
        ASSERT_TRUE(t.StartMonitor());
        ASSERT_TRUE(WaitFor([&] { return t.GetBytesInQue() >= 1; }));
        t.FlushComm(1);
    }

    static sim::SimOptions Fast() {
        sim::SimOptions o;
        o.startAwake = true;
        o.pace = false;
        return o;
    }

    TempDir dir;
    RecordingUi ui;
};

TEST_F(TransportTest, PortThatCannotOpenShowsTheMessageAndStaysDisabled) {
    Pty pty;
    Settings::WriteString("COM", "device1", pty.Slave());
    Settings::WriteString("COM", "device4", pty.Slave());
    for (const char* port : {"0", "5", "x"}) {
        Settings::WriteString("COM", "port", port);
        Transport t;
        EXPECT_FALSE(t.EnableCommPort(true)) << port;
        EXPECT_FALSE(t.IsPortEnabled());
        EXPECT_EQ(t.GetCommError(), kPortNotOpen);
    }
    ASSERT_EQ(ui.messages.size(), 3u);
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.text, kOpenError);
        EXPECT_EQ(m.caption, "");
        EXPECT_EQ(m.icon, Icon::Exclamation);
        EXPECT_EQ(m.buttons, Buttons::Ok);
    }
}

TEST_F(TransportTest, BadLineSettingsReleaseThePortForTheNextTry) {
    Pty pty;
    test::UsePort(pty.Slave());
    Settings::WriteString("COM", "baud", "12345");
    Transport t;
    EXPECT_FALSE(t.EnableCommPort(true));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{kOpenError});

    Settings::WriteString("COM", "baud", "2400");
    EXPECT_TRUE(t.EnableCommPort(true)) << "the failed try must not keep the port locked";
    EXPECT_TRUE(t.EnableCommPort(true)) << "already enabled";
    EXPECT_EQ(comstream(2).GetPortErrorState(), kPortNotOpen) << "held exclusively";
    EXPECT_TRUE(t.EnableCommPort(false));
    EXPECT_FALSE(t.IsPortEnabled());
    EXPECT_EQ(comstream(2).GetPortErrorState(), 0u) << "released";
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(TransportTest, ReceivedBytesShowInTheirDisplayFormsAndQueueInOrder) {
    Pty pty;
    test::UsePort(pty.Slave());
    SinkLog log;
    Transport t;
    t.SetDisplaySink(log.Sink());
    ASSERT_TRUE(t.EnableCommPort(true));
    ASSERT_TRUE(t.StartMonitor());
    EXPECT_FALSE(t.StartMonitor()) << "one receive task";
    // The first cycle brings the stream's initial 0; FlushComm discards it.
    ASSERT_TRUE(WaitFor([&] { return !log.Text().empty(); }));
    EXPECT_EQ(log.Text(), "{ NULL}");
    EXPECT_EQ(t.GetBytesInQue(), 1);
    EXPECT_EQ(t.FlushComm(7), 1);
    EXPECT_EQ(t.GetBytesInQue(), 0);

    const std::string sent("OK\r\n\x06\x15\x00\x1b", 8);
    ASSERT_TRUE(pty.WriteAll(sent));
    ASSERT_TRUE(WaitFor([&] { return log.Text().size() >= 36; }));
    EXPECT_EQ(log.Text(), "{ NULL}OK\r\n{/ACK/}{NAK}{ NULL}{ 0x1b}");

    char buf[16] = {};
    EXPECT_EQ(t.ReadComm(buf, 0), 0);
    EXPECT_EQ(t.ReadComm(buf, -3), 0);
    EXPECT_EQ(t.GetBytesInQue(), 8) << "nothing taken";
    EXPECT_EQ(t.ReadComm(buf, 5), 5);
    EXPECT_EQ(std::string(buf, 5), sent.substr(0, 5));
    EXPECT_EQ(t.ReadComm(buf, 5), 3) << "only what is there";
    EXPECT_EQ(std::string(buf, 3), sent.substr(5));
    EXPECT_EQ(t.ReadComm(buf, 5), 0);
}

TEST_F(TransportTest, FullReceiveBufferDropsTheOldestBytes) {
    Pty pty;
    Transport t;
    Open(t, pty.Slave());
    std::string sent;
    for (int i = 0; i < 70000; ++i)
        sent += static_cast<char>(i % 251);
    ASSERT_TRUE(pty.WriteAll(sent, 20000));
    ASSERT_TRUE(WaitFor([&] { return t.GetBytesInQue() >= 63000; }, 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::int32_t count = t.GetBytesInQue();
    EXPECT_LT(count, Transport::kReceiveBufferSize);
    std::string kept(static_cast<std::size_t>(count), '\0');
    ASSERT_EQ(t.ReadComm(kept.data(), count), count);
    EXPECT_EQ(kept, sent.substr(sent.size() - kept.size())) << "the newest bytes stay, in order";
}

TEST_F(TransportTest, LogHoldsExactlyTheReceivedBytes) {
    Pty pty;
    Transport t;
    Open(t, pty.Slave());
    const std::string first = dir.Write("first.log", "earlier|");
    ASSERT_TRUE(t.OpenLog(first));
    EXPECT_TRUE(t.IsLogging());
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    ASSERT_TRUE(pty.WriteAll(all));
    ASSERT_TRUE(WaitFor([&] { return t.GetBytesInQue() == 256; }));

    // A second log file closes the first; each keeps what it received.
    ASSERT_TRUE(t.OpenLog(dir.File("second.log")));
    ASSERT_TRUE(pty.WriteAll("\r\nmore\x06"));
    ASSERT_TRUE(WaitFor([&] { return t.GetBytesInQue() == 256 + 7; }));

    // A log that cannot be opened leaves logging off.
    EXPECT_FALSE(t.OpenLog(dir.File("no-such-folder/x.log")));
    EXPECT_FALSE(t.IsLogging());
    ASSERT_TRUE(pty.WriteAll("unlogged"));
    ASSERT_TRUE(WaitFor([&] { return t.GetBytesInQue() == 256 + 7 + 8; }));

    EXPECT_EQ(TempDir::ReadFile(first), "earlier|" + all) << "appended";
    EXPECT_EQ(dir.Read("second.log"), "\r\nmore\x06");
}

TEST_F(TransportTest, ClosePortStopsTheReceiveTaskWithTheRunFlagHandshake) {
    Pty pty;
    SinkLog log;
    Transport t;
    t.SetDisplaySink(log.Sink());
    Open(t, pty.Slave());
    EXPECT_TRUE(t.IsMonitorRunning());
    Settings::WriteString("TIMING", "ClosePollMs", "60");
    const auto start = std::chrono::steady_clock::now();
    t.ClosePort();
    EXPECT_GE(MsSince(start), 60) << "polled at the close interval";
    EXPECT_FALSE(t.IsMonitorRunning());
    EXPECT_FALSE(t.IsPortEnabled());
    const std::string shown = log.Text();
    pty.WriteAll("late");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(log.Text(), shown);
    EXPECT_EQ(t.WriteComm("x", 1), 0) << "no port, nothing written";

    ASSERT_TRUE(t.EnableCommPort(true));
    EXPECT_TRUE(t.StartMonitor()) << "a new task for the reopened port";
}

TEST_F(TransportTest, ReceiveTaskWithoutAPortStillStopsWithItsOwner) {
    test::UsePort("/nonexistent/tty");
    Transport t;
    EXPECT_FALSE(t.EnableCommPort(true));
    EXPECT_TRUE(t.StartMonitor());
    t.ClosePort();
    EXPECT_FALSE(t.IsMonitorRunning());
    EXPECT_TRUE(t.StartMonitor()); // and the destructor stops this one
}

TEST_F(TransportTest, OtherEndGoneIsReported) {
    Transport t;
    {
        Pty pty;
        Open(t, pty.Slave());
    }
    EXPECT_TRUE(WaitFor([&] { return (t.GetCommError() & kPortGone) != 0; }));
}

TEST_F(TransportTest, VerifiedWritesUpperCaseAndLeaveReadCommandsInTheCallersBuffer) {
    SimThread peer(Fast());
    Transport t;
    Open(t, peer.pty.Slave());
    char commands[] = "e01a0ffE01A17fTTTTTTT";
    EXPECT_TRUE(t.SendPttData(commands));
    EXPECT_STREQ(commands, "R01A0FFR01A17FTTTTTTT");
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_TRUE(WaitFor([&] { return peer.sim.Commands().size() == 5; }));
    EXPECT_EQ(peer.sim.Commands(),
              (std::vector<std::string>{"E01A0FF", "R01A0FF", "E01A17F", "R01A17F", "TTTTTTT"}));
    EXPECT_EQ(peer.sim.Peek(0x1A0), 0xFF);
}

TEST_F(TransportTest, LowerCaseAnswerDigitsMatch) {
    Pty pty;
    std::thread answer([&] {
        if (pty.Read(14) == "E01A0FFR01A0FF") pty.WriteAll("R01a0 =   ff");
    });
    Transport t;
    Open(t, pty.Slave());
    std::string commands = "E01A0FF";
    EXPECT_TRUE(t.SendPttData(commands));
    answer.join();
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TransportTest, MismatchOrSilenceEndsAfterTheResponseTimeWithTheMessage) {
    Settings::WriteString("TIMING", "ResponseWaitMs", "250");
    auto options = Fast();
    options.wrongByteAddress = 0x01A0;
    options.stopAfterReads = 2;
    SimThread peer(options);
    Transport t;
    Open(t, peer.pty.Slave());
    std::string commands = "E019F11E01A0FFE01A122";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(t.SendPttData(commands));
    EXPECT_GE(MsSince(start), 250 - 2); // whole-millisecond ticks
    EXPECT_LT(MsSince(start), 1500);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Sent FF got 00" + kTail);
    EXPECT_EQ(ui.messages[0].caption, "PTT communication error");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(peer.sim.Commands(),
              (std::vector<std::string>{"E019F11", "R019F11", "E01A0FF", "R01A0FF"}))
        << "nothing after the failing command";

    commands = "E019F11"; // the transmitter no longer answers
    EXPECT_FALSE(t.SendPttData(commands));
    EXPECT_EQ(ui.messages.back().text, "Sent 11 got   " + kTail);
}

TEST_F(TransportTest, WithoutReadAfterWriteCommandsGoBackToBack) {
    Settings::WriteString("FILE TRANSFER", "ReadAfterWrite", "0");
    Settings::WriteString("TIMING", "ResponseWaitMs", "-1"); // the 2 s of the settings
    Pty pty;
    Transport t;
    Open(t, pty.Slave());
    std::string commands = "eb6000aeb6011b";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(t.SendPttData(commands));
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(commands, "EB6000AEB6011B");
    EXPECT_EQ(pty.Read(14), "EB6000AEB6011B");
    EXPECT_TRUE(ui.messages.empty());
}

// A UI thread held up right after sending a read command (as under load)
// must still find the answer: nothing received after the command is dropped.
TEST_F(TransportTest, AnswerArrivingRightAfterTheReadCommandIsKept) {
    class DelayedAfterRead : public Transport {
    public:
        std::int32_t WriteComm(const char* data, std::int32_t count) override {
            const std::int32_t n = Transport::WriteComm(data, count);
            if (count > 0 && data[0] == 'R') {
                WaitFor([this] { return GetBytesInQue() >= kAnswerLength; }, 1000);
            }
            return n;
        }
    };
    SimThread peer(Fast());
    DelayedAfterRead t;
    Open(t, peer.pty.Slave());
    std::string commands = "E01A0FFE01A17F";
    EXPECT_TRUE(t.SendPttData(commands));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TransportTest, ReceivingWhileTheUiThreadWorksIsRaceFree) {
    Pty pty;
    SinkLog log;
    Transport t;
    Open(t, pty.Slave());
    std::atomic<bool> done{false};
    std::thread flood([&] {
        for (int i = 0; i < 200 && !done; ++i) {
            pty.WriteAll(std::string(300, static_cast<char>('a' + i % 26)));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    char buf[64];
    for (int i = 0; i < 300; ++i) {
        t.ReadComm(buf, sizeof buf);
        t.GetBytesInQue();
        if (i % 50 == 0) t.SetDisplaySink(i % 100 == 0 ? log.Sink() : Transport::DisplaySink{});
        if (i % 30 == 0) t.OpenLog(dir.File("race.log"));
        if (i % 30 == 15) t.CloseLog();
        if (i % 40 == 0) t.FlushComm(1);
        t.TransmitCommChar('.');
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done = true;
    flood.join();
    t.ClosePort();
    EXPECT_EQ(t.GetCommError(), kPortNotOpen);
}

} // namespace
