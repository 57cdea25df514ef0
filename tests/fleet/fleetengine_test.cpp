// The fleet engine against simulated transmitters, each on its own
// pseudo-terminal: the same bytes a real unit would see.
#include "fleet/fleetengine.h"

#include "config/configfile.h"
#include "engine/configtransfer.h"
#include "fleet/history.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

namespace nimbrel {
namespace {

ItemList Config() {
    ItemList items;
    auto add = [&](const char* name, const char* value, std::int32_t type, std::int32_t size,
                   std::int32_t address) {
        items.push_back(std::make_unique<DisplayLine>(static_cast<std::int32_t>(items.size()),
                                                      "ARGOS", "0", name, value, type, size));
        items.back()->SetMin(0);
        items.back()->SetMax(99999);
        items.back()->SetAddress(address);
    };
    add("Rep rate", "60", kTypeInt, 2, 0x10);
    add("PTT ID number", "1", kTypePttId, 4, 0x100);
    add("Duty cycle", "300", kTypeInt, 2, 0x20);
    return items;
}

// The EEPROM bytes a single send of the configuration with `id` writes.
std::map<std::uint16_t, std::uint8_t> Image(std::int32_t id) {
    ItemList items = Config();
    items[1]->SetValue(id);
    std::map<std::uint16_t, std::uint8_t> image;
    for (const EncodedItem& item : PlanSend(items).items) {
        for (std::size_t at = 0; at + 7 <= item.commands.size(); at += 7) {
            image[static_cast<std::uint16_t>(
                std::stoi(item.commands.substr(at + 1, 4), nullptr, 16))] =
                static_cast<std::uint8_t>(std::stoi(item.commands.substr(at + 5, 2), nullptr, 16));
        }
    }
    return image;
}

bool Holds(const sim::Transmitter& sim, std::int32_t id) {
    for (const auto& [address, byte] : Image(id))
        if (sim.Peek(address) != byte) return false;
    return true;
}

std::size_t Writes(const sim::Transmitter& sim) {
    const auto commands = sim.Commands();
    return static_cast<std::size_t>(std::count_if(
        commands.begin(), commands.end(), [](const std::string& c) { return c[0] == 'E'; }));
}

class FleetTest : public ::testing::Test {
protected:
    // A healthy simulated unit unless `options` says otherwise.
    sim::Transmitter& AddUnit(sim::SimOptions o = {}) {
        o.wakeIntervalMs = 20;
        if (o.baud == sim::SimOptions{}.baud) o.baud = 115200;
        o.persist = true;
        sims.push_back(std::make_unique<test::SimThread>(o));
        return sims.back()->sim;
    }

    FleetJob Job(const std::string& range) {
        FleetJob job;
        auto items = std::make_shared<ItemList>(Config());
        std::string error;
        job.ids = *IdsFromRange(range, *items, error);
        job.items = std::move(items);
        job.configFile = "tag.cfg";
        for (const auto& s : sims)
            job.ports.push_back(s->pty.Slave());
        job.link.baud = "115200";
        job.link.displayIntervalMs = 2;
        job.transfer.startWaitMs = 1000;
        job.transfer.responseWaitMs = 1000;
        job.transfer.readByteWaitMs = 1000;
        job.transfer.versionWaitMs = 300;
        job.transfer.settleMs = 25;
        job.awakeWaitMs = 200;
        job.retries = 1;
        job.logPath = dir.File("fleet.jsonl");
        job.historyPath = dir.File("history.sqlite");
        job.stationPollMs = 20;
        job.stationGoneMs = 300;
        return job;
    }

    FleetSummary Run(FleetJob job) {
        EXPECT_EQ(CheckFleetJob(job), "");
        FleetCallbacks callbacks;
        callbacks.notice = [this](const std::string& text) { notices.push_back(text); };
        return FleetEngine(std::move(job), callbacks).Run();
    }

