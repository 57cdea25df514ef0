#include "cli/fleetcommand.h"

#include "cli/formats.h"
#include "cli/options.h"
#include "cli/records.h"
#include "platform/displaytext.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <ostream>
#include <system_error>

namespace nimbrel::cli {
namespace {

constexpr auto kBarInterval = std::chrono::milliseconds(50);
constexpr std::size_t kStateWidth = 12; // "already done"
constexpr std::size_t kIdWidth = 13;    // "ID 2147483647"

// The message on one line, shown safely.
std::string OneLine(const std::string& text) {
    std::string flat;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!flat.empty() && flat.back() != ' ') flat += ' ';
        } else {
            flat += c;
        }
    }
    while (!flat.empty() && flat.back() == ' ')
        flat.pop_back();
    return DisplayText(flat);
}

std::string Pad(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

bool Running(PortState state) {
    return state == PortState::Waking || state == PortState::Reading ||
           state == PortState::Sending || state == PortState::Verifying ||
           state == PortState::Stopping;
}

bool Ended(PortState state) {
    return state == PortState::Failed || state == PortState::Gone || state == PortState::Cancelled;
}

bool SameDevice(const std::string& a, const std::string& b) {
    std::error_code ec1, ec2;
    const auto ca = std::filesystem::weakly_canonical(a, ec1);
    const auto cb = std::filesystem::weakly_canonical(b, ec2);
    return !ec1 && !ec2 && ca == cb;
}

} // namespace

std::string PortLineText(const PortStatus& s) {
    std::string text = DisplayText(s.port) + ": " + PortStateName(s.state);
    if (s.id >= 0) text += ", ID " + std::to_string(s.id);
    if (s.attempt > 1) text += ", attempt " + std::to_string(s.attempt);
    if (Ended(s.state) && !s.message.empty()) text += ": " + OneLine(s.message);
    return text;
}

std::string PortBarText(const PortStatus& s, std::size_t portWidth, int width) {
    std::string line = Pad(DisplayText(s.port), portWidth) + "  " +
                       Pad(PortStateName(s.state), kStateWidth) + "  " +
                       Pad(s.id >= 0 ? "ID " + std::to_string(s.id) : "", kIdWidth) + "  ";
    const int room = width - static_cast<int>(line.size());
    if (Running(s.state) && !s.progress.what.empty() && room > 0) {
        line += ProgressBarText(s.progress, room);
    } else if (Ended(s.state)) {
        line += OneLine(s.message);
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    if (width > 0 && line.size() > static_cast<std::size_t>(width))
        line.resize(static_cast<std::size_t>(width));
    return line;
}

FleetDisplay::FleetDisplay(std::ostream& err, ProgressDisplay::Mode mode, int width)
    : err_(err), mode_(mode), width_(width) {}

void FleetDisplay::Update(const PortStatus& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == ProgressDisplay::Mode::Off) return;
    if (s.index >= ports_.size()) {
        ports_.resize(s.index + 1);
        lastLine_.resize(s.index + 1);
    }
    const PortStatus& before = ports_[s.index];
    const bool changed = before.port.empty() || before.state != s.state || before.id != s.id ||
                         before.attempt != s.attempt;
    ports_[s.index] = s;
    portWidth_ = std::max(portWidth_, DisplayText(s.port).size());
    if (mode_ == ProgressDisplay::Mode::Lines) {
        std::string line = PortLineText(s);
        if (line != lastLine_[s.index]) {
            err_ << line << '\n' << std::flush;
            lastLine_[s.index] = std::move(line);
        }
        return;
    }
    if (!changed && std::chrono::steady_clock::now() - lastDraw_ < kBarInterval) return;
    Redraw();
}

void FleetDisplay::Redraw() {
    std::string out;
    if (drawn_ > 0) out += "\x1b[" + std::to_string(drawn_) + "A";
    std::size_t lines = 0;
    for (const PortStatus& p : ports_) {
        if (p.port.empty()) continue;
        out += "\r" + PortBarText(p, portWidth_, width_ - 1) + "\x1b[K\n";
        ++lines;
    }
    err_ << out << std::flush;
    drawn_ = lines;
    lastDraw_ = std::chrono::steady_clock::now();
}

void FleetDisplay::Notice(const std::string& text, Ui& ui) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == ProgressDisplay::Mode::Bar && drawn_ > 0) {
        err_ << "\x1b[" << drawn_ << "A\r\x1b[J" << std::flush;
        drawn_ = 0;
    }
    ui.MessageBox(text, "", Buttons::Ok, Icon::Exclamation);
    if (mode_ == ProgressDisplay::Mode::Bar) Redraw();
}

void FleetDisplay::Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == ProgressDisplay::Mode::Bar) Redraw();
}

