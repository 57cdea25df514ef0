// nimbrel-cli fleet and history, and the records sends leave in the
// programming history, against simulated transmitters.
#include "fleet/unitrecord.h"
#include "tests/cli/clitest.h"

#include <set>

using namespace nimbrel;
using namespace nimbrel::test;

namespace {

constexpr std::uint16_t kPttIdAddress = 0x100; // of kDemoLines' PTT ID item, 4 bytes

// The PTT ID word in the simulator's EEPROM, as a send writes it.
std::uint32_t WordIn(const SimThread& sim) {
    std::uint32_t word = 0;
    for (std::uint16_t k = 0; k < 4; ++k)
        word = word << 8 | sim.sim.Peek(static_cast<std::uint16_t>(kPttIdAddress + k));
    return word;
}

class FleetCliE2e : public CliE2e {
protected:
    // n simulators, fast and each on its own pseudo-terminal.
    void StartSims(std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) {
            sims_.push_back(std::make_unique<SimThread>(Fast()));
            ASSERT_TRUE(sims_.back()->pty.Ok());
        }
    }
    std::string Ports(std::size_t from, std::size_t count) const {
        std::string ports;
        for (std::size_t k = from; k < from + count; ++k)
            ports += (ports.empty() ? "" : ",") + sims_[k]->pty.Slave();
        return ports;
    }
    const SimThread* SimOn(const std::string& port) const {
        for (const auto& sim : sims_) {
            if (sim->pty.Slave() == port) return sim.get();
        }
        return nullptr;
    }
    // The history's records as `history --json` (with `filter`) gives them.
    Json HistoryJson(std::vector<std::string> filter = {}) {
        filter.insert(filter.begin(), {"history", "--json"});
        const Result r = Cli(filter);
        EXPECT_EQ(r.exit, 0) << r.err;
        return ParseJson(r.out, dir_.Path())["records"];
    }

    std::vector<std::unique_ptr<SimThread>> sims_;
};

} // namespace

// A send's record holds the version, bytes, outcome and file; a failed send
// is kept too; history filters by ID, port and time; a history that cannot
// be written costs one warning and not the send.
TEST_F(FleetCliE2e, SendsAreKeptInTheHistory) {
    const std::string database = dir_.File("data/Nimbrel/history.sqlite");
    const Result none = Cli({"history"});
    EXPECT_EQ(none.exit, 0) << none.err;
    EXPECT_EQ(none.out, "No records in the programming history " + database + ".\n");
    EXPECT_FALSE(std::filesystem::exists(database)) << "asking creates nothing";

    sim::SimOptions silent = Fast();
    silent.neverWake = true;
    sim::SimOptions oddVersion = Fast();
    oddVersion.versionAnswer = "V?";
    SimThread good(Fast()), asleep(silent), odd(oddVersion);
    ASSERT_TRUE(good.pty.Ok() && asleep.pty.Ok() && odd.pty.Ok());
    EXPECT_EQ(Cli(With(good, {"send", "demo.cfg"})).exit, 0);
    EXPECT_EQ(Cli(With(asleep, {"send", "demo.cfg", "--wait", "0.2"})).exit, 4);
    const Result quiet = Cli(With(odd, {"send", "demo.cfg"}));
    EXPECT_EQ(quiet.exit, 0) << "an invalid version answer does not fail the send";
    EXPECT_EQ(quiet.err.find("Invalid response from PTT"), std::string::npos) << quiet.err;

    const Json all = HistoryJson();
    ASSERT_EQ(all.items.size(), 3u);
    const Json& done = all[2]; // oldest last
    EXPECT_EQ(done["port"].text, good.pty.Slave());
    EXPECT_EQ(done["ptt_id"].number, 11111);
    EXPECT_EQ(done["ptt_word"].text, "000AD9EC");
    EXPECT_EQ(done["version"].text, "2.10");
    EXPECT_EQ(done["config"].text, dir_.File("demo.cfg"));
    EXPECT_EQ(done["config_sha256"].text.size(), 64u);
    EXPECT_EQ(done["bytes_written"].number, 23);
    EXPECT_TRUE(done["verified"].boolean);
    EXPECT_EQ(done["outcome"].text, "done");
    EXPECT_EQ(done["source"].text, "cli");
    EXPECT_EQ(all[1]["outcome"].text, "no-answer");
    EXPECT_EQ(all[1]["message"].text, "No communication from PTT");
    EXPECT_FALSE(all[1]["verified"].boolean);
    EXPECT_EQ(all[0]["version"].text, "");

    EXPECT_EQ(HistoryJson({"--port", asleep.pty.Slave()}).items.size(), 1u);
    std::filesystem::create_symlink(good.pty.Slave(), dir_.File("link"));
    EXPECT_EQ(HistoryJson({"--port", dir_.File("link")}).items.size(), 1u) << "by its device";
    EXPECT_EQ(HistoryJson({"--id", "11111", "--since",
                           UtcTime(std::chrono::system_clock::now()).substr(0, 10)})
                  .items.size(),
              3u);
    EXPECT_EQ(HistoryJson({"--id", "11112"}).items.size(), 0u);
    EXPECT_EQ(HistoryJson({"--since", "2999-01-01"}).items.size(), 0u);
    const std::vector<std::string> table = Lines(Cli({"history"}).out);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0].substr(0, 24), "TIME                  ID");
    for (const std::string& cell :
         std::vector<std::string>{" 11111 ", " " + good.pty.Slave() + " ", " 2.10 ", " done "})
        EXPECT_NE(table[3].find(cell), std::string::npos) << table[3];

    // The history's folder is a file: one warning, the send's exit unchanged.
    dir_.Write("blocked", "");
    dir_.Write("Nimbrel.ini",
               kSettings + "[HISTORY]\nFile=" + dir_.File("blocked/h.sqlite") + "\n");
    const Result unkept = Cli(With(good, {"send", "demo.cfg"}));
    EXPECT_EQ(unkept.exit, 0) << unkept.err;
    std::size_t warnings = 0;
    for (const std::string& line : Lines(unkept.err))
        warnings += line.find("programming history") != std::string::npos ? 1 : 0;
    EXPECT_EQ(warnings, 1u) << unkept.err;
    EXPECT_NE(unkept.err.find("nimbrel-cli: Cannot open the programming history " +
                              dir_.File("blocked/h.sqlite")),
              std::string::npos)
        << unkept.err;
}

