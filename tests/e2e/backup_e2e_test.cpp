// Configuration transfers against the simulated transmitter on a
// pseudo-terminal: a read then a send round-trips every item type, and a
// send with a backup keeps what it overwrites, writes only what differs and
// is undone by sending the backup.
#include "config/configfile.h"
#include "engine/backupsend.h"
#include "engine/configtransfer.h"
#include "link/linksession.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"
#include "tests/support/itemlines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace nimbrel;
using nimbrel::test::Items;

namespace {

// One item of every type, each at its own address.
const std::vector<std::string> kEveryType = {
    "9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,256",
    "1,0,200,,Char,1,1,0,255,0,1,0,260",
    "2,1,4660,,Int,1,2,0,65535,0,2,0,262",
    "3,1,0a1bff,,String,1,3,0,0,0,3,0,264",
    "4,0,-123456,,Long,1,4,0,100000,-200000,4,0,268",
    "5,1,E0120ABE0121CD,,Unformatted,1,5,0,0,0,14,0,0",
    "6,0,-2.250000,,Float,1,6,0,100,-100,4,0,272",
    "7,0,Hi,,ASCII,1,7,0,0,0,4,0,276",
    "8,0,R010000,,User command,1,8,0,0,0,7,0,0",
    "10,0,2400,,Baud,1,9,0,9600,300,4,0,280",
};

sim::SimOptions Awake() {
    sim::SimOptions o;
    o.startAwake = true;
    o.pace = false;
    return o;
}

// A simulated transmitter, awake, and an engine on a link to it.
struct Line {
    explicit Line(sim::SimOptions options, Ui& ui) : sim(std::move(options)) {
        LinkOptions link;
        link.device = sim.pty.Slave();
        link.baud = "115200";
        EXPECT_TRUE(sim.pty.Ok() && session.Open(link));
        TransferOptions transfer;
        transfer.responseWaitMs = transfer.readByteWaitMs = 2000;
        engine = std::make_unique<TransferEngine>(session.Io(), ui, transfer);
    }

    std::vector<std::uint8_t> Memory() const {
        std::vector<std::uint8_t> image(sim::Transmitter::kMemorySize);
        for (std::size_t a = 0; a < image.size(); ++a)
            image[a] = sim.sim.Peek(static_cast<std::uint16_t>(a));
        return image;
    }
    // The memory writes carried out from the `from`th command on.
    std::vector<std::string> WritesSince(std::size_t from) const {
        const std::vector<std::string> all = sim.sim.Commands();
        std::vector<std::string> writes;
        for (std::size_t k = from; k < all.size(); ++k) {
            if (all[k][0] == 'E') writes.push_back(all[k]);
        }
        return writes;
    }
    Outcome Send(const ItemList& items) {
        const SendPlan plan = PlanSend(items);
        EXPECT_FALSE(plan.Refused()) << plan.refusal;
        return engine->SendConfiguration(plan.EngineItems());
    }

    test::SimThread sim;
    LinkSession session;
    std::unique_ptr<TransferEngine> engine;
};

class BackupE2e : public ::testing::Test {
protected:
    Outcome BackupSend(Line& line, const ItemList& items, BackupSendResult& result) {
        return SendWithBackup(*line.engine, items, PlanSend(items), 1, dir_.File("backups"),
                              result);
    }

    ItemList Load(const std::string& path) {
        const ConfigHeader header = ReadConfigHeader(path);
        ItemList items = MakeBlankItems(header.itemCount);
        std::vector<std::string> problems;
        EXPECT_TRUE(ReadConfigItems(path, items, header, problems));
        EXPECT_TRUE(problems.empty()) << path;
        return items;
    }

