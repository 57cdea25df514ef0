#include "fleet/fleetengine.h"

#include "config/checks.h"
#include "config/configfile.h"
#include "engine/backupsend.h"
#include "engine/configtransfer.h"
#include "fleet/history.h"
#include "link/linksession.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace nimbrel {

namespace fs = std::filesystem;

const char* PortStateName(PortState state) {
    switch (state) {
    case PortState::Waiting:
        return "waiting";
    case PortState::Waking:
        return "waking";
    case PortState::Reading:
        return "reading";
    case PortState::Sending:
        return "sending";
    case PortState::Verifying:
        return "verifying";
    case PortState::Stopping:
        return "stopping";
    case PortState::Done:
        return "done";
    case PortState::Failed:
        return "failed";
    case PortState::Skipped:
        return "already done";
    case PortState::Gone:
        return "gone";
    case PortState::Cancelled:
        return "cancelled";
    case PortState::Finished:
        return "finished";
    }
    return "";
}

namespace {

// The device a port name stands for, links resolved; the name itself when
// it does not resolve.
std::string DeviceOf(const std::string& port) {
    std::error_code ec;
    const fs::path real = fs::canonical(port, ec);
    return ec ? port : real.string();
}

// Whether a file can be appended to, creating it (and removing it again)
// when it is not there; "" or why not.
std::string AppendProblem(const std::string& path) {
    std::error_code ec;
    const bool existed = fs::exists(path, ec);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return std::error_code(errno, std::generic_category()).message();
    ::close(fd);
    if (!existed) fs::remove(path, ec);
    return {};
}

// Every entry of the folder, sorted; none when it is missing.
std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path().string());
    std::sort(entries.begin(), entries.end());
    return entries;
}

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return kOutcomeDone;
    case Outcome::NoAnswer:
        return kOutcomeNoAnswer;
    case Outcome::Invalid:
        return kOutcomeInvalidAnswer;
    case Outcome::Mismatch:
        return kOutcomeMismatch;
    case Outcome::PortLost:
        return kOutcomePortLost;
    case Outcome::Cancelled:
        return kOutcomeCancelled;
    case Outcome::Refused:
        return kOutcomeRefused;
    }
    return "";
}

// A unit's Ui: keeps the messages for its record; every question gets the
// answer that changes nothing.
class UnitUi : public Ui {
public:
    Answer MessageBox(const std::string& text, const std::string&, Buttons buttons, Icon) override {
        std::string line = text;
        for (std::size_t at; (at = line.find("\r\n")) != std::string::npos;)
            line.replace(at, 2, " ");
        std::replace(line.begin(), line.end(), '\n', ' ');
        std::lock_guard lock(mutex_);
        last_ = line;
        switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }
    std::optional<std::string> InputText(const std::string&, const std::string&, const std::string&,
                                         int) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseFile(const FileRequest&) override { return std::nullopt; }
    void ServeEvents(int maxWaitMs) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(maxWaitMs, 0, 50)));
    }

    std::string Last() {
        std::lock_guard lock(mutex_);
        return last_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        last_.clear();
    }

private:
    std::mutex mutex_;
    std::string last_;
};

constexpr std::int32_t kProgressEveryMs = 100;

} // namespace

