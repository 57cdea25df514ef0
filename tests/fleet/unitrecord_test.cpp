#include "fleet/unitrecord.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace nimbrel {
namespace {

UnitRecord Record(std::int32_t id, const char* outcome = kOutcomeDone, bool verified = true,
                  const char* hash = "aa11") {
    UnitRecord r;
    r.time = "2026-12-09T18:03:04Z";
    r.port = "/dev/pts/7";
    r.pttId = id;
    r.pttWord = 0xAD9EC;
    r.version = "V2.31";
    r.configFile = "tag.cfg";
    r.configSha256 = hash;
    r.bytesWritten = 412;
    r.verified = verified;
    r.outcome = outcome;
    r.durationMs = 5123;
    return r;
}

TEST(UnitRecordTest, UtcTimeIsIso8601) {
    EXPECT_EQ(UtcTime(std::chrono::system_clock::from_time_t(1796839384)), "2026-12-09T18:03:04Z");
}

TEST(UnitRecordTest, ConfigHashFollowsTheItems) {
    ItemList items;
    items.push_back(std::make_unique<DisplayLine>(0, "ARGOS", "0", "Rep rate", "60", kTypeInt, 2));
    const std::string hash = ConfigSha256(1, items);
    EXPECT_EQ(hash.size(), 64u);
    EXPECT_EQ(ConfigSha256(1, items), hash);
    items[0]->SetValue(61);
    EXPECT_NE(ConfigSha256(1, items), hash);
}

TEST(UnitRecordTest, LineEscapesAndReadsBack) {
    UnitRecord r = Record(11111);
    r.portById = "/dev/serial/by-id/usb-FTDI_\"A\"-if00";
    r.message = std::string("line\none\ttab \\ ctl\x01 del\x7f bad\xff\xfe ok\xc3\xa9 c1\xc2\x85") +
                "\xf0\x9f\x9b\xb0";
    r.backup = "/tmp/b\xe9.cfg";
    const std::string line = RecordLine(r);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_NE(line.find(R"("ptt_id":11111,"ptt_word":"000AD9EC")"), std::string::npos) << line;
    EXPECT_NE(line.find(R"(line\none\ttab \\ ctl\u0001 del\u007f bad\u00ff\u00fe ok)"),
              std::string::npos)
        << line;
    EXPECT_NE(line.find(R"("time":"2026-12-09T18:03:04Z")"), std::string::npos);
    EXPECT_EQ(ParseRecordLine(line), r);

    UnitRecord none = Record(-1, kOutcomeRefused, false);
    none.pttWord = 0;
    const std::string noId = RecordLine(none);
    EXPECT_NE(noId.find(R"("ptt_id":null,"ptt_word":null)"), std::string::npos) << noId;
    EXPECT_EQ(ParseRecordLine(noId), none);
}

TEST(UnitRecordTest, ReaderRefusesWhatIsNotARecord) {
    for (const char* line :
         {"", "[1]", "{}", R"({"outcome":"done")", R"({"outcome":"done"} x)",
          R"({"outcome":"done","verified":"yes"})", R"({"outcome":"done","ptt_id":"12"})",
          R"({"outcome":"done","ptt_word":"-1"})", R"({"outcome":"done","ptt_word":"1FFFFFFFF"})",
          R"({"outcome":"done","message":"\ud800"})", R"({"outcome":"done","message":"\q"})",
          R"({"outcome":"done","ptt_id":99999999999999999999})"})
        EXPECT_FALSE(ParseRecordLine(line)) << line;
    const auto r = ParseRecordLine(
        R"( { "outcome" : "done", "extra" : 1, "message" : "\u00e9\ud83d\ude00\/" } )");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->message, "\xe9\xf0\x9f\x98\x80/"); // \u0080..\u00ff: one byte each
}

TEST(UnitRecordTest, LogAppendsTornLineAndResume) {
    test::TempDir dir;
    const std::string log = dir.File("fleet.jsonl");
    std::string error;
    ASSERT_TRUE(AppendRecord(log, Record(1), error)) << error;
    ASSERT_TRUE(AppendRecord(log, Record(2, kOutcomeMismatch, false), error)) << error;
    ASSERT_TRUE(AppendRecord(log, Record(3, kOutcomeDone, true, "bb22"), error)) << error;
    ASSERT_TRUE(AppendRecord(log, Record(4, kOutcomeDone, false), error)) << error;
    // A crash mid-write leaves a line cut short; the next record starts on its own line.
    const std::string torn = RecordLine(Record(5)).substr(0, 40);
    dir.Write("fleet.jsonl", dir.Read("fleet.jsonl") + torn);
    ASSERT_TRUE(AppendRecord(log, Record(6), error)) << error;

    std::size_t damaged = 0;
    const std::string text = dir.Read("fleet.jsonl");
    EXPECT_EQ(ReadLog(text, &damaged).size(), 5u);
    EXPECT_EQ(damaged, 1u); // the torn line, now inside the log
    EXPECT_EQ(ReadLog(text + torn, &damaged).size(), 5u);
    EXPECT_EQ(damaged, 1u); // a torn last line is not counted
    EXPECT_EQ(DoneIds(text + torn, "aa11"), (std::set<std::int32_t>{1, 6}));
    EXPECT_EQ(DoneIds(text, "bb22"), (std::set<std::int32_t>{3}));
    EXPECT_TRUE(DoneIds("", "aa11").empty());
}

TEST(UnitRecordTest, AppendFailureNamesThePath) {
    test::TempDir dir;
    std::string error;
    const std::string path = dir.File("missing/fleet.jsonl");
    EXPECT_FALSE(AppendRecord(path, Record(1), error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST(UnitRecordTest, ByIdNameFindsTheLinkToTheDevice) {
    test::TempDir dir;
    namespace fs = std::filesystem;
    const std::string device = dir.Write("ttyUSB3", "");
    dir.Write("ttyUSB4", "");
    fs::create_directory(dir.File("by-id"));
    fs::create_symlink("../ttyUSB4", dir.File("by-id/usb-B-if00"));
    fs::create_symlink("../ttyUSB3", dir.File("by-id/usb-A-if00"));
    EXPECT_EQ(ByIdName(device, dir.File("by-id")), dir.File("by-id/usb-A-if00"));
    EXPECT_EQ(ByIdName(dir.File("ttyUSB9"), dir.File("by-id")), "");
    EXPECT_EQ(ByIdName(device, dir.File("nowhere")), "");
}

} // namespace
} // namespace nimbrel
