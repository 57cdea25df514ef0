// The built nimbrel-cli run as a child process in a temporary folder against
// the simulated transmitter on a pseudo-terminal: in-process (to look at and
// change its memory) or as the nimbrel-sim program (to kill it).
#include "link/transport.h"
#include "tests/cli/clitest.h"

using namespace nimbrel;
using namespace nimbrel::test;

TEST_F(CliE2e, SendThenCompareAgreeUntilOneItemChangesInTheTransmitter) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    const Result sent = Cli(With(sim, {"send", "demo.cfg"}));
    EXPECT_EQ(sent.exit, 0) << sent.err;
    EXPECT_EQ(sent.out, "Sent 7 items (23 bytes) to " + sim.pty.Slave() +
                            ", each byte read back and verified.\n");
    EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); })) << "left asleep";

    const Result same = Cli(With(sim, {"compare", "demo.cfg"}));
    EXPECT_EQ(same.exit, 0) << same.err;
    EXPECT_EQ(same.out, "Compared 7 items with " + sim.pty.Slave() + ": all the same.\n");

    sim.sim.Poke(0x10B, 0x21); // on time 7200 (1C20) becomes 7201
    const Result changed = Cli(With(sim, {"compare", "demo.cfg"}));
    EXPECT_EQ(changed.exit, 1) << changed.err;
    EXPECT_EQ(Lines(changed.out),
              (std::vector<std::string>{
                  "Item \"Transmission on time (seconds)\" (ARGOS transmitter, address 108 H): "
                  "file 7200, transmitter 7201.",
                  "Compared 7 items with " + sim.pty.Slave() + ": 1 differs."}));

    const Json json =
        ParseJson(Start(With(sim, {"--json", "compare", "demo.cfg"}))->Finish().out, dir_.Path());
    EXPECT_EQ(json["exit"].number, 1);
    EXPECT_EQ(json["port"].text, sim.pty.Slave());
    EXPECT_EQ(json["compared"].number, 7);
    ASSERT_EQ(json["differences"].items.size(), 1u);
    EXPECT_EQ(json["differences"][0]["name"].text, "Transmission on time (seconds)");
    EXPECT_EQ(json["differences"][0]["address"].number, 264);
    EXPECT_EQ(json["differences"][0]["file"].text, "7200");
    EXPECT_EQ(json["differences"][0]["transmitter"].text, "7201");

    EXPECT_EQ(dir_.Read("Nimbrel.ini"), kSettings) << "--port never writes the settings file";
    EXPECT_TRUE(TmpEmpty()) << "no temporary file is left";
}

// Two runs from the same folder at the same moment, each on its own port:
// both succeed and neither touches the settings file.
TEST_F(CliE2e, TwoSendsAtOnceOnTwoPortsLeaveTheSettingsFileAlone) {
    SimThread a(Fast());
    SimThread b(Fast());
    ASSERT_TRUE(a.pty.Ok() && b.pty.Ok());
    const auto before = std::filesystem::last_write_time(dir_.File("Nimbrel.ini"));
    auto first = Start(With(a, {"send", "demo.cfg"}));
    auto second = Start(With(b, {"send", "demo.cfg", "--no-verify"}));
    const Result one = first->Finish();
    const Result two = second->Finish();
    EXPECT_EQ(one.exit, 0) << one.err;
    EXPECT_EQ(two.exit, 0) << two.err;
    EXPECT_EQ(one.out, "Sent 7 items (23 bytes) to " + a.pty.Slave() +
                           ", each byte read back and verified.\n");
    EXPECT_EQ(two.out, "Sent 7 items (23 bytes) to " + b.pty.Slave() + ", not read back.\n");
    EXPECT_EQ(a.sim.Peek(0x10B), 0x20);
    EXPECT_EQ(b.sim.Peek(0x10B), 0x20);
    EXPECT_EQ(dir_.Read("Nimbrel.ini"), kSettings);
    EXPECT_EQ(std::filesystem::last_write_time(dir_.File("Nimbrel.ini")), before);
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(CliE2e, ReadFillsTheLayoutWithTheTransmittersValues) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    ASSERT_EQ(Cli(With(sim, {"send", "demo.cfg", "--quiet"})).exit, 0);

    // A layout whose values all differ from what the transmitter holds.
    std::vector<std::string> layout = kDemoLines;
    layout[0] = "9,0,22222,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,256";
    layout[2] = "4,0,1,,Transmission on time (seconds),1,2,0,86400,1,4,0,264";
    layout[5] = "6,0,-3.250000,,Calibration offset,2,5,0,100,-100,4,0,514";
    dir_.Write("layout.cfg", ConfigText(layout));

    const Result read = Cli(With(sim, {"read", "layout.cfg", "-o", "out.cfg"}));
    EXPECT_EQ(read.exit, 0) << read.err;
    EXPECT_EQ(read.out, "Read 7 items from " + sim.pty.Slave() + " into out.cfg.\n");
    EXPECT_NE(read.err.find("Read 7 items"), std::string::npos) << "the progress agrees";
    const ItemList source = Load("demo.cfg");
    const ItemList out = Load("out.cfg");
    ASSERT_EQ(out.size(), source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        EXPECT_EQ(out[i]->GetValueText(), source[i]->GetValueText()) << i;
        EXPECT_EQ(out[i]->GetAddress(), source[i]->GetAddress()) << i;
    }

    const std::string before = dir_.Read("out.cfg");
    const std::size_t received = sim.sim.Received().size();
    const Result refused = Cli(With(sim, {"read", "layout.cfg", "-o", "out.cfg"}));
    EXPECT_EQ(refused.exit, 2);
    EXPECT_NE(refused.err.find("out.cfg exists; use --force"), std::string::npos) << refused.err;
    EXPECT_EQ(sim.sim.Received().size(), received) << "refused before waking the transmitter";
    EXPECT_EQ(dir_.Read("out.cfg"), before);
    EXPECT_EQ(Cli(With(sim, {"read", "layout.cfg", "-o", "out.cfg", "--force"})).exit, 0);
}

