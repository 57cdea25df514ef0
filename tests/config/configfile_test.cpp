#include "config/configfile.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

using nimbrel::DisplayLine;
using nimbrel::ItemList;
using nimbrel::test::RecordingUi;
using nimbrel::test::TempDir;

namespace {

struct Template {
    const char* name;
    std::int32_t type;
    std::int32_t size; // 0: the size SetType gives
    std::int32_t min, max;
    const char* list;
    const char* value;
    bool notUserConfigurable;
};

// A sensor built as the ready-made sensor commands build one: blank items
// appended at the end, then the setters in the commands' order.
void AddSensor(ItemList& items, std::int32_t number, const std::string& sensorName,
               const std::vector<Template>& rows) {
    bool first = true;
    for (const auto& row : rows) {
        const auto index = static_cast<std::int32_t>(items.size());
        auto item = std::make_unique<DisplayLine>(index, "", std::to_string(number), "Sensor item",
                                                  "0", nimbrel::kTypeChar, 1);
        item->SetSensor(first ? sensorName : "");
        item->SetHex(false);
        item->SetNumber(number);
        item->SetList(row.list != nullptr);
        item->SetMin(row.min);
        if (row.list) {
            item->SetMax(row.list);
        } else {
            item->SetMax(row.max);
        }
        item->SetType(row.type);
        if (row.size) item->SetSize(row.size);
        item->SetHex(false);
        item->SetName(row.name);
        item->SetValue(row.value);
        item->SetUser(row.notUserConfigurable);
        items.push_back(std::move(item));
        first = false;
    }
}

ItemList Transmitter() {
    ItemList items;
    AddSensor(items, 1, "ARGOS transmitter",
              {{"PTT ID number", nimbrel::kTypePttId, 4, 0, 99999, nullptr, "11111", false},
               {"Fast transmission rep rate (seconds)", nimbrel::kTypeLong, 0, 0, 0, "{90,200}",
                "90", true},
               {"Transmission on time (seconds)", nimbrel::kTypeLong, 0, 1, 86400, nullptr, "7200",
                false},
               {"Transmission off time (seconds)", nimbrel::kTypeLong, 0, 1, 86400, nullptr,
                "14400", false}});
    return items;
}

const char* const kTransmitterFile =
    "4 1\r\n"
    "9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,0\r\n"
    "4,0,90,,Fast transmission rep rate (seconds),1,1,1,{90,200},0,4,1,0\r\n"
    "4,0,7200,,Transmission on time (seconds),1,2,0,86400,1,4,0,0\r\n"
    "4,0,14400,,Transmission off time (seconds),1,3,0,86400,1,4,0,0\r\n";

// Everything an item holds, as one comparable text.
std::string State(const DisplayLine& a) {
    std::ostringstream out;
    out << a.GetType() << '|' << a.GetHex() << '|' << a.GetValueText() << '|' << a.GetSensor()
        << '|' << a.GetName() << '|' << a.GetNumberText() << '|' << a.GetIndex() << '|'
        << a.GetList() << '|' << a.GetMaxText() << '|' << a.GetMinText() << '|' << a.GetSize()
        << '|' << a.GetUser() << '|' << a.GetAddress() << '|' << a.Validator().Max() << '|'
        << a.Validator().Min();
    return out.str();
}

void ExpectSame(const ItemList& a, const ItemList& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(State(*a[i]), State(*b[i]));
}

struct Loaded {
    ItemList items;
    std::vector<std::string> problems;
    nimbrel::ConfigHeader header;
};

// Both passes of loading, as the configuration window runs them.
Loaded Load(const std::string& path) {
    Loaded out;
    out.header = nimbrel::ReadConfigHeader(path);
    out.items = nimbrel::MakeBlankItems(out.header.itemCount);
    EXPECT_TRUE(nimbrel::ReadConfigItems(path, out.items, out.header, out.problems));
    return out;
}

// A file that must load without problems.
ItemList LoadClean(const std::string& path) {
    Loaded loaded = Load(path);
    EXPECT_EQ(loaded.problems, std::vector<std::string>{});
    return std::move(loaded.items);
}

std::string Save(const TempDir& dir, const ItemList& items, std::int32_t sensors = 1) {
    std::string error;
    const std::string path = dir.File("test.cfg");
    EXPECT_TRUE(nimbrel::WriteConfigFile(path, sensors, items, error)) << error;
    EXPECT_EQ(error, "");
    return path;
}

} // namespace

TEST(ConfigFile, TransmitterSensorIsWrittenByteForByteAndReadBack) {
    RecordingUi ui;
    TempDir dir;
    const ItemList items = Transmitter();
    const std::string path = Save(dir, items);
    EXPECT_EQ(TempDir::ReadFile(path), kTransmitterFile);
    const Loaded loaded = Load(path);
    ExpectSame(loaded.items, items);
    EXPECT_TRUE(loaded.header.countValid);
    EXPECT_EQ(loaded.header.sensorCount, 1);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(TempDir::ReadFile(Save(dir, {}, 3)), "0 3\r\n");
}

