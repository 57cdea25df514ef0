// nimbrel-cli map: its options, and the built program's table, JSON and SVG
// for the demo configuration with the three ready-made sensors added.
#include "cli/options.h"
#include "tests/cli/clitest.h"

#include <regex>
#include <set>

using namespace nimbrel;
using namespace nimbrel::test;

namespace {

// The ready-made sensors as the configuration window adds them (transmitter,
// GPS, serial): every item at address 0.
const std::vector<std::string> kReadyMadeLines = {
    "9,0,11111,ARGOS transmitter,PTT ID number,3,8,0,99999,0,4,0,0",
    "4,0,90,,Fast transmission rep rate (seconds),3,9,1,{90,200},0,4,1,0",
    "4,0,7200,,Transmission on time (seconds),3,10,0,86400,1,4,0,0",
    "4,0,14400,,Transmission off time (seconds),3,11,0,86400,1,4,0,0",
    "4,0,1200,GPS Sensor,Time allowed for fix (seconds),4,12,0,99999,0,4,0,0",
    "4,0,3600,,GPS sample rate (seconds),4,13,1,{1200,1800,2700,3600,7200,10800,14400},0,4,0,0",
    "10,0,9600,Serial communications,Baud rate,5,14,1,{300,1200,2400,4800,9600},0,4,0,0",
    "1,0,1,,Serial data enabled yes=1 no=0,5,15,1,{0,1},0,1,0,0",
    "1,0,1,,Hardware handshaking yes=1 no=0,5,16,1,{0,1},0,1,0,0",
    "4,0,1,,User interface access interval (sec),5,17,0,3600,0,4,0,0",
};

// Whether `xml` is one root element with balanced tags, and no "<", ">" or
// "&" stands outside a tag or an entity.
bool WellFormed(const std::string& xml) {
    static const std::regex token(
        R"(<\?[^<>]*\?>|<(/?)([a-z]+)[^<>]*?(/?)>|&(?!amp;|lt;|gt;|quot;|#39;)|[<>])");
    std::vector<std::string> open;
    int roots = 0;
    for (std::sregex_iterator it(xml.begin(), xml.end(), token), end; it != end; ++it) {
        const std::smatch& m = *it;
        if (m.str().rfind("<?", 0) == 0) continue;
        if (m[2].length() == 0) return false;
        if (m[1].length() > 0) {
            if (open.empty() || open.back() != m[2].str()) return false;
            open.pop_back();
        } else if (open.empty() && ++roots > 1) {
            return false;
        } else if (m[3].length() == 0) {
            open.push_back(m[2].str());
        }
    }
    return roots == 1 && open.empty();
}

} // namespace

TEST(CliOptions, MapTakesAnSvgFile) {
    using namespace nimbrel::cli;
    const ParseResult r = ParseArguments({"map", "a.cfg", "--svg=m.svg", "--force"});
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.options.command, Command::Map);
    EXPECT_EQ(r.options.svg, "m.svg");
    EXPECT_FALSE(NeedsTransmitter(Command::Map));
    EXPECT_EQ(ParseArguments({"check", "a.cfg", "--svg", "m.svg"}).error,
              "--svg is an option of map only");
    EXPECT_EQ(ParseArguments({"map"}).error, "map needs a configuration file");
    EXPECT_NE(UsageText().find("map FILE.cfg [--svg OUT.svg]"), std::string::npos);
}

