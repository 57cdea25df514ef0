#include "link/linksession.h"
#include "platform/settings.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

using namespace nimbrel;
using nimbrel::test::Pty;
using nimbrel::test::RecordingUi;
using nimbrel::test::SinkLog;
using nimbrel::test::TempDir;
using nimbrel::test::WaitFor;

namespace {

class LinkSessionTest : public ::testing::Test {
protected:
    void SetUp() override { test::QuickTimings(); }

    // What the state handler saw, one letter per flag: o open, s started, b busy.
    std::string State() const {
        return std::string(session.IsOpen() ? "o" : "-") + (session.Started() ? "s" : "-") +
               (session.Busy() ? "b" : "-");
    }

    TempDir dir;
    RecordingUi ui;
    LinkSession session;
};

TEST_F(LinkSessionTest, OpenStartBusyAndCloseAreToldInOrder) {
    Pty pty;
    test::UsePort(pty.Slave(), 3);
    SinkLog traffic;
    std::vector<std::string> seen;
    session.SetTrafficSink(traffic.Sink());
    session.SetStateHandler([&] { seen.push_back(State()); });

    ASSERT_TRUE(nimbrel::test::OpenAsConfigured(session));
    EXPECT_TRUE(nimbrel::test::OpenAsConfigured(session)) << "already open: nothing changes";
    EXPECT_EQ(session.Device(), pty.Slave());
    EXPECT_EQ(session.PortNumber(), 3);
    EXPECT_TRUE(session.Port().IsMonitorRunning());
    ASSERT_TRUE(WaitFor([&] { return traffic.Text() == "{ NULL}"; }));
    session.Io().Flush();
    ASSERT_TRUE(pty.WriteAll("OK"));
    EXPECT_EQ(session.Io().WaitForBytes(2, 2000, nullptr), IoStatus::Ok);

    session.SetStarted(true);
    session.SetBusy(true);
    session.SetBusy(true);
    session.SetBusy(false);
    session.Close();
    session.Close();
    EXPECT_EQ(seen, (std::vector<std::string>{"o--", "os-", "osb", "os-", "---"}));
    EXPECT_FALSE(session.Port().IsMonitorRunning());
    EXPECT_TRUE(comstream(nimbrel::PortDevicePath(3)).IsOpen()) << "the device is free again";
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(LinkSessionTest, FailedOpenSaysOnceAndNamesTheDevice) {
    const std::string missing = dir.File("ttyUSB0");
    test::UsePort(missing);
    int changes = 0;
    session.SetStateHandler([&] { ++changes; });
    EXPECT_FALSE(nimbrel::test::OpenAsConfigured(session));
    EXPECT_FALSE(session.IsOpen());
    EXPECT_EQ(session.Device(), missing);
    EXPECT_EQ(session.LastOpenError().reason, "no such device");
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Error opening serial port. Check ini file.\r\n" + missing +
                                       ": no such device."});
    EXPECT_EQ(changes, 0);
}

// The adapter is pulled and plugged back in under the same name: the device
// path is a link that first names one pseudo-terminal, then another.
TEST_F(LinkSessionTest, LossStopsStartedAndTheSameDeviceOpensAgain) {
    const std::string device = dir.File("ttyUSB0");
    auto first = std::make_unique<Pty>();
    std::filesystem::create_symlink(first->Slave(), device);
    test::UsePort(device);
    std::mutex mutex;
    std::vector<std::string> reasons;
    session.SetLostHandler([&](const std::string& reason) {
        std::lock_guard<std::mutex> guard(mutex);
        reasons.push_back(reason + (session.Started() ? " while started" : ""));
    });
    ASSERT_TRUE(nimbrel::test::OpenAsConfigured(session));
    ASSERT_EQ(session.Io().WaitForBytes(1, 2000, nullptr), IoStatus::Ok);
    session.Io().Flush();
    session.SetStarted(true);

    first->CloseMaster();
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> guard(mutex);
        return !reasons.empty();
    }));
    EXPECT_EQ(reasons, std::vector<std::string>{"the other end hung up"});
    EXPECT_FALSE(session.IsOpen());
    EXPECT_FALSE(session.Started());
    EXPECT_TRUE(session.Lost());
    EXPECT_EQ(session.LostReason(), "the other end hung up");

    Pty second;
    std::filesystem::remove(device);
    std::filesystem::create_symlink(second.Slave(), device);
    ASSERT_TRUE(nimbrel::test::OpenAsConfigured(session));
    EXPECT_TRUE(session.IsOpen());
    EXPECT_FALSE(session.Lost());
    ASSERT_TRUE(second.WriteAll("hi"));
    EXPECT_EQ(session.Io().WaitForBytes(3, 2000, nullptr), IoStatus::Ok)
        << "the new stream's 0, then hi";
    std::size_t written = 0;
    EXPECT_EQ(session.Io().Write("A", 1, nullptr, 1000, written), IoStatus::Ok);
    EXPECT_EQ(second.Read(1), "A");
    EXPECT_TRUE(ui.messages.empty());
    // The handler uses this test's locals: gone before they are, as `second`
    // hangs up when it goes.
    session.SetLostHandler({});
}

// Clearing the state handler waits for a call in flight on another thread
// (a transfer's), so what the handler uses may go once it returns; the
// handler may replace itself on its own thread.
TEST_F(LinkSessionTest, StateHandlerClearedOnlyOnceNoCallIsInFlight) {
    std::atomic<bool> inside{false};
    std::atomic<bool> entered{false};
    std::atomic<int> calls{0};
    session.SetStateHandler([&] {
        inside = true;
        entered = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ++calls;
        inside = false;
    });
    std::thread transfer([&] { session.SetBusy(true); });
    ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
    session.SetStateHandler({});
    EXPECT_FALSE(inside.load()) << "the call in flight has ended";
    EXPECT_EQ(calls.load(), 1);
    transfer.join();
    session.SetBusy(false);
    EXPECT_EQ(calls.load(), 1) << "no call after clearing";

    session.SetStateHandler([&] {
        ++calls;
        session.SetStateHandler({});
    });
    session.SetBusy(true);
    session.SetBusy(false);
    EXPECT_EQ(calls.load(), 2) << "replaced itself without waiting for itself";
}

} // namespace