    test::TempDir dir;
    std::vector<std::unique_ptr<test::SimThread>> sims;
    std::vector<std::string> notices;
};

TEST_F(FleetTest, EveryUnitGetsItsOwnIdAndOneRecord) {
    for (int i = 0; i < 4; ++i)
        AddUnit();
    const FleetSummary summary = Run(Job("12000-12005"));

    EXPECT_EQ(summary.programmed, 4u);
    ASSERT_EQ(summary.records.size(), 4u);
    std::set<std::int32_t> ids;
    for (const UnitRecord& r : summary.records) {
        SCOPED_TRACE(r.port);
        EXPECT_EQ(r.outcome, kOutcomeDone);
        EXPECT_TRUE(r.verified);
        EXPECT_EQ(r.version, "2.10");
        EXPECT_EQ(r.pttWord, DisplayLine::GetPttId(r.pttId));
        const auto unit = std::find_if(sims.begin(), sims.end(), [&](const auto& s) {
            return std::filesystem::canonical(s->pty.Slave()) == r.port;
        });
        ASSERT_NE(unit, sims.end());
        EXPECT_TRUE(Holds((*unit)->sim, r.pttId)) << r.pttId;
        ids.insert(r.pttId);
    }
    EXPECT_EQ(ids, (std::set<std::int32_t>{12000, 12001, 12002, 12003}));
    EXPECT_EQ(summary.left, (std::vector<FleetId>{{12004, DisplayLine::GetPttId(12004)},
                                                  {12005, DisplayLine::GetPttId(12005)}}));
    EXPECT_EQ(ReadLog(dir.Read("fleet.jsonl")), summary.records);
    History history;
    ASSERT_TRUE(history.Open(dir.File("history.sqlite")));
    HistoryFilter filter;
    filter.pttId = 12002;
    const auto rows = history.Query(filter);
    ASSERT_TRUE(rows && rows->size() == 1u);
    EXPECT_EQ((*rows)[0].source, "fleet");
}

TEST_F(FleetTest, AUnitLostMidSendOrSilentFailsAloneAndItsIdGoesBack) {
    AddUnit();
    sim::SimOptions unplugged;
    unplugged.unplugAfter = 100; // the wake answer, the reads, a few writes
    AddUnit(unplugged);
    sim::SimOptions silent;
    silent.neverWake = true;
    AddUnit(silent);
    sim::SimOptions wrong;
    wrong.wrongByteAddress = 0x101; // the PTT ID's second byte never reads back right
    AddUnit(wrong);
    const std::string lost = std::filesystem::canonical(sims[1]->pty.Slave());

    const FleetSummary summary = Run(Job("500-503"));

    EXPECT_EQ(summary.programmed, 1u);
    EXPECT_EQ(summary.failed, 3u);
    std::map<std::string, std::vector<std::string>> outcomes; // port -> outcomes
    for (const UnitRecord& r : summary.records)
        outcomes[r.port].push_back(r.outcome);
    EXPECT_EQ(outcomes[lost], std::vector<std::string>{kOutcomePortLost}) << "dropped, no retry";
    const auto lostRecord = std::find_if(summary.records.begin(), summary.records.end(),
                                         [&](const UnitRecord& r) { return r.port == lost; });
    EXPECT_NE(lostRecord->message.find("went away"), std::string::npos) << lostRecord->message;
    EXPECT_NE(lostRecord->message.find("item"), std::string::npos) << lostRecord->message;
    EXPECT_EQ(outcomes[std::filesystem::canonical(sims[2]->pty.Slave())],
              (std::vector<std::string>{kOutcomeNoAnswer, kOutcomeNoAnswer}));
    EXPECT_EQ(outcomes[std::filesystem::canonical(sims[3]->pty.Slave())],
              (std::vector<std::string>{kOutcomeMismatch, kOutcomeMismatch}))
        << "tried again once";
    // The lost unit's ID went back to the pool (the healthy unit may have taken
    // it from there); the silent one never took one.
    const auto healthy =
        std::find_if(summary.records.begin(), summary.records.end(),
                     [](const UnitRecord& r) { return r.outcome == kOutcomeDone; });
    ASSERT_NE(healthy, summary.records.end());
    EXPECT_TRUE(Holds(sims[0]->sim, healthy->pttId));
    std::set<std::int32_t> left;
    for (const FleetId& id : summary.left)
        left.insert(id.id);
    EXPECT_EQ(left.size(), 3u);
    EXPECT_FALSE(left.count(healthy->pttId));
    EXPECT_TRUE(left.count(lostRecord->pttId) || healthy->pttId == lostRecord->pttId);
}

TEST_F(FleetTest, CancelEndsEveryPortAndPutsWokenUnitsToSleep) {
    sim::SimOptions slow;
    slow.baud = 1200;
    for (int i = 0; i < 2; ++i)
        AddUnit(slow);
    CancelFlag cancel{false};
    FleetCallbacks callbacks;
    callbacks.status = [&](const PortStatus& s) {
        if (s.state == PortState::Sending) cancel = true;
    };
    FleetJob job = Job("40-41");
    job.link.baud = "1200";
    const FleetSummary summary = FleetEngine(job, callbacks, &cancel).Run();
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.programmed, 0u);
    EXPECT_EQ(summary.left.size(), 2u) << "both IDs free again";
    EXPECT_EQ(summary.records.size(), 2u);
    for (const UnitRecord& r : summary.records)
        EXPECT_EQ(r.outcome, kOutcomeCancelled);
    for (const auto& s : sims)
        EXPECT_TRUE(test::WaitFor([&] { return !s->sim.Awake(); })) << "the exit string went out";
}

TEST_F(FleetTest, ResumeProgramsOnlyMissingIdsAndARerunWritesNothing) {
    for (int i = 0; i < 2; ++i)
        AddUnit();
    // A half-done run: ID 700 went into a unit already.
    UnitRecord done;
    done.pttId = 700, done.outcome = kOutcomeDone, done.verified = true;
    done.configSha256 = ConfigSha256(0, Config());
    std::string error;
    ASSERT_TRUE(AppendRecord(dir.File("earlier.jsonl"), done, error)) << error;
    FleetJob job = Job("700-702");
    job.resumeLog = dir.File("earlier.jsonl");

    const FleetSummary first = Run(job);
    EXPECT_EQ(first.programmed, 2u);
    std::set<std::int32_t> ids;
    for (const UnitRecord& r : first.records)
        ids.insert(r.pttId);
    EXPECT_EQ(ids, (std::set<std::int32_t>{701, 702}));

    const std::size_t written = Writes(sims[0]->sim) + Writes(sims[1]->sim);
    const FleetSummary again = Run(job); // the same log: both units are done
    EXPECT_EQ(again.programmed, 0u);
    EXPECT_EQ(again.alreadyDone, 2u);
    for (const UnitRecord& r : again.records)
        EXPECT_EQ(r.outcome, kOutcomeAlreadyDone);
    EXPECT_EQ(Writes(sims[0]->sim) + Writes(sims[1]->sim), written);
}

TEST_F(FleetTest, StationProgramsEachUnitPluggedInUntilCancelled) {
    // A bench port: a link whose unit is replaced by hand.
    const std::string port = dir.File("ttyBench");
    CancelFlag cancel{false};
    FleetJob job = Job("900-909");
    job.ports = {port};
    job.station = true;
    std::vector<UnitRecord> records;
    std::mutex mutex;
    FleetCallbacks callbacks;
    callbacks.record = [&](const UnitRecord& r) {
        std::lock_guard lock(mutex);
        records.push_back(r);
    };
    std::thread station([&] { FleetEngine(job, callbacks, &cancel).Run(); });
    const auto count = [&] {
        std::lock_guard lock(mutex);
        return records.size();
    };
    for (std::size_t unit = 0; unit < 2; ++unit) {
        AddUnit();
        std::filesystem::create_symlink(sims.back()->pty.Slave(), port);
        EXPECT_TRUE(test::WaitFor([&] { return count() == unit + 1; }, 10000));
        sims.back()->Stop(); // unplugged
        std::filesystem::remove(port);
    }
    cancel = true;
    station.join();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].pttId, 900);
    EXPECT_EQ(records[1].pttId, 901);
    EXPECT_TRUE(Holds(sims[1]->sim, 901));
}