TEST_F(CliE2e, MapNamesThePairsCheckNamesAndDrawsThem) {
    std::vector<std::string> lines = kDemoLines;
    lines.insert(lines.end(), kReadyMadeLines.begin(), kReadyMadeLines.end());
    lines.push_back("4,0,1,Tank <1> & \"2\",Level\xff 'x',6,18,0,100,0,4,0,1536");
    dir_.Write("full.cfg", ConfigText(lines));

    // The table: address order, the overlapping items marked, gaps as rows.
    const Result table = Cli({"map", "full.cfg"});
    EXPECT_EQ(table.exit, 1) << table.err;
    const std::vector<std::string> out = Lines(table.out);
    ASSERT_GT(out.size(), 22u);
    EXPECT_EQ(out[1].rfind("0000  0003      4 ! PTT ID number", 0), 0u) << out[1];
    std::int32_t last = -1;
    for (std::size_t k = 1; k <= 22; ++k) {
        const std::int32_t start = std::stoi(out[k].substr(0, 4), nullptr, 16);
        EXPECT_GE(start, last) << out[k];
        last = start;
    }
    for (const char* row :
         {"0004  00FF    252   (free)", "0200  0201      2   Sample interval (ms)",
          "0207  05FF   1017   (free)", "0600  0603      4   Level\\xff 'x'",
          "0604  FFFF  63996   (free)"}) {
        EXPECT_NE(std::find_if(out.begin(), out.end(),
                               [&](const std::string& l) { return l.rfind(row, 0) == 0; }),
                  out.end())
            << row << "\n"
            << table.out;
    }
    EXPECT_EQ(out.back(), "full.cfg: 18 items write 31 bytes, 45 overlapping pairs, 65505 bytes "
                          "free.");

    // The pairs of --json are those check names; the rows cover all memory.
    const Json map = ParseJson(Cli({"map", "full.cfg", "--json"}).out, dir_.Path());
    const Json check = ParseJson(Cli({"check", "full.cfg", "--json"}).out, dir_.Path());
    std::set<std::pair<long long, long long>> mapPairs, checkPairs;
    for (const Json& o : map["overlaps"].items)
        mapPairs.insert({o["first"]["index"].number, o["second"]["index"].number});
    for (const Json& p : check["problems"].items)
        checkPairs.insert({p["item"]["index"].number, p["other"]["index"].number});
    EXPECT_EQ(mapPairs.size(), 45u);
    EXPECT_EQ(mapPairs, checkPairs);
    long long freeBytes = 0;
    for (const Json& row : map["rows"].items)
        freeBytes += row["kind"].text == "free" ? row["size"].number : 0;
    EXPECT_EQ(freeBytes, map["free_bytes"].number);
    EXPECT_EQ(freeBytes + map["used_bytes"].number, 0x10000);
    EXPECT_EQ(map["rows"].items.size(), 22u);

    // The picture: well-formed, names escaped, replaced only with --force.
    const Result drawn = Cli({"map", "full.cfg", "--svg", "full.svg"});
    EXPECT_EQ(drawn.exit, 1);
    EXPECT_EQ(drawn.out, "full.cfg: 18 items write 31 bytes, 45 overlapping pairs, 65505 bytes "
                         "free; drawn in full.svg.\n");
    const std::string svg = dir_.Read("full.svg");
    EXPECT_TRUE(WellFormed(svg)) << svg;
    EXPECT_NE(svg.find(">Level\\xff &#39;x&#39; (Tank &lt;1&gt; &amp; &quot;2&quot;)"),
              std::string::npos);
    Child lint({"xmllint", "--noout", "full.svg"}, dir_.Path());
    if (lint.Started()) {
        const Result r = lint.Finish();
        EXPECT_TRUE(r.exit == 0 || r.exit == 127) << r.err;
    }
    const Result again = Cli({"map", "full.cfg", "--svg", "full.svg"});
    EXPECT_EQ(again.exit, 2);
    EXPECT_EQ(again.err, "nimbrel-cli: The file full.svg exists; use --force to replace it.\n");
    dir_.Write("full.svg", "old");
    EXPECT_EQ(Cli({"map", "full.cfg", "--svg", "full.svg", "--force", "-q"}).exit, 1);
    EXPECT_EQ(dir_.Read("full.svg"), svg);
}

TEST_F(CliE2e, MapOfFilesWithoutAConfigurationOrWithProblems) {
    dir_.Write("empty.cfg", "");
    dir_.Write("bad.cfg", "2 1\r\n" + kDemoLines[0] + "\r\n11,0,1,,bad type,1,1,0,1,0,1,0,9\r\n");
    const Result empty = Cli({"map", "empty.cfg", "--svg", "e.svg"});
    EXPECT_EQ(empty.exit, 2);
    EXPECT_EQ(empty.err, "nimbrel-cli: The file empty.cfg holds no configuration.\n");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("e.svg")));
    EXPECT_EQ(Cli({"map", "nothere.cfg"}).exit, 2);

    // A picture that cannot be written leaves nothing behind.
    std::filesystem::create_directory(dir_.File("folder.svg"));
    const Result folder = Cli({"map", "demo.cfg", "--svg", "folder.svg", "--force"});
    EXPECT_EQ(folder.exit, 2);
    EXPECT_EQ(folder.err,
              "nimbrel-cli: The file folder.svg could not be written: Is a directory.\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();

    const Result bad = Cli({"map", "bad.cfg"});
    EXPECT_EQ(bad.exit, 1);
    EXPECT_NE(bad.err.find("Line 3: Unknown type"), std::string::npos) << bad.err;
    EXPECT_NE(bad.out.find("0100  0103      4   PTT ID number"), std::string::npos) << bad.out;
}
