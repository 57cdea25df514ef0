#include "link/transport.h"

#include "engine/transferengine.h"
#include "platform/settings.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
        ASSERT_TRUE(nimbrel::test::OpenAsConfigured(t));
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

// Permission denied cannot be provoked as root (root opens any device); the
// case runs only for an ordinary user.
TEST_F(TransportTest, PortThatCannotOpenSaysOnceWhichDeviceAndWhy) {
    Pty pty;
    const std::string held = pty.Slave();
    const int holder = ::open(held.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0); // another program holds it
    const std::string missing = dir.File("ttyUSB0");
    const std::string plain = dir.Write("plain", "not a tty");
    const std::string locked = dir.Write("locked", "");
    ::chmod(locked.c_str(), 0);

    struct Case {
        std::string port, device, reason;
    };
    std::vector<Case> cases = {
        {"0", "", "no such port (the port number must be 1 to 4)"},
        {"5", "", "no such port (the port number must be 1 to 4)"},
        {"2", missing, "no such device"},
        {"2", held, "busy — held by another program"},
        {"2", plain, "not a serial port"},
    };
    if (::geteuid() != 0) {
        cases.push_back({"2", locked, nimbrel::PermissionText(locked)});
    }
    for (const Case& c : cases) {
        ui.Clear();
        Settings::WriteString("COM", "port", c.port);
        Settings::WriteString("COM", "device2", c.device);
        Transport t;
        EXPECT_FALSE(nimbrel::test::OpenAsConfigured(t)) << c.reason;
        EXPECT_FALSE(t.IsPortEnabled());
        EXPECT_EQ(t.GetCommError(), kPortNotOpen);
        const Transport::OpenError e = t.LastOpenError();
        EXPECT_EQ(e.device, c.device);
        EXPECT_EQ(e.reason, c.reason);
        const std::string where = c.device.empty() ? "Port " + c.port : c.device;
        ASSERT_EQ(ui.messages.size(), 1u) << "one message: " << c.reason;
        EXPECT_EQ(ui.messages[0].text, kOpenError + "\r\n" + where + ": " + c.reason + ".");
        EXPECT_EQ(ui.messages[0].caption, "");
        EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
        EXPECT_EQ(ui.messages[0].buttons, Buttons::Ok);
    }
    ::close(holder);
}