TEST_F(CliE2e, EncodeShowsExactlyTheBytesASendWrites) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    const Result encoded = Cli({"encode", "demo.cfg"});
    ASSERT_EQ(encoded.exit, 0) << encoded.err;
    std::string commands;
    for (char c : encoded.out) {
        if (c != ' ' && c != '\n') commands += c;
    }
    ASSERT_EQ(Cli(With(sim, {"send", "demo.cfg", "--no-verify"})).exit, 0);
    EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); }));
    EXPECT_EQ(sim.sim.Received(), "ATTTTTTT" + commands + "qqqqqqq")
        << "the wake answer, the version query, the commands, the exit string";

    const Result hex = Cli({"encode", "demo.cfg", "--format", "hex"});
    EXPECT_EQ(Lines(hex.out).size(), commands.size() / 7);
    const Json json = ParseJson(Cli({"encode", "demo.cfg", "--json"}).out, dir_.Path());
    std::string fromJson;
    for (const Json& item : json["items"].items) {
        for (const Json& c : item["commands"].items)
            fromJson += c.text;
    }
    EXPECT_EQ(fromJson, commands);
    EXPECT_EQ(json["bytes"].number, static_cast<long long>(commands.size() / 7));
}

TEST_F(CliE2e, CheckNamesValuesOutsideTheirLimitsAndOverlaps) {
    std::vector<std::string> outside = kDemoLines;
    outside[2] = "4,0,90000,,Transmission on time (seconds),1,2,0,86400,1,4,0,264";
    std::vector<std::string> overlapping = kDemoLines;
    overlapping[3] = "4,0,14400,,Transmission off time (seconds),1,3,0,86400,1,4,0,266";
    dir_.Write("outside.cfg", ConfigText(outside));
    dir_.Write("overlapping.cfg", ConfigText(overlapping));
    struct Row {
        std::string file;
        int exit;
        std::vector<std::string> out;
    };
    const std::vector<Row> rows = {
        {"demo.cfg", 0, {"demo.cfg: 8 items, no problems."}},
        {"outside.cfg",
         1,
         {"Item \"Transmission on time (seconds)\" (ARGOS transmitter, address 108 H) has the "
          "value 90000, outside its limits 1 to 86400.",
          "outside.cfg: 8 items, 1 problem."}},
        {"overlapping.cfg",
         1,
         {"Items \"Transmission on time (seconds)\" (ARGOS transmitter, address 108 H) and "
          "\"Transmission off time (seconds)\" (ARGOS transmitter, address 10a H) both write "
          "addresses 10a H to 10b H.",
          "overlapping.cfg: 8 items, 1 problem."}},
    };
    for (const Row& row : rows) {
        const Result r = Cli({"check", row.file});
        EXPECT_EQ(r.exit, row.exit) << row.file << r.err;
        EXPECT_EQ(Lines(r.out), row.out) << row.file;

        const Json json = ParseJson(Cli({"check", row.file, "--json"}).out, dir_.Path());
        EXPECT_EQ(json["exit"].number, row.exit);
        std::vector<std::string> texts;
        for (const Json& p : json["problems"].items)
            texts.push_back(p["text"].text);
        EXPECT_EQ(texts, std::vector<std::string>(row.out.begin(), row.out.end() - 1)) << row.file;
    }

    const Result missing = Cli({"check", "nothere.cfg"});
    EXPECT_EQ(missing.exit, 2);
    EXPECT_EQ(missing.err, "nimbrel-cli: Cannot open the configuration file nothere.cfg.\n");
    const Result usage = Cli({"--json", "check"});
    EXPECT_EQ(usage.exit, 2);
    EXPECT_EQ(ParseJson(usage.out, dir_.Path())["error"].text, "check needs a configuration file");
}