std::string CheckFleetJob(const FleetJob& job) {
    if (!job.items || job.items->empty()) return "The configuration holds no items.";
    if (FindPttIdItem(*job.items) == nullptr) return kNoPttIdItemText;
    if (job.ports.empty() && !job.autoPorts) return "No port was given.";
    std::map<std::string, std::string> seen; // device -> the name given first
    for (const std::string& port : job.ports) {
        const auto [at, added] = seen.emplace(DeviceOf(port), port);
        if (added) continue;
        if (at->second == port) return "The port " + port + " was given twice.";
        return "The ports " + at->second + " and " + port + " are the same device, " + at->first +
               ": one port given twice.";
    }
    if (job.logPath.empty()) return "No log file was given.";
    if (const std::string why = AppendProblem(job.logPath); !why.empty())
        return "The log file " + job.logPath + " cannot be written (" + why + ").";
    if (std::string text; !job.resumeLog.empty() && !ReadWholeFile(job.resumeLog, text)) {
        return "The log " + job.resumeLog + " to resume from cannot be read.";
    }
    if (!job.backupDir.empty()) {
        std::error_code ec;
        fs::create_directories(job.backupDir, ec);
        const std::string probe = (fs::path(job.backupDir) / ".nimbrel-write-test").string();
        const std::string why = ec ? ec.message() : AppendProblem(probe);
        if (!why.empty())
            return "The backup folder " + job.backupDir + " cannot be written (" + why + ").";
    }
    return {};
}

class FleetEngine::Impl {
public:
    Impl(FleetJob job, FleetCallbacks callbacks, const CancelFlag* cancel)
        : job_(std::move(job)), callbacks_(std::move(callbacks)),
          cancel_(cancel != nullptr ? cancel : &ownCancel_) {}

    FleetSummary Run();

private:
    // One port of the run and what its thread knows about it.
    struct Port {
        PortStatus status;
        std::string device; // the port's device, links resolved
        std::string byId;
        std::int64_t lastProgressMs = 0;
    };

    // One attempt to program the unit on a port.
    struct Attempt {
        Outcome outcome = Outcome::Done;
        bool alreadyDone = false; // found holding this configuration, ID done
        bool noIdLeft = false;
    };

    bool Cancelled() const { return cancel_->load(); }
    void Pause(std::int32_t ms) const;

    void PortThread(Port port);
    void StationThread(Port port);
    // Programs the unit on the port, with its retries; the port's last state.
    PortState ProgramUnit(Port& port);
    Attempt Try(Port& port, std::optional<FleetId>& id, UnitRecord& record);
    Outcome ReadValues(TransferEngine& engine, const ItemList& items, nimbrel::ReadValues& values);
    std::string KeepBackup(const ItemList& items, const nimbrel::ReadValues& values,
                           const Port& port);
    std::optional<std::int32_t> HeldAsDone(const ItemList& items,
                                           const nimbrel::ReadValues& values);
    bool WaitForUnit(Port& port);
    void WaitUntilGone(Port& port);
    bool NothingLeft() const;

    void Report(Port& port, PortState state);
    void ReportProgress(Port& port, const Progress& progress);
    void Log(const UnitRecord& record);
    void Notice(const std::string& text);
    Port MakePort(std::size_t index, const std::string& name) const;

    FleetJob job_;
    FleetCallbacks callbacks_;
    CancelFlag ownCancel_{false};
    const CancelFlag* cancel_;

    std::string hash_;
    std::size_t pttIndex_ = 0;
    std::unique_ptr<IdPool> pool_;
    std::atomic<int> holding_{0}; // units holding an ID now

    std::mutex callbackMutex_; // callbacks run one at a time
    std::mutex logMutex_;      // the log, the history and the summary
    std::set<std::int32_t> done_;
    std::set<std::string> noticed_;
    History history_;
    bool historyOpen_ = false;
    FleetSummary summary_;
};

void FleetEngine::Impl::Pause(std::int32_t ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!Cancelled() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 20)));
}

FleetEngine::Impl::Port FleetEngine::Impl::MakePort(std::size_t index,
                                                    const std::string& name) const {
    Port port;
    port.status.index = index;
    port.status.port = name;
    port.device = DeviceOf(name);
    // A port named by a link keeps that stable name; a device its by-id name.
    std::error_code ec;
    port.byId = fs::is_symlink(name, ec) ? name : ByIdName(port.device, job_.byIdFolder);
    return port;
}

void FleetEngine::Impl::Report(Port& port, PortState state) {
    port.status.state = state;
    if (state != PortState::Sending && state != PortState::Verifying &&
        state != PortState::Reading && state != PortState::Waking)
        port.status.progress = {};
    port.lastProgressMs = 0;
    if (!callbacks_.status) return;
    std::lock_guard lock(callbackMutex_);
    callbacks_.status(port.status);
}