    test::TempDir dir_;
    test::RecordingUi ui_;
};

TEST_F(BackupE2e, ReadSaveAndSendAgainWritesTheSameBytesForEveryType) {
    Line line(Awake(), ui_);
    const ItemList items = Items(kEveryType);
    ASSERT_EQ(line.Send(items), Outcome::Done);
    const std::vector<std::string> first = line.WritesSince(0);

    // Read into a copy whose values are all other, then through a file.
    ItemList layout = CopyItems(items);
    for (const auto& item : layout) {
        if (ReadGivesValue(*item)) item->SetValue(item->GetType() == kTypeString ? "000000" : "1");
    }
    const ReadPlan read = PlanRead(layout, ReadScope::ValuedItems);
    ReadValues values(layout.size());
    ASSERT_EQ(
        line.engine->ReadConfiguration(
            read.items, read.ToItems([&](std::size_t i, const std::string& v) { values[i] = v; })),
        Outcome::Done);
    EXPECT_TRUE(CompareValues(items, values).empty()) << "equal bytes compare equal";
    ApplyValues(layout, values);
    std::string error;
    ASSERT_TRUE(WriteConfigFile(dir_.File("read.cfg"), 1, layout, error)) << error;
    const ItemList saved = Load(dir_.File("read.cfg"));

    const std::size_t before = line.sim.sim.Commands().size();
    ASSERT_EQ(line.Send(saved), Outcome::Done);
    EXPECT_EQ(line.WritesSince(before), first);
    EXPECT_EQ(saved[3]->GetValueText(), "0a1bff");
}

// Bytes no item's own type gives back (an invalid PTT ID word, a float NaN,
// an unknown baud code, a char's padding) and an item overlapping another,
// on lines that echo, send noise ahead of each answer or pause inside it
// (a backup read takes an answer as soon as it names its address).
TEST_F(BackupE2e, ABackupSendKeepsWhatItOverwritesAndSendingTheBackupRestoresIt) {
    std::vector<std::string> lines = kEveryType;
    lines.push_back("1,0,7,,Wide char,1,10,0,255,0,3,0,284");
    lines.push_back("2,0,513,,Overlapping int,1,11,0,65535,0,2,0,270");
    const ItemList items = Items(lines);
    sim::SimOptions echo = Awake(), noise = Awake(), pause = Awake();
    echo.echo = true;
    noise.noise = "R0100 = 99";
    pause.answerPauseMs = 6;
    for (const sim::SimOptions& options : {Awake(), echo, noise, pause}) {
        Line line(options, ui_);
        for (std::uint16_t a = 0x100; a < 0x120; ++a)
            line.sim.sim.Poke(a, static_cast<std::uint8_t>(a * 37 + 11));
        line.sim.sim.Poke(0x118, 0x7F); // a float NaN
        line.sim.sim.Poke(0x119, 0xC0);
        const std::vector<std::uint8_t> before = line.Memory();

        BackupSendResult result;
        ASSERT_EQ(BackupSend(line, items, result), Outcome::Done) << ui_.Texts().back();
        EXPECT_TRUE(std::regex_match(std::filesystem::path(result.backupPath).filename().string(),
                                     std::regex(R"(unknown-\d{4}-\d\d-\d\dT\d{6}Z(-\d)?\.cfg)")))
            << result.backupPath << ": the ID word held was not valid";
        EXPECT_NE(line.Memory(), before);

        const ItemList backup = Load(result.backupPath);
        EXPECT_EQ(backup.size(), items.size() - 1) << "every item but the user command";
        ASSERT_EQ(line.Send(backup), Outcome::Done);
        EXPECT_EQ(line.Memory(), before) << "restored byte for byte";
    }
}

TEST_F(BackupE2e, AResendWritesOnlyTheBytesThatDiffer) {
    Line line(Awake(), ui_);
    ItemList items = Items(kEveryType);
    ASSERT_EQ(line.Send(items), Outcome::Done);
    const struct {
        const char* change;
        std::size_t item;
        std::string value;
        std::vector<std::string> writes;
    } rows[] = {
        {"nothing", 0, "11111", {}},
        {"one byte of a long", 4, "-123455", {"E010FC1"}},
        {"a string's middle byte", 3, "0a2bff", {"E01092B"}},
        {"the PTT ID", 0, "11112", {"E0102DA", "E010338"}},
    };
    std::vector<std::string> names;
    for (const auto& row : rows) {
        items[row.item]->SetValue(row.value);
        const std::size_t from = line.sim.sim.Commands().size();
        BackupSendResult result;
        ASSERT_EQ(BackupSend(line, items, result), Outcome::Done) << row.change;
        EXPECT_EQ(line.WritesSince(from), row.writes) << row.change;
        EXPECT_EQ(BackupSentText(result),
                  "Configuration sent: " + std::to_string(row.writes.size()) +
                      " of 25 bytes differed and were written and verified.\r\nThe "
                      "transmitter's previous values are kept in " +
                      result.backupPath + ".")
            << row.change;
        names.push_back(result.backupPath);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end()) << "no backup overwritten";
    EXPECT_EQ(std::filesystem::path(names[0]).filename().string().substr(0, 6), "11111-");
}

} // namespace