TEST_F(TransportTest, BadLineSettingsReleaseThePortForTheNextTry) {
    Pty pty;
    test::UsePort(pty.Slave());
    Settings::WriteString("COM", "baud", "12345");
    Transport t;
    EXPECT_FALSE(nimbrel::test::OpenAsConfigured(t));
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{kOpenError + "\r\n" + pty.Slave() +
                                       ": the line settings 12345,n,8,1 cannot be used."});

    Settings::WriteString("COM", "baud", "2400");
    EXPECT_TRUE(nimbrel::test::OpenAsConfigured(t))
        << "the failed try must not keep the port locked";
    EXPECT_FALSE(t.LastOpenError().Failed());
    EXPECT_EQ(t.PortName(), pty.Slave());
    EXPECT_TRUE(nimbrel::test::OpenAsConfigured(t)) << "already enabled";
    EXPECT_EQ(comstream(nimbrel::PortDevicePath(2)).GetPortErrorState(), kPortNotOpen)
        << "held exclusively";
    t.ClosePort();
    EXPECT_FALSE(t.IsPortEnabled());
    EXPECT_EQ(comstream(nimbrel::PortDevicePath(2)).GetPortErrorState(), 0u) << "released";
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(TransportTest, ReceivedBytesShowInTheirDisplayFormsAndQueueInOrder) {
    Pty pty;
    test::UsePort(pty.Slave());
    SinkLog log;
    Transport t;
    t.SetDisplaySink(log.Sink());
    ASSERT_TRUE(nimbrel::test::OpenAsConfigured(t));
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

TEST_F(TransportTest, ClosePortStopsTheReceiveTaskAtOnceAndLeavesNoPort) {
    Pty pty;
    SinkLog log;
    Transport t;
    t.SetDisplaySink(log.Sink());
    Open(t, pty.Slave());
    EXPECT_TRUE(t.IsMonitorRunning());
    Settings::WriteString("TIMING", "ClosePollMs", "1000");
    const auto start = std::chrono::steady_clock::now();
    t.ClosePort();
    EXPECT_LT(MsSince(start), 200) << "woken, not polled";
    EXPECT_FALSE(t.IsMonitorRunning());
    EXPECT_FALSE(t.IsPortEnabled());
    const std::string shown = log.Text();
    pty.WriteAll("late");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(log.Text(), shown);

    // Without a port nothing is written and nothing is waited for.
    EXPECT_EQ(t.WriteComm("x", 1), 0) << "no port, nothing written";
    EXPECT_EQ(t.LastWriteStatus(), IoStatus::PortLost);
    std::size_t written = 9;
    EXPECT_EQ(t.Write("x", 1, nullptr, 1000, written), IoStatus::PortLost);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(t.Drain(nullptr, 1000), IoStatus::PortLost);
    EXPECT_EQ(t.WaitForBytes(1, 1000, nullptr), IoStatus::PortLost);
    EXPECT_TRUE(t.Lost());
    EXPECT_EQ(t.LostReason(), "the port is not open");
    EXPECT_LT(MsSince(start), 400);

    ASSERT_TRUE(nimbrel::test::OpenAsConfigured(t));
    EXPECT_FALSE(t.Lost());
    EXPECT_EQ(t.LostReason(), "");
    EXPECT_TRUE(t.StartMonitor()) << "a new task for the reopened port";
}

TEST_F(TransportTest, ReceiveTaskWithoutAPortStillStopsWithItsOwner) {
    test::UsePort("/nonexistent/tty");
    Transport t;
    EXPECT_FALSE(nimbrel::test::OpenAsConfigured(t));
    EXPECT_TRUE(t.StartMonitor());
    t.ClosePort();
    EXPECT_FALSE(t.IsMonitorRunning());
    EXPECT_TRUE(t.StartMonitor()); // and the destructor stops this one
}

TEST_F(TransportTest, LossIsNoticedAtOnceWakesWaitersAndTheNextOpenWorks) {
    struct Told {
        std::mutex mutex;
        std::vector<std::string> reasons;
        std::thread::id thread;
    } told;
    auto pty = std::make_unique<Pty>();
    Transport t;
    t.SetLostHandler([&](const std::string& reason) {
        std::lock_guard<std::mutex> guard(told.mutex);
        told.reasons.push_back(reason);
        told.thread = std::this_thread::get_id();
    });
    Open(t, pty->Slave());
    IoStatus waited = IoStatus::Ok;
    std::int64_t waitedMs = 0;
    std::thread waiter([&] {
        const auto start = std::chrono::steady_clock::now();
        waited = t.WaitForBytes(1, 5000, nullptr);
        waitedMs = MsSince(start);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pty->CloseMaster(); // the cable is pulled
    waiter.join();
    EXPECT_EQ(waited, IoStatus::PortLost);
    EXPECT_LT(waitedMs, 30 + 1000) << "noticed within a second";
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> guard(told.mutex);
        return !told.reasons.empty();
    }));
    EXPECT_EQ(told.reasons, std::vector<std::string>{"the other end hung up"}) << "told once";
    EXPECT_NE(told.thread, std::this_thread::get_id()) << "on the receive thread";
    EXPECT_TRUE(t.Lost());
    EXPECT_EQ(t.LostReason(), "the other end hung up");
    EXPECT_FALSE(t.IsPortEnabled());
    EXPECT_NE(t.GetCommError() & kPortGone, 0u);
    std::size_t written = 0;
    EXPECT_EQ(t.Write("E01A0FF", 7, nullptr, 1000, written), IoStatus::PortLost);
    EXPECT_EQ(t.WriteComm("x", 1), 0);
    EXPECT_EQ(t.LastWriteStatus(), IoStatus::PortLost);

    // Closing releases the dead port; the next device opens without complaint.
    t.ClosePort();
    pty = std::make_unique<Pty>();
    Open(t, pty->Slave());
    EXPECT_FALSE(t.Lost());
    ASSERT_TRUE(pty->WriteAll("back"));
    EXPECT_EQ(t.WaitForBytes(4, 2000, nullptr), IoStatus::Ok);
    EXPECT_TRUE(ui.messages.empty());
}