TEST_F(FleetTest, JobsThatCannotRunAreRefusedBeforeAnyPort) {
    AddUnit();
    const std::string link = dir.File("by-id-link");
    std::filesystem::create_symlink(sims[0]->pty.Slave(), link);
    const struct {
        const char* problem;
        std::function<void(FleetJob&)> change;
    } cases[] = {
        {"same device", [&](FleetJob& j) { j.ports.push_back(link); }},
        {"given twice", [&](FleetJob& j) { j.ports.push_back(j.ports[0]); }},
        {"no PTT ID item",
         [](FleetJob& j) {
             auto items = std::make_shared<ItemList>(Config());
             items->erase(items->begin() + 1);
             j.items = items;
         }},
        {"cannot be written", [&](FleetJob& j) { j.logPath = dir.File("no/such/folder/log"); }},
        {"No port", [](FleetJob& j) { j.ports.clear(); }},
    };
    for (const auto& c : cases) {
        FleetJob job = Job("1-2");
        c.change(job);
        EXPECT_NE(CheckFleetJob(job).find(c.problem), std::string::npos)
            << c.problem << ": " << CheckFleetJob(job);
    }
    EXPECT_TRUE(sims[0]->sim.Received().empty()) << "no port was touched";
}

} // namespace
} // namespace nimbrel
