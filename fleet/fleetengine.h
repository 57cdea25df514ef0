// The fleet engine: programs one transmitter per port, all ports at once,
// each on its own link and thread, every unit with the same configuration
// and its own PTT ID, and leaves a record of each attempt in the run's log
// and the programming history.
//
// For each unit: open the port, wake the transmitter (or find it awake),
// read its software version, read its configuration (kept as a backup file
// when asked), take the next ID, send with read-back, read the whole
// configuration back and compare, send the exit string, close the port and
// append the record. A unit that gives no answer or fails verification is
// tried again on its port; a port that goes away is dropped from the run.
// In station mode the ports are watched instead: each unit that wakes on one
// is programmed, and the port is taken again once that unit has gone.
//
// Threads: Run blocks the calling thread until every port has finished; the
// callbacks are called on the ports' threads, one at a time (the engine
// serialises them), and must not call back into the engine. Cancel may be
// set from any thread.
#pragma once

#include "config/displayline.h"
#include "engine/transferengine.h"
#include "fleet/idsource.h"
#include "fleet/unitrecord.h"
#include "link/linkio.h"
#include "platform/options.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace nimbrel {

// Outcome of a unit found holding this configuration with an ID the log
// shows as done: nothing is written.
inline constexpr const char* kOutcomeAlreadyDone = "already-done";

// What a fleet run programs, where, and how.
struct FleetJob {
    std::shared_ptr<const ItemList> items; // the configuration; never changed
    std::int32_t sensorCount = 0;
    std::string configFile; // its file, as the records name it

    std::vector<FleetId> ids; // in the order units take them

    // The ports, as devices or links to them (/dev/serial/by-id/...).
    std::vector<std::string> ports;
    // Station mode only: watch every entry of byIdFolder instead of `ports`.
    bool autoPorts = false;
    std::string byIdFolder = "/dev/serial/by-id";

    LinkOptions link;         // each port's link; the device is the port's
    TransferOptions transfer; // readAfterWrite false: --no-verify
    // How long a port is first listened to for a wake-up byte before the
    // version query probes for a transmitter already awake.
    std::int32_t awakeWaitMs = 1500;

    int retries = 2;         // further attempts after a unit fails
    bool burnFailed = false; // a failed unit's ID is not given back
    std::string backupDir;   // "": no backup of the unit's configuration

    bool station = false;
    std::int32_t stationPollMs = 500; // how often a station looks for ports and units
    // A station port whose unit sends nothing for this long has no unit.
    std::int32_t stationGoneMs = 3000;

    std::string logPath;     // the run's JSON Lines log; must be writable
    std::string resumeLog;   // "": none; else IDs it shows done are skipped
    std::string historyPath; // "": no history
};

// Why the job cannot run, in one message ("" when it can): no configuration
// or PTT ID item, no ports (and not --ports auto), a port given twice (also
// as a link and its target), an unwritable log or backup folder, a resume
// log that cannot be read. Touches no port.
std::string CheckFleetJob(const FleetJob& job);

// Where a port stands.
enum class PortState {
    Waiting,   // for its port to appear, or (station) for a unit
    Waking,    // opening the port, Start
    Reading,   // version and the unit's configuration
    Sending,   // the configuration with the unit's ID
    Verifying, // reading the whole configuration back
    Stopping,  // the exit string
    Done,      // the last unit on it was programmed and verified
    Failed,    // the last unit on it failed every attempt
    Skipped,   // the unit already held this configuration with a done ID
    Gone,      // the port went away and was dropped from the run
    Cancelled,
    Finished, // nothing more to do on it (no ID left, run over)
};
const char* PortStateName(PortState state); // "sending", ...

struct PortStatus {
    std::size_t index = 0; // in FleetJob::ports (station auto: order found)
    std::string port;
    PortState state = PortState::Waiting;
    std::int32_t id = -1; // the ID of the unit on it, -1: none yet
    int attempt = 0;      // 1 for the first try of a unit
    Progress progress;    // the running transfer's step, bytes and time left
    std::string message;  // the last message of the unit, when it failed
};

struct FleetCallbacks {
    std::function<void(const PortStatus&)> status; // state or progress changed
    std::function<void(const UnitRecord&)> record; // after it is in the log
    // Once per run and problem: the history cannot be written, a port was
    // dropped, a unit was found already programmed.
    std::function<void(const std::string&)> notice;
};

struct FleetSummary {
    std::vector<UnitRecord> records; // every attempt, in the order logged
    std::size_t programmed = 0;      // units programmed and verified
    std::size_t alreadyDone = 0;     // units found already programmed
    std::size_t failed = 0;          // units that failed every attempt
    std::vector<FleetId> left;       // IDs no unit took, free for the next run
    bool cancelled = false;
    bool logFailed = false;     // a record could not be appended to the log
    std::string historyProblem; // "" when every record went into the history
};

class FleetEngine {
public:
    FleetEngine(FleetJob job, FleetCallbacks callbacks, const CancelFlag* cancel = nullptr);
    ~FleetEngine();
    FleetEngine(const FleetEngine&) = delete;
    FleetEngine& operator=(const FleetEngine&) = delete;

    // Runs the job to its end (CheckFleetJob must have passed). Without
    // station mode each port programs the unit on it once; a station runs
    // until cancelled or no ID is left.
    FleetSummary Run();

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace nimbrel