// The reader wakes as bytes arrive: twenty exchanges, each waiting for the
// byte it just had sent, take a fraction of one receive cycle of old.
TEST_F(TransportTest, WaitForBytesWakesWhenBytesArrive) {
    Pty pty;
    Transport t;
    Open(t, pty.Slave());
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 1; k <= 20; ++k) {
        ASSERT_TRUE(pty.WriteAll("x"));
        ASSERT_EQ(t.WaitForBytes(k, 2000, nullptr), IoStatus::Ok) << k;
    }
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(t.Available(), 20u);
    char buf[32];
    EXPECT_EQ(t.Take(buf, 5), 5u);
    EXPECT_EQ(t.Available(), 15u);
    t.Flush();
    EXPECT_EQ(t.Available(), 0u);

    // Nothing arriving: the wait ends at its time-out, or at once on cancel.
    struct Case {
        bool cancelled;
        IoStatus expected;
    };
    for (const Case& c : {Case{false, IoStatus::TimedOut}, Case{true, IoStatus::Cancelled}}) {
        CancelFlag cancel{false};
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            if (c.cancelled) cancel = true;
        });
        const auto waitStart = std::chrono::steady_clock::now();
        EXPECT_EQ(t.WaitForBytes(1, c.cancelled ? 5000 : 120, &cancel), c.expected);
        const auto ms = MsSince(waitStart);
        canceller.join();
        if (c.cancelled) {
            EXPECT_LT(ms, 1000);
        } else {
            EXPECT_GE(ms, 120 - 2);
        }
    }
}