void FleetEngine::Impl::ReportProgress(Port& port, const Progress& progress) {
    const bool stepped =
        progress.step != port.status.progress.step || progress.what != port.status.progress.what;
    port.status.progress = progress;
    const std::int64_t now = TickCount();
    if (!stepped && now - port.lastProgressMs < kProgressEveryMs) return;
    port.lastProgressMs = now;
    if (!callbacks_.status) return;
    std::lock_guard lock(callbackMutex_);
    callbacks_.status(port.status);
}

void FleetEngine::Impl::Notice(const std::string& text) {
    {
        std::lock_guard lock(logMutex_);
        if (!noticed_.insert(text).second) return;
    }
    if (!callbacks_.notice) return;
    std::lock_guard lock(callbackMutex_);
    callbacks_.notice(text);
}

void FleetEngine::Impl::Log(const UnitRecord& record) {
    std::string logError, historyError;
    {
        std::lock_guard lock(logMutex_);
        if (!AppendRecord(job_.logPath, record, logError)) summary_.logFailed = true;
        if (historyOpen_ && !history_.Append(ToHistory(record, "fleet"))) {
            historyError = history_.Error();
            if (summary_.historyProblem.empty()) summary_.historyProblem = historyError;
        }
        summary_.records.push_back(record);
        if (record.outcome == kOutcomeDone && record.pttId >= 0) done_.insert(record.pttId);
    }
    if (!logError.empty()) Notice(logError);
    if (!historyError.empty())
        Notice(historyError + "\r\nThe records still go to the log " + job_.logPath + ".");
    if (!callbacks_.record) return;
    std::lock_guard lock(callbackMutex_);
    callbacks_.record(record);
}

