// Transfers a technician can trust, end to end through the windows: Cancel
// in the progress dialog, a transmitter that goes away mid-send, and ports
// that cannot be opened.
#include "link/linksession.h"
#include "terminal/transferrunner.h"
#include "platform/clock.h"
#include "platform/commandids.h"
#include "tests/configwin/commsfixture.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

// A transmitter as slow as a 9600-baud line: a verified byte takes ~27 ms.
sim::SimOptions PacedAwake() {
    sim::SimOptions o;
    o.startAwake = true;
    o.baud = 9600;
    return o;
}

class TransferTest : public CommsTest {
protected:
    TransferTest() { Settings::WriteString("TIMING", "ProgressDelayMs", "0"); }

    // Twenty long items at 0, 4, 8, ...: 80 verified bytes, about two seconds.
    std::vector<ItemSpec> ManyItems() {
        std::vector<ItemSpec> items;
        for (int i = 0; i < 20; ++i)
            items.push_back({kTypeLong, std::to_string(0x01010101 * (i + 1)),
                             "Item " + std::to_string(i), 4, 4 * i});
        return items;
    }

    // Presses Cancel in the progress dialog `afterMs` into the transfer and
    // notes when; answers how long the command took from there.
    std::int64_t CancelAfter(int afterMs, const std::function<void()>& command) {
        std::chrono::steady_clock::time_point pressed{};
        QTimer::singleShot(afterMs, [&] {
            TransferRunner* running = TransferRunner::Current();
            ASSERT_NE(running, nullptr);
            ASSERT_NE(running->Dialog(), nullptr) << "the progress dialog is up";
            auto* cancel = running->Dialog()->findChild<QPushButton*>();
            ASSERT_NE(cancel, nullptr);
            pressed = std::chrono::steady_clock::now();
            cancel->click();
        });
        command();
        return MsSince(pressed);
    }
};

TEST_F(TransferTest, CancelEndsASendAReadAndAStartWithin200Ms) {
    sim::SimOptions options = PacedAwake();
    options.wakeIntervalMs = 20;
    auto& sim = StartSim(options);
    Open(ManyItems());
    ASSERT_NO_FATAL_FAILURE(Connect());

    // Send: the items before the cancel are whole, the rest untouched, and
    // the transmitter was put back to sleep.
    ui.Clear();
    EXPECT_LE(CancelAfter(400, [this] { client.ExecuteCommand(cmd::kSendConfig); }), 200);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Sending was cancelled: ", 0), 0u) << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find("The exit string was sent"), std::string::npos);
    int whole = 0;
    for (int i = 0; i < 20; ++i) {
        const auto at = static_cast<std::uint16_t>(4 * i);
        const bool written = sim.Peek(static_cast<std::uint16_t>(at + 3)) == i + 1;
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(sim.Peek(static_cast<std::uint16_t>(at + k)), written ? i + 1 : 0xFF)
                << "item " << i << " is whole or untouched";
        }
        whole += written ? 1 : 0;
    }
    EXPECT_GT(whole, 0);
    EXPECT_LT(whole, 20);
    EXPECT_TRUE(WaitFor([&] { return !sim.Awake(); }));
    EXPECT_FALSE(client.GetUserMode()) << "Start again before the next transfer";

    // Read, after Start again.
    Settings::WriteString("TIMING", "StartWaitMs", "3000");
    ui.Clear();
    client.ExecuteCommand(cmd::kStart);
    ASSERT_EQ(ui.Texts(), std::vector<std::string>{"Communications started"});
    ui.Clear();
    EXPECT_LE(CancelAfter(300, [this] { client.ExecuteCommand(cmd::kReadConfig); }), 200);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Reading was cancelled: ", 0), 0u) << ui.messages[0].text;

    // Start on a line where nothing wakes.
    CloseTerminal();
    Pty silent;
    UsePort(silent.Slave());
    Settings::WriteString("TIMING", "StartWaitMs", "20000");
    ui.Clear();
    EXPECT_LE(CancelAfter(100, [this] { client.ExecuteCommand(cmd::kStart); }), 200);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{
                              "Starting was cancelled.\r\nCommunications were not started."}));
}

TEST_F(TransferTest, TransmitterGoneMidSendIsNamedAndAFreshOneOnTheSamePathStarts) {
    // The configured path is a link to the simulator's line, as a by-id name
    // is to an adapter's.
    const std::string path = dir.File("adapter");
    StartSim(PacedAwake());
    std::filesystem::create_symlink(peer->pty.Slave(), path);
    UsePort(path);
    Open(ManyItems());
    ASSERT_NO_FATAL_FAILURE(Connect());

    ui.Clear();
    std::chrono::steady_clock::time_point pulled{};
    QTimer::singleShot(300, [&] {
        pulled = std::chrono::steady_clock::now();
        peer.reset(); // the adapter is pulled
    });
    client.ExecuteCommand(cmd::kSendConfig);
    EXPECT_LE(MsSince(pulled), 1000);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.rfind("The serial port " + path + " went away", 0), 0u) << text;
    EXPECT_NE(text.find("Sending stopped at item "), std::string::npos) << text;
    EXPECT_NE(text.find(" at address "), std::string::npos) << text;
    EXPECT_FALSE(client.Link().IsOpen()) << "the dead port is released";
    EXPECT_FALSE(client.GetUserMode());

    // Plugged back in: Start opens it afresh, no window closed.
    sim::SimOptions fresh;
    fresh.pace = false;
    fresh.wakeIntervalMs = 20;
    StartSim(fresh);
    std::filesystem::remove(path);
    std::filesystem::create_symlink(peer->pty.Slave(), path);
    UsePort(path);
    Settings::WriteString("TIMING", "StartWaitMs", "3000");
    ui.Clear();
    client.ExecuteCommand(cmd::kStart);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Communications started"});
    EXPECT_TRUE(client.TermWindowOpen());
    ui.Clear();
    client.ExecuteCommand(cmd::kSendConfig);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Configuration sent."});
}

TEST_F(TransferTest, BusyAndMissingPortsSayOnceWhichDeviceAndWhy) {
    const std::string missing = dir.File("no-such-adapter");
    Pty held;
    const int holder = ::open(held.Slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0); // another program has it
    Open({{kTypeLong, "1", "Item", 4, 0}});
    const struct {
        std::string device;
        std::string reason;
    } cases[] = {{missing, "no such device"}, {held.Slave(), "busy — held by another program"}};
    for (const auto& c : cases) {
        UsePort(c.device);
        ui.Clear();
        client.ExecuteCommand(cmd::kStart);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Error opening serial port. Check ini "
                                                       "file.\r\n" +
                                                       c.device + ": " + c.reason + "."});
        CloseTerminal();
    }
    ::close(holder);
}

} // namespace
} // namespace nimbrel::test
