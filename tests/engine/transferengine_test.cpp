// The transfer engine against a scripted link: a small transmitter that
// answers memory commands, with the faults a real line shows.
#include "engine/transferengine.h"

#include "config/displayline.h"
#include "platform/settings.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <thread>
#include <utility>

using namespace nimbrel;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kTail = "\r\nError programming the transmitter.\n\rResend file.";
const std::string kExitNote =
    "\r\nThe exit string was sent: start communications again before the next transfer.";
const std::string kLost = "The serial port /dev/ttyUSB0 went away (input/output error).\r\n";
const std::string kStalled = "The serial port /dev/ttyUSB0 took no data for 2 seconds.\r\n";
const std::string kNotAnswer = "What came back was not an answer to the read.";

struct Script {
    bool awake = true;
    std::int32_t wakeEveryMs = 0;    // asleep: noise and 0x06 this often (0: never)
    std::int32_t crossingAckMs = -1; // one more 0x06 this long after the "A"
    std::int32_t answerDelayMs = 0;
    std::string ahead;             // stray bytes ahead of every answer
    bool splitLast = false;        // the answer's last byte comes 3 ms later
    std::int32_t wrongAt = -1;     // reads there answer a byte one hex digit off
    std::int32_t answerReads = -1; // answers this many reads, then nothing
    std::string version;           // the answer to "TTTTTTT"; none when empty
    std::int64_t loseAfter = -1;   // the port goes away once this many bytes were written
    std::int64_t stallAfter = -1;  // the port takes no byte after this many
    std::int32_t loseAtMs = -1;    // the port goes away this long after it was opened
    bool wakeInAnswers = false;    // a 0x06 in the middle of every answer
};

// A script that differs from the default in one field.
template <typename T, typename V> Script With(T Script::*field, V value) {
    Script s;
    s.*field = static_cast<T>(value);
    return s;
}

// A stray 0x06 ahead of every answer, whose last byte comes a little later.
Script Split() {
    Script s = With(&Script::ahead, "\x06");
    s.splitLast = true;
    return s;
}

// A transmitter behind a scripted port: writes reach it at once, its answers
// arrive when due, and a wait sleeps only until the next arrival.
class FakeLink : public LinkIo {
public:
    explicit FakeLink(Script s = {}) : script(std::move(s)), awake_(script.awake) {}

    std::string PortName() const override { return "/dev/ttyUSB0"; }
    void Flush() override {
        Deliver();
        rx_.clear();
    }
    IoStatus Write(const char* data, std::size_t count, const CancelFlag*, std::int32_t stallMs,
                   std::size_t& written) override {
        stallMsSeen = stallMs;
        for (written = 0; written < count; ++written) {
            if (lost_ || Stalled()) return lost_ ? IoStatus::PortLost : IoStatus::Stalled;
            Receive(data[written]);
            lost_ = script.loseAfter >= 0 && std::ssize(line) >= script.loseAfter;
        }
        return IoStatus::Ok;
    }
    IoStatus Drain(const CancelFlag*, std::int32_t) override {
        ++drains;
        return lost_ ? IoStatus::PortLost : Stalled() ? IoStatus::Stalled : IoStatus::Ok;
    }
    IoStatus WaitForBytes(std::size_t count, std::int32_t timeoutMs,
                          const CancelFlag* cancel) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            Deliver();
            if (lost_) return IoStatus::PortLost;
            if (rx_.size() >= count) return IoStatus::Ok;
            if (cancel && cancel->load()) return IoStatus::Cancelled;
            if (Clock::now() >= deadline) return IoStatus::TimedOut;
            auto next = std::min(deadline, Clock::now() + std::chrono::milliseconds(2));
            if (!due_.empty()) next = std::min(next, due_.front().first);
            std::this_thread::sleep_until(next);
        }
    }
    std::size_t Available() override {
        Deliver();
        return rx_.size();
    }
    std::size_t Take(char* out, std::size_t max) override {
        Deliver();
        const std::size_t n = std::min(max, rx_.size());
        std::copy_n(rx_.begin(), n, out);
        rx_.erase(0, n);
        return n;
    }
    bool Lost() const override { return lost_; }
    std::string LostReason() const override { return lost_ ? "input/output error" : ""; }
    bool Awake() const { return awake_; }

    Script script;
    std::array<std::uint8_t, 65536> memory{};
    std::string line;                  // every byte written
    std::vector<std::string> commands; // 7-character commands taken while awake
    std::int32_t stallMsSeen = -1;
    int drains = 0;

