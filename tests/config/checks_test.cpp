#include "config/checks.h"
#include "config/configfile.h"
#include "tests/support/recordingui.h"
#include "tests/support/itemlines.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace nimbrel;
using nimbrel::test::Items;
using nimbrel::test::RecordingUi;

namespace {

// A long of 4 bytes at `address`, limits 0..100000, sensor number 1.
std::string Long(const std::string& name, std::int32_t address, const std::string& sensor = "") {
    return "4,0,5," + sensor + "," + name + ",1,0,0,100000,0,4,0," + std::to_string(address);
}

std::vector<std::string> Texts(const std::vector<Problem>& problems) {
    std::vector<std::string> texts;
    for (const Problem& p : problems)
        texts.push_back(p.text);
    return texts;
}

} // namespace

TEST(Checks, OverlapsCoverTheBytesEachItemWrites) {
    const ItemList items = Items({
        Long("a", 0x100),                              // 0: 100..103
        Long("b", 0x104),                              // 1: 104..107, touches a only
        "1,0,5,,c,1,0,0,255,0,2,0,259",                // 2: char of 2 bytes, 103..104
        "10,0,9600,,baud,1,0,1,{4800,9600},0,4,0,512", // 3: baud writes 200 only
        "1,0,1,,after baud,1,0,0,255,0,1,0,513",       // 4: 201
        "8,0,R010000,,user command,1,0,0,0,0,7,0,256", // 5: never sent
        "5,0,E0100AB,,unformatted,1,0,0,0,0,7,0,256",  // 6: addresses in its text
        "3,0,,,empty string,1,0,0,0,0,0,0,256",        // 7: no bytes
        Long("far", 70000),                            // 8: outside memory
        Long("end", 0xFFFE),                           // 9: FFFE..FFFF
        "1,0,1,,last,1,0,0,255,0,1,0,65535",           // 10
    });
    const std::vector<Overlap> pairs = FindOverlaps(items);
    ASSERT_EQ(pairs.size(), 3u);
    const std::vector<std::array<std::int64_t, 4>> expected = {
        {0, 2, 0x103, 0x103}, {1, 2, 0x104, 0x104}, {9, 10, 0xFFFF, 0xFFFF}};
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        EXPECT_EQ((std::array<std::int64_t, 4>{static_cast<std::int64_t>(pairs[k].first),
                                               static_cast<std::int64_t>(pairs[k].second),
                                               pairs[k].from, pairs[k].to}),
                  expected[k])
            << k;
    }
}

TEST(Checks, OverlapListIsBoundedButCountsEveryPair) {
    std::vector<std::string> lines;
    for (int i = 0; i < 30; ++i)
        lines.push_back(Long("x" + std::to_string(i), 0));
    const ItemList items = Items(lines);
    std::int64_t total = 0;
    EXPECT_EQ(FindOverlaps(items, 7, &total).size(), 7u);
    EXPECT_EQ(total, 30 * 29 / 2);

    std::int64_t unlisted = 0;
    const std::vector<Problem> problems = CheckConfiguration(items, &unlisted);
    EXPECT_EQ(problems.size(), kOverlapLines);
    EXPECT_EQ(unlisted, 30 * 29 / 2 - static_cast<std::int64_t>(kOverlapLines));
}

TEST(Checks, CompareValuesAsTheTransmitterHoldsThem) {
    struct Row {
        std::string line;
        std::optional<std::string> read;
        bool differs;
    };
    const std::vector<Row> rows = {
        {"4,0,7200,,long,1,0,0,100000,0,4,0,0", "7200", false},
        {"4,0,7200,,long,1,0,0,100000,0,4,0,0", "7201", true},
        {"4,1,7200,,hex long,1,0,0,100000,0,4,0,0", "1c20 H", false},
        {"4,0,-1,,negative long,1,0,-10,10,0,4,0,0", "-1", false},
        {"2,0,-1,,negative int,1,0,-10,10,0,2,0,0", "65535", false},
        {"1,0,-1,,negative char,1,0,-10,10,0,1,0,0", "255", false},
        {"1,0,5,,char,1,0,0,10,0,1,0,0", "6", true},
        {"10,0,9600,,baud,1,0,0,9600,0,4,0,0", "9600", false},
        {"10,0,9600,,baud,1,0,0,9600,0,4,0,0", "4800", true},
        {"9,0,11111,,ptt id,1,0,0,99999,0,4,0,0", "11111", false},
        {"6,0,1.5,,float,1,0,-100,100,0,4,0,0", "1.500000", false},
        {"6,0,0.1,,float,1,0,-100,100,0,4,0,0", "0.100000", false},
        {"6,0,1.5,,float,1,0,-100,100,0,4,0,0", "1.400000", true},
        {"3,0,4142abcd,,string,1,0,0,0,0,4,0,0", "4142ABCD", false},
        {"3,0,41430000,,string,1,0,0,0,0,4,0,0", "41420000", true},
        {"3,0,AB,,string as read before,1,0,0,0,0,4,0,0", "41420000", false},
        {"3,0,AB,,string as read before,1,0,0,0,0,4,0,0", "41430000", true},
        {"4,0,7200,,not read,1,0,0,100000,0,4,0,0", std::nullopt, false},
    };
    for (const Row& row : rows) {
        const ItemList items = Items({row.line});
        const auto differences = CompareValues(items, {row.read});
        EXPECT_EQ(differences.size(), row.differs ? 1u : 0u) << row.line;
    }

    const ItemList items =
        Items({Long("first", 0x100, "ARGOS transmitter"), Long("second", 0x104)});
    const auto differences = CompareValues(items, {"5", "7"});
    ASSERT_EQ(differences.size(), 1u);
    const Difference& d = differences[0];
    EXPECT_EQ(d.item, 1u);
    EXPECT_EQ(d.name, "second");
    EXPECT_EQ(d.sensor, "ARGOS transmitter");
    EXPECT_EQ(d.address, 0x104);
    EXPECT_EQ(d.fileValue, "5");
    EXPECT_EQ(d.pttValue, "7");
}

