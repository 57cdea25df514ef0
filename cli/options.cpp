#include "cli/options.h"

#include "link/comstream.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <regex>

#include <limits>

#include <termios.h>

namespace nimbrel::cli {
namespace {

constexpr std::uint32_t kLastAddress = 0xFFFF;
constexpr std::int32_t kMaxWaitSeconds = 86400;

// Every rate termios has a name for; the serial layer sets some of them.
constexpr std::array<std::int32_t, 30> kTermiosRates = {
    50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};

struct CommandInfo {
    Command command;
    const char* name;
    int operands; // FILE arguments it takes
    bool transmitter;
};

constexpr std::array<CommandInfo, 12> kCommands = {{
    {Command::Check, "check", 1, false},
    {Command::Encode, "encode", 1, false},
    {Command::Send, "send", 1, true},
    {Command::Read, "read", 1, true},
    {Command::Compare, "compare", 1, true},
    {Command::Version, "version", 0, true},
    {Command::Program, "program", 1, true},
    {Command::Dump, "dump", 0, true},
    {Command::Stop, "stop", 0, true},
    {Command::Fleet, "fleet", 1, true},
    {Command::History, "history", 0, false},
    {Command::Map, "map", 1, false},
}};

constexpr int kMaxRetries = 99;

const CommandInfo* Find(Command command) {
    for (const auto& c : kCommands) {
        if (c.command == command) return &c;
    }
    return nullptr;
}

bool AllOf(const std::string& s, int (*test)(int)) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [test](char c) {
        return test(static_cast<unsigned char>(c)) != 0;
    });
}

// "1a2b", "0x1a2b": up to 8 hex digits.
std::optional<std::uint32_t> ParseHex(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
    if (text.size() > 8 || !AllOf(text, std::isxdigit)) return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
}

// Seconds with up to three decimals, as milliseconds.
std::optional<std::int32_t> ParseSeconds(const std::string& text) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (!AllOf(whole, std::isdigit) || whole.size() > 6) return std::nullopt;
    if (point != std::string::npos && (!AllOf(fraction, std::isdigit) || fraction.size() > 3))
        return std::nullopt;
    const std::int32_t seconds = std::stoi(whole);
    if (seconds > kMaxWaitSeconds) return std::nullopt;
    fraction.resize(3, '0');
    return seconds * 1000 + std::stoi(fraction);
}

// A whole decimal number from 0 to `max`.
std::optional<std::int64_t> ParseCount(const std::string& text, std::int64_t max) {
    if (!AllOf(text, std::isdigit) || text.size() > 10) return std::nullopt;
    const std::int64_t value = std::stoll(text);
    if (value > max) return std::nullopt;
    return value;
}

