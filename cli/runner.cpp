#include "cli/runner.h"

#include "cli/fleetcommand.h"
#include "cli/formats.h"
#include "cli/json.h"
#include "cli/mapcommand.h"
#include "cli/records.h"
#include "config/checks.h"
#include "config/configfile.h"
#include "config/memorymap.h"
#include "engine/backupsend.h"
#include "engine/configtransfer.h"
#include "engine/transferengine.h"
#include "fleet/fleetengine.h"
#include "fleet/history.h"
#include "fleet/idsource.h"
#include "fleet/unitrecord.h"
#include "link/linksession.h"
#include "link/protocol.h"
#include "platform/clock.h"
#include "platform/displaytext.h"
#include "platform/options.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/text.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>

namespace nimbrel::cli {
namespace {

constexpr const char* kFileSent = "File sent.";
constexpr const char* kFoundAwakeText =
    "The transmitter sent no wake-up byte but answered the version query: it was awake "
    "already; carrying on.";

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return "done";
    case Outcome::NoAnswer:
        return "no-answer";
    case Outcome::Invalid:
        return "invalid-answer";
    case Outcome::Mismatch:
        return "mismatch";
    case Outcome::PortLost:
        return "port-lost";
    case Outcome::Cancelled:
        return "cancelled";
    case Outcome::Refused:
        return "refused";
    }
    return "";
}

int ExitCode(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return kExitOk;
    case Outcome::NoAnswer:
        return kExitNoAnswer;
    case Outcome::PortLost:
        return kExitPort;
    case Outcome::Cancelled:
        return kExitInterrupted;
    case Outcome::Invalid: // answered, but not with an answer
    case Outcome::Mismatch:
    case Outcome::Refused:
        break;
    }
    return kExitFailed;
}

// The settings of a run: the file --settings names, else the program's own,
// with the port, baud and verify options put over it. The file is only read.
std::optional<SettingsSnapshot> RunSettings(const Options& options, std::string& error) {
    std::string text;
    if (options.settings) {
        if (!ReadWholeFile(*options.settings, text)) {
            error = "Cannot read the settings file " + *options.settings + ".";
            return std::nullopt;
        }
    } else {
        const std::string own = Settings::FilePath();
        std::error_code ec;
        if (std::filesystem::exists(own, ec) && !ReadWholeFile(own, text)) {
            error = "Cannot read the settings file " + own + ".";
            return std::nullopt;
        }
    }
    if (options.port) {
        // The settings' port number keeps its number when it is one of 1 to 4.
        int port = SettingsSnapshot(text).Get(keys::kPortNumber);
        if (port < 1 || port > 4) {
            port = keys::kPortNumber.defaultValue;
            text = Settings::WithValue(text, "COM", "port", std::to_string(port));
        }
        text = Settings::WithValue(text, "COM", keys::PortDeviceKey(port), *options.port);
    }
    if (options.baud) {
        text = Settings::WithValue(text, keys::kPortBaud.section, keys::kPortBaud.key,
                                   std::to_string(*options.baud));
    }
    if (options.verify) {
        text = Settings::WithValue(text, keys::kReadAfterWrite.section, keys::kReadAfterWrite.key,
                                   *options.verify ? "1" : "0");
    }
    return SettingsSnapshot(std::move(text));
}