TEST(ConfigFile, HexListAndLongNamesSurvive) {
    RecordingUi ui;
    TempDir dir;
    ItemList items = nimbrel::MakeBlankItems(2);
    items[0]->SetType(nimbrel::kTypeInt);
    items[0]->SetMax(65535);
    items[0]->SetValue(65535);
    items[0]->SetHex(true);
    items[0]->SetName(std::string(254, 'n'));
    items[1]->SetList(true);
    items[1]->SetMax("{1200,1800,2700,3600,7200,10800,14400}");
    items[1]->SetValue(3600);
    const std::string file = TempDir::ReadFile(Save(dir, items));
    EXPECT_NE(file.find("2,1,65535,"), std::string::npos) << "hex values are written decimal";
    EXPECT_NE(file.find(",{1200,1800,2700,3600,7200,10800,14400},0,"), std::string::npos);

    const ItemList loaded = LoadClean(dir.File("test.cfg"));
    ExpectSame(loaded, items);
    EXPECT_EQ(loaded[0]->GetValueText(), "ffff H");
    EXPECT_EQ(loaded[1]->GetMinText(), "0");
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ConfigFile, EveryTypeRoundTripsWithItsFlagsAndLimits) {
    RecordingUi ui;
    TempDir dir;
    ItemList items;
    const char* values[] = {
        "",          "200",         "-300",    "0a1b2c", "-70000", "E8000AB E8001CD",
        "-1.250000", "Hello world", "TTTTTTT", "11111",  "4800"};
    for (std::int32_t type = 1; type <= 10; ++type) {
        for (bool hex : {false, true}) {
            const auto index = static_cast<std::int32_t>(items.size());
            auto item =
                std::make_unique<DisplayLine>(index, hex ? "" : "Sensor", std::to_string(type),
                                              "Name", "0", nimbrel::kTypeChar, 1);
            item->SetType(type);
            item->SetHex(hex);
            item->SetMin(-type * 1000);
            item->SetMax(type * 100000);
            if (nimbrel::IsTextType(type) || type == nimbrel::kTypeFloat) {
                item->SetValue(values[type]);
            } else {
                item->SetValue(DisplayLine::StringToLong(values[type], false));
            }
            item->SetSize(type + 1);
            item->SetAddress(0xFF00 + index);
            item->SetUser(hex);
            items.push_back(std::move(item));
        }
    }
    ui.Clear();
    ExpectSame(LoadClean(Save(dir, items, 7)), items);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ConfigFile, SeparatorsInTextsDoNotShiftTheFields) {
    RecordingUi ui;
    TempDir dir;
    ItemList items = nimbrel::MakeBlankItems(3);
    items[0]->SetType(nimbrel::kTypeAscii);
    items[0]->SetValue("Hello, world\r\n");
    items[0]->SetName("{not a list");
    items[1]->SetList(true);
    items[1]->SetMax("{1,2");
    items[2]->SetList(true);
    items[2]->SetMax("{3,4}trailing");
    items[2]->SetAddress(77);
    const ItemList loaded = LoadClean(Save(dir, items));
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0]->GetValueText(), "Hello; world  ");
    EXPECT_EQ(loaded[0]->GetName(), "(not a list");
    EXPECT_EQ(loaded[1]->GetMaxText(), "{1,2}");
    EXPECT_EQ(loaded[2]->GetMaxText(), "{3,4}");
    EXPECT_EQ(loaded[2]->GetAddress(), 77);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ConfigFile, FieldReaderListsLineEndsAndLongFields) {
    std::istringstream in("a,{1,2,3},b\r\nc\n{x}\r\nd");
    std::string f;
    for (const std::string e : {"a", "{1,2,3}", "b", "c", "{x}", "d"}) {
        const bool good = DisplayLine::GetDataFromFile(in, f);
        EXPECT_EQ(f, e);
        EXPECT_EQ(good, e != "d") << "the last field runs into the end of the file";
    }
    std::istringstream longField(std::string(300, 'x') + ",y");
    EXPECT_TRUE(DisplayLine::GetDataFromFile(longField, f));
    EXPECT_EQ(f.size(), 255u);
    EXPECT_TRUE(DisplayLine::GetDataFromFile(longField, f));
    EXPECT_EQ(f, std::string(45, 'x')) << "the rest is the next field";
}