private:
    bool Stalled() const { return script.stallAfter >= 0 && std::ssize(line) >= script.stallAfter; }
    void Send(std::string bytes, std::int32_t inMs) {
        due_.emplace_back(Clock::now() + std::chrono::milliseconds(inMs), std::move(bytes));
        std::stable_sort(due_.begin(), due_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    void Deliver() {
        lost_ = lost_ || (script.loseAtMs >= 0 &&
                          Clock::now() >= opened_ + std::chrono::milliseconds(script.loseAtMs));
        for (; !awake_ && script.wakeEveryMs > 0 && nextWake_ <= Clock::now();
             nextWake_ += std::chrono::milliseconds(script.wakeEveryMs))
            rx_ += "\x15\x06";
        for (; !due_.empty() && due_.front().first <= Clock::now(); due_.pop_front())
            rx_ += due_.front().second;
    }
    void Receive(char c) {
        line += c;
        if (!awake_) {
            awake_ = c == 'A';
            if (awake_ && script.crossingAckMs >= 0) Send("\x06", script.crossingAckMs);
            return;
        }
        if ((pending_ += c).size() < 7) return;
        const std::string command = std::exchange(pending_, "");
        commands.push_back(command);
        if (command == "qqqqqqq" || command == "AAAAAAA") {
            awake_ = false;
            nextWake_ = Clock::now();
        } else if (command == "TTTTTTT") {
            if (!script.version.empty()) Send(script.version, script.answerDelayMs);
        } else if (std::all_of(command.begin() + 1, command.end(), [](char ch) {
                       return std::isxdigit(static_cast<unsigned char>(ch)) != 0;
                   })) {
            const auto address = std::stoul(command.substr(1, 4), nullptr, 16);
            if (command[0] == 'E')
                memory[address] = std::stoul(command.substr(5), nullptr, 16) & 0xFF;
            if (command[0] != 'R' || (script.answerReads >= 0 && reads_++ >= script.answerReads))
                return;
            const int value = memory[address] ^ (std::cmp_equal(address, script.wrongAt) ? 1 : 0);
            char answer[16];
            std::snprintf(answer, sizeof answer, "R%04lX =   %02X", address, value);
            if (script.wakeInAnswers) answer[7] = '\x06';
            const std::string text = script.ahead + answer;
            const std::size_t split = text.size() - (script.splitLast ? 1 : 0);
            Send(text.substr(0, split), script.answerDelayMs);
            Send(text.substr(split), script.answerDelayMs + 3);
        }
    }

    bool awake_;
    bool lost_ = false;
    std::string rx_, pending_;
    std::int32_t reads_ = 0;
    std::deque<std::pair<Clock::time_point, std::string>> due_;
    Clock::time_point nextWake_ = Clock::now();
    const Clock::time_point opened_ = Clock::now();
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto [key, value] : {std::pair{"ResponseWaitMs", "150"},
                                  {"ReadByteWaitMs", "150"},
                                  {"VersionWaitMs", "150"},
                                  {"SettleMs", "15"},
                                  {"AnswerQuietMs", "5"},
                                  {"WriteStallMs", "2000"}})
            Settings::WriteString("TIMING", key, value);
    }

    TransferEngine Engine(FakeLink& link) {
        return TransferEngine(link, ui, ReadTransferOptions(), &cancel, [this](const Progress& p) {
            progress.push_back(p);
            if (std::ssize(progress) - 1 == cancelAtReport) cancel = true;
        });
    }

    test::TempDir dir;
    test::RecordingUi ui;
    CancelFlag cancel{false};
    std::vector<Progress> progress;
    std::int64_t cancelAtReport = -1; // the progress report that sets the cancel flag
};