FleetSummary FleetEngine::Impl::Run() {
    const ItemList& items = *job_.items;
    hash_ = ConfigSha256(job_.sensorCount, items);
    const DisplayLine* idItem = FindPttIdItem(items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].get() == idItem) pttIndex_ = i;
    }
    // The run's own log and the one to resume from: IDs done with this configuration.
    for (const std::string& log : {job_.logPath, job_.resumeLog}) {
        std::string text;
        if (log.empty() || !ReadWholeFile(log, text)) continue;
        const std::set<std::int32_t> done = DoneIds(text, hash_);
        done_.insert(done.begin(), done.end());
    }
    std::vector<FleetId> ids;
    for (const FleetId& id : job_.ids) {
        if (!done_.count(id.id)) ids.push_back(id);
    }
    pool_ = std::make_unique<IdPool>(std::move(ids));

    if (!job_.historyPath.empty()) {
        historyOpen_ = history_.Open(job_.historyPath);
        if (!historyOpen_) {
            summary_.historyProblem = history_.Error();
            Notice(history_.Error() + "\r\nThe records still go to the log " + job_.logPath + ".");
        }
    }

    std::vector<std::thread> threads;
    if (job_.station && job_.autoPorts) {
        std::map<std::string, std::thread> running;
        std::set<std::string> active;
        std::mutex activeMutex;
        std::size_t found = 0;
        while (!Cancelled() && !NothingLeft()) {
            for (const std::string& name : FolderEntries(job_.byIdFolder)) {
                std::lock_guard lock(activeMutex);
                if (active.count(name)) continue;
                if (auto it = running.find(name); it != running.end()) {
                    it->second.join();
                    running.erase(it);
                }
                active.insert(name);
                running.emplace(name, std::thread([this, &active, &activeMutex,
                                                   port = MakePort(found++, name)]() mutable {
                                    const std::string name = port.status.port;
                                    StationThread(std::move(port));
                                    std::lock_guard lock(activeMutex);
                                    active.erase(name);
                                }));
            }
            Pause(job_.stationPollMs);
        }
        for (auto& [name, thread] : running)
            thread.join();
    } else {
        std::vector<std::string> names = job_.ports;
        if (job_.autoPorts && names.empty()) names = FolderEntries(job_.byIdFolder);
        for (std::size_t i = 0; i < names.size(); ++i) {
            Port port = MakePort(i, names[i]);
            threads.emplace_back([this, port = std::move(port)]() mutable {
                if (job_.station) {
                    StationThread(std::move(port));
                } else {
                    PortThread(std::move(port));
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
    }

    summary_.left = pool_->Left();
    summary_.cancelled = Cancelled();
    return std::move(summary_);
}

bool FleetEngine::Impl::NothingLeft() const {
    return holding_.load() == 0 && pool_->Left().empty();
}

void FleetEngine::Impl::PortThread(Port port) {
    Report(port, PortState::Waiting);
    const PortState last = ProgramUnit(port);
    Report(port, last);
}

void FleetEngine::Impl::StationThread(Port port) {
    const bool watched = job_.autoPorts; // ends when its port goes away
    while (!Cancelled() && !NothingLeft()) {
        Report(port, PortState::Waiting);
        if (!fs::exists(port.status.port)) {
            if (watched) return;
            Pause(job_.stationPollMs);
            continue;
        }
        if (!WaitForUnit(port)) continue;
        const PortState last = ProgramUnit(port);
        Report(port, last);
        if (last == PortState::Cancelled) break;
        WaitUntilGone(port);
    }
    Report(port, Cancelled() ? PortState::Cancelled : PortState::Finished);
}

// Listens on the port, without answering, for a unit's wake-up byte.
bool FleetEngine::Impl::WaitForUnit(Port& port) {
    LinkOptions options = job_.link;
    options.device = port.status.port;
    LinkSession link;
    if (!link.Open(options)) {
        Pause(job_.stationPollMs);
        return false;
    }
    LinkIo& io = link.Io();
    io.Flush();
    while (!Cancelled() && !NothingLeft()) {
        const IoStatus status = io.WaitForBytes(1, job_.stationPollMs, cancel_);
        if (status == IoStatus::PortLost) return false;
        char buffer[256];
        const std::size_t n = io.Take(buffer, sizeof buffer);
        if (std::find(buffer, buffer + n, '\x06') != buffer + n) return true;
    }
    return false;
}

// Waits until the port has gone away or its unit has sent nothing for the
// gone time (unplugged).
void FleetEngine::Impl::WaitUntilGone(Port& port) {
    LinkOptions options = job_.link;
    options.device = port.status.port;
    LinkSession link;
    if (!link.Open(options)) return;
    LinkIo& io = link.Io();
    while (!Cancelled()) {
        const IoStatus status = io.WaitForBytes(1, job_.stationGoneMs, cancel_);
        if (status != IoStatus::Ok) return;
        char buffer[256];
        while (io.Take(buffer, sizeof buffer) > 0) {
        }
    }
}

PortState FleetEngine::Impl::ProgramUnit(Port& port) {
    std::optional<FleetId> id;
    port.status.id = -1;
    PortState last = PortState::Failed;
    for (int attempt = 1; attempt <= 1 + std::max(0, job_.retries); ++attempt) {
        port.status.attempt = attempt;
        port.status.message.clear();
        UnitRecord record;
        const Attempt a = Try(port, id, record);
        if (a.noIdLeft) {
            last = PortState::Finished;
            break;
        }
        if (!record.outcome.empty()) {
            port.status.message = record.message;
            Log(record);
        }
        if (a.alreadyDone) {
            Notice("The unit on " + port.status.port +
                   " already holds this configuration with ID " + std::to_string(record.pttId) +
                   ", which the log shows as done; nothing was "
                   "written.");
            std::lock_guard lock(logMutex_);
            ++summary_.alreadyDone;
            last = PortState::Skipped;
            break;
        }
        if (a.outcome == Outcome::Done) {
            std::lock_guard lock(logMutex_);
            ++summary_.programmed;
            last = PortState::Done;
            break;
        }
        if (a.outcome == Outcome::Cancelled) {
            last = PortState::Cancelled;
            break;
        }
        if (a.outcome == Outcome::PortLost) {
            Notice("The port " + port.status.port + " went away; it was dropped from the run.");
            last = PortState::Gone;
            break;
        }
        if (a.outcome == Outcome::Refused) break; // the same again would be refused again
        if (Cancelled()) {
            last = PortState::Cancelled;
            break;
        }
    }
    if (id) {
        if (last != PortState::Done) {
            if (job_.burnFailed) {
                pool_->Burn(id->id);
            } else {
                pool_->GiveBack(id->id);
            }
        }
        holding_.fetch_sub(1);
    }
    if (last == PortState::Failed || last == PortState::Gone) {
        std::lock_guard lock(logMutex_);
        ++summary_.failed;
    }
    return last;
}

FleetEngine::Impl::Attempt FleetEngine::Impl::Try(Port& port, std::optional<FleetId>& id,
                                                  UnitRecord& record) {
    Attempt attempt;
    const auto started = std::chrono::steady_clock::now();
    record.time = UtcTime(std::chrono::system_clock::now());
    record.port = port.device;
    record.portById = port.byId;
    record.configFile = job_.configFile;
    record.configSha256 = hash_;
    if (id) record.pttId = id->id, record.pttWord = id->word;
    record.verified = false;

    UnitUi ui;
    const auto finish = [&](Outcome outcome) {
        attempt.outcome = outcome;
        record.outcome = OutcomeText(outcome);
        if (outcome != Outcome::Done) record.message = ui.Last();
        record.durationMs = ElapsedMs(started);
        return attempt;
    };

    Report(port, PortState::Waking);
    LinkOptions options = job_.link;
    options.device = port.status.port;
    LinkSession link;
    if (!link.Open(options)) {
        ui.MessageBox(link.LastOpenError().Message(), "", Buttons::Ok, Icon::Exclamation);
        return finish(Outcome::PortLost);
    }
    TransferEngine engine(link.Io(), ui, job_.transfer, cancel_,
                          [this, &port](const Progress& p) { ReportProgress(port, p); });
    // Puts the unit back to sleep and lets the port go, whatever happened.
    const auto leave = [&](Outcome outcome) {
        if (engine.Entered() && !link.Lost()) {
            Report(port, PortState::Stopping);
            const Outcome stopped = engine.Stop();
            if (outcome == Outcome::Done) outcome = stopped;
        }
        link.Close();
        return finish(outcome);
    };

    std::string version;
    if (const Outcome woke =
            engine.WakeUp(job_.transfer.startWaitMs, job_.awakeWaitMs, nullptr, &version);
        woke != Outcome::Done)
        return leave(woke);
    Report(port, PortState::Reading);
    if (version.empty()) {
        if (const Outcome asked = engine.QueryVersion(&version); asked != Outcome::Done)
            return leave(asked);
    }
    record.version = version;

    ItemList unit = CopyItems(*job_.items);
    nimbrel::ReadValues held;
    if (const Outcome read = ReadValues(engine, unit, held); read != Outcome::Done)
        return leave(read);
    if (!job_.backupDir.empty()) record.backup = KeepBackup(unit, held, port);
    if (const std::optional<std::int32_t> doneId = HeldAsDone(unit, held)) {
        attempt.alreadyDone = true;
        record.pttId = *doneId;
        record.pttWord = DisplayLine::GetPttId(record.pttId);
        record.verified = true;
        const Attempt result = leave(Outcome::Done);
        record.outcome = kOutcomeAlreadyDone;
        record.message = "The unit already holds this configuration with this ID; nothing was "
                         "written.";
        return Attempt{result.outcome, true, false};
    }

    if (!id) {
        id = pool_->Take();
        if (!id) {
            leave(Outcome::Done);
            attempt.noIdLeft = true;
            record.outcome.clear();
            return attempt;
        }
        holding_.fetch_add(1);
        record.pttId = id->id, record.pttWord = id->word;
    }
    port.status.id = id->id;
    unit[pttIndex_]->SetValue(id->id);
    const SendPlan plan = PlanSend(unit);
    if (plan.Refused()) {
        ui.MessageBox(plan.refusal, kCommsCaption, Buttons::Ok, Icon::Exclamation);
        return leave(Outcome::Refused);
    }
    std::int64_t bytes = 0;
    for (const EncodedItem& item : plan.items)
        bytes += static_cast<std::int64_t>(item.commands.size() / kCommandLength);

    Report(port, PortState::Sending);
    const Outcome sent = engine.SendConfiguration(plan.EngineItems());
    record.bytesWritten = sent == Outcome::Done ? bytes
                                                : port.status.progress.bytes /
                                                      static_cast<std::int64_t>(kCommandLength);
    if (sent != Outcome::Done) return leave(sent);

    if (job_.transfer.readAfterWrite) {
        Report(port, PortState::Verifying);
        nimbrel::ReadValues back;
        if (const Outcome read = ReadValues(engine, unit, back); read != Outcome::Done)
            return leave(read);
        const std::vector<Difference> differences = CompareValues(unit, back);
        if (!differences.empty()) {
            ui.MessageBox(ComparisonText(unit, differences), kCompareCaption, Buttons::Ok,
                          Icon::Exclamation);
            return leave(Outcome::Mismatch);
        }
        record.verified = true;
    }
    return leave(Outcome::Done);
}

Outcome FleetEngine::Impl::ReadValues(TransferEngine& engine, const ItemList& items,
                                      nimbrel::ReadValues& values) {
    const ReadPlan plan = PlanRead(items, ReadScope::ValuedItems);
    values.assign(items.size(), std::nullopt);
    return engine.ReadConfiguration(
        plan.items,
        plan.ToItems([&](std::size_t i, const std::string& value) { values[i] = value; }));
}

// The unit's configuration as read, kept as a file in the backup folder,
// named as a send's backup: <its ID>-<UTC time>.cfg, never over another
// file. Its path, or "" with a notice when it cannot be written.
std::string FleetEngine::Impl::KeepBackup(const ItemList& items, const nimbrel::ReadValues& values,
                                          const Port&) {
    ItemList copy = CopyItems(items);
    ApplyValues(copy, values);
    const std::string stem =
        BackupFileStem(values[pttIndex_].value_or(""), std::chrono::system_clock::now());
    std::string error;
    const std::string path = KeepBackupFile(job_.backupDir, stem, job_.sensorCount, copy, error);
    if (path.empty()) Notice(error);
    return path;
}

// The ID of a unit that holds the configuration, its PTT ID aside, with an
// ID the logs show done with this configuration; nullopt for any other unit.
std::optional<std::int32_t> FleetEngine::Impl::HeldAsDone(const ItemList& items,
                                                          const nimbrel::ReadValues& values) {
    const std::optional<std::string>& idText = values[pttIndex_];
    std::int32_t heldId = 0;
    if (!idText) return std::nullopt;
    const auto [end, ec] = std::from_chars(idText->data(), idText->data() + idText->size(), heldId);
    if (ec != std::errc() || end != idText->data() + idText->size()) return std::nullopt;
    {
        std::lock_guard lock(logMutex_);
        if (!done_.count(heldId)) return std::nullopt;
    }
    for (const Difference& d : CompareValues(items, values)) {
        if (d.item != pttIndex_) return std::nullopt;
    }
    return heldId;
}

FleetEngine::FleetEngine(FleetJob job, FleetCallbacks callbacks, const CancelFlag* cancel)
    : impl_(std::make_unique<Impl>(std::move(job), std::move(callbacks), cancel)) {}

FleetEngine::~FleetEngine() = default;

FleetSummary FleetEngine::Run() {
    return impl_->Run();
}

} // namespace nimbrel