// Each bad input ends with one message and exit 2 before any port is touched.
TEST_F(FleetCliE2e, BadInputIsRefusedBeforeAnyPort) {
    StartSims(1);
    const std::string port = sims_[0]->pty.Slave();
    std::filesystem::create_symlink(port, dir_.File("link"));
    std::vector<std::string> noId(kDemoLines.begin() + 1, kDemoLines.end());
    dir_.Write("noid.cfg", ConfigText(noId));
    dir_.Write("empty.cfg", "");
    dir_.Write("junk.cfg", "2 1\r\n11,0,1,,bad type,1,0,0,1,0,1,0,0\r\n" + kDemoLines[0] + "\r\n");
    dir_.Write("twice.txt", "12000\n12001\n# spare\n12000\n");
    std::filesystem::create_directory(dir_.File("logdir"));
    struct Row {
        std::vector<std::string> args; // after "fleet", before the ports and the log
        std::string message;           // the start of the one message
        std::string log = "f.jsonl";
        std::string ports = "";
    };
    const std::vector<Row> rows = {
        {{"demo.cfg", "--ids", "99998-100001"},
         "PTT ID 100001 of the range 99998-100001 cannot be sent"},
        {{"demo.cfg", "--id-list", "twice.txt"},
         "PTT ID 12000 is in the ID list twice, on lines 1 and 4."},
        {{"demo.cfg", "--id-list", "none.txt"}, "Cannot read the ID list none.txt."},
        {{"noid.cfg", "--ids", "1-4"}, "The configuration has no PTT ID item (type 9)"},
        {{"empty.cfg", "--ids", "1-4"}, "The file empty.cfg holds no configuration."},
        {{"junk.cfg", "--ids", "1-4"}, "The file junk.cfg has problems:"},
        {{"demo.cfg", "--ids", "1-4"}, "The log file logdir cannot be written (", "logdir"},
        {{"demo.cfg", "--ids", "1-4"},
         "The ports " + port + " and " + dir_.File("link") + " are the same device",
         "f.jsonl",
         port + "," + dir_.File("link")},
        {{"demo.cfg", "--ids", "1-4", "--resume", "old.jsonl"},
         "The log old.jsonl to resume from cannot be read."},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"fleet"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(),
                    {"--ports", row.ports.empty() ? port : row.ports, "--log", row.log});
        const Result r = Cli(args);
        const std::string what = args[1] + " " + args[2] + " " + args[3] + " " + row.log;
        EXPECT_EQ(r.exit, 2) << what << r.err;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(r.err.rfind("nimbrel-cli: " + row.message, 0), 0u) << what << r.err;
        if (args[1] != "junk.cfg") {
            EXPECT_EQ(Lines(r.err).size(), 1u) << what << r.err;
        }
        EXPECT_FALSE(std::filesystem::exists(dir_.File("f.jsonl"))) << what;
    }
    EXPECT_EQ(sims_[0]->sim.Received(), "") << "no port was touched";
    EXPECT_FALSE(std::filesystem::exists(dir_.File("data"))) << "nor the history";
}