// PTT ID 1, the on time 7200 and a rate of 90, lower case as written.
const std::vector<TransferEngine::SendItem> kSendItems = {
    {"PTT ID number", 0x100, "e010000e010100e010200e010353"},
    {"On time", 0x104, "e010400e010500e01061ce010720"},
    {"Rate", 0x108, "e01085a"},
};
const std::vector<TransferEngine::ReadItem> kReadItems = {
    {"On time", 0x20, 4, kTypeLong, false},
    {"Rate", 0x30, 2, kTypeInt, false},
};

TEST_F(EngineTest, SendWritesEveryItemReadsEachByteBackAndReportsItsSteps) {
    for (bool verify : {true, false}) {
        SCOPED_TRACE(verify);
        Settings::WriteString("FILE TRANSFER", "ReadAfterWrite", verify ? "1" : "0");
        FakeLink link;
        progress.clear();
        EXPECT_EQ(Engine(link).SendConfiguration(kSendItems), Outcome::Done);
        std::string expected;
        for (const auto& item : kSendItems) {
            for (std::size_t p = 0; p < item.commands.size(); p += 7) {
                std::string command = item.commands.substr(p, 7);
                std::transform(command.begin(), command.end(), command.begin(), ::toupper);
                expected += command + (verify ? "R" + command.substr(1) : "");
            }
        }
        EXPECT_EQ(link.line, expected);
        EXPECT_EQ(link.memory[0x106], 0x1C);
        EXPECT_EQ(link.drains, 1) << "sent means on the line";
        EXPECT_EQ(link.stallMsSeen, 2000);
        EXPECT_TRUE(ui.messages.empty());

        std::vector<std::array<std::int64_t, 4>> steps;
        for (const auto& p : progress)
            steps.push_back({p.step, p.steps, p.bytes, p.totalBytes});
        EXPECT_EQ(steps, (decltype(steps){{1, 3, 0, 9}, {2, 3, 4, 9}, {3, 3, 8, 9}, {3, 3, 9, 9}}));
        EXPECT_EQ(progress[1].what, "Sending item 2 of 3");
    }
}

TEST_F(EngineTest, StrayBytesAndSlowAnswersStillVerifyAndRead) {
    for (const Script& script :
         {With(&Script::ahead, "\x06"), Split(), With(&Script::ahead, "\x15\x06 OK\r\n"),
          With(&Script::answerDelayMs, 20)}) {
        SCOPED_TRACE(script.ahead + (script.splitLast ? " split" : ""));
        FakeLink link(script);
        link.memory[0x22] = 0x1C;
        link.memory[0x23] = 0x20;
        link.memory[0x30] = 0xAB;
        link.memory[0x31] = 0xCD;
        TransferEngine engine = Engine(link);
        EXPECT_EQ(engine.SendConfiguration(kSendItems), Outcome::Done);
        std::map<std::size_t, std::string> read;
        EXPECT_EQ(engine.ReadConfiguration(
                      kReadItems, [&](std::size_t i, const std::string& v) { read[i] = v; }),
                  Outcome::Done);
        EXPECT_EQ(read, (std::map<std::size_t, std::string>{{0, "7200"}, {1, "43981"}}));
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{});
    }
}

TEST_F(EngineTest, StartAnswersTheWakeByteAndLetsTheLineSettleBeforeTheNextTransfer) {
    // The transmitter wakes every 20 ms, and its next 0x06 crosses the "A".
    Script script = With(&Script::awake, false);
    script.wakeEveryMs = 20;
    script.crossingAckMs = 10;
    FakeLink link(script);
    TransferEngine engine = Engine(link);
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(engine.Start(2000), Outcome::Done);
        EXPECT_TRUE(engine.Entered());
        if (round == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_EQ(link.Available(), 0u) << "the crossing byte came and went while settling";
        }
        ASSERT_EQ(engine.SendConfiguration(kSendItems), Outcome::Done);
        std::vector<std::string> values;
        ASSERT_EQ(engine.ReadConfiguration(
                      kReadItems, [&](std::size_t, const std::string& v) { values.push_back(v); }),
                  Outcome::Done);
        EXPECT_EQ(values, (std::vector<std::string>{"0", "0"}));
        ASSERT_EQ(engine.Stop(), Outcome::Done);
        EXPECT_FALSE(engine.Entered());
        EXPECT_FALSE(link.Awake());
    }
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{});
    EXPECT_EQ(link.line.substr(0, 15), "AE010000R010000");
}