void FleetTally::Status(const PortStatus& status) {
    std::lock_guard<std::mutex> lock(mutex_);
    ports_[status.index] = status;
}

long FleetTally::PortOf(const UnitRecord& r) const {
    for (const auto& [index, s] : ports_) {
        if (s.port == r.port || (!r.portById.empty() && s.port == r.portById))
            return static_cast<long>(index);
    }
    for (const auto& [index, s] : ports_) {
        if (SameDevice(s.port, r.port)) return static_cast<long>(index);
    }
    return -1;
}

void FleetTally::Record(const UnitRecord& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    const long port = PortOf(r);
    const auto index = static_cast<std::size_t>(port);
    FleetUnit* unit = nullptr;
    if (port >= 0 && ports_.at(index).attempt > 1 && current_.count(index) != 0) {
        unit = &units_[current_[index]];
    } else {
        unit = &units_.emplace_back();
        unit->port = port >= 0 ? ports_.at(index).port : r.port;
        if (port >= 0) current_[index] = units_.size() - 1;
    }
    unit->id = r.pttId;
    unit->outcome = r.outcome;
    unit->attempts += 1;
    unit->durationMs += r.durationMs;
}

std::vector<FleetUnit> FleetTally::Units() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return units_;
}

std::size_t FleetTally::PortsFailed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count_if(ports_.begin(), ports_.end(), [](const auto& p) {
        return p.second.state == PortState::Failed || p.second.state == PortState::Gone;
    }));
}

std::string IdRangesText(const std::vector<FleetId>& ids) {
    std::string text;
    for (std::size_t i = 0; i < ids.size();) {
        std::size_t j = i;
        while (j + 1 < ids.size() && ids[j + 1].id == ids[j].id + 1)
            ++j;
        text += (text.empty() ? "" : ", ") + std::to_string(ids[i].id);
        if (j > i) text += "-" + std::to_string(ids[j].id);
        i = j + 1;
    }
    return text;
}

std::string FormatFleetUnits(const std::vector<FleetUnit>& units) {
    std::vector<std::vector<std::string>> rows = {{"UNIT", "PORT", "ID", "OUTCOME", "TIME"}};
    for (std::size_t k = 0; k < units.size(); ++k) {
        const FleetUnit& u = units[k];
        std::string outcome = DisplayText(u.outcome);
        if (u.attempts > 1) outcome += " (" + std::to_string(u.attempts) + " attempts)";
        rows.push_back({std::to_string(k + 1), DisplayText(u.port),
                        u.id < 0 ? "-" : std::to_string(u.id), outcome,
                        ElapsedText(static_cast<std::int32_t>(std::min<std::int64_t>(
                            u.durationMs, std::numeric_limits<std::int32_t>::max())))});
    }
    return FormatTable(rows);
}

int FleetExitCode(const FleetSummary& summary, const std::vector<FleetUnit>& units,
                  std::size_t portsFailed, std::size_t ports, bool station) {
    if (summary.cancelled) return kExitInterrupted;
    const std::size_t good = summary.programmed + summary.alreadyDone;
    if (summary.failed == 0 && !summary.logFailed && portsFailed == 0 && (station || good >= ports))
        return kExitOk;
    auto all = [&units](const char* outcome) {
        return !units.empty() && std::all_of(units.begin(), units.end(), [&](const FleetUnit& u) {
            return u.outcome == outcome;
        });
    };
    if (good == 0 && all(kOutcomePortLost)) return kExitPort;
    if (good == 0 && all(kOutcomeNoAnswer)) return kExitNoAnswer;
    return kExitFailed;
}

void WriteFleetJson(JsonWriter& json, const FleetSummary& s, const std::vector<FleetUnit>& units) {
    json.Field("programmed", s.programmed)
        .Field("already_done", s.alreadyDone)
        .Field("failed", s.failed)
        .Field("cancelled", s.cancelled)
        .Field("log_failed", s.logFailed)
        .Field("history_problem", s.historyProblem);
    json.Key("units").BeginArray();
    for (std::size_t k = 0; k < units.size(); ++k) {
        const FleetUnit& u = units[k];
        json.BeginObject().Field("unit", k + 1).Field("port", u.port).Key("ptt_id");
        if (u.id < 0)
            json.Null();
        else
            json.Int(u.id);
        json.Field("outcome", u.outcome)
            .Field("attempts", u.attempts)
            .Field("duration_ms", u.durationMs)
            .EndObject();
    }
    json.EndArray().Key("left").BeginArray();
    for (const FleetId& id : s.left)
        json.Int(id.id);
    json.EndArray().Key("records").BeginArray();
    for (const UnitRecord& r : s.records) {
        json.BeginObject();
        WriteRecordFields(json, r);
        json.EndObject();
    }
    json.EndArray();
}

} // namespace nimbrel::cli