TEST_F(CliE2e, ASilentTransmitterEndsWithExit4AfterTheStartWait) {
    sim::SimOptions o = Fast();
    o.neverWake = true;
    SimThread sim(o);
    ASSERT_TRUE(sim.pty.Ok());
    const Result r = Cli(With(sim, {"version", "--wait", "0.3"}));
    EXPECT_EQ(r.exit, 4) << r.err;
    EXPECT_GE(r.ms, 300);
    EXPECT_LT(r.ms, 3000) << "not the settings' 3-second wait";
    EXPECT_NE(r.err.find("nimbrel-cli: No communication from PTT\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(CliE2e, ASimulatorKilledMidSendEndsWithExit3NamingThePort) {
    Child sim({NIMBREL_SIM_PATH, "--baud", "1200", "--wake-interval", "20"}, dir_.Path());
    ASSERT_TRUE(WaitFor([&] { return sim.Out().find('\n') != std::string::npos; }, 5000));
    const std::string device = sim.Out().substr(0, sim.Out().find('\n'));
    // The device in the settings file this time.
    dir_.Write("Nimbrel.ini", SettingsText(device));

    const auto cli = Start({"send", "demo.cfg"});
    ASSERT_TRUE(
        WaitFor([&] { return cli->Err().find("Sending item 2 of 7") != std::string::npos; }, 10000))
        << cli->Err();
    sim.Signal(SIGKILL);
    const auto killed = Clock::now();
    const Result r = cli->Finish();
    EXPECT_LT(MsSince(killed), 1000);
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("nimbrel-cli: The serial port " + device + " went away"),
              std::string::npos)
        << r.err;
}

TEST_F(CliE2e, CtrlCEndsASendCleanlyAndFreesThePort) {
    SimThread sim(Slow());
    ASSERT_TRUE(sim.pty.Ok());
    const auto cli = Start(With(sim, {"send", "demo.cfg"}));
    ASSERT_TRUE(
        WaitFor([&] { return cli->Err().find("Sending item 2 of 7") != std::string::npos; }, 10000))
        << cli->Err();
    cli->Signal(SIGINT);
    const Result r = cli->Finish();
    EXPECT_EQ(r.exit, 130) << r.err;
    EXPECT_NE(r.err.find("Sending was cancelled"), std::string::npos) << r.err;
    EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); })) << "the exit string was sent";
    EXPECT_TRUE(TmpEmpty());

    test::UsePort(sim.pty.Slave());
    Transport port;
    EXPECT_TRUE(nimbrel::test::OpenAsConfigured(port)) << "the port is free again";
}

TEST_F(CliE2e, VersionProgramAndDumpWithAnotherSettingsFile) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    std::filesystem::remove(dir_.File("Nimbrel.ini"));
    const std::string settings = SettingsText(sim.pty.Slave());
    dir_.Write("bench.ini", settings);
    dir_.Write("demo.prg", "0A1B2C3D4E5F6071");

    // A port opened anew discards what the pseudo-terminal still holds: the
    // exit string of the run before must be taken before the next run opens.
    const auto asleep = [&] { EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); })); };
    const Result version = Cli({"version", "--settings", "bench.ini", "--baud", "4800"});
    EXPECT_EQ(version.exit, 0) << version.err;
    EXPECT_EQ(version.out, "2.10\n");
    asleep();
    const Result program = Cli({"program", "demo.prg", "--base", "b600", "--settings=bench.ini"});
    EXPECT_EQ(program.exit, 0) << program.err;
    EXPECT_EQ(sim.sim.Peek(0xB607), 0x71);
    EXPECT_NE(program.err.find("nimbrel-cli: File sent.\n"), std::string::npos) << program.err;
    asleep();
    const Result dump = Cli({"dump", "--from", "b5ff", "--to", "b601", "--settings", "bench.ini"});
    EXPECT_EQ(dump.exit, 0) << dump.err;
    EXPECT_EQ(dump.out, "B5FF  FF 0A 1B                                          |...|\n");

    EXPECT_EQ(dir_.Read("bench.ini"), settings) << "overrides never reach the file";
    EXPECT_FALSE(std::filesystem::exists(dir_.File("Nimbrel.ini")));
    EXPECT_EQ(Cli({"version", "--settings", "none.ini"}).exit, 2);
}