TEST_F(EngineTest, StartWithoutAnAnswerEndsOnTimeReportingTheTimeLeft) {
    FakeLink link(With(&Script::awake, false));
    EXPECT_EQ(Engine(link).Start(250), Outcome::NoAnswer);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "No communication from PTT");
    EXPECT_EQ(ui.messages[0].caption, "Communications error");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_TRUE(link.line.empty());
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front().leftMs, 250);
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_LE(progress[i].leftMs, progress[i - 1].leftMs);
        EXPECT_LE(progress[i].elapsedMs - progress[i - 1].elapsedMs, 150) << "every 100 ms";
    }
}

enum class Op { Start, Send, Read, ReadMemory, Program, Raw };

TEST_F(EngineTest, TransfersEndingMidWayReportWhereTheyStoppedAndLeaveTheInterface) {
    const struct {
        const char* name;
        Op op;
        Script script;
        bool entered;
        std::string text;
        Outcome outcome;
        bool exitSent;
        std::int64_t cancelAtReport = -1;
        bool cancelLater = false; // from another thread during a long wait
    } cases[] = {
        {"one digit off", Op::Send, With(&Script::wrongAt, 0x106), false,
         "Sent 1C got 1D\r\nItem \"On time\" at address 106 H." + kTail, Outcome::Mismatch, false},
        {"silent", Op::Send, With(&Script::answerReads, 5), true,
         "Sent 00 got   \r\nItem \"On time\" at address 105 H." + kTail, Outcome::NoAnswer, false},
        {"lost waiting", Op::Send, With(&Script::loseAfter, 70), true,
         kLost + "Sending stopped at item 2 of 3, \"On time\" at address 104 H.", Outcome::PortLost,
         false},
        {"stalled", Op::Send, With(&Script::stallAfter, 87), true,
         kStalled + "Sending stopped at item 2 of 3, \"On time\" at address 106 H.",
         Outcome::PortLost, false},
        {"send cancelled",
         Op::Send,
         {},
         true,
         "Sending was cancelled: 1 of 3 items were sent, the rest were not." + kExitNote,
         Outcome::Cancelled,
         true,
         1},
        {"send cancelled at once",
         Op::Send,
         {},
         true,
         "Sending was cancelled: none of the 3 items was sent.",
         Outcome::Cancelled,
         false,
         0},
        {"read back not an answer", Op::Send, With(&Script::wakeInAnswers, true), true,
         "Sent 00 got   \r\nItem \"PTT ID number\" at address 100 H.\r\n" + kNotAnswer + kTail,
         Outcome::Mismatch, false},
        {"read silent", Op::Read, With(&Script::answerReads, 5), true,
         "Error reading data\r\nItem \"Rate\" at address 31 H.", Outcome::NoAnswer, false},
        {"read not an answer", Op::Read, With(&Script::wakeInAnswers, true), true,
         "Error reading data\r\nItem \"On time\" at address 20 H.\r\n" + kNotAnswer,
         Outcome::Invalid, false},
        {"read cancelled at once",
         Op::Read,
         {},
         true,
         "Reading was cancelled: none of the 2 items was read.",
         Outcome::Cancelled,
         false,
         0},
        {"read lost", Op::Read, With(&Script::loseAfter, 14), false,
         kLost + "Reading stopped at item 1 of 2, \"On time\" at address 21 H.", Outcome::PortLost,
         false},
        {"read cancelled between items",
         Op::Read,
         {},
         true,
         "Reading was cancelled: 1 of 2 items were read, the rest keep their values." + kExitNote,
         Outcome::Cancelled,
         true,
         5},
        {"read cancelled waiting", Op::Read, With(&Script::answerReads, 0), false,
         "Reading was cancelled: none of the 2 items was read.", Outcome::Cancelled, false, -1,
         true},
        {"start lost waiting", Op::Start, With(&Script::loseAtMs, 30), false,
         kLost + "Communications were not started.", Outcome::PortLost, false},
        {"start cancelled", Op::Start, With(&Script::awake, false), false,
         "Starting was cancelled.\r\nCommunications were not started.", Outcome::Cancelled, false,
         -1, true},
        {"memory silent", Op::ReadMemory, With(&Script::answerReads, 2), false,
         "Error reading data\r\nByte at address 42 H.", Outcome::NoAnswer, false},
        {"program goes on", Op::Program, With(&Script::wrongAt, 0xB601), true,
         "Sent 1B got 1A\r\nProgram byte at address b601 H." + kTail, Outcome::Mismatch, false},
        {"program stalled", Op::Program, With(&Script::stallAfter, 20), false,
         kStalled + "The program download stopped at byte 2 of 3, at address b601 H.",
         Outcome::PortLost, false},
        {"raw lost", Op::Raw, With(&Script::loseAfter, 300), true,
         kLost + "Sending the file stopped after 300 of 600 bytes.", Outcome::PortLost, false},
        {"raw cancelled",
         Op::Raw,
         {},
         true,
         "Sending the file was cancelled: 256 of 600 bytes were sent, the rest were not." +
             kExitNote,
         Outcome::Cancelled,
         true,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.Clear();
        progress.clear();
        cancel = false;
        cancelAtReport = c.cancelAtReport;
        Settings::WriteString("TIMING", "ReadByteWaitMs", c.cancelLater ? "20000" : "150");
        std::thread later;
        if (c.cancelLater) {
            later = std::thread([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                cancel = true;
            });
        }
        FakeLink link(c.script);
        TransferEngine engine = Engine(link);
        engine.SetEntered(c.entered);
        std::vector<std::uint8_t> bytes;
        const auto start = Clock::now();
        const Outcome outcome = c.op == Op::Start        ? engine.Start(20000)
                                : c.op == Op::Send       ? engine.SendConfiguration(kSendItems)
                                : c.op == Op::Read       ? engine.ReadConfiguration(kReadItems, {})
                                : c.op == Op::ReadMemory ? engine.ReadMemory(0x40, 4, bytes)
                                : c.op == Op::Program
                                    ? engine.SendProgram("0A1B2C", 0xB600)
                                    : engine.SendRaw(std::string(600, 'x'), "the file");
        if (later.joinable()) later.join();
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << "no long wait runs its course";
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.text});
        EXPECT_EQ(link.line.ends_with("qqqqqqq"), c.exitSent);
        if (c.cancelAtReport == 0) {
            EXPECT_EQ(link.line, "") << "nothing was sent";
        }
        EXPECT_EQ(engine.Entered(), c.entered && !c.exitSent);
        if (c.op == Op::Send && c.outcome != Outcome::PortLost) {
            EXPECT_EQ(link.memory[0x107], 0) << "nothing after the failing item";
        }
        if (c.op == Op::Program && c.outcome != Outcome::PortLost) {
            EXPECT_EQ(link.memory[0xB602], 0x2C) << "a failed byte goes on";
        }
    }
}

