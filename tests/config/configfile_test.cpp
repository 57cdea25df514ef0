#include "config/configfile.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <sstream>
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

void ExpectSame(const DisplayLine& a, const DisplayLine& b) {
    EXPECT_EQ(a.GetType(), b.GetType());
    EXPECT_EQ(a.GetHex(), b.GetHex());
    EXPECT_EQ(a.GetValueText(), b.GetValueText());
    EXPECT_EQ(a.GetSensor(), b.GetSensor());
    EXPECT_EQ(a.GetName(), b.GetName());
    EXPECT_EQ(a.GetNumberText(), b.GetNumberText());
    EXPECT_EQ(a.GetIndex(), b.GetIndex());
    EXPECT_EQ(a.GetList(), b.GetList());
    EXPECT_EQ(a.GetMaxText(), b.GetMaxText());
    EXPECT_EQ(a.GetMinText(), b.GetMinText());
    EXPECT_EQ(a.GetSize(), b.GetSize());
    EXPECT_EQ(a.GetUser(), b.GetUser());
    EXPECT_EQ(a.GetAddress(), b.GetAddress());
    EXPECT_EQ(a.Validator().Max(), b.Validator().Max());
    EXPECT_EQ(a.Validator().Min(), b.Validator().Min());
}

// Both passes of loading, as the configuration window runs them.
ItemList Load(const std::string& path, nimbrel::ConfigHeader* headerOut = nullptr) {
    const auto header = nimbrel::ReadConfigHeader(path);
    auto items = nimbrel::MakeBlankItems(header.itemCount);
    EXPECT_TRUE(nimbrel::ReadConfigItems(path, items, header));
    if (headerOut) *headerOut = header;
    return items;
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

    nimbrel::ConfigHeader header;
    const ItemList loaded = Load(path, &header);
    EXPECT_TRUE(header.opened);
    EXPECT_TRUE(header.countValid);
    EXPECT_EQ(header.itemCount, 4);
    EXPECT_EQ(header.sensorCount, 1);
    ASSERT_EQ(loaded.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        ExpectSame(*loaded[i], *items[i]);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
}

TEST(ConfigFile, HexListAndLongNamesSurvive) {
    RecordingUi ui;
    TempDir dir;
    ItemList items = nimbrel::MakeBlankItems(3);
    items[0]->SetType(nimbrel::kTypeInt);
    items[0]->SetMax(65535);
    items[0]->SetValue(65535);
    items[0]->SetHex(true);
    items[0]->SetName(std::string(254, 'n'));
    items[0]->SetSensor(std::string(254, 's'));
    items[1]->SetList(true);
    items[1]->SetMin(0);
    items[1]->SetMax("{1200,1800,2700,3600,7200,10800,14400}");
    items[1]->SetValue(3600);
    items[2]->SetType(nimbrel::kTypeLong);
    items[2]->SetMin(-100);
    items[2]->SetMax(100);
    items[2]->SetValue(-5);
    items[2]->SetHex(true);

    const std::string file = TempDir::ReadFile(Save(dir, items));
    EXPECT_NE(file.find("2,1,65535,"), std::string::npos) << "hex values are written decimal";
    EXPECT_NE(file.find(",{1200,1800,2700,3600,7200,10800,14400},0,"), std::string::npos);
    EXPECT_NE(file.find("4,1,-5,"), std::string::npos);

    const ItemList loaded = Load(dir.File("test.cfg"));
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0]->GetValueText(), "ffff H");
    EXPECT_TRUE(loaded[0]->GetHex());
    EXPECT_EQ(loaded[0]->GetName(), std::string(254, 'n'));
    EXPECT_EQ(loaded[1]->GetMaxText(), "{1200,1800,2700,3600,7200,10800,14400}");
    EXPECT_EQ(loaded[1]->GetMinText(), "0");
    EXPECT_EQ(loaded[2]->GetValueText(), "fffffffb H");
    EXPECT_EQ(loaded[2]->GetMin(), -100);
    for (std::size_t i = 0; i < items.size(); ++i)
        ExpectSame(*loaded[i], *items[i]);
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
    const ItemList loaded = Load(Save(dir, items, 7));
    ASSERT_EQ(loaded.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectSame(*loaded[i], *items[i]);
    }
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
}

