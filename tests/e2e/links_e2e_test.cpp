// Several links at once: each with its own options, session, engine and
// thread, against its own simulated transmitter. Runs in the sanitizer builds.
#include "config/displayline.h"
#include "engine/transferengine.h"
#include "link/linksession.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <thread>

using namespace nimbrel;

namespace {

constexpr int kLinks = 4;
constexpr std::int32_t kBase = 0x40;
constexpr int kItems = 6;
constexpr int kItemBytes = 2;

// What link `link` writes at byte `k` of item `item`: different on every link.
std::uint8_t ByteOf(int link, int item, int k) {
    return static_cast<std::uint8_t>(0x11 * (link + 1) + 3 * item + k);
}

std::int32_t AddressOf(int item) {
    return kBase + item * kItemBytes;
}

struct LinkRun {
    bool opened = false;
    Outcome start = Outcome::Refused, send = Outcome::Refused, read = Outcome::Refused,
            stop = Outcome::Refused;
    std::vector<std::string> values;
};

// Wakes the transmitter, sends every item with read-back, reads them all
// back and puts it to sleep again; the messages go to `ui`.
LinkRun Transfer(int link, const std::string& device, Ui& ui) {
    LinkOptions linkOptions;
    linkOptions.device = device;
    linkOptions.baud = "115200";
    linkOptions.displayIntervalMs = 2;
    TransferOptions options;
    options.readAfterWrite = true;
    options.settleMs = 25;
    options.responseWaitMs = 3000;
    options.readByteWaitMs = 3000;

    std::vector<TransferEngine::SendItem> send;
    std::vector<TransferEngine::ReadItem> read;
    for (int item = 0; item < kItems; ++item) {
        TransferEngine::SendItem s{"Item " + std::to_string(item), AddressOf(item), ""};
        for (int k = 0; k < kItemBytes; ++k) {
            char command[16];
            std::snprintf(command, sizeof command, "E%04X%02X",
                          static_cast<unsigned>(AddressOf(item) + k), ByteOf(link, item, k));
            s.commands += command;
        }
        send.push_back(s);
        read.push_back({s.name, AddressOf(item), kItemBytes, kTypeInt, false});
    }

    LinkRun run;
    LinkSession session;
    run.opened = session.Open(linkOptions);
    if (!run.opened) return run;
    TransferEngine engine(session.Io(), ui, options);
    run.start = engine.Start(5000);
    if (run.start != Outcome::Done) return run;
    run.send = engine.SendConfiguration(send);
    run.read = engine.ReadConfiguration(
        read, [&](std::size_t, const std::string& value) { run.values.push_back(value); });
    run.stop = engine.Stop();
    return run;
}

TEST(SeveralLinks, FourLinksSendAndReadBackAtOnceEachOnItsOwnTransmitter) {
    test::TempDir dir; // the settings file is never read
    std::array<std::unique_ptr<test::SimThread>, kLinks> sims;
    for (auto& sim : sims) {
        sim::SimOptions o;
        o.wakeIntervalMs = 20;
        o.baud = 115200;
        o.persist = true; // takes the exit string after the link has closed
        sim = std::make_unique<test::SimThread>(o);
        ASSERT_TRUE(sim->pty.Ok());
    }
    std::array<test::RecordingUi, kLinks> uis;
    std::array<LinkRun, kLinks> runs;
    std::vector<std::thread> threads;
    for (int i = 0; i < kLinks; ++i) {
        threads.emplace_back([&, i] {
            runs[static_cast<std::size_t>(i)] =
                Transfer(i, sims[static_cast<std::size_t>(i)]->pty.Slave(),
                         uis[static_cast<std::size_t>(i)]);
        });
    }
    for (auto& t : threads)
        t.join();

    for (int i = 0; i < kLinks; ++i) {
        SCOPED_TRACE("link " + std::to_string(i));
        const auto n = static_cast<std::size_t>(i);
        const LinkRun& run = runs[n];
        EXPECT_TRUE(run.opened);
        EXPECT_EQ(run.start, Outcome::Done);
        EXPECT_EQ(run.send, Outcome::Done);
        EXPECT_EQ(run.read, Outcome::Done);
        EXPECT_EQ(run.stop, Outcome::Done);
        EXPECT_TRUE(uis[n].messages.empty()) << uis[n].Texts().front();
        ASSERT_EQ(run.values.size(), static_cast<std::size_t>(kItems));
        for (int item = 0; item < kItems; ++item) {
            const int value = ByteOf(i, item, 0) * 256 + ByteOf(i, item, 1);
            EXPECT_EQ(run.values[static_cast<std::size_t>(item)], std::to_string(value));
            for (int k = 0; k < kItemBytes; ++k) {
                EXPECT_EQ(sims[n]->sim.Peek(static_cast<std::uint16_t>(AddressOf(item) + k)),
                          ByteOf(i, item, k))
                    << "item " << item << " byte " << k;
            }
        }
        EXPECT_TRUE(test::WaitFor([&] { return !sims[n]->sim.Awake(); }))
            << "the exit string put it back to sleep";
    }
}

} // namespace
