// nimbrel-cli's sends of chosen items and with a backup, and compare's
// rows, against the simulated transmitter run in-process (its log of
// commands shows every address written).
#include "tests/cli/clitest.h"

using namespace nimbrel;
using namespace nimbrel::test;

namespace {

std::vector<std::string> Writes(const SimThread& sim, std::size_t from = 0) {
    const std::vector<std::string> all = sim.sim.Commands();
    std::vector<std::string> writes;
    for (std::size_t k = from; k < all.size(); ++k) {
        if (all[k][0] == 'E') writes.push_back(all[k]);
    }
    return writes;
}

} // namespace

TEST_F(CliE2e, SendItemsWritesOnlyThoseItemsAndRefusesAnUnknownName) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    const Result unknown =
        Cli(With(sim, {"send", "demo.cfg", "--items", "Samples averaged,Sample rate"}));
    EXPECT_EQ(unknown.exit, 2);
    EXPECT_EQ(unknown.err,
              "nimbrel-cli: The configuration demo.cfg has no item named \"Sample rate\".\n");
    EXPECT_EQ(sim.sim.Received(), "") << "refused before waking the transmitter";

    const Result sent = Cli(With(
        sim, {"send", "demo.cfg", "--items", "Samples averaged,Transmission on time (seconds)"}));
    EXPECT_EQ(sent.exit, 0) << sent.err;
    EXPECT_EQ(sent.out, "Sent 2 items (5 bytes) to " + sim.pty.Slave() +
                            ", each byte read back and verified.\n");
    EXPECT_EQ(Writes(sim),
              (std::vector<std::string>{"E010800", "E010900", "E010A1C", "E010B20", "E020605"}));
}

TEST_F(CliE2e, SendWithBackupKeepsTheValuesAndWritesOnlyWhatDiffers) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    ASSERT_EQ(Cli(With(sim, {"send", "demo.cfg", "--quiet"})).exit, 0);
    sim.sim.Poke(0x10B, 0x21); // on time 7201

    const std::size_t from = sim.sim.Commands().size();
    const Result sent = Cli(With(sim, {"send", "demo.cfg", "--backup", "kept"}));
    EXPECT_EQ(sent.exit, 0) << sent.err;
    const std::vector<std::string> lines = Lines(sent.out);
    ASSERT_EQ(lines.size(), 2u) << sent.out;
    EXPECT_EQ(lines[0], "Configuration sent: 1 of 23 bytes differed and were written and "
                        "verified.");
    const std::string kept = lines[1].substr(lines[1].find("kept/"));
    EXPECT_EQ(lines[1], "The transmitter's previous values are kept in " + kept);
    EXPECT_EQ(kept.substr(0, 12), "kept/11111-2");
    EXPECT_EQ(Writes(sim, from), std::vector<std::string>{"E010B20"});
    EXPECT_NE(dir_.Read(kept.substr(0, kept.size() - 1)).find("4,0,7201,,Transmission on time"),
              std::string::npos);

    // [BACKUP] Keep=1 asks for the same in the default folder; nothing differs now.
    dir_.Write("Nimbrel.ini", kSettings + "[BACKUP]\nKeep=1\n");
    const Json json =
        ParseJson(Cli(With(sim, {"send", "demo.cfg", "--json", "--quiet"})).out, dir_.Path());
    EXPECT_EQ(json["exit"].number, 0);
    EXPECT_EQ(json["written"].number, 0);
    EXPECT_EQ(json["planned_bytes"].number, 23);
    EXPECT_EQ(json["backup"].text.rfind(dir_.File("data/Nimbrel/backups/11111-"), 0), 0u)
        << json["backup"].text;

    // A folder that cannot take the backup: the transmitter is not woken.
    const std::size_t before = sim.sim.Received().size();
    const Result refused = Cli(With(sim, {"send", "demo.cfg", "--backup", "demo.cfg/kept"}));
    EXPECT_EQ(refused.exit, 2);
    EXPECT_NE(refused.err.find("nimbrel-cli: The backup folder demo.cfg/kept cannot be written ("),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("Nothing was sent."), std::string::npos) << refused.err;
    EXPECT_EQ(sim.sim.Received().size(), before);
}

TEST_F(CliE2e, CompareJsonHasARowForEveryItem) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    ASSERT_EQ(Cli(With(sim, {"send", "demo.cfg", "--quiet"})).exit, 0);
    sim.sim.Poke(0x206, 10); // samples averaged
    const Json json =
        ParseJson(Cli(With(sim, {"compare", "demo.cfg", "--json", "--quiet"})).out, dir_.Path());
    const Json& rows = json["rows"];
    ASSERT_EQ(rows.items.size(), kDemoLines.size());
    const Json& changed = rows[6];
    EXPECT_EQ(changed["index"].number, 6);
    EXPECT_EQ(changed["name"].text, "Samples averaged");
    EXPECT_EQ(changed["sensor"].text, "Water temperature");
    EXPECT_EQ(changed["address"].number, 518);
    EXPECT_EQ(changed["file"].text, "5");
    EXPECT_EQ(changed["transmitter"].text, "10");
    EXPECT_TRUE(changed["differs"].boolean);
    EXPECT_FALSE(rows[0]["differs"].boolean);
    EXPECT_EQ(rows[0]["transmitter"].text, "11111");
    EXPECT_EQ(rows[7]["transmitter"].kind, Json::Kind::Null) << "a user command is not read";
    EXPECT_EQ(json["differences"].items.size(), 1u);
}