TEST(ConfigFileReading, LineFeedsMissingFinalLineEndAndCutLines) {
    RecordingUi ui;
    TempDir dir;
    const std::string text = kTransmitterFile;
    std::string lf;
    for (char c : text)
        if (c != '\r') lf += c;
    lf.pop_back();
    const Loaded clean = Load(dir.Write("lf.cfg", lf));
    ExpectSame(clean.items, Transmitter());
    EXPECT_TRUE(clean.problems.empty()) << "a complete last line reads cleanly";

    const Loaded cut = Load(dir.Write("cut.cfg", text.substr(0, text.size() - 6)));
    ASSERT_EQ(cut.items.size(), 4u);
    EXPECT_EQ(cut.items[3]->GetSize(), 4) << "fields before the cut are applied";
    EXPECT_EQ(cut.problems, std::vector<std::string>{"Line 5: Error"});
    EXPECT_TRUE(ui.messages.empty()) << "problems are collected, not shown";
}

TEST(ConfigFileReading, ItemCountBeyondTheFileIsBoundedAndReportedOnce) {
    RecordingUi ui;
    TempDir dir;
    const std::string body = std::string(kTransmitterFile).substr(5);
    const std::string path = dir.Write("big.cfg", "2000000000 1\r\n" + body);
    const Loaded big = Load(path);
    ExpectSame(big.items, Transmitter());
    EXPECT_EQ(big.problems,
              std::vector<std::string>{"The file " + path +
                                       " declares 2000000000 items but holds only 4."});
    for (const std::string head : {"-5 1", "abc 1", ""}) {
        const std::string bad = dir.Write("bad.cfg", head + "\r\n" + body);
        const Loaded loaded = Load(bad);
        EXPECT_EQ(loaded.items.size(), 4u) << head;
        ASSERT_EQ(loaded.problems.size(), 1u) << head;
        EXPECT_NE(loaded.problems[0].find(bad), std::string::npos);
        EXPECT_FALSE(nimbrel::HoldsNoConfiguration(loaded.header)) << head;
    }
    EXPECT_TRUE(Load(dir.Write("fewer.cfg", "2 1\r\n" + body)).problems.empty());
    const Loaded blank = Load(dir.Write("blank.cfg", "2 1\r\n\r\n\r\n"));
    EXPECT_EQ(blank.items.size(), 0u);
    EXPECT_EQ(blank.problems.size(), 1u) << "the file without items";
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ConfigFileReading, ShortAndLongLinesStayOnTheirOwnLine) {
    RecordingUi ui;
    TempDir dir;
    const Loaded file = Load(dir.Write("lines.cfg", "3 1\r\n"
                                                    "\r\n"
                                                    "4,0,5,S,short\n"
                                                    "4,0,6,,long,1,1,0,10,0,4,0,12,more\r\n"
                                                    "4,0,7,,last,1,2,0,10,0,4,0,13\r\n"));
    const ItemList& loaded = file.items;
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0]->GetName(), "short");
    EXPECT_EQ(loaded[1]->GetAddress(), 12);
    EXPECT_EQ(loaded[2]->GetAddress(), 13);
    EXPECT_EQ(file.problems, std::vector<std::string>{"Line 3: Error"})
        << "only the short line, counting the empty one";
}

TEST(ConfigFileReading, RefusalsOfTypesAndFlagsAndJunk) {
    RecordingUi ui;
    TempDir dir;
    const Loaded file = Load(dir.Write("flags.cfg", "3 1\r\n"
                                                    "11,0,1,,a,1,0,0,1,0,1,0,0\r"
                                                    "6,1,1.5,,b,1,1,0,1,0,4,0,0\r\n"
                                                    "4,1,90,,c,1,2,1,{90},0,4,0,0\r\n"));
    const ItemList& loaded = file.items;
    EXPECT_EQ(file.problems, (std::vector<std::string>{"Line 2: Unknown type",
                                                       "Line 3: Hex not allowed for floats",
                                                       "Line 4: Lists must be decimal."}));
    EXPECT_EQ(loaded[0]->GetType(), 11);
    EXPECT_FALSE(loaded[1]->GetHex());
    EXPECT_EQ(loaded[2]->GetValueText(), "90");

    std::string junk;
    for (int i = 0; i < 5000; ++i)
        junk += static_cast<char>((i * 7919) % 256);
    const Loaded junkFile = Load(dir.Write("junk.cfg", "3 1\r\n" + junk));
    EXPECT_LE(junkFile.items.size(), 3u);
    EXPECT_LE(junkFile.problems.size(), 7u) << "bounded by the count";
    EXPECT_TRUE(ui.messages.empty());

    const auto missing = nimbrel::ReadConfigHeader(dir.File("missing.cfg"));
    EXPECT_FALSE(missing.opened);
    ItemList none;
    EXPECT_FALSE(nimbrel::ReadConfigItems(dir.File("missing.cfg"), none, missing));
    EXPECT_FALSE(nimbrel::ReadConfigHeader(dir.Path()).opened) << "a folder is not a file";
    EXPECT_TRUE(nimbrel::MakeBlankItems(-1).empty());
}