// Four units at once: each EEPROM holds its own ID, the log one record per
// unit, and the history answers for each ID.
TEST_F(FleetCliE2e, FourUnitsAreProgrammedEachWithItsOwnId) {
    StartSims(4);
    const Result r = Cli({"fleet", "demo.cfg", "--ids", "12000-12005", "--ports", Ports(0, 4),
                          "--log", "fleet.jsonl"});
    EXPECT_EQ(r.exit, 0) << r.err;

    const std::vector<UnitRecord> log = ReadLog(dir_.Read("fleet.jsonl"));
    ASSERT_EQ(log.size(), 4u) << dir_.Read("fleet.jsonl");
    std::set<std::int32_t> ids;
    for (const UnitRecord& record : log) {
        SCOPED_TRACE(record.port);
        const SimThread* sim = SimOn(record.port);
        ASSERT_NE(sim, nullptr);
        EXPECT_EQ(record.outcome, "done");
        EXPECT_TRUE(record.verified);
        EXPECT_EQ(record.pttWord, DisplayLine::GetPttId(record.pttId));
        EXPECT_EQ(WordIn(*sim), record.pttWord) << "the EEPROM holds the unit's ID";
        ids.insert(record.pttId);
        EXPECT_NE(r.err.find(record.port + ": done, ID " + std::to_string(record.pttId)),
                  std::string::npos)
            << r.err;

        const Json found = HistoryJson({"--id", std::to_string(record.pttId)});
        ASSERT_EQ(found.items.size(), 1u);
        EXPECT_EQ(found[0]["port"].text, record.port);
        EXPECT_EQ(found[0]["source"].text, "fleet");
        EXPECT_EQ(found[0]["config_sha256"].text, record.configSha256);
    }
    EXPECT_EQ(ids, (std::set<std::int32_t>{12000, 12001, 12002, 12003}));

    const std::vector<std::string> out = Lines(r.out);
    ASSERT_GE(out.size(), 6u) << r.out;
    EXPECT_EQ(out[0].substr(0, 10), "UNIT  PORT");
    EXPECT_EQ(out[5], "4 programmed, 0 already done, 0 failed. Log: fleet.jsonl");
    EXPECT_EQ(out.back(), "IDs left over: 12004-12005");
}

// Two runs started at once append to one history without losing a record.
TEST_F(FleetCliE2e, TwoRunsAtOnceShareOneHistory) {
    StartSims(4);
    auto first = Start({"fleet", "demo.cfg", "--ids", "13000-13001", "--ports", Ports(0, 2),
                        "--log", "a.jsonl", "--json"});
    auto second = Start({"fleet", "demo.cfg", "--ids", "14000-14001", "--ports", Ports(2, 2),
                         "--log", "b.jsonl", "--json"});
    const Result one = first->Finish();
    const Result two = second->Finish();
    EXPECT_EQ(one.exit, 0) << one.err;
    EXPECT_EQ(two.exit, 0) << two.err;
    const Json summary = ParseJson(one.out, dir_.Path());
    EXPECT_EQ(summary["programmed"].number, 2);
    EXPECT_EQ(summary["records"].items.size(), 2u);
    EXPECT_EQ(summary["units"].items.size(), 2u);

    std::set<long long> ids;
    for (const Json& record : HistoryJson().items)
        ids.insert(record["ptt_id"].number);
    EXPECT_EQ(ids, (std::set<long long>{13000, 13001, 14000, 14001}));
}