// Files that hold no configuration, or hold one with load problems, end every
// command that takes a configuration before a port is opened (the port here
// does not exist: opening it would exit 3).
TEST_F(CliE2e, FilesWithoutAConfigurationOrWithProblemsAreRefusedBeforeThePort) {
    std::string junk = "27 1\r\n";
    for (int i = 0; i < 25; ++i)
        junk +=
            "11,0,1,,bad type,1," + std::to_string(i) + ",0,1,0,1,0," + std::to_string(i) + "\r\n";
    junk += "4,0,99,\x1b]0;owned\x07,\x1b[2Jname\xff,2,0,0,10,0,4,0,300\r\n";
    junk += "4,0,cut\r\n";
    dir_.Write("empty.cfg", "");
    dir_.Write("text.cfg", "Dear technician, please send this file.\n");
    dir_.Write("junk.cfg", junk);
    const std::string port = dir_.File("noport");
    const std::string none = " holds no configuration.\n";
    struct Row {
        std::vector<std::string> args;
        int exit;
    };
    const std::vector<Row> rows = {
        {{"check"}, 1},
        {{"encode"}, 1},
        {{"send"}, 1},
        {{"compare"}, 1},
        {{"read", "-o", "out.cfg"}, 3}, // a layout with problems is still read
    };
    for (const Row& row : rows) {
        for (const std::string file : {"empty.cfg", "text.cfg", "junk.cfg"}) {
            std::vector<std::string> args = row.args;
            args.insert(args.begin() + 1, file);
            args.insert(args.end(), {"--port", port});
            const Result r = Cli(args);
            const std::string what = args[0] + " " + file;
            EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << what;
            EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << what;
            if (file != "junk.cfg") {
                EXPECT_EQ(r.exit, 2) << what;
                EXPECT_EQ(r.err, "nimbrel-cli: The file " + file + none) << what;
                EXPECT_EQ(r.out, "") << what;
                continue;
            }
            EXPECT_EQ(r.exit, row.exit) << what << r.err;
            EXPECT_EQ(r.err.rfind("nimbrel-cli: The file junk.cfg has problems:\n"
                                  "nimbrel-cli: Line 2: Unknown type\n",
                                  0),
                      0u)
                << what << r.err;
            EXPECT_NE(r.err.find("nimbrel-cli: and 6 more\n"), std::string::npos) << r.err;
            EXPECT_EQ(r.out.empty(), args[0] != "check") << what << r.out;
        }
    }
    const Result check = Cli({"check", "junk.cfg"});
    EXPECT_NE(check.out.find("Item \"\\x1b[2Jname\\xff\" (\\x1b]0;owned\\x07, address 12c H) has "
                             "the value 99"),
              std::string::npos)
        << check.out;
    EXPECT_NE(check.out.find("\njunk.cfg: 27 items, "), std::string::npos) << check.out;
}

TEST_F(CliE2e, AnAwakeTransmitterIsFoundAndStopPutsItBackToSleep) {
    sim::SimOptions o = Fast();
    o.startAwake = true;
    SimThread sim(o);
    ASSERT_TRUE(sim.pty.Ok());
    const Result version = Cli(With(sim, {"version"}));
    EXPECT_EQ(version.exit, 0) << version.err;
    EXPECT_EQ(version.out, "2.10\n");
    EXPECT_NE(version.err.find("nimbrel-cli: The transmitter sent no wake-up byte but answered the "
                               "version query: it was awake already; carrying on.\n"),
              std::string::npos)
        << version.err;
    EXPECT_LT(version.ms, 2000) << "AwakeWaitMs, not the start wait";
    // The simulator takes the last bytes off the line on its own thread.
    WaitFor([&] { return sim.sim.Received().size() >= 21; });
    EXPECT_EQ(sim.sim.Received(), "TTTTTTTTTTTTTTqqqqqqq")
        << "the probe, the query, the exit string";
    EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); }));

    SimThread awake(o);
    ASSERT_TRUE(awake.pty.Ok());
    const Result stop = Cli(With(awake, {"stop"}));
    EXPECT_EQ(stop.exit, 0) << stop.err;
    EXPECT_EQ(stop.out, "Sent the exit string to " + awake.pty.Slave() + ".\n");
    EXPECT_TRUE(WaitFor([&] { return !awake.sim.Awake(); }));
    EXPECT_EQ(awake.sim.Received(), "qqqqqqq");
}
