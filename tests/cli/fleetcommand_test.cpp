#include "cli/fleetcommand.h"
#include "cli/options.h"

#include <gtest/gtest.h>

using namespace nimbrel;
using namespace nimbrel::cli;

namespace {

PortStatus Status(std::size_t index, const std::string& port, PortState state, std::int32_t id,
                  int attempt, const std::string& message = {}) {
    PortStatus s;
    s.index = index, s.port = port, s.state = state, s.id = id, s.attempt = attempt;
    s.message = message;
    return s;
}

UnitRecord Record(const std::string& port, const std::string& byId, std::int32_t id,
                  const std::string& outcome, std::int64_t ms) {
    UnitRecord r;
    r.port = port, r.portById = byId, r.pttId = id, r.outcome = outcome, r.durationMs = ms;
    return r;
}

FleetUnit Unit(const std::string& outcome) {
    FleetUnit u;
    u.outcome = outcome;
    return u;
}

} // namespace

TEST(FleetCommand, AttemptsAddUpToUnitsByPort) {
    const std::string byId = "/dev/serial/by-id/usb-FTDI_A1";
    FleetTally tally;
    tally.Status(Status(0, "/dev/ttyUSB0", PortState::Sending, 1, 1));
    tally.Status(Status(1, byId, PortState::Sending, 2, 1));
    tally.Record(Record("/dev/ttyUSB1", byId, 2, kOutcomeNoAnswer, 100));
    tally.Record(Record("/dev/ttyUSB0", "", 1, kOutcomeDone, 50));
    tally.Status(Status(1, byId, PortState::Sending, 2, 2));
    tally.Record(Record("/dev/ttyUSB1", byId, 2, kOutcomeDone, 30));
    tally.Status(Status(0, "/dev/ttyUSB0", PortState::Sending, 3, 1)); // the next unit there
    tally.Record(Record("/dev/ttyUSB0", "", 3, kOutcomeMismatch, 7));
    tally.Status(Status(0, "/dev/ttyUSB0", PortState::Failed, 3, 2));
    tally.Record(Record("/dev/ttyUSB9", "", 4, kOutcomePortLost, 1)); // no such port

    const std::vector<FleetUnit> units = tally.Units();
    ASSERT_EQ(units.size(), 4u);
    const std::vector<std::tuple<std::string, std::int32_t, std::string, int, std::int64_t>> want =
        {{byId, 2, "done", 2, 130},
         {"/dev/ttyUSB0", 1, "done", 1, 50},
         {"/dev/ttyUSB0", 3, "mismatch", 1, 7},
         {"/dev/ttyUSB9", 4, "port-lost", 1, 1}};
    for (std::size_t k = 0; k < want.size(); ++k) {
        const FleetUnit& u = units[k];
        EXPECT_EQ(std::tie(u.port, u.id, u.outcome, u.attempts, u.durationMs), want[k]) << k;
    }
    EXPECT_EQ(tally.PortsFailed(), 1u);
    EXPECT_EQ(FormatFleetUnits({units[0]}),
              "UNIT  PORT                           ID  OUTCOME            TIME\n"
              "1     /dev/serial/by-id/usb-FTDI_A1  2   done (2 attempts)  0.1 s\n");
}

TEST(FleetCommand, ExitCodes) {
    auto summary = [](std::size_t programmed, std::size_t done, std::size_t failed) {
        FleetSummary s;
        s.programmed = programmed, s.alreadyDone = done, s.failed = failed;
        return s;
    };
    FleetSummary cancelled = summary(1, 0, 0);
    cancelled.cancelled = true;
    FleetSummary logFailed = summary(2, 0, 0);
    logFailed.logFailed = true;
    const std::vector<FleetUnit> lost = {Unit(kOutcomePortLost), Unit(kOutcomePortLost)};
    const std::vector<FleetUnit> silent = {Unit(kOutcomeNoAnswer)};
    const std::vector<FleetUnit> mixed = {Unit(kOutcomePortLost), Unit(kOutcomeNoAnswer)};
    struct Row {
        FleetSummary s;
        std::vector<FleetUnit> units;
        std::size_t portsFailed, ports;
        bool station;
        int exit;
    };
    const std::vector<Row> rows = {
        {summary(2, 0, 0), {}, 0, 2, false, kExitOk},
        {summary(1, 1, 0), {}, 0, 2, false, kExitOk},     // one found done
        {summary(1, 0, 0), {}, 0, 2, false, kExitFailed}, // a port got no ID
        {summary(1, 0, 0), {}, 0, 2, true, kExitOk},      // a station asks for no count
        {summary(1, 0, 1), {}, 1, 2, false, kExitFailed},
        {summary(2, 0, 0), {}, 1, 3, false, kExitFailed}, // a port went away
        {logFailed, {}, 0, 2, false, kExitFailed},
        {cancelled, {}, 0, 2, false, kExitInterrupted},
        {summary(0, 0, 2), lost, 2, 2, false, kExitPort},
        {summary(0, 0, 1), silent, 1, 1, false, kExitNoAnswer},
        {summary(0, 0, 2), mixed, 2, 2, false, kExitFailed},
        {summary(1, 0, 1), silent, 1, 2, false, kExitFailed},
    };
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Row& r = rows[k];
        EXPECT_EQ(FleetExitCode(r.s, r.units, r.portsFailed, r.ports, r.station), r.exit) << k;
    }
}

TEST(FleetCommand, ProgressLinesAndIdRanges) {
    const std::vector<std::pair<PortStatus, std::string>> rows = {
        {Status(0, "/dev/a", PortState::Waiting, -1, 0), "/dev/a: waiting"},
        {Status(0, "/dev/a", PortState::Sending, 12000, 1), "/dev/a: sending, ID 12000"},
        {Status(0, "/dev/a", PortState::Verifying, 12000, 2, "kept"),
         "/dev/a: verifying, ID 12000, attempt 2"},
        {Status(0, "/dev/\x1b[2J", PortState::Failed, 5, 3, "Sending stopped.\r\nAt item 2\r\n"),
         "/dev/\\x1b[2J: failed, ID 5, attempt 3: Sending stopped. At item 2"},
    };
    for (const auto& [status, line] : rows)
        EXPECT_EQ(PortLineText(status), line);

    PortStatus sending = Status(0, "/dev/a", PortState::Sending, 7, 1);
    sending.progress = {"Sending item 2 of 4", 2, 4, 10, 20, 1500, -1};
    EXPECT_EQ(PortBarText(sending, 8, 200),
              "/dev/a    sending       ID 7           [##########----------] 2/4 Sending item 2 "
              "of 4, 10 of 20 bytes, 1.5 s");
    EXPECT_EQ(PortBarText(sending, 8, 20).size(), 20u);

    EXPECT_EQ(IdRangesText({{1, 0}, {2, 0}, {3, 0}, {5, 0}, {7, 0}, {8, 0}, {4, 0}}),
              "1-3, 5, 7-8, 4");
    EXPECT_EQ(IdRangesText({}), "");
}