TEST_F(EngineTest, ReadHandsEachItemItsDecodedValueInSequenceWithItsMessages) {
    const struct {
        TransferEngine::ReadItem item;
        std::vector<std::uint8_t> bytes;
        std::vector<std::string> seen; // messages and the value handed on, in order
    } cases[] = {
        {{"Long", 0x20, 4, kTypeLong, false}, {0x00, 0x00, 0x1C, 0x20}, {"7200"}},
        {{"Int", 0x30, 2, kTypeInt, true}, {0x12, 0x34}, {"1234 H"}},
        {{"Baud", 0x40, 1, kTypeBaud, false}, {0x33}, {"1200"}},
        {{"Big", 0x10, 300, kTypeString, false},
         {},
         {"The item \"Big\" has 300 bytes; at most 256 bytes of one item can be read.\r\nIts "
          "value was left unchanged."}},
        {{"Text", 0x50, 3, kTypeString, true}, {0x41, 0x42, 0x43}, {"414243"}},
        {{"ID", 0x60, 4, kTypePttId, false}, {0x00, 0x00, 0x00, 0x62}, {"16385"}},
        {{"Bad ID", 0x70, 4, kTypePttId, false},
         {0x00, 0x00, 0x00, 0x54},
         {"Ptt ID invalid", "16385"}},
        {{"Far", 0xFFFE, 4, kTypeLong, false},
         {},
         {"The item \"Far\" at address fffe H with 4 bytes lies outside the memory addresses 0 "
          "to ffff H.\r\nIts value was left unchanged."}},
        {{"Float", 0x80, 4, kTypeFloat, false}, {0x3F, 0xC0, 0x00, 0x00}, {"1.500000"}},
        {{"Ascii", 0x90, 1, kTypeAscii, false}, {0x41}, {}},
        {{"Empty", 0xA0, 0, kTypeLong, false}, {}, {}},
    };
    FakeLink link;
    std::vector<TransferEngine::ReadItem> items;
    std::vector<std::string> expected, seen;
    for (const auto& c : cases) {
        items.push_back(c.item);
        std::copy(c.bytes.begin(), c.bytes.end(), link.memory.begin() + c.item.address);
        expected.insert(expected.end(), c.seen.begin(), c.seen.end());
    }
    ui.onMessage = [&](const test::RecordedMessage& m) { seen.push_back(m.text); };
    EXPECT_EQ(Engine(link).ReadConfiguration(
                  items, [&](std::size_t, const std::string& v) { seen.push_back(v); }),
              Outcome::Done);
    EXPECT_EQ(seen, expected);
    for (const auto& m : ui.messages)
        EXPECT_EQ(m.caption, m.text == "Ptt ID invalid" ? "Read error" : "Read Error");
    EXPECT_EQ(link.commands.front(), "R002000") << "lower-case read commands";
    EXPECT_EQ(link.commands.size(), 23u);
    EXPECT_EQ(progress.back().bytes, 23);
    EXPECT_EQ(progress.back().totalBytes, 23);
    EXPECT_EQ(progress.back().what, "Read 9 items") << "the two skipped items are not counted";

    std::vector<std::uint8_t> dump;
    EXPECT_EQ(Engine(link).ReadMemory(0x20, 4, dump), Outcome::Done);
    EXPECT_EQ(dump, cases[0].bytes);
    EXPECT_EQ(Engine(link).ReadMemory(0xFFFE, 4, dump), Outcome::Refused);
    EXPECT_EQ(ui.messages.back().text, "The 4 bytes from address fffe H lie outside the memory "
                                       "addresses 0 to ffff H.\r\nNothing was read.");
}

