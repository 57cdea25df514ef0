// What nimbrel-cli shows of a fleet run: the ports' progress on standard
// error, the units the run's attempts add up to, the summary and the exit
// code.
#pragma once

#include "cli/console.h"
#include "cli/json.h"
#include "fleet/fleetengine.h"

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace nimbrel::cli {

// A port's state as a log line: "sims/ttyPTT1: sending, ID 12000, attempt 2",
// with the message of a failure after a colon.
std::string PortLineText(const PortStatus& status);
// A port's state as a terminal line of at most `width` characters: the port
// (padded to portWidth), its state and ID, and the running step's bar.
std::string PortBarText(const PortStatus& status, std::size_t portWidth, int width);

// Standard error during a fleet run. Lines: one line each time a port's
// state, ID or attempt changes. Bar: a line per port, redrawn in place.
// Off: nothing but the notices. Safe to call from the ports' threads.
class FleetDisplay {
public:
    FleetDisplay(std::ostream& err, ProgressDisplay::Mode mode, int width);

    void Update(const PortStatus& status);
    // Shows `text` through `ui`, above the bars.
    void Notice(const std::string& text, Ui& ui);
    // Draws the last state of every port; what follows starts below.
    void Finish();

private:
    void Redraw();

    std::mutex mutex_;
    std::ostream& err_;
    ProgressDisplay::Mode mode_;
    int width_;
    std::vector<PortStatus> ports_; // by index; a port not heard of yet has no name
    std::vector<std::string> lastLine_;
    std::size_t portWidth_ = 0;
    std::size_t drawn_ = 0; // bar lines on the screen
    std::chrono::steady_clock::time_point lastDraw_{};
};

// One unit of a run: its attempts on one port, the last one deciding.
struct FleetUnit {
    std::string port; // as the command line named it
    std::int32_t id = -1;
    std::string outcome;
    int attempts = 0;
    std::int64_t durationMs = 0; // of all its attempts
};

// Adds a run's records up to units: a record belongs to the unit on its
// port whose attempt it is (a first attempt starts a new unit). Safe to
// call from the ports' threads.
class FleetTally {
public:
    void Status(const PortStatus& status);
    void Record(const UnitRecord& record);

    std::vector<FleetUnit> Units() const;
    // Ports that ended failed or gone.
    std::size_t PortsFailed() const;

private:
    // The index of the port the record names: by name, by-id name or the
    // device they lead to; -1 when none matches.
    long PortOf(const UnitRecord& record) const;

    mutable std::mutex mutex_;
    std::map<std::size_t, PortStatus> ports_;
    std::vector<FleetUnit> units_;
    std::map<std::size_t, std::size_t> current_; // port index -> its unit in units_
};

// "12004-12007, 12010": IDs in runs.
std::string IdRangesText(const std::vector<FleetId>& ids);

// The summary table (unit, port, ID, outcome, time), text shown escaped.
std::string FormatFleetUnits(const std::vector<FleetUnit>& units);

// 0 when every unit asked for was programmed and verified (or found done),
// 130 when cancelled; when no unit was programmed and every unit failed the
// same way, 3 (the ports went away) or 4 (no answer) as for a single unit; 1
// otherwise. Without station mode a run asks for one unit per port.
int FleetExitCode(const FleetSummary& summary, const std::vector<FleetUnit>& units,
                  std::size_t portsFailed, std::size_t ports, bool station);

// The summary's fields of --json: counts, units, IDs left over, records.
void WriteFleetJson(JsonWriter& json, const FleetSummary& summary,
                    const std::vector<FleetUnit>& units);

} // namespace nimbrel::cli