TEST(ConfigFile, EmptyConfigurationIsOnlyItsHeader) {
    RecordingUi ui;
    TempDir dir;
    const std::string path = Save(dir, {}, 3);
    EXPECT_EQ(TempDir::ReadFile(path), "0 3\r\n");
    const auto header = nimbrel::ReadConfigHeader(path);
    EXPECT_TRUE(header.countValid);
    EXPECT_EQ(header.itemCount, 0);
    EXPECT_EQ(header.sensorCount, 3);
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
    const ItemList loaded = Load(Save(dir, items));
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0]->GetValueText(), "Hello; world  ");
    EXPECT_EQ(loaded[0]->GetName(), "(not a list");
    EXPECT_EQ(loaded[1]->GetMaxText(), "{1,2}");
    EXPECT_EQ(loaded[2]->GetMaxText(), "{3,4}");
    EXPECT_EQ(loaded[2]->GetAddress(), 77);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ConfigFieldReader, FieldsListsAndLineEnds) {
    std::istringstream in("a,{1,2,3},b\r\nc\n{x}\r\nd");
    std::string f;
    const std::vector<std::string> expected = {"a", "{1,2,3}", "b", "c", "{x}", "d"};
    for (const auto& e : expected) {
        const bool good = DisplayLine::GetDataFromFile(in, f);
        EXPECT_EQ(f, e);
        EXPECT_EQ(good, e != "d") << "the last field runs into the end of the file";
    }
    EXPECT_FALSE(DisplayLine::GetDataFromFile(in, f));
    EXPECT_EQ(f, "");

    std::istringstream longField(std::string(300, 'x') + ",y");
    EXPECT_TRUE(DisplayLine::GetDataFromFile(longField, f));
    EXPECT_EQ(f.size(), 255u);
    EXPECT_TRUE(DisplayLine::GetDataFromFile(longField, f));
    EXPECT_EQ(f, std::string(45, 'x')) << "the rest is the next field";
}

TEST(ConfigFileReading, LinesWithOnlyLineFeedsAndWithoutAFinalLineEnd) {
    RecordingUi ui;
    TempDir dir;
    std::string text = kTransmitterFile;
    std::string lf;
    for (char c : text)
        if (c != '\r') lf += c;
    lf.pop_back();
    const ItemList loaded = Load(dir.Write("lf.cfg", lf));
    ASSERT_EQ(loaded.size(), 4u);
    EXPECT_EQ(loaded[3]->GetValueText(), "14400");
    EXPECT_EQ(loaded[3]->GetIndex(), 3);
    EXPECT_TRUE(ui.messages.empty()) << "a complete last line reads cleanly";

    const ItemList cut = Load(dir.Write("cut.cfg", text.substr(0, text.size() - 6)));
    ASSERT_EQ(cut.size(), 4u);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Error"}) << "a cut line fails once";
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(cut[3]->GetSize(), 4) << "fields before the cut are applied";
}

TEST(ConfigFileReading, HeaderPromisingMoreItemsThanTheFileHoldsIsReportedOnce) {
    RecordingUi ui;
    TempDir dir;
    std::string body = std::string(kTransmitterFile).substr(5);
    const std::string path = dir.Write("big.cfg", "2000000000 1\r\n" + body);
    nimbrel::ConfigHeader header;
    const ItemList loaded = Load(path, &header);
    EXPECT_EQ(header.declared, 2000000000);
    EXPECT_EQ(header.present, 4);
    EXPECT_EQ(loaded.size(), 4u);
    EXPECT_EQ(loaded[0]->GetValueText(), "11111");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "The file " + path + " declares 2000000000 items but holds only 4.");

    ui.Clear();
    const ItemList fewer = Load(dir.Write("fewer.cfg", "2 1\r\n" + body));
    EXPECT_EQ(fewer.size(), 2u) << "extra lines beyond the count are not read";
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ConfigFileReading, NegativeOrMissingCountReadsTheLinesPresent) {
    RecordingUi ui;
    TempDir dir;
    std::string body = std::string(kTransmitterFile).substr(5);
    for (const std::string head : {"-5 1", "abc 1", "", "  "}) {
        ui.Clear();
        const std::string path = dir.Write("bad.cfg", head + "\r\n" + body);
        nimbrel::ConfigHeader header;
        const ItemList loaded = Load(path, &header);
        EXPECT_FALSE(header.countValid) << head;
        EXPECT_EQ(loaded.size(), 4u) << head;
        ASSERT_EQ(ui.messages.size(), 1u) << head;
        EXPECT_NE(ui.messages[0].text.find(path), std::string::npos);
    }
}

