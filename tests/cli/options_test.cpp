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
    };
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