// Under a steady stream the display gets batches, at most one per display
// interval, and with them every byte in order, the rest when the task stops.
TEST_F(TransportTest, DisplayTextComesInBatches) {
    Settings::WriteString("TIMING", "MonitorPauseMs", "100");
    struct Batches {
        std::mutex mutex;
        std::string text;
        std::int32_t raw = 0;
        int calls = 0;
    } batches;
    Pty pty;
    Transport t;
    t.SetDisplaySink([&](const std::string& text, std::int32_t raw) {
        std::lock_guard<std::mutex> guard(batches.mutex);
        batches.text += text;
        batches.raw += raw;
        ++batches.calls;
    });
    const auto start = std::chrono::steady_clock::now();
    Open(t, pty.Slave());
    std::string sent;
    while (MsSince(start) < 600) {
        const std::string piece = "OK\x06" + std::to_string(sent.size()) + ",";
        ASSERT_TRUE(pty.WriteAll(piece));
        sent += piece;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(
        WaitFor([&] { return t.GetBytesInQue() == static_cast<std::int32_t>(sent.size()); }));
    t.ClosePort();
    const auto ms = MsSince(start);
    std::lock_guard<std::mutex> guard(batches.mutex);
    EXPECT_EQ(batches.text,
              "{ NULL}" + ChunkDisplayText(sent.data(), static_cast<std::int32_t>(sent.size())));
    EXPECT_EQ(batches.raw, 1 + static_cast<std::int32_t>(sent.size()));
    EXPECT_LE(batches.calls, ms / 100 + 2) << "one a tenth of a second, and the rest at the end";
    EXPECT_GE(batches.calls, 3) << "handed over while the stream goes on";
}

// A transmitter asleep sends only wake-up bytes: they reach the display once
// a second; anything else in a batch brings it at the usual pace.
TEST_F(TransportTest, WakeBytesAloneReachTheDisplayOnceASecond) {
    Settings::WriteString("TIMING", "MonitorPauseMs", "20");
    std::mutex mutex;
    std::vector<std::string> batches;
    Pty pty;
    Transport t;
    t.SetDisplaySink([&](const std::string& text, std::int32_t) {
        std::lock_guard<std::mutex> guard(mutex);
        batches.push_back(text);
    });
    Open(t, pty.Slave());
    WaitFor([&] {
        std::lock_guard<std::mutex> guard(mutex);
        return !batches.empty(); // the stream's initial byte
    });
    const auto count = [&] {
        std::lock_guard<std::mutex> guard(mutex);
        return batches.size();
    };
    const std::size_t before = count();
    for (int i = 0; i < 6; ++i) { // 0x06 every 100 ms for 600 ms
        ASSERT_TRUE(pty.WriteAll("\x06"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_LE(count() - before, 1u) << "at most one hand-over of wake bytes in 600 ms";
    ASSERT_TRUE(pty.WriteAll("OK"));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> guard(mutex);
        return !batches.empty() && batches.back().ends_with("OK");
    }));
    EXPECT_LT(MsSince(start), 500) << "other text is not held back";
}

// A peer that reads nothing: the port's buffer fills, and the write neither
// drops the rest nor hangs.
TEST_F(TransportTest, WriteToAPeerThatTakesNothingStallsOrIsCancelled) {
    const std::string data(64 * 1024, 'x');
    struct Case {
        std::int32_t stallMs;
        int cancelAfterMs; // < 0: never
        IoStatus expected;
    };
    for (const Case& c : {Case{150, -1, IoStatus::Stalled}, Case{5000, 50, IoStatus::Cancelled}}) {
        Pty pty;
        Transport t;
        Open(t, pty.Slave());
        CancelFlag cancel{false};
        std::thread canceller([&] {
            if (c.cancelAfterMs < 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(c.cancelAfterMs));
            cancel = true;
        });
        std::size_t written = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(t.Write(data.data(), data.size(), &cancel, c.stallMs, written), c.expected);
        const auto ms = MsSince(start);
        canceller.join();
        EXPECT_GT(written, 0u);
        EXPECT_LT(written, data.size());
        EXPECT_EQ(pty.Read(written, 2000), data.substr(0, written)) << "what was taken arrives";
        if (c.cancelAfterMs < 0) {
            EXPECT_GE(ms, c.stallMs - 2);
        } else {
            EXPECT_LT(ms, c.cancelAfterMs + 500);
        }
    }

    // The windows' raw write waits the same way and says how it ended.
    Pty pty;
    Transport t;
    Open(t, pty.Slave());
    t.SetWriteStallMs(100);
    const auto took = t.WriteComm(data.data(), static_cast<std::int32_t>(data.size()));
    EXPECT_GT(took, 0);
    EXPECT_LT(took, static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(t.LastWriteStatus(), IoStatus::Stalled);
    EXPECT_EQ(t.Drain(nullptr, 100), IoStatus::Ok) << "a pseudo-terminal cannot say: drained";
}

// The transfer engine on a real Transport: what a send puts on the wire and
// how it takes the answers that come back through the receive task.
class EngineOnTheLink : public TransportTest {
protected:
    TransferEngine Engine(Transport& t) { return TransferEngine(t, ui, ReadTransferOptions()); }
    static std::vector<TransferEngine::SendItem> Item(const std::string& name, std::int32_t address,
                                                      const std::string& commands) {
        return {{name, address, commands}};
    }
};

TEST_F(EngineOnTheLink, VerifiedWritesGoOutUpperCaseEachFollowedByItsReadCommand) {
    SimThread peer(Fast());
    Transport t;
    Open(t, peer.pty.Slave());
    EXPECT_EQ(Engine(t).SendConfiguration(Item("Rate", 0x1A0, "e01a0ffE01A17fTTTTTTT")),
              Outcome::Done);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_TRUE(WaitFor([&] { return peer.sim.Commands().size() == 5; }));
    EXPECT_EQ(peer.sim.Commands(),
              (std::vector<std::string>{"E01A0FF", "R01A0FF", "E01A17F", "R01A17F", "TTTTTTT"}))
        << "only write commands are read back";
    EXPECT_EQ(peer.sim.Peek(0x1A0), 0xFF);
    EXPECT_EQ(peer.sim.Peek(0x1A1), 0x7F);
}

TEST_F(EngineOnTheLink, LowerCaseAnswerDigitsMatch) {
    Pty pty;
    std::thread answer([&] {
        if (pty.Read(14) == "E01A0FFR01A0FF") pty.WriteAll("R01a0 =   ff");
    });
    Transport t;
    Open(t, pty.Slave());
    EXPECT_EQ(Engine(t).SendConfiguration(Item("Rate", 0x1A0, "E01A0FF")), Outcome::Done);
    answer.join();
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(EngineOnTheLink, MismatchOrSilenceEndsAfterTheResponseTimeWithTheMessage) {
    Settings::WriteString("TIMING", "ResponseWaitMs", "250");
    auto options = Fast();
    options.wrongByteAddress = 0x01A0;
    options.stopAfterReads = 2;
    SimThread peer(options);
    Transport t;
    Open(t, peer.pty.Slave());
    const std::vector<TransferEngine::SendItem> items = {{"Low", 0x19F, "E019F11"},
                                                         {"Rate", 0x1A0, "E01A0FFE01A122"}};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Engine(t).SendConfiguration(items), Outcome::Mismatch);
    EXPECT_GE(MsSince(start), 250 - 2); // whole-millisecond ticks
    EXPECT_LT(MsSince(start), 1500);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Sent FF got 00\r\nItem \"Rate\" at address 1a0 H." + kTail);
    EXPECT_EQ(ui.messages[0].caption, "PTT communication error");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(peer.sim.Commands(),
              (std::vector<std::string>{"E019F11", "R019F11", "E01A0FF", "R01A0FF"}))
        << "nothing after the failing command";

    // The transmitter no longer answers.
    EXPECT_EQ(Engine(t).SendConfiguration(Item("Low", 0x19F, "E019F11")), Outcome::NoAnswer);
    EXPECT_EQ(ui.messages.back().text, "Sent 11 got   \r\nItem \"Low\" at address 19f H." + kTail);
}

TEST_F(EngineOnTheLink, WithoutReadAfterWriteCommandsGoBackToBack) {
    Settings::WriteString("FILE TRANSFER", "ReadAfterWrite", "0");
    Settings::WriteString("TIMING", "ResponseWaitMs", "-1"); // the 2 s of the settings
    Pty pty;
    Transport t;
    Open(t, pty.Slave());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Engine(t).SendConfiguration(Item("Program", 0xB600, "eb6000aeb6011b")),
              Outcome::Done);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(pty.Read(14), "EB6000AEB6011B");
    EXPECT_TRUE(ui.messages.empty());
}

// A transfer thread held up right after sending a read command (as under
// load) must still find the answer: nothing received after the command is
// dropped.
TEST_F(EngineOnTheLink, AnswerArrivingRightAfterTheReadCommandIsKept) {
    class DelayedAfterRead : public Transport {
    public:
        IoStatus Write(const char* data, std::size_t count, const CancelFlag* cancel,
                       std::int32_t stallMs, std::size_t& written) override {
            const IoStatus status = Transport::Write(data, count, cancel, stallMs, written);
            if (count > 0 && data[0] == 'R') {
                WaitFor([this] { return GetBytesInQue() >= kAnswerLength; }, 1000);
            }
            return status;
        }
    };
    SimThread peer(Fast());
    DelayedAfterRead t;
    Open(t, peer.pty.Slave());
    EXPECT_EQ(Engine(t).SendConfiguration(Item("Rate", 0x1A0, "E01A0FFE01A17F")), Outcome::Done);
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
        t.WriteComm(".", 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done = true;
    flood.join();
    t.ClosePort();
    EXPECT_EQ(t.GetCommError(), kPortNotOpen);
}

} // namespace