// "YYYY-MM-DD", optionally followed by "THH:MM", ":SS", ".fff" and "Z", each
// field within its range.
bool IsDateOrTime(const std::string& text) {
    static const std::regex form(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:T(\d{2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?)?Z?$)");
    std::smatch m;
    if (!std::regex_match(text, m, form)) return false;
    auto field = [&m](std::size_t i, int low, int high) {
        if (!m[i].matched) return true;
        const int value = std::stoi(m[i].str());
        return value >= low && value <= high;
    };
    return field(2, 1, 12) && field(3, 1, 31) && field(4, 0, 23) && field(5, 0, 59) &&
           field(6, 0, 59);
}

// "DEV,DEV,...": no empty entry.
std::optional<std::vector<std::string>> SplitAtCommas(const std::string& text) {
    std::vector<std::string> ports;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        ports.push_back(text.substr(start, comma - start));
        if (ports.back().empty()) return std::nullopt;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ports;
}

bool SerialLayerSets(std::int32_t baud) {
    if (baud <= 0) return false;
    LineSettings settings;
    settings.baud = static_cast<std::uint32_t>(baud);
    termios t{};
    return FillTermios(settings, t);
}

std::optional<std::int32_t> ParseBaud(const std::string& text) {
    if (!AllOf(text, std::isdigit) || text.size() > 7) return std::nullopt;
    const std::int32_t baud = std::stoi(text);
    if (!SerialLayerSets(baud)) return std::nullopt;
    return baud;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : args_(args) {}

    ParseResult Run() {
        std::vector<std::string> operands;
        bool optionsEnd = false;
        for (i_ = 0; i_ < args_.size() && error_.empty(); ++i_) {
            const std::string& arg = args_[i_];
            if (!optionsEnd && arg == "--") {
                optionsEnd = true;
            } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
                Option(arg);
            } else {
                operands.push_back(arg);
            }
        }
        if (o_.help || o_.version) return {o_, {}};
        if (error_.empty()) Check(operands);
        return {o_, error_};
    }

private:
    // The option's value: after "=", else the next argument.
    std::optional<std::string> Value(const std::string& name,
                                     const std::optional<std::string>& inline_) {
        if (inline_) {
            if (inline_->empty()) Fail(name + " needs a value");
            return inline_->empty() ? std::nullopt : inline_;
        }
        if (i_ + 1 >= args_.size()) {
            Fail(name + " needs a value");
            return std::nullopt;
        }
        return args_[++i_];
    }

    void Option(const std::string& arg) {
        std::string name = arg;
        std::optional<std::string> inline_;
        if (const std::size_t eq = arg.find('=');
            arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inline_ = arg.substr(eq + 1);
        }
        auto flag = [&](bool& target, bool value) {
            if (inline_) return Fail(name + " takes no value");
            target = value;
        };
        if (name == "--help" || name == "-h") return flag(o_.help, true);
        if (name == "--version") return flag(o_.version, true);
        if (name == "--json") return flag(o_.json, true);
        if (name == "--quiet" || name == "-q") return flag(o_.quiet, true);
        if (name == "--force" || name == "-f") return flag(o_.force, true);
        if (name == "--burn-failed") return flag(o_.burnFailed, true);
        if (name == "--station") return flag(o_.station, true);
        if (name == "--verify" || name == "--no-verify") {
            if (inline_) return Fail(name + " takes no value");
            o_.verify = name == "--verify";
            return;
        }

        static constexpr std::array<const char*, 21> kValued = {
            "--port",    "--baud",   "--settings", "--wait", "--format",  "--output", "-o",
            "--base",    "--from",   "--to",       "--ids",  "--id-list", "--ports",  "--log",
            "--retries", "--backup", "--resume",   "--id",   "--since",   "--svg",    "--items"};
        if (std::find(kValued.begin(), kValued.end(), name) == kValued.end()) {
            return Fail("unknown option " + name);
        }
        const std::optional<std::string> value = Value(name, inline_);
        if (!value) return;
        if (name == "--port") {
            o_.port = *value;
        } else if (name == "--settings") {
            o_.settings = *value;
        } else if (name == "--output" || name == "-o") {
            o_.output = *value;
        } else if (name == "--ids") {
            o_.ids = *value;
        } else if (name == "--id-list") {
            o_.idList = *value;
        } else if (name == "--log") {
            o_.log = *value;
        } else if (name == "--backup") {
            o_.backupDir = *value;
        } else if (name == "--resume") {
            o_.resume = *value;
        } else if (name == "--svg") {
            o_.svg = *value;
        } else if (name == "--items") {
            const auto names = SplitAtCommas(*value);
            o_.items = names.value_or(std::vector<std::string>{});
            if (!names)
                Fail("--items needs item names separated by commas, not \"" + *value + "\"");
        } else if (name == "--ports") {
            const auto ports = SplitAtCommas(*value);
            o_.autoPorts = *value == "auto";
            o_.ports = o_.autoPorts || !ports ? std::vector<std::string>{} : *ports;
            if (!ports)
                Fail("--ports needs devices separated by commas, or auto, not \"" + *value + "\"");
        } else if (name == "--retries") {
            const auto n = ParseCount(*value, kMaxRetries);
            o_.retries = n ? std::optional<int>(static_cast<int>(*n)) : std::nullopt;
            if (!n) {
                Fail("--retries needs a whole number from 0 to " + std::to_string(kMaxRetries) +
                     ", not \"" + *value + "\"");
            }
        } else if (name == "--id") {
            const auto n = ParseCount(*value, std::numeric_limits<std::int32_t>::max());
            o_.pttId =
                n ? std::optional<std::int32_t>(static_cast<std::int32_t>(*n)) : std::nullopt;
            if (!n) Fail("--id needs a PTT ID (a whole number), not \"" + *value + "\"");
        } else if (name == "--since") {
            o_.since = *value;
            if (!IsDateOrTime(*value)) {
                Fail("--since needs a date YYYY-MM-DD or a UTC time YYYY-MM-DDTHH:MM:SSZ, not \"" +
                     *value + "\"");
            }
        } else if (name == "--baud") {
            o_.baud = ParseBaud(*value);
            if (!o_.baud)
                Fail("--baud needs one of " + BaudRatesText() + ", not \"" + *value + "\"");
        } else if (name == "--wait") {
            o_.waitMs = ParseSeconds(*value);
            if (!o_.waitMs) {
                Fail("--wait needs seconds from 0 to 86400 (at most 3 decimals), not \"" + *value +
                     "\"");
            }
        } else if (name == "--format") {
            formatGiven_ = true;
            if (*value == "commands") {
                o_.format = Format::Commands;
            } else if (*value == "hex") {
                o_.format = Format::Hex;
            } else if (*value == "json") {
                o_.format = Format::Json;
            } else {
                Fail("--format is commands, hex or json, not \"" + *value + "\"");
            }
        } else {
            std::optional<std::uint32_t>& target = name == "--base"   ? o_.base
                                                   : name == "--from" ? o_.from
                                                                      : o_.to;
            target = ParseHex(*value);
            if (!target || *target > kLastAddress) {
                target.reset();
                Fail(name + " needs a hexadecimal address from 0 to FFFF, not \"" + *value + "\"");
            }
        }
    }

    void Check(const std::vector<std::string>& operands) {
        if (operands.empty()) return Fail("no command given");
        const CommandInfo* info = nullptr;
        for (const auto& c : kCommands) {
            if (operands[0] == c.name) info = &c;
        }
        if (info == nullptr) return Fail("unknown command \"" + operands[0] + "\"");
        o_.command = info->command;
        const std::string name = info->name;
        const auto given = static_cast<int>(operands.size()) - 1;
        if (given < info->operands) {
            return Fail(
                name + " needs " +
                (o_.command == Command::Program ? "a program file" : "a configuration file"));
        }
        if (given > info->operands)
            return Fail("too many arguments for " + name + ": " + operands.back());
        if (info->operands == 1) o_.file = operands[1];

        auto only = [&](bool given, const char* option, Command owner) {
            if (given && o_.command != owner) {
                Fail(std::string(option) + " is an option of " + CommandName(owner) + " only");
            }
        };
        only(!o_.output.empty(), "-o", Command::Read);
        only(formatGiven_, "--format", Command::Encode);
        only(o_.base.has_value(), "--base", Command::Program);
        only(o_.from.has_value(), "--from", Command::Dump);
        only(o_.to.has_value(), "--to", Command::Dump);
        only(!o_.ids.empty(), "--ids", Command::Fleet);
        only(!o_.idList.empty(), "--id-list", Command::Fleet);
        only(!o_.ports.empty() || o_.autoPorts, "--ports", Command::Fleet);
        only(!o_.log.empty(), "--log", Command::Fleet);
        only(o_.retries.has_value(), "--retries", Command::Fleet);
        only(o_.burnFailed, "--burn-failed", Command::Fleet);
        if (!o_.backupDir.empty() && o_.command != Command::Fleet && o_.command != Command::Send)
            Fail("--backup is an option of send and fleet only");
        only(!o_.items.empty(), "--items", Command::Send);
        only(o_.station, "--station", Command::Fleet);
        only(!o_.resume.empty(), "--resume", Command::Fleet);
        only(o_.pttId.has_value(), "--id", Command::History);
        only(!o_.since.empty(), "--since", Command::History);
        only(!o_.svg.empty(), "--svg", Command::Map);
        if (o_.port && o_.command == Command::Fleet) Fail("fleet takes --ports, not --port");
        if (!error_.empty()) return;

        switch (o_.command) {
        case Command::Read:
            if (o_.output.empty()) Fail("read needs -o OUT.cfg");
            break;
        case Command::Encode:
            if (o_.json && formatGiven_ && o_.format != Format::Json) {
                Fail("--json asks for --format json");
            } else if (o_.json || o_.format == Format::Json) {
                o_.json = true;
                o_.format = Format::Json;
            }
            break;
        case Command::Program:
            if (!o_.base) Fail("program needs --base HEX");
            break;
        case Command::Fleet:
            if (o_.ids.empty() == o_.idList.empty()) {
                Fail(o_.ids.empty() ? "fleet needs --ids START-END or --id-list FILE"
                                    : "fleet takes --ids or --id-list, not both");
            } else if (o_.ports.empty() && !o_.autoPorts) {
                Fail("fleet needs --ports DEV[,DEV...] or --ports auto");
            } else if (o_.log.empty()) {
                Fail("fleet needs --log FLEET.jsonl");
            }
            break;
        case Command::Dump:
            if (!o_.from || !o_.to) {
                Fail("dump needs --from HEX and --to HEX");
            } else if (*o_.from > *o_.to) {
                Fail("--from must not lie above --to");
            }
            break;
        default:
            break;
        }
    }

    void Fail(const std::string& why) {
        if (error_.empty()) error_ = why;
    }

    const std::vector<std::string>& args_;
    std::size_t i_ = 0;
    Options o_;
    bool formatGiven_ = false;
    std::string error_;
};

} // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
    return Parser(args).Run();
}

