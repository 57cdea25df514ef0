#include "cli/options.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace nimbrel::cli;

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// The options that matter, as one comparable text.
std::string Summary(const Options& o) {
    std::string s = CommandName(o.command);
    auto add = [&s](const std::string& part) { s += " " + part; };
    if (!o.file.empty()) add("file=" + o.file);
    if (!o.output.empty()) add("out=" + o.output);
    if (o.command == Command::Encode) {
        add(o.format == Format::Commands ? "commands" : o.format == Format::Hex ? "hex" : "json");
    }
    if (o.port) add("port=" + *o.port);
    if (o.baud) add("baud=" + std::to_string(*o.baud));
    if (o.verify) add(*o.verify ? "verify" : "no-verify");
    if (o.settings) add("settings=" + *o.settings);
    if (o.waitMs) add("waitMs=" + std::to_string(*o.waitMs));
    if (o.base) add("base=" + std::to_string(*o.base));
    if (o.from) add("from=" + std::to_string(*o.from));
    if (o.to) add("to=" + std::to_string(*o.to));
    if (!o.ids.empty()) add("ids=" + o.ids);
    if (!o.idList.empty()) add("list=" + o.idList);
    for (std::size_t i = 0; i < o.ports.size(); ++i)
        add((i == 0 ? "ports=" : "+") + o.ports[i]);
    if (o.autoPorts) add("auto");
    if (!o.log.empty()) add("log=" + o.log);
    if (o.retries) add("retries=" + std::to_string(*o.retries));
    if (o.burnFailed) add("burn");
    if (!o.backupDir.empty()) add("backup=" + o.backupDir);
    for (std::size_t i = 0; i < o.items.size(); ++i)
        add((i == 0 ? "items=" : "+") + o.items[i]);
    if (o.station) add("station");
    if (!o.resume.empty()) add("resume=" + o.resume);
    if (o.pttId) add("id=" + std::to_string(*o.pttId));
    if (!o.since.empty()) add("since=" + o.since);
    if (o.json) add("json");
    if (o.quiet) add("quiet");
    if (o.force) add("force");
    if (o.help) add("help");
    if (o.version) add("version");
    return s;
}

} // namespace

TEST(CliOptions, CommandLinesThatParse) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"check a.cfg", "check file=a.cfg"},
        {"encode a.cfg", "encode file=a.cfg commands"},
        {"encode a.cfg --format hex", "encode file=a.cfg hex"},
        {"--format=json encode a.cfg", "encode file=a.cfg json json"},
        {"--json encode a.cfg", "encode file=a.cfg json json"},
        {"send a.cfg --port /dev/pts/4 --baud 4800 --verify",
         "send file=a.cfg port=/dev/pts/4 baud=4800 verify"},
        {"--no-verify --verify --no-verify send a.cfg", "send file=a.cfg no-verify"},
        {"read a.cfg -o b.cfg --force", "read file=a.cfg out=b.cfg force"},
        {"read --output=b.cfg a.cfg", "read file=a.cfg out=b.cfg"},
        {"compare a.cfg --settings my.ini --json --quiet",
         "compare file=a.cfg settings=my.ini json quiet"},
        {"version --wait 2.5", "version waitMs=2500"},
        {"version --wait 0", "version waitMs=0"},
        {"version --wait 86400", "version waitMs=86400000"},
        {"program p.prg --base b600", "program file=p.prg base=46592"},
        {"program --base 0xFFFF p.prg", "program file=p.prg base=65535"},
        {"dump --from 100 --to 1ff", "dump from=256 to=511"},
        {"dump --from 7 --to 7", "dump from=7 to=7"},
        {"send -- --odd-name.cfg", "send file=--odd-name.cfg"},
        {"send -q -f a.cfg", "send file=a.cfg quiet force"},
        {"send a.cfg --items=A,B --backup bk", "send file=a.cfg backup=bk items=A +B"},
        {"fleet a.cfg --ids 12000-12063 --ports /dev/ttyUSB0,/dev/ttyUSB1 --log f.jsonl",
         "fleet file=a.cfg ids=12000-12063 ports=/dev/ttyUSB0 +/dev/ttyUSB1 log=f.jsonl"},
        {"--json fleet a.cfg --id-list ids.txt --ports=auto --log=f.jsonl --retries 0 "
         "--burn-failed --backup bk --station --resume old.jsonl --no-verify --baud 4800",
         "fleet file=a.cfg baud=4800 no-verify list=ids.txt auto log=f.jsonl retries=0 burn "
         "backup=bk station resume=old.jsonl json"},
        {"fleet a.cfg --ids 1-2 --ports p --log l --retries 99 --wait 5",
         "fleet file=a.cfg waitMs=5000 ids=1-2 ports=p log=l retries=99"},
        {"history", "history"},
        {"history --id 12034 --port /dev/ttyUSB0 --since 2026-12-01 --json",
         "history port=/dev/ttyUSB0 id=12034 since=2026-12-01 json"},
        {"history --since 2026-12-09T18:03Z --id 0", "history id=0 since=2026-12-09T18:03Z"},
        {"history --since=2026-12-09T18:03:04.5", "history since=2026-12-09T18:03:04.5"},
        {"--help", " help"},
        {"bogus --help", " help"},
        {"send --version", " version"},
    };
    for (const auto& [line, expected] : rows) {
        const ParseResult r = ParseArguments(Words(line));
        EXPECT_EQ(r.error, "") << line;
        EXPECT_EQ(Summary(r.options), expected) << line;
    }
}

