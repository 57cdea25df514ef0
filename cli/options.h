// The command line of nimbrel-cli: subcommands, options and exit codes, and
// the parser that turns an argument list into Options or a usage error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel::cli {

// Exit codes a script can rely on.
inline constexpr int kExitOk = 0;
// A check failed, a file has problems, a verify mismatch, compare found differences.
inline constexpr int kExitFailed = 1;
// Usage, or a file that cannot be read or written or holds no configuration.
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPort = 3;     // the port cannot be opened or went away
inline constexpr int kExitNoAnswer = 4; // the transmitter did not answer in time
inline constexpr int kExitInterrupted = 130;

enum class Command {
    None,
    Check,
    Encode,
    Send,
    Read,
    Compare,
    Version,
    Program,
    Dump,
    Stop,
    Fleet,
    History,
    Map
};

enum class Format { Commands, Hex, Json };

struct Options {
    Command command = Command::None;
    std::string file;   // FILE.cfg, or FILE.prg for program
    std::string output; // read -o OUT.cfg
    Format format = Format::Commands;
    std::optional<std::string> port;     // device used instead of the settings' port
    std::optional<std::int32_t> baud;    // [COM] baud
    std::optional<bool> verify;          // [FILE TRANSFER] ReadAfterWrite
    std::optional<std::string> settings; // settings file instead of ./Nimbrel.ini
    std::optional<std::int32_t> waitMs;  // the start wait
    std::optional<std::uint32_t> base;   // program --base
    std::optional<std::uint32_t> from;   // dump --from
    std::optional<std::uint32_t> to;     // dump --to

    // fleet
    std::string ids;                // --ids START-END
    std::string idList;             // --id-list FILE
    std::vector<std::string> ports; // --ports DEV,DEV...
    bool autoPorts = false;         // --ports auto
    std::string log;                // --log FLEET.jsonl
    std::optional<int> retries;     // --retries N
    bool burnFailed = false;
    std::string backupDir; // --backup DIR (also send)
    bool station = false;
    std::string resume; // --resume LOG

    // send
    std::vector<std::string> items; // --items NAME,NAME...

    // history (its --port is a filter)
    std::optional<std::int32_t> pttId; // --id N
    std::string since;                 // --since DATE

    std::string svg; // map --svg OUT.svg

    bool json = false;
    bool quiet = false;
    bool force = false;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    Options options;
    std::string error; // why the command line cannot be used; "" when it can
};

// Options may come before or after the subcommand, as "--name value" or
// "--name=value"; "--" ends the options. --help and --version win over
// everything else.
ParseResult ParseArguments(const std::vector<std::string>& args);

// The subcommand's name ("send"), "" for None.
const char* CommandName(Command command);

// The line rates --baud takes, those the serial layer can set: "110, 150, ...".
std::string BaudRatesText();

// Whether the subcommand talks to a transmitter.
bool NeedsTransmitter(Command command);

// The --help text: subcommands, options and exit codes.
std::string UsageText();

} // namespace nimbrel::cli