std::string BaudRatesText() {
    std::string text;
    for (const std::int32_t rate : kTermiosRates) {
        if (!SerialLayerSets(rate)) continue;
        text += (text.empty() ? "" : ", ") + std::to_string(rate);
    }
    return text;
}

const char* CommandName(Command command) {
    const CommandInfo* info = Find(command);
    return info != nullptr ? info->name : "";
}

bool NeedsTransmitter(Command command) {
    const CommandInfo* info = Find(command);
    return info != nullptr && info->transmitter;
}

std::string UsageText() {
    return R"(Usage: nimbrel-cli [OPTIONS] COMMAND [ARGUMENTS]
Sets up a transmitter over its serial cable without a window.

Commands without a transmitter:
  check FILE.cfg               check every item: one line per problem
  encode FILE.cfg [--format commands|hex|json]
                               the bytes a send would write (a dry run)
  history [--id N] [--port DEV] [--since DATE]
                               what went into which unit, when, from which
                               file: the programming history, newest first
  map FILE.cfg [--svg OUT.svg] the memory map: the addresses each item
                               writes, in address order, with the free
                               gaps and the overlapping items marked; --svg
                               draws it as a picture (--force replaces OUT.svg)
Commands with a transmitter (wake it, do the work, put it back to sleep):
  send FILE.cfg                write the configuration
  read FILE.cfg -o OUT.cfg     read the transmitter's values into a copy of
                               FILE.cfg's layout (--force replaces OUT.cfg)
  compare FILE.cfg             read every item, list those that differ
                               (--json: a row for every item)
  version                      the transmitter's software version
  program FILE.prg --base HEX  download a program from address HEX on
  dump --from HEX --to HEX     a hex dump of the memory bytes
  stop                         send the exit string only: puts a transmitter
                               left in its user interface back to sleep
  fleet FILE.cfg --ids START-END|--id-list FILE --ports DEV[,DEV...]|auto
        --log FLEET.jsonl      program one unit per port, all ports at once,
                               each with its own PTT ID; one record per
                               attempt in the log and the history
A transmitter that sends no wake-up byte for a while ([TIMING] AwakeWaitMs,
2000 ms) but answers the version query is taken as awake already.

Options:
  --port DEVICE      the serial device to use instead of the settings' port
  --baud N           the line rate instead of the settings' [COM] baud
  --verify           read every written byte back and compare it
  --no-verify        do not (without either, the settings' [FILE TRANSFER]
                     ReadAfterWrite decides)
  --settings FILE    the settings file (default: Nimbrel.ini here); never written
  --wait SECONDS     how long to wait for the transmitter to wake
  --json             results as JSON on standard output
  --quiet            no progress and no summary lines
  --force            replace an existing output file
  --help             this text
Options of send:
  --items NAME,...   send only the items of these names
  --backup DIR       first read the bytes the send will write and keep them
                     as DIR/<PTT ID>-<UTC time>.cfg (sending that file restores
                     them), then write and verify only the bytes that differ;
                     the settings' [BACKUP] Keep=1 does so in their Folder
Options of fleet:
  --ids START-END    the PTT IDs, each checked against the PTT ID item's limits
  --id-list FILE     the PTT IDs, one a line ("#" starts a comment)
  --ports DEV,...    the ports, one unit on each; auto: every adapter in
                     /dev/serial/by-id (with --station: watched)
  --log FLEET.jsonl  the run's log, one JSON record per attempt (appended)
  --retries N        further attempts on a unit that fails (default 2)
  --burn-failed      a failed unit's ID is not used again
  --backup DIR       keep each unit's configuration as read before the send
  --station          watch the ports and program each unit plugged in, until
                     Ctrl+C or no ID is left
  --resume LOG       skip the IDs that LOG shows done with this configuration
  --no-verify        do not read the written bytes back (fleet verifies unless told)
Options of history:
  --id N             only the records of PTT ID N
  --port DEV         only the records of this port (device or by-id name)
  --since DATE       only records from DATE (YYYY-MM-DD, or YYYY-MM-DDTHH:MM:SSZ) on
  --version          the program's version
Options of map:
  --svg OUT.svg      write the map as an SVG picture instead of the table

Results go to standard output; messages and progress to standard error.

Exit codes:
  0    success (fleet: every unit programmed and verified, or found done)
  1    a check failed, a file has problems, a verify mismatch, compare
       found differences, or some units of a fleet failed
  2    usage, or a file that cannot be read or written or holds no
       configuration
  3    the port cannot be opened or went away
  4    the transmitter did not answer in time
  130  interrupted (Ctrl+C): the transmitter is put back to sleep if it was
       woken, and the port is released
)";
}

} // namespace nimbrel::cli