TEST(Checks, ProblemLinesNameItemSensorAddressAndWhatIsAllowed) {
    RecordingUi ui;
    const std::string item = "Item \"v\" (ARGOS transmitter, address 100 H)";
    struct Row {
        std::string line;
        std::string problem; // "" for none
    };
    const std::vector<Row> rows = {
        {"4,0,7200,ARGOS transmitter,v,1,0,0,86400,1,4,0,256", ""},
        {"4,0,90000,ARGOS transmitter,v,1,0,0,86400,1,4,0,256",
         item + " has the value 90000, outside its limits 1 to 86400."},
        {"4,1,131071,ARGOS transmitter,v,1,0,0,65535,0,4,0,256",
         item + " has the value 1ffff H, outside its limits 0 H to ffff H."},
        {"6,0,150.5,ARGOS transmitter,v,1,0,0,100,-100,4,0,256",
         item + " has the value 150.5, outside its limits -100.000000 to 100.000000."},
        {"4,0,95,ARGOS transmitter,v,1,0,1,{90,200},0,4,0,256",
         item + " has the value 95, which is not one of its list values {90,200}."},
        {"4,0,90,ARGOS transmitter,v,1,0,1,90,0,4,0,256",
         item + " has the list \"90\", which does not start with \"{\"."},
        {"1,0,300,ARGOS transmitter,v,1,0,0,1000,0,1,0,256",
         item + " holds the value 300, which does not fit in 1 byte."},
        {"4,0,5,ARGOS transmitter,v,1,0,0,10,0,40,0,256",
         item + " has 40 bytes; an item can hold at most 36."},
        {"6,0,1.5x,ARGOS transmitter,v,1,0,0,10,0,4,0,256",
         item + " holds the value \"1.5x\", which is not a number."},
        {"4,0,5,ARGOS transmitter,v,1,0,0,10,0,4,0,65534",
         "Item \"v\" (ARGOS transmitter, address fffe H) at address fffe H with 4 bytes lies "
         "outside the memory addresses 0 to ffff H."},
        {"8,0,anything,ARGOS transmitter,v,1,0,0,0,0,999,0,-5", ""},
    };
    for (const Row& row : rows) {
        const ItemList items = Items({row.line});
        const std::optional<Problem> problem = CheckItem(items, 0);
        EXPECT_EQ(problem ? problem->text : "", row.problem) << row.line;
        EXPECT_EQ(Texts(CheckConfiguration(items)), row.problem.empty()
                                                        ? std::vector<std::string>{}
                                                        : std::vector<std::string>{row.problem});
    }
    EXPECT_TRUE(ui.messages.empty()) << "checks show no message box";
}

TEST(Checks, ConfigurationListsItemProblemsThenOverlapsWithTheirSensors) {
    const ItemList items = Items({
        "9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,0",
        "4,0,7200,,On time,1,1,0,86400,1,4,0,0",
        "4,0,0,GPS Sensor,Fix time,2,2,0,99999,0,4,0,256",
        "4,0,99,,Rate,2,3,1,{1200,3600},0,4,0,258",
        "4,0,5,,Unnamed,3,4,0,10,0,4,0,512",
    });
    EXPECT_EQ(SensorNames(items),
              (std::vector<std::string>{"ARGOS transmitter", "ARGOS transmitter", "GPS Sensor",
                                        "GPS Sensor", "sensor 3"}));
    const std::vector<Problem> problems = CheckConfiguration(items);
    EXPECT_EQ(Texts(problems),
              (std::vector<std::string>{
                  "Item \"Rate\" (GPS Sensor, address 102 H) has the value 99, which is not one "
                  "of its list values {1200,3600}.",
                  "Items \"PTT ID number\" (ARGOS transmitter, address 0 H) and \"On time\" "
                  "(ARGOS transmitter, address 0 H) both write addresses 0 H to 3 H. Items of "
                  "the ready-made sensors all start at address 0: give each item its own "
                  "address.",
                  "Items \"Fix time\" (GPS Sensor, address 100 H) and \"Rate\" (GPS Sensor, "
                  "address 102 H) both write addresses 102 H to 103 H."}));
    EXPECT_EQ(problems[1].item, 0u);
    EXPECT_EQ(problems[1].other, 1u);
    EXPECT_EQ(CheckItem(items, 4), std::nullopt);
}