TEST(ConfigFileReading, TextLoadsLikeTheFileAndEmptyTextsHoldNoConfiguration) {
    RecordingUi ui;
    ItemList items;
    std::vector<std::string> problems;
    const auto header = nimbrel::LoadConfigText(kTransmitterFile, "tx.cfg", items, problems);
    ExpectSame(items, Transmitter());
    EXPECT_EQ(header.sensorCount, 1);
    EXPECT_TRUE(problems.empty());

    const std::string item = "4,0,5,,a,1,0,0,10,0,4,0,0\r\n";
    const struct {
        std::string text;
        bool none;
    } cases[] = {{"", true},
                 {"\r\n\r\n", true},
                 {"just some words", true},
                 {"5 1\r\n\r\n", true},
                 {"0 3\r\n", false},
                 {"0 3\r\n" + item, false},
                 {"abc\r\n" + item, false}};
    for (const auto& c : cases) {
        problems.clear();
        const auto h = nimbrel::LoadConfigText(c.text, "x.cfg", items, problems);
        EXPECT_EQ(nimbrel::HoldsNoConfiguration(h), c.none) << c.text;
        EXPECT_EQ(items.size(), static_cast<std::size_t>(h.itemCount)) << c.text;
    }
    EXPECT_FALSE(nimbrel::HoldsNoConfiguration({})) << "a file not opened is told apart";
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ConfigFileReading, ProblemsOfAFileAreShownOnceWithAtMostTwentyLines) {
    RecordingUi ui;
    TempDir dir;
    EXPECT_EQ(nimbrel::ConfigProblemsText("a.cfg", {"Unknown type", "Error"}),
              "The file a.cfg has problems:\r\nUnknown type\r\nError");
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919 + i / 13) % 256);
    const std::string path = dir.Write("junk.cfg", junk);
    const auto header = nimbrel::ReadConfigHeader(path);
    ItemList items = nimbrel::MakeBlankItems(header.itemCount);
    ASSERT_TRUE(nimbrel::ReadConfigItems(path, items, header));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_EQ(ui.messages[0].icon, nimbrel::Icon::Exclamation);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.rfind("The file " + path + " has problems:\r\n", 0), 0u) << text;
    std::vector<std::string> problems;
    nimbrel::LoadConfigText(junk, path, items, problems);
    ASSERT_GT(problems.size(), 20u);
    const std::string more = "\r\nand " + std::to_string(problems.size() - 20) + " more";
    EXPECT_EQ(text.substr(text.size() - more.size()), more);
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, 21u) << "twenty problems and the rest counted";

    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_TRUE(c == '\r' || c == '\n' || (b >= 0x20 && b < 0x7f)) << "shown as is: " << text;
    }

    ui.Clear();
    nimbrel::ShowConfigProblems(path, {});
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(nimbrel::ConfigProblemsText("\x1b]0;x\a.cfg", {"a\x9b"}),
              "The file \\x1b]0;x\\x07.cfg has problems:\r\na\\x9b");
    EXPECT_EQ(nimbrel::NoConfigurationText("e\x1b.cfg"),
              "The file e\\x1b.cfg holds no configuration.");
}

TEST(ConfigFileWriting, FailedSaveKeepsThePreviousFileAndNamesIt) {
    RecordingUi ui;
    TempDir dir;
    const ItemList items = Transmitter();
    const std::string path = dir.Write("keep.cfg", "previous");
    ::chmod(path.c_str(), 0640);
    std::string error;
    ASSERT_TRUE(nimbrel::WriteConfigFile(path, 1, items, error));
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the file keeps its permissions";
    const std::string link = dir.File("link.cfg");
    std::filesystem::create_symlink(path, link);
    ASSERT_TRUE(nimbrel::WriteConfigFile(link, 1, {}, error));
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "a link stays a link";
    EXPECT_EQ(TempDir::ReadFile(path), "0 1\r\n");
    std::filesystem::remove(link);
    ASSERT_TRUE(nimbrel::WriteConfigFile(path, 1, items, error));

    const std::string missing = dir.File("no/such/folder/x.cfg");
    EXPECT_FALSE(nimbrel::WriteConfigFile(missing, 1, items, error));
    EXPECT_NE(error.find(missing), std::string::npos);

    EXPECT_FALSE(nimbrel::WriteConfigFile(dir.Path(), 1, items, error)) << "a folder";
    EXPECT_NE(error.find(dir.Path()), std::string::npos);

    {
        // A disk that fills up while writing: the previous file stays whole.
        struct rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 64;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const bool written = nimbrel::WriteConfigFile(path, 2, items, error);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(written);
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(TempDir::ReadFile(path), kTransmitterFile);
    }
    // Nothing but the saved file is left behind.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u);
    EXPECT_TRUE(ui.messages.empty());
}