// The rates the serial layer sets, as --baud names them.
const std::string kRates =
    "110, 150, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400";

TEST(CliOptions, UsageErrors) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", "no command given"},
        {"--json", "no command given"},
        {"frobnicate a.cfg", "unknown command \"frobnicate\""},
        {"send", "send needs a configuration file"},
        {"program --base 0", "program needs a program file"},
        {"send a.cfg b.cfg", "too many arguments for send: b.cfg"},
        {"version a.cfg", "too many arguments for version: a.cfg"},
        {"send a.cfg --bogus", "unknown option --bogus"},
        {"send a.cfg -x", "unknown option -x"},
        {"send a.cfg --port", "--port needs a value"},
        {"send a.cfg --port=", "--port needs a value"},
        {"send a.cfg --quiet=yes", "--quiet takes no value"},
        {"send a.cfg --baud 96OO", "--baud needs one of " + kRates + ", not \"96OO\""},
        {"send a.cfg --baud 12", "--baud needs one of " + kRates + ", not \"12\""},
        {"send a.cfg --baud 12345", "--baud needs one of " + kRates + ", not \"12345\""},
        {"send a.cfg --baud 0", "--baud needs one of " + kRates + ", not \"0\""},
        {"send a.cfg --wait -1",
         "--wait needs seconds from 0 to 86400 (at most 3 decimals), not \"-1\""},
        {"send a.cfg --wait 1.2345",
         "--wait needs seconds from 0 to 86400 (at most 3 decimals), not \"1.2345\""},
        {"send a.cfg --wait 86401",
         "--wait needs seconds from 0 to 86400 (at most 3 decimals), not \"86401\""},
        {"read a.cfg", "read needs -o OUT.cfg"},
        {"send a.cfg -o b.cfg", "-o is an option of read only"},
        {"compare a.cfg --items A", "--items is an option of send only"},
        {"read a.cfg -o b.cfg --backup bk", "--backup is an option of send and fleet only"},
        {"send a.cfg --items A,,B", "--items needs item names separated by commas, not \"A,,B\""},
        {"send a.cfg --format hex", "--format is an option of encode only"},
        {"encode a.cfg --format text", "--format is commands, hex or json, not \"text\""},
        {"encode a.cfg --format hex --json", "--json asks for --format json"},
        {"program p.prg", "program needs --base HEX"},
        {"program p.prg --base 10000",
         "--base needs a hexadecimal address from 0 to FFFF, not \"10000\""},
        {"program p.prg --base g1",
         "--base needs a hexadecimal address from 0 to FFFF, not \"g1\""},
        {"dump --from 10", "dump needs --from HEX and --to HEX"},
        {"dump --from 20 --to 1f", "--from must not lie above --to"},
        {"version --from 1", "--from is an option of dump only"},
        {"fleet", "fleet needs a configuration file"},
        {"fleet a.cfg --ports p --log l", "fleet needs --ids START-END or --id-list FILE"},
        {"fleet a.cfg --ids 1-2 --id-list l --ports p --log l",
         "fleet takes --ids or --id-list, not both"},
        {"fleet a.cfg --ids 1-2 --log l", "fleet needs --ports DEV[,DEV...] or --ports auto"},
        {"fleet a.cfg --ids 1-2 --ports p", "fleet needs --log FLEET.jsonl"},
        {"fleet a.cfg --ids 1-2 --ports a,,b --log l",
         "--ports needs devices separated by commas, or auto, not \"a,,b\""},
        {"fleet a.cfg --ids 1-2 --ports a, --log l",
         "--ports needs devices separated by commas, or auto, not \"a,\""},
        {"fleet a.cfg --ids 1-2 --ports p --log l --retries 100",
         "--retries needs a whole number from 0 to 99, not \"100\""},
        {"fleet a.cfg --ids 1-2 --ports p --log l --retries -1",
         "--retries needs a whole number from 0 to 99, not \"-1\""},
        {"fleet a.cfg --ids 1-2 --ports p --log l --port q", "fleet takes --ports, not --port"},
        {"fleet a.cfg --ids 1-2 --ports p --log l --id 5", "--id is an option of history only"},
        {"send a.cfg --ids 1-2", "--ids is an option of fleet only"},
        {"send a.cfg --station", "--station is an option of fleet only"},
        {"version --resume l", "--resume is an option of fleet only"},
        {"history a.cfg", "too many arguments for history: a.cfg"},
        {"history --log l", "--log is an option of fleet only"},
        {"history --id 12x", "--id needs a PTT ID (a whole number), not \"12x\""},
        {"history --id 2147483648", "--id needs a PTT ID (a whole number), not \"2147483648\""},
        {"send a.cfg --since 2026-01-01", "--since is an option of history only"},
    };
    const std::string since = "--since needs a date YYYY-MM-DD or a UTC time YYYY-MM-DDTHH:MM:SSZ";
    for (const char* bad : {"yesterday", "2026-13-01", "2026-12-00", "2026-12-09T24:00",
                            "2026-12-09 18:03", "2026-12-09T18", "26-12-09"}) {
        EXPECT_EQ(ParseArguments({"history", "--since", bad}).error,
                  since + ", not \"" + bad + "\"");
    }
    for (const auto& [line, expected] : rows) {
        EXPECT_EQ(ParseArguments(Words(line)).error, expected) << line;
    }
    for (const char* rate : {"110", "230400"})
        EXPECT_EQ(ParseArguments({"send", "a.cfg", "--baud", rate}).error, "") << rate;
    EXPECT_TRUE(ParseArguments({"--json", "send"}).options.json)
        << "a usage error still knows it owes JSON";
}

TEST(CliOptions, HelpNamesEveryCommandAndExitCode) {
    const std::string help = UsageText();
    for (const char* word : {"check FILE.cfg",
                             "encode FILE.cfg",
                             "send FILE.cfg",
                             "read FILE.cfg -o OUT.cfg",
                             "compare FILE.cfg",
                             "version",
                             "program FILE.prg --base HEX",
                             "dump --from HEX --to HEX",
                             "stop",
                             "fleet FILE.cfg",
                             "history",
                             "--ids",
                             "--id-list",
                             "--ports",
                             "--log",
                             "--retries",
                             "--burn-failed",
                             "--backup",
                             "--items",
                             "--station",
                             "--resume",
                             "--id N",
                             "--since",
                             "--port",
                             "--baud",
                             "--verify",
                             "--no-verify",
                             "--settings",
                             "--wait",
                             "--json",
                             "--quiet",
                             "--force",
                             "--help",
                             "--version",
                             "  0 ",
                             "  1 ",
                             "  2 ",
                             "  3 ",
                             "  4 ",
                             "  130 "}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}