TEST_F(EngineTest, ProgramRawAndStopGoOutWholeWithTheirProgress) {
    FakeLink link;
    TransferEngine engine = Engine(link);
    engine.SetEntered(true);
    EXPECT_EQ(engine.SendProgram("0a1B2C", 0xB600), Outcome::Done);
    EXPECT_EQ(link.line, "EB6000ARB6000AEB6011BRB6011BEB6022CRB6022C");
    progress.clear();
    const std::string raw(595, '\xA5');
    EXPECT_EQ(engine.SendRaw(raw, "the file"), Outcome::Done);
    std::vector<std::int64_t> bytes;
    for (const auto& p : progress)
        bytes.push_back(p.bytes);
    EXPECT_EQ(bytes, (std::vector<std::int64_t>{0, 256, 512, 595}));
    EXPECT_EQ(engine.Stop(), Outcome::Done);
    EXPECT_TRUE(link.line.ends_with(raw + "qqqqqqq"));
    EXPECT_FALSE(engine.Entered() || link.Awake());
    EXPECT_EQ(link.drains, 3);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(EngineTest, VersionAnswerIsTakenUpToItsZeroByte) {
    const struct {
        std::string answer;
        std::string text;
        Outcome outcome;
    } cases[] = {{std::string("VER=2.10\0junk", 13), "2.10", Outcome::Done},
                 {std::string("V2.10", 6), "Invalid response from PTT", Outcome::Invalid},
                 {"", "No version information available", Outcome::NoAnswer}};
    for (const auto& [answer, text, outcome] : cases) {
        ui.Clear();
        Script script;
        script.version = answer;
        FakeLink link(script);
        EXPECT_EQ(Engine(link).QueryVersion(), outcome);
        EXPECT_EQ(link.line, "TTTTTTT");
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{text});
    }
}

} // namespace