TEST(ConfigFileReading, JunkEmptyAndMissingFiles) {
    RecordingUi ui;
    TempDir dir;
    auto header = nimbrel::ReadConfigHeader(dir.File("missing.cfg"));
    EXPECT_FALSE(header.opened);
    ItemList none;
    EXPECT_FALSE(nimbrel::ReadConfigItems(dir.File("missing.cfg"), none, header));
    EXPECT_FALSE(nimbrel::ReadConfigHeader(dir.Path()).opened) << "a folder is not a file";

    header = nimbrel::ReadConfigHeader(dir.Write("empty.cfg", ""));
    EXPECT_TRUE(header.opened);
    EXPECT_EQ(header.itemCount, 0);
    EXPECT_FALSE(header.countValid);

    std::string junk;
    for (int i = 0; i < 5000; ++i)
        junk += static_cast<char>((i * 7919) % 256);
    const ItemList loaded = Load(dir.Write("junk.cfg", "3 1\r\n" + junk));
    EXPECT_LE(loaded.size(), 3u);
    EXPECT_LE(ui.messages.size(), 2u * 3 + 1) << "bounded by the count";

    ui.Clear();
    const ItemList bare = Load(dir.Write("blank.cfg", "2 1\r\n\r\n\r\n"));
    EXPECT_TRUE(bare.empty());
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST(ConfigFileReading, ShortAndLongLinesStayOnTheirOwnLine) {
    RecordingUi ui;
    TempDir dir;
    const std::string path = dir.Write("lines.cfg", "3 1\r\n"
                                                    "4,0,5,S,short\r\n"
                                                    "4,0,6,,long,1,1,0,10,0,4,0,12,extra,fields\r\n"
                                                    "4,0,7,,last,1,2,0,10,0,4,0,13\r\n");
    const ItemList loaded = Load(path);
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[0]->GetName(), "short");
    EXPECT_EQ(loaded[1]->GetAddress(), 12);
    EXPECT_EQ(loaded[2]->GetValueText(), "7");
    EXPECT_EQ(loaded[2]->GetAddress(), 13);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Error"}) << "only the short line";
}

TEST(ConfigFileReading, ItemReaderMessagesForBadTypesAndFlags) {
    RecordingUi ui;
    TempDir dir;
    const std::string path = dir.Write("flags.cfg", "3 1\r\n"
                                                    "11,0,1,,a,1,0,0,1,0,1,0,0\r\n"
                                                    "6,1,1.5,,b,1,1,0,1,0,4,0,0\r\n"
                                                    "4,1,90,,c,1,2,1,{90},0,4,0,0\r\n");
    const ItemList loaded = Load(path);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Unknown type", "Hex not allowed for floats",
                                                    "Lists must be decimal."}));
    EXPECT_EQ(loaded[0]->GetType(), 11);
    EXPECT_FALSE(loaded[1]->GetHex());
    EXPECT_FALSE(loaded[2]->GetHex());
    EXPECT_EQ(loaded[2]->GetValueText(), "90");
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

    const std::string missing = dir.File("no/such/folder/x.cfg");
    EXPECT_FALSE(nimbrel::WriteConfigFile(missing, 1, items, error));
    EXPECT_NE(error.find(missing), std::string::npos);

    EXPECT_FALSE(nimbrel::WriteConfigFile(dir.Path(), 1, items, error)) << "a folder";
    EXPECT_NE(error.find(dir.Path()), std::string::npos);

    if (::geteuid() != 0) {
        ::chmod(dir.Path().c_str(), 0500);
        EXPECT_FALSE(nimbrel::WriteConfigFile(path, 1, ItemList{}, error));
        ::chmod(dir.Path().c_str(), 0700);
        EXPECT_EQ(TempDir::ReadFile(path), kTransmitterFile);
    }
    // Nothing but the saved file is left behind.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ConfigFileReading, BlankItemsAreBounded) {
    EXPECT_TRUE(nimbrel::MakeBlankItems(-1).empty());
    const ItemList items = nimbrel::MakeBlankItems(2);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1]->GetIndex(), 1);
    EXPECT_EQ(items[1]->GetType(), nimbrel::kTypeLong);
    EXPECT_EQ(items[1]->GetValueText(), "0");
    EXPECT_EQ(items[1]->GetName(), "0");
    EXPECT_EQ(items[1]->GetSensor(), "0");
    EXPECT_EQ(items[1]->GetNumberText(), "0");
}