std::string FullName(const std::string& path) {
    std::error_code ec;
    const auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// How the JSON output names an item.
struct ItemRef {
    std::size_t index = 0;
    std::string name;
    std::string sensor;
    std::int32_t address = 0;
};

ItemRef Ref(const ItemList& items, const std::vector<std::string>& sensors, std::size_t index) {
    const DisplayLine& item = *items[index];
    return {index, item.GetName(), sensors[index], item.GetAddress()};
}

void WriteRef(JsonWriter& json, const ItemRef& r) {
    json.Field("index", r.index)
        .Field("name", r.name)
        .Field("sensor", r.sensor)
        .Field("address", r.address);
}

class Runner {
public:
    Runner(const Options& options, Console& console) : o_(options), c_(console) {}

    int Run() {
        int code = kExitUsage;
        switch (o_.command) {
        case Command::Check:
            code = Check();
            break;
        case Command::Encode:
            code = Encode();
            break;
        case Command::Send:
            code = Send();
            break;
        case Command::Read:
            code = Read();
            break;
        case Command::Compare:
            code = Compare();
            break;
        case Command::Version:
            code = Version();
            break;
        case Command::Program:
            code = Program();
            break;
        case Command::Dump:
            code = Dump();
            break;
        case Command::Stop:
            code = StopCommand();
            break;
        case Command::Fleet:
            code = Fleet();
            break;
        case Command::History:
            code = HistoryCommand();
            break;
        case Command::Map:
            code = MapCommand();
            break;
        case Command::None:
            break;
        }
        if (c_.interrupts.Interrupted()) code = kExitInterrupted;
        return Finish(code);
    }

private:
    // A result line on standard output (text mode).
    // Text from files and the transmitter is shown escaped.
    void Say(const std::string& line) {
        if (!o_.json) c_.out << DisplayText(line) << '\n';
    }
    // A summary line on standard output, left out when quiet.
    void Summary(const std::string& line) {
        if (!o_.quiet) Say(line);
    }
    void Tell(const std::string& text, const std::string& caption = "") {
        c_.ui.MessageBox(text, caption, Buttons::Ok, Icon::Exclamation);
    }
    // A message the window shows on success; left out when quiet.
    void Info(const std::string& text) {
        if (!o_.quiet) c_.ui.MessageBox(text, "", Buttons::Ok, Icon::None);
    }

    // Loads the configuration as the window opens it, its problems shown in
    // one message and counted in loadProblems_. False, after the message, for
    // a file that cannot be opened or holds no configuration (exit 2).
    bool Load(ItemList& items, std::int32_t& sensorCount) {
        const ConfigHeader header = ReadConfigHeader(o_.file);
        if (HoldsNoConfiguration(header)) {
            Tell(NoConfigurationText(o_.file), "Error");
            return false;
        }
        std::vector<std::string> problems;
        if (header.opened) items = MakeBlankItems(header.itemCount);
        if (!header.opened || !ReadConfigItems(o_.file, items, header, problems)) {
            Tell("Cannot open the configuration file " + DisplayText(o_.file) + ".", "Error");
            return false;
        }
        ShowConfigProblems(o_.file, problems);
        loadProblems_ = problems.size();
        sensorCount = header.sensorCount;
        return true;
    }

    // Load for a command that writes or compares the file's values: a file
    // with problems is refused once they are listed. kExitOk to go on.
    int LoadWhole(ItemList& items, std::int32_t& sensorCount) {
        if (!Load(items, sensorCount)) return kExitUsage;
        return loadProblems_ == 0 ? kExitOk : kExitFailed;
    }

    int Check() {
        ItemList items;
        std::int32_t sensorCount = 0;
        if (!Load(items, sensorCount)) return kExitUsage;
        std::int64_t unlisted = 0;
        const std::vector<Problem> problems = CheckConfiguration(items, &unlisted);
        for (const Problem& p : problems)
            Say(p.text);
        if (unlisted > 0) {
            Say("... and " +
                Plural(static_cast<std::size_t>(unlisted), "more overlapping pair",
                       "more overlapping pairs") +
                " of items.");
        }
        const std::size_t count =
            problems.size() + static_cast<std::size_t>(unlisted) + loadProblems_;
        Summary(o_.file + ": " + Plural(items.size(), "item", "items") + ", " +
                (count == 0 ? "no problems" : Plural(count, "problem", "problems")) + ".");
        struct Found {
            ItemRef item;
            std::optional<ItemRef> other;
            std::string text;
        };
        std::vector<Found> found;
        const auto sensors = SensorNames(items);
        for (const Problem& p : problems) {
            found.push_back({Ref(items, sensors, p.item),
                             p.other ? std::optional(Ref(items, sensors, *p.other)) : std::nullopt,
                             p.text});
        }
        fields_ = [n = items.size(), found, unlisted](JsonWriter& json) {
            json.Field("items", n).Key("problems").BeginArray();
            for (const Found& f : found) {
                json.BeginObject().Key("item").BeginObject();
                WriteRef(json, f.item);
                json.EndObject();
                if (f.other) {
                    json.Key("other").BeginObject();
                    WriteRef(json, *f.other);
                    json.EndObject();
                }
                json.Field("text", f.text).EndObject();
            }
            json.EndArray().Field("unlisted_overlaps", unlisted);
        };
        return count == 0 ? kExitOk : kExitFailed;
    }

    int Encode() {
        ItemList items;
        std::int32_t sensorCount = 0;
        if (const int loaded = LoadWhole(items, sensorCount); loaded != kExitOk) return loaded;
        const SendPlan plan = PlanSend(items);
        if (plan.Refused()) {
            Tell(plan.refusal, kCommsCaption);
            return kExitFailed;
        }
        if (o_.json) {
            fields_ = [encoded = plan.items](JsonWriter& json) { WriteEncodedJson(json, encoded); };
        } else {
            c_.out << FormatEncoded(plan.items, o_.format);
        }
        return kExitOk;
    }

    // Opens the port, wakes the transmitter, runs `op` and puts the
    // transmitter back to sleep.
    int Transmit(const std::function<Outcome(TransferEngine&)>& op, bool wake = true) {
        if (c_.interrupts.Interrupted()) return kExitInterrupted;
        std::string error;
        const std::optional<SettingsSnapshot> settings = RunSettings(o_, error);
        if (!settings) {
            Tell(error, "Error");
            return kExitUsage;
        }
        return TransmitOn(*settings, op, wake);
    }

    int TransmitOn(const SettingsSnapshot& settings,
                   const std::function<Outcome(TransferEngine&)>& op, bool wake) {
        LinkSession link;
        const bool opened = link.Open(ReadLinkOptions(settings));
        device_ = link.Device();
        if (!opened) {
            c_.ui.MessageBox(link.LastOpenError().Message(), "", Buttons::Ok, Icon::Exclamation);
            return kExitPort;
        }
        TransferEngine engine(link.Io(), c_.ui, ReadTransferOptions(settings),
                              &c_.interrupts.Flag(), [this](const Progress& p) {
                                  lastBytes_ = p.bytes;
                                  c_.progress.Update(p);
                              });
        if (!wake) {
            outcome_ = op(engine);
            link.Close();
            return ExitCode(*outcome_);
        }
        const std::int32_t waitMs = o_.waitMs ? *o_.waitMs : engine.Options().startWaitMs;
        const std::int32_t awakeWaitMs = settings.Get(keys::kAwakeWaitMs);
        const Outcome started = WakeUp(engine, waitMs, awakeWaitMs);
        c_.progress.Break();
        if (started != Outcome::Done) {
            outcome_ = started;
            return ExitCode(started);
        }
        link.SetStarted(true);
        Info(kStartedText);

        Outcome result = wantVersion_ ? QuietVersion(link, engine) : Outcome::Done;
        if (result == Outcome::Done) result = op(engine);
        c_.progress.Break();
        // Back to sleep, also after a failed verification or read; a port that
        // went away takes nothing more.
        if (engine.Entered() && !link.Lost()) {
            const Outcome stopped = engine.Stop();
            if (result == Outcome::Done) result = stopped;
        }
        outcome_ = result;
        link.Close();
        return ExitCode(result);
    }

    // Start, or a transmitter found awake (said, and its version kept).
    Outcome WakeUp(TransferEngine& engine, std::int32_t waitMs, std::int32_t awakeWaitMs) {
        bool foundAwake = false;
        const Outcome outcome = engine.WakeUp(waitMs, awakeWaitMs, &foundAwake, &version_);
        c_.progress.Break();
        if (outcome == Outcome::Done && foundAwake) Tell(kFoundAwakeText);
        return outcome;
    }

    // The software version for the record of a send, unless the wake-up
    // asked for it already. Neither a missing nor an invalid answer fails the
    // send, and the answer is not shown; a port that went away or a cancel
    // ends it.
    Outcome QuietVersion(LinkSession& link, TransferEngine& engine) {
        if (!version_.empty()) return Outcome::Done;
        HoldingUi held(c_.ui);
        TransferEngine query(link.Io(), held, engine.Options(), &c_.interrupts.Flag(),
                             [this](const Progress& p) { c_.progress.Update(p); });
        const Outcome outcome = query.QueryVersion(&version_);
        c_.progress.Break();
        if (outcome != Outcome::PortLost && outcome != Outcome::Cancelled) return Outcome::Done;
        held.Release();
        return outcome;
    }

    bool Succeeded() const { return outcome_ == Outcome::Done; }

    // Appends the record of a send to the programming history; a history that
    // cannot be written gets one warning and changes nothing else.
    void KeepInHistory(const UnitRecord& record, const SettingsSnapshot& settings) {
        History history;
        if (history.Open(ConfiguredHistoryPath(settings)) &&
            history.Append(ToHistory(record, "cli")))
            return;
        Tell(history.Error() + " The record of this send is not kept there.");
    }

    int Send() {
        ItemList items;
        std::int32_t sensorCount = 0;
        if (const int loaded = LoadWhole(items, sensorCount); loaded != kExitOk) return loaded;
        std::vector<std::size_t> chosen;
        if (!o_.items.empty()) {
            std::string unknown;
            const auto found = ItemsNamed(items, o_.items, unknown);
            if (!found) {
                Tell("The configuration " + DisplayText(o_.file) + " has no item named \"" +
                         DisplayText(unknown) + "\".",
                     "Error");
                return kExitUsage;
            }
            chosen = *found;
        }
        const SendPlan plan = o_.items.empty() ? PlanSend(items) : PlanSend(items, chosen);
        if (plan.Refused()) {
            Tell(plan.refusal, kCommsCaption);
            return kExitFailed;
        }
        const std::vector<TransferEngine::SendItem> send = plan.EngineItems();
        std::size_t bytes = 0;
        for (const EncodedItem& e : plan.items)
            bytes += SplitCommands(e.commands).size();
        std::string error;
        const std::optional<SettingsSnapshot> settings = RunSettings(o_, error);
        if (!settings) {
            Tell(error, "Error");
            return kExitUsage;
        }
        const BackupOptions kept = ReadBackupOptions(*settings);
        const std::string backupFolder = !o_.backupDir.empty() ? o_.backupDir
                                         : kept.keep           ? kept.folder
                                                               : std::string();
        if (!backupFolder.empty()) {
            if (const std::string problem = BackupFolderProblem(backupFolder); !problem.empty()) {
                Tell(problem + "\r\nNothing was sent.", "Error");
                return kExitUsage;
            }
        }
        BackupSendResult backup;
        bool verified = false;
        std::int64_t written = 0;
        const std::size_t messagesBefore = c_.ui.Messages().size();
        if (c_.interrupts.Interrupted()) return kExitInterrupted;
        const auto started = std::chrono::system_clock::now();
        const auto startedSteady = std::chrono::steady_clock::now();
        wantVersion_ = true;
        const auto op = [&](TransferEngine& engine) {
            verified = engine.Options().readAfterWrite || !backupFolder.empty();
            lastBytes_ = 0;
            Outcome sent = Outcome::Done;
            if (backupFolder.empty()) {
                sent = engine.SendConfiguration(send);
            } else {
                sent = SendWithBackup(engine, items, plan, sensorCount, backupFolder, backup);
                if (sent == Outcome::Refused) Tell(backup.refusal, kCommsCaption);
                // Writing starts once the backup is kept; the reads before count none.
                if (backup.backupPath.empty()) lastBytes_ = 0;
            }
            written = lastBytes_;
            return sent;
        };
        const int code = TransmitOn(*settings, op, /*wake=*/true);
        if (outcome_) {
            // A send that reached a port, whatever came of it.
            UnitRecord record = SendRecord(items, sensorCount, FullName(o_.file), device_);
            record.time = UtcTime(started);
            record.version = version_;
            record.bytesWritten = !Succeeded() ? written
                                  : backupFolder.empty()
                                      ? static_cast<std::int64_t>(bytes)
                                      : static_cast<std::int64_t>(backup.differed);
            record.backup = backup.backupPath;
            record.verified = Succeeded() && verified;
            record.outcome = OutcomeName(*outcome_);
            const std::vector<std::string>& messages = c_.ui.Messages();
            if (!Succeeded() && messages.size() > messagesBefore) record.message = messages.back();
            record.durationMs = ElapsedMs(startedSteady);
            KeepInHistory(record, *settings);
        }
        if (Succeeded() && backupFolder.empty()) {
            Summary("Sent " + Plural(send.size(), "item", "items") + " (" +
                    Plural(bytes, "byte", "bytes") + ") to " + device_ +
                    (verified ? ", each byte read back and verified." : ", not read back."));
        } else if (Succeeded()) {
            const std::string text = BackupSentText(backup);
            Summary(text.substr(0, text.find('\r')));
        }
        if (!backup.backupPath.empty())
            Summary("The transmitter's previous values are kept in " + backup.backupPath + ".");
        fields_ = [n = send.size(), bytes, verified, backup](JsonWriter& json) {
            json.Field("items", n).Field("bytes", bytes).Field("verified", verified);
            if (!backup.backupPath.empty()) {
                json.Field("backup", backup.backupPath)
                    .Field("planned_bytes", backup.bytes)
                    .Field("written", backup.differed);
            }
        };
        return code;
    }

    // Reads every item a read gives a value; `texts` gets the value text of
    // each item read, `skipped` whether some cannot be read as they are.
    int ReadAll(const ItemList& items, ReadValues& texts, bool& skipped) {
        const ReadPlan plan = PlanRead(items, ReadScope::ValuedItems);
        skipped = plan.skips;
        texts.assign(items.size(), std::nullopt);
        return Transmit([&](TransferEngine& engine) {
            return engine.ReadConfiguration(
                plan.items,
                plan.ToItems([&](std::size_t i, const std::string& value) { texts[i] = value; }));
        });
    }

    int Read() {
        ItemList items;
        std::int32_t sensorCount = 0;
        if (!Load(items, sensorCount)) return kExitUsage;
        std::error_code ec;
        if (!o_.force && std::filesystem::exists(o_.output, ec)) {
            Tell("The file " + o_.output + " exists; use --force to replace it.", "Error");
            return kExitUsage;
        }
        ReadValues texts;
        bool skipped = false;
        int code = ReadAll(items, texts, skipped);
        if (!Succeeded()) return code;

        const std::size_t count = ApplyValues(items, texts);
        std::string error;
        if (!WriteConfigFile(o_.output, sensorCount, items, error)) {
            Tell(error, "Error");
            return kExitUsage;
        }
        Summary("Read " + Plural(count, "item", "items") + " from " + device_ + " into " +
                o_.output + ".");
        std::vector<std::pair<ItemRef, std::string>> values;
        const auto sensors = SensorNames(items);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (texts[i]) values.emplace_back(Ref(items, sensors, i), *texts[i]);
        }
        fields_ = [output = o_.output, values](JsonWriter& json) {
            json.Field("output", output).Key("values").BeginArray();
            for (const auto& [ref, value] : values) {
                json.BeginObject();
                WriteRef(json, ref);
                json.Field("value", value).EndObject();
            }
            json.EndArray();
        };
        if (skipped && code == kExitOk) code = kExitFailed;
        return code;
    }

    int Compare() {
        ItemList items;
        std::int32_t sensorCount = 0;
        if (const int loaded = LoadWhole(items, sensorCount); loaded != kExitOk) return loaded;
        ReadValues texts;
        bool skipped = false;
        int code = ReadAll(items, texts, skipped);
        if (!Succeeded()) return code;

        const std::vector<Difference> differences = CompareValues(items, texts);
        std::size_t compared = 0;
        for (const auto& t : texts)
            compared += t ? 1 : 0;
        for (const Difference& d : differences) {
            Say("Item " + ItemDesignation(*items[d.item], d.sensor) + ": file " + d.fileValue +
                ", transmitter " + d.pttValue + ".");
        }
        Summary("Compared " + Plural(compared, "item", "items") + " with " + device_ + ": " +
                (differences.empty() ? "all the same."
                                     : Plural(differences.size(), "differs.", "differ.")));
        // Every item, and (as before the rows) the items that differ.
        fields_ = [compared, rows = CompareRows(items, texts)](JsonWriter& json) {
            const auto begin = [&json](const CompareRow& r) {
                json.BeginObject();
                WriteRef(json, {r.item, r.name, r.sensor, r.address});
                json.Field("file", r.fileValue).Key("transmitter");
                if (r.pttValue) {
                    json.String(*r.pttValue);
                } else {
                    json.Null();
                }
            };
            json.Field("compared", compared).Key("rows").BeginArray();
            for (const CompareRow& r : rows) {
                begin(r);
                json.Field("differs", r.differs).EndObject();
            }
            json.EndArray().Key("differences").BeginArray();
            for (const CompareRow& r : rows) {
                if (!r.differs) continue;
                begin(r);
                json.EndObject();
            }
            json.EndArray();
        };
        if ((skipped || !differences.empty()) && code == kExitOk) code = kExitFailed;
        return code;
    }

    int Version() {
        std::string version;
        const int code =
            Transmit([&](TransferEngine& engine) { return engine.QueryVersion(&version); });
        if (Succeeded()) {
            Say(version);
            fields_ = [version](JsonWriter& json) { json.Field("version", version); };
        }
        return code;
    }

    int Program() {
        std::string text;
        if (!ReadProgramText(o_.file, text)) {
            Tell("Cannot open the program file " + FullName(o_.file) + ".\r\nNothing was sent.",
                 "Error");
            return kExitUsage;
        }
        const std::uint32_t base = o_.base.value_or(0);
        const std::size_t bytes = BuildProgramCommands(text, base).commands.size();
        const int code =
            Transmit([&](TransferEngine& engine) { return engine.SendProgram(text, base); });
        // As the window: a download that went to its end is "sent", failed
        // verifications included (they were shown).
        if (outcome_ == Outcome::Done || outcome_ == Outcome::Mismatch ||
            outcome_ == Outcome::NoAnswer) {
            Info(kFileSent);
        }
        if (Succeeded()) {
            Summary("Sent " + Plural(bytes, "program byte", "program bytes") + " from address " +
                    DisplayLine::LongToString(static_cast<std::int32_t>(base), true) + " to " +
                    device_ + ".");
        }
        fields_ = [base, bytes](JsonWriter& json) {
            json.Field("base", base).Field("bytes", bytes);
        };
        return code;
    }

    int Dump() {
        const std::uint32_t from = o_.from.value_or(0);
        const std::uint32_t to = o_.to.value_or(0);
        std::vector<std::uint8_t> bytes;
        const auto count = static_cast<std::int32_t>(to - from + 1);
        const int code =
            Transmit([&](TransferEngine& engine) { return engine.ReadMemory(from, count, bytes); });
        if (Succeeded()) {
            if (!o_.json) c_.out << FormatDump(from, bytes);
            fields_ = [from, to, bytes](JsonWriter& json) {
                json.Field("from", from).Field("to", to).Key("bytes").BeginArray();
                for (std::uint8_t b : bytes)
                    json.Int(b);
                json.EndArray();
            };
        }
        return code;
    }

    // The exit string alone, for a transmitter left in its user interface.
    int StopCommand() {
        const int code =
            Transmit([](TransferEngine& engine) { return engine.Stop(); }, /*wake=*/false);
        if (Succeeded()) Summary("Sent the exit string to " + device_ + ".");
        return code;
    }

    // Programs a fleet. Everything that can be wrong with the input is found
    // before any port is touched (exit 2).
    int Fleet() {
        if (c_.interrupts.Interrupted()) return kExitInterrupted;
        std::string error;
        const std::optional<SettingsSnapshot> settings = RunSettings(o_, error);
        if (!settings) {
            Tell(error, "Error");
            return kExitUsage;
        }
        auto items = std::make_shared<ItemList>();
        FleetJob job;
        if (!Load(*items, job.sensorCount) || loadProblems_ > 0) return kExitUsage;
        if (const SendPlan plan = PlanSend(*items); plan.Refused()) {
            Tell(plan.refusal, kCommsCaption);
            return kExitUsage;
        }
        std::optional<std::vector<FleetId>> ids;
        if (!o_.ids.empty()) {
            ids = IdsFromRange(o_.ids, *items, error);
        } else if (std::string text; ReadWholeFile(o_.idList, text)) {
            ids = IdsFromList(text, *items, error);
        } else {
            error = "Cannot read the ID list " + o_.idList + ".";
        }
        if (!ids) {
            Tell(error, "Error");
            return kExitUsage;
        }
        job.items = items;
        job.configFile = FullName(o_.file);
        job.ids = std::move(*ids);
        job.ports = o_.ports;
        job.autoPorts = o_.autoPorts;
        if (o_.autoPorts && !o_.station) {
            // Without a station: the adapters plugged in now.
            job.ports = AdaptersIn(job.byIdFolder);
            if (job.ports.empty()) {
                Tell("No serial adapter is plugged in: " + job.byIdFolder + " is empty.", "Error");
                return kExitUsage;
            }
        }
        job.link = ReadLinkOptions(*settings);
        job.transfer = ReadTransferOptions(*settings);
        job.transfer.readAfterWrite = o_.verify.value_or(true);
        if (o_.waitMs) job.transfer.startWaitMs = *o_.waitMs;
        job.awakeWaitMs = settings->Get(keys::kAwakeWaitMs);
        job.retries = o_.retries.value_or(job.retries);
        job.burnFailed = o_.burnFailed;
        job.backupDir = o_.backupDir;
        job.station = o_.station;
        job.stationPollMs = settings->Get(keys::kStationPollMs);
        job.stationGoneMs = settings->Get(keys::kStationGoneMs);
        job.logPath = o_.log;
        job.resumeLog = o_.resume;
        job.historyPath = ConfiguredHistoryPath(*settings);
        if (const std::string why = CheckFleetJob(job); !why.empty()) {
            Tell(why, "Error");
            return kExitUsage;
        }

        const std::size_t ports = job.ports.size();
        FleetDisplay display(c_.progress.Stream(), c_.progress.DisplayMode(), c_.progress.Width());
        FleetTally tally;
        FleetCallbacks callbacks;
        callbacks.status = [&](const PortStatus& s) {
            tally.Status(s);
            display.Update(s);
        };
        callbacks.record = [&](const UnitRecord& r) { tally.Record(r); };
        callbacks.notice = [&](const std::string& text) { display.Notice(text, c_.ui); };
        FleetEngine engine(std::move(job), std::move(callbacks), &c_.interrupts.Flag());
        const FleetSummary summary = engine.Run();
        display.Finish();

        const std::vector<FleetUnit> units = tally.Units();
        const int code = FleetExitCode(summary, units, tally.PortsFailed(), ports, o_.station);
        if (!o_.json) {
            c_.out << FormatFleetUnits(units);
            Summary(std::to_string(summary.programmed) + " programmed, " +
                    std::to_string(summary.alreadyDone) + " already done, " +
                    std::to_string(summary.failed) + " failed" +
                    (summary.cancelled ? "; cancelled." : ".") + " Log: " + o_.log);
            if (!summary.left.empty()) Summary("IDs left over: " + IdRangesText(summary.left));
        }
        fields_ = [summary, units, log = o_.log](JsonWriter& json) {
            json.Field("log", log);
            WriteFleetJson(json, summary, units);
        };
        return code;
    }

    // The device a link leads to; the name itself when it is none.
    static std::string DeviceOf(const std::string& port) {
        std::error_code ec;
        if (port.empty() || !std::filesystem::is_symlink(port, ec)) return port;
        const auto device = std::filesystem::canonical(port, ec);
        return ec ? port : device.string();
    }

    // The entries of the by-id folder, sorted.
    static std::vector<std::string> AdaptersIn(const std::string& folder) {
        std::vector<std::string> found;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            found.push_back(entry.path().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    // The programming history, newest first. A database that is not there
    // yet holds no record.
    int HistoryCommand() {
        std::string error;
        const std::optional<SettingsSnapshot> settings = RunSettings(o_, error);
        if (!settings) {
            Tell(error, "Error");
            return kExitUsage;
        }
        const std::string path = ConfiguredHistoryPath(*settings);
        std::vector<HistoryRecord> records;
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            History history;
            HistoryFilter filter;
            if (o_.pttId) filter.pttId = *o_.pttId;
            filter.since = o_.since;
            // A port named by a link also finds the records of its device.
            std::vector<std::string> ports = {o_.port.value_or("")};
            if (const std::string device = DeviceOf(ports[0]); device != ports[0])
                ports.push_back(device);
            bool ok = history.Open(path);
            for (std::size_t k = 0; ok && k < ports.size(); ++k) {
                filter.port = ports[k];
                const std::optional<std::vector<HistoryRecord>> found = history.Query(filter);
                ok = found.has_value();
                if (ok) records.insert(records.end(), found->begin(), found->end());
            }
            if (!ok) {
                Tell(history.Error(), "Error");
                return kExitUsage;
            }
            if (ports.size() > 1) {
                std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
                    return std::tie(a.time, a.rowId) > std::tie(b.time, b.rowId);
                });
                records.erase(
                    std::unique(records.begin(), records.end(),
                                [](const auto& a, const auto& b) { return a.rowId == b.rowId; }),
                    records.end());
            }
        }
        if (records.empty()) {
            Summary("No records in the programming history " + path + ".");
        } else if (!o_.json) {
            c_.out << FormatHistory(records);
        }
        fields_ = [path, records](JsonWriter& json) {
            json.Field("database", path).Key("records").BeginArray();
            for (const HistoryRecord& r : records)
                WriteHistoryRecord(json, r);
            json.EndArray();
        };
        return kExitOk;
    }

    // The memory map as a table, JSON rows or an SVG picture. As check: 1
    // when the file has problems or items overlap.
    int MapCommand() {
        std::error_code ec;
        if (!o_.svg.empty() && !o_.force && std::filesystem::exists(o_.svg, ec)) {
            Tell("The file " + o_.svg + " exists; use --force to replace it.", "Error");
            return kExitUsage;
        }
        ItemList items;
        std::int32_t sensorCount = 0;
        if (!Load(items, sensorCount)) return kExitUsage;
        const auto map = std::make_shared<const MemoryMap>(items);
        if (!o_.svg.empty()) {
            std::string error;
            if (!WriteWholeFile(o_.svg, MapSvg(*map, "Memory map of " + o_.file), error)) {
                Tell(error, "Error");
                return kExitUsage;
            }
        } else if (!o_.json) {
            c_.out << FormatMapTable(*map);
        }
        Summary(MapSummaryText(*map, o_.file, o_.svg));
        fields_ = [map, svg = o_.svg](JsonWriter& json) {
            WriteMapJson(json, *map);
            if (!svg.empty()) json.Field("svg", svg);
        };
        return loadProblems_ == 0 && map->OverlapCount() == 0 ? kExitOk : kExitFailed;
    }

    int Finish(int code) {
        WriteJson(code);
        return code;
    }

    void WriteJson(int code) {
        if (!o_.json) return;
        JsonWriter json;
        json.BeginObject().Field("command", CommandName(o_.command));
        if (!o_.file.empty()) json.Field("file", o_.file);
        if (!device_.empty()) json.Field("port", device_);
        if (outcome_) json.Field("outcome", OutcomeName(*outcome_));
        json.Field("exit", code).Field("ok", code == kExitOk);
        if (fields_) fields_(json);
        json.Key("messages").BeginArray();
        for (const std::string& m : c_.ui.Messages())
            json.String(m);
        json.EndArray().EndObject();
        c_.out << json.Text() << '\n' << std::flush;
    }

    const Options& o_;
    Console& c_;
    std::string device_;
    std::optional<Outcome> outcome_;
    std::function<void(JsonWriter&)> fields_;
    std::size_t loadProblems_ = 0; // problems the loader found in the file
    bool wantVersion_ = false;     // a send asks for the version after the wake-up
    std::string version_;          // the transmitter's, once asked for
    std::int64_t lastBytes_ = 0;   // of the transfer's last progress
};

} // namespace

int Run(const Options& options, Console& console) {
    return Runner(options, console).Run();
}

int UsageError(const ParseResult& parsed, std::ostream& out, std::ostream& err) {
    err << kProgramName << ": " << DisplayText(parsed.error) << "\nTry '" << kProgramName
        << " --help'.\n";
    if (parsed.options.json) {
        JsonWriter json;
        json.BeginObject()
            .Field("exit", kExitUsage)
            .Field("ok", false)
            .Field("error", parsed.error)
            .EndObject();
        out << json.Text() << '\n';
    }
    return kExitUsage;
}

} // namespace nimbrel::cli
