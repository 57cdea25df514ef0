// The built nimbrel-cli run as a child process in a temporary folder against
// the simulated transmitter on a pseudo-terminal: in-process (to look at and
// change its memory) or as the nimbrel-sim program (to kill it).
#include "config/configfile.h"
#include "link/transport.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace nimbrel;
using nimbrel::test::MsSince;
using nimbrel::test::SimThread;
using nimbrel::test::TempDir;
using nimbrel::test::WaitFor;

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
    int exit = -1;
    std::string out;
    std::string err;
    std::int64_t ms = 0;
};

// A child process with its standard output and error collected on a thread.
class Child {
public:
    Child(const std::vector<std::string>& args, const std::string& cwd,
          const std::vector<std::string>& env = {}, const std::string& input = {}) {
        int out[2], err[2], in[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
            ::pipe2(in, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        std::vector<std::string> all = args;
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envText = env;
        for (char** e = environ; *e != nullptr; ++e)
            envText.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        start_ = Clock::now();
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        ::close(in[0]);
        if (pid_ > 0 && !input.empty() && ::write(in[1], input.data(), input.size()) < 0) {
            ADD_FAILURE() << "cannot write the child's input";
        }
        ::close(in[1]);
        reader_ = std::thread([this, o = out[0], e = err[0]] { Collect(o, e); });
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) reader_.join();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int sig) { ::kill(pid_, sig); }

    std::string Out() {
        std::lock_guard<std::mutex> guard(mutex_);
        return out_;
    }
    std::string Err() {
        std::lock_guard<std::mutex> guard(mutex_);
        return err_;
    }

    // Ends the child (killed after timeoutMs) and answers what it did.
    Result Finish(int timeoutMs = 20000) {
        Result r;
        int status = 0;
        while (pid_ > 0) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                pid_ = -1;
                break;
            }
            if (MsSince(start_) > timeoutMs) {
                ADD_FAILURE() << "the child did not end in time";
                ::kill(pid_, SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        r.ms = MsSince(start_);
        if (reader_.joinable()) reader_.join();
        r.out = Out();
        r.err = Err();
        return r;
    }

private:
    void Collect(int out, int err) {
        std::vector<pollfd> fds = {{out, POLLIN, 0}, {err, POLLIN, 0}};
        while (fds[0].fd >= 0 || fds[1].fd >= 0) {
            if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
            for (std::size_t k = 0; k < fds.size(); ++k) {
                if (fds[k].fd < 0 || fds[k].revents == 0) continue;
                char buf[4096];
                const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
                if (n <= 0) {
                    ::close(fds[k].fd);
                    fds[k].fd = -1;
                    continue;
                }
                std::lock_guard<std::mutex> guard(mutex_);
                (k == 0 ? out_ : err_).append(buf, static_cast<std::size_t>(n));
            }
        }
    }

    pid_t pid_ = -1;
    Clock::time_point start_;
    std::thread reader_;
    std::mutex mutex_;
    std::string out_;
    std::string err_;
};

// Just enough JSON to read the facts back: objects, arrays, strings (with
// escapes), whole numbers, true, false, null. Anything else fails the parse.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    long long number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const {
        static const Json none;
        const auto it = fields.find(key);
        return it == fields.end() ? none : it->second;
    }
    const Json& operator[](std::size_t i) const {
        static const Json none;
        return i < items.size() ? items[i] : none;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& s) : s_(s) {}

    std::optional<Json> Document() {
        Json v;
        if (!Value(v)) return std::nullopt;
        Blanks();
        if (p_ != s_.size()) return std::nullopt;
        return v;
    }

private:
    void Blanks() {
        while (p_ < s_.size() && std::strchr(" \t\r\n", s_[p_]) != nullptr)
            ++p_;
    }
    bool Eat(char c) {
        Blanks();
        if (p_ >= s_.size() || s_[p_] != c) return false;
        ++p_;
        return true;
    }
    bool Word(const char* w) {
        if (s_.compare(p_, std::strlen(w), w) != 0) return false;
        p_ += std::strlen(w);
        return true;
    }
    bool String(std::string& out) {
        if (!Eat('"')) return false;
        while (p_ < s_.size() && s_[p_] != '"') {
            char c = s_[p_++];
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (p_ >= s_.size()) return false;
            c = s_[p_++];
            const char* from = "\"\\/bfnrt";
            const char* to = "\"\\/\b\f\n\r\t";
            if (const char* at = std::strchr(from, c); at != nullptr && c != 0) {
                out += to[at - from];
            } else if (c == 'u' && p_ + 4 <= s_.size()) {
                const unsigned code = std::stoul(s_.substr(p_, 4), nullptr, 16);
                p_ += 4;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    return false; // not produced by our writer
                }
            } else {
                return false;
            }
        }
        return Eat('"');
    }
    bool Value(Json& v) {
        Blanks();
        if (p_ >= s_.size()) return false;
        const char c = s_[p_];
        if (c == '{') {
            v.kind = Json::Kind::Object;
            ++p_;
            if (Eat('}')) return true;
            do {
                std::string key;
                Json item;
                if (!String(key) || !Eat(':') || !Value(item)) return false;
                v.fields[key] = std::move(item);
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            v.kind = Json::Kind::Array;
            ++p_;
            if (Eat(']')) return true;
            do {
                v.items.emplace_back();
                if (!Value(v.items.back())) return false;
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') {
            v.kind = Json::Kind::String;
            return String(v.text);
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            v.kind = Json::Kind::Number;
            std::size_t used = 0;
            v.number = std::stoll(s_.substr(p_), &used);
            p_ += used;
            return true;
        }
        v.kind = c == 'n' ? Json::Kind::Null : Json::Kind::Bool;
        v.boolean = c == 't';
        return Word("true") || Word("false") || Word("null");
    }

    const std::string& s_;
    std::size_t p_ = 0;
};

// Parses `text`, failing the test when it is not JSON (also by python3's
// json module, where python3 is installed).
Json ParseJson(const std::string& text, const std::string& cwd) {
    const std::optional<Json> doc = JsonReader(text).Document();
    EXPECT_TRUE(doc.has_value()) << "not JSON: " << text;
    Child python({"python3", "-c", "import json,sys; json.load(sys.stdin)"}, cwd, {}, text);
    if (python.Started()) {
        const Result r = python.Finish();
        EXPECT_TRUE(r.exit == 0 || r.exit == 127) << r.err << text;
    }
    return doc.value_or(Json{});
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// A transmitter and one sensor; items at their own addresses, a list item,
// a float and a user command.
const std::vector<std::string> kDemoLines = {
    "9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,256",
    "4,0,90,,Fast transmission rep rate (seconds),1,1,1,{90,200},0,4,1,260",
    "4,0,7200,,Transmission on time (seconds),1,2,0,86400,1,4,0,264",
    "4,0,14400,,Transmission off time (seconds),1,3,0,86400,1,4,0,268",
    "2,1,1000,Water temperature,Sample interval (ms),2,4,0,65535,1,2,0,512",
    "6,0,1.500000,,Calibration offset,2,5,0,100,-100,4,0,514",
    "1,0,5,,Samples averaged,2,6,1,{1,5,10},0,1,0,518",
    "8,0,R020000,,Read the sample interval,2,7,0,0,0,7,0,0",
};

std::string ConfigText(const std::vector<std::string>& lines) {
    std::string text = std::to_string(lines.size()) + " 2\r\n";
    for (const auto& line : lines)
        text += line + "\r\n";
    return text;
}

// The settings file of each test: port 2 without a device (tests give --port
// unless they say otherwise) and short waits.
std::string SettingsText(const std::string& device = {}) {
    return "[COM]\nport=2\n" + (device.empty() ? "" : "device2=" + device + "\n") +
           "[TIMING]\nStartWaitMs=3000\nResponseWaitMs=1000\nReadByteWaitMs=1000\n"
           "VersionWaitMs=1000\nSettleMs=5\nMonitorPauseMs=2\nAwakeWaitMs=200\n";
}
const std::string kSettings = SettingsText();

sim::SimOptions Fast() {
    sim::SimOptions o;
    o.persist = true;
    o.pace = false;
    o.wakeIntervalMs = 20;
    return o;
}

// A line paced at 1200 baud: a verified send of the demo takes seconds.
sim::SimOptions Slow() {
    sim::SimOptions o = Fast();
    o.pace = true;
    o.baud = 1200;
    return o;
}

class CliE2e : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.Write("Nimbrel.ini", kSettings);
        dir_.Write("demo.cfg", ConfigText(kDemoLines));
        std::filesystem::create_directory(dir_.File("tmp"));
    }

    // nimbrel-cli with `args` in the test's folder; its temporary files go
    // to the folder's tmp/.
    std::unique_ptr<Child> Start(std::vector<std::string> args) {
        args.insert(args.begin(), NIMBREL_CLI_PATH);
        return std::make_unique<Child>(args, dir_.Path(),
                                       std::vector<std::string>{"TMPDIR=" + dir_.File("tmp")});
    }
    Result Cli(const std::vector<std::string>& args) { return Start(args)->Finish(); }

    static std::vector<std::string> With(const SimThread& sim, std::vector<std::string> args) {
        args.insert(args.end(), {"--port", sim.pty.Slave()});
        return args;
    }

    // The items of a configuration file as the window loads them.
    ItemList Load(const std::string& name) {
        const ConfigHeader header = ReadConfigHeader(dir_.File(name));
        ItemList items = MakeBlankItems(header.itemCount);
        EXPECT_TRUE(ReadConfigItems(dir_.File(name), items, header)) << name;
        return items;
    }

    bool TmpEmpty() { return std::filesystem::is_empty(dir_.File("tmp")); }

    TempDir dir_;
};

} // namespace

TEST_F(CliE2e, SendThenCompareAgreeUntilOneItemChangesInTheTransmitter) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    const Result sent = Cli(With(sim, {"send", "demo.cfg"}));
    EXPECT_EQ(sent.exit, 0) << sent.err;
    EXPECT_EQ(sent.out, "Sent 7 items (23 bytes) to " + sim.pty.Slave() +
                            ", each byte read back and verified.\n");
    EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); })) << "left asleep";

    const Result same = Cli(With(sim, {"compare", "demo.cfg"}));
    EXPECT_EQ(same.exit, 0) << same.err;
    EXPECT_EQ(same.out, "Compared 7 items with " + sim.pty.Slave() + ": all the same.\n");

    sim.sim.Poke(0x10B, 0x21); // on time 7200 (1C20) becomes 7201
    const Result changed = Cli(With(sim, {"compare", "demo.cfg"}));
    EXPECT_EQ(changed.exit, 1) << changed.err;
    EXPECT_EQ(Lines(changed.out),
              (std::vector<std::string>{
                  "Item \"Transmission on time (seconds)\" (ARGOS transmitter, address 108 H): "
                  "file 7200, transmitter 7201.",
                  "Compared 7 items with " + sim.pty.Slave() + ": 1 differs."}));

    const Json json =
        ParseJson(Start(With(sim, {"--json", "compare", "demo.cfg"}))->Finish().out, dir_.Path());
    EXPECT_EQ(json["exit"].number, 1);
    EXPECT_EQ(json["port"].text, sim.pty.Slave());
    EXPECT_EQ(json["compared"].number, 7);
    ASSERT_EQ(json["differences"].items.size(), 1u);
    EXPECT_EQ(json["differences"][0]["name"].text, "Transmission on time (seconds)");
    EXPECT_EQ(json["differences"][0]["address"].number, 264);
    EXPECT_EQ(json["differences"][0]["file"].text, "7200");
    EXPECT_EQ(json["differences"][0]["transmitter"].text, "7201");

    EXPECT_EQ(dir_.Read("Nimbrel.ini"), kSettings) << "--port never writes the settings file";
    EXPECT_TRUE(TmpEmpty()) << "no temporary file is left";
}

// Two runs from the same folder at the same moment, each on its own port:
// both succeed and neither touches the settings file.
TEST_F(CliE2e, TwoSendsAtOnceOnTwoPortsLeaveTheSettingsFileAlone) {
    SimThread a(Fast());
    SimThread b(Fast());
    ASSERT_TRUE(a.pty.Ok() && b.pty.Ok());
    const auto before = std::filesystem::last_write_time(dir_.File("Nimbrel.ini"));
    auto first = Start(With(a, {"send", "demo.cfg"}));
    auto second = Start(With(b, {"send", "demo.cfg", "--no-verify"}));
    const Result one = first->Finish();
    const Result two = second->Finish();
    EXPECT_EQ(one.exit, 0) << one.err;
    EXPECT_EQ(two.exit, 0) << two.err;
    EXPECT_EQ(one.out, "Sent 7 items (23 bytes) to " + a.pty.Slave() +
                           ", each byte read back and verified.\n");
    EXPECT_EQ(two.out, "Sent 7 items (23 bytes) to " + b.pty.Slave() + ", not read back.\n");
    EXPECT_EQ(a.sim.Peek(0x10B), 0x20);
    EXPECT_EQ(b.sim.Peek(0x10B), 0x20);
    EXPECT_EQ(dir_.Read("Nimbrel.ini"), kSettings);
    EXPECT_EQ(std::filesystem::last_write_time(dir_.File("Nimbrel.ini")), before);
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(CliE2e, ReadFillsTheLayoutWithTheTransmittersValues) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    ASSERT_EQ(Cli(With(sim, {"send", "demo.cfg", "--quiet"})).exit, 0);

    // A layout whose values all differ from what the transmitter holds.
    std::vector<std::string> layout = kDemoLines;
    layout[0] = "9,0,22222,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,256";
    layout[2] = "4,0,1,,Transmission on time (seconds),1,2,0,86400,1,4,0,264";
    layout[5] = "6,0,-3.250000,,Calibration offset,2,5,0,100,-100,4,0,514";
    dir_.Write("layout.cfg", ConfigText(layout));

    const Result read = Cli(With(sim, {"read", "layout.cfg", "-o", "out.cfg"}));
    EXPECT_EQ(read.exit, 0) << read.err;
    EXPECT_EQ(read.out, "Read 7 items from " + sim.pty.Slave() + " into out.cfg.\n");
    EXPECT_NE(read.err.find("Read 7 items"), std::string::npos) << "the progress agrees";
    const ItemList source = Load("demo.cfg");
    const ItemList out = Load("out.cfg");
    ASSERT_EQ(out.size(), source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        EXPECT_EQ(out[i]->GetValueText(), source[i]->GetValueText()) << i;
        EXPECT_EQ(out[i]->GetAddress(), source[i]->GetAddress()) << i;
    }

    const std::string before = dir_.Read("out.cfg");
    const std::size_t received = sim.sim.Received().size();
    const Result refused = Cli(With(sim, {"read", "layout.cfg", "-o", "out.cfg"}));
    EXPECT_EQ(refused.exit, 2);
    EXPECT_NE(refused.err.find("out.cfg exists; use --force"), std::string::npos) << refused.err;
    EXPECT_EQ(sim.sim.Received().size(), received) << "refused before waking the transmitter";
    EXPECT_EQ(dir_.Read("out.cfg"), before);
    EXPECT_EQ(Cli(With(sim, {"read", "layout.cfg", "-o", "out.cfg", "--force"})).exit, 0);
}

TEST_F(CliE2e, EncodeShowsExactlyTheBytesASendWrites) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    const Result encoded = Cli({"encode", "demo.cfg"});
    ASSERT_EQ(encoded.exit, 0) << encoded.err;
    std::string commands;
    for (char c : encoded.out) {
        if (c != ' ' && c != '\n') commands += c;
    }
    ASSERT_EQ(Cli(With(sim, {"send", "demo.cfg", "--no-verify"})).exit, 0);
    EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); }));
    EXPECT_EQ(sim.sim.Received(), "A" + commands + "qqqqqqq")
        << "the wake answer, the commands, the exit string";

    const Result hex = Cli({"encode", "demo.cfg", "--format", "hex"});
    EXPECT_EQ(Lines(hex.out).size(), commands.size() / 7);
    const Json json = ParseJson(Cli({"encode", "demo.cfg", "--json"}).out, dir_.Path());
    std::string fromJson;
    for (const Json& item : json["items"].items) {
        for (const Json& c : item["commands"].items)
            fromJson += c.text;
    }
    EXPECT_EQ(fromJson, commands);
    EXPECT_EQ(json["bytes"].number, static_cast<long long>(commands.size() / 7));
}

TEST_F(CliE2e, CheckNamesValuesOutsideTheirLimitsAndOverlaps) {
    std::vector<std::string> outside = kDemoLines;
    outside[2] = "4,0,90000,,Transmission on time (seconds),1,2,0,86400,1,4,0,264";
    std::vector<std::string> overlapping = kDemoLines;
    overlapping[3] = "4,0,14400,,Transmission off time (seconds),1,3,0,86400,1,4,0,266";
    dir_.Write("outside.cfg", ConfigText(outside));
    dir_.Write("overlapping.cfg", ConfigText(overlapping));
    struct Row {
        std::string file;
        int exit;
        std::vector<std::string> out;
    };
    const std::vector<Row> rows = {
        {"demo.cfg", 0, {"demo.cfg: 8 items, no problems."}},
        {"outside.cfg",
         1,
         {"Item \"Transmission on time (seconds)\" (ARGOS transmitter, address 108 H) has the "
          "value 90000, outside its limits 1 to 86400.",
          "outside.cfg: 8 items, 1 problem."}},
        {"overlapping.cfg",
         1,
         {"Items \"Transmission on time (seconds)\" (ARGOS transmitter, address 108 H) and "
          "\"Transmission off time (seconds)\" (ARGOS transmitter, address 10a H) both write "
          "addresses 10a H to 10b H.",
          "overlapping.cfg: 8 items, 1 problem."}},
    };
    for (const Row& row : rows) {
        const Result r = Cli({"check", row.file});
        EXPECT_EQ(r.exit, row.exit) << row.file << r.err;
        EXPECT_EQ(Lines(r.out), row.out) << row.file;

        const Json json = ParseJson(Cli({"check", row.file, "--json"}).out, dir_.Path());
        EXPECT_EQ(json["exit"].number, row.exit);
        std::vector<std::string> texts;
        for (const Json& p : json["problems"].items)
            texts.push_back(p["text"].text);
        EXPECT_EQ(texts, std::vector<std::string>(row.out.begin(), row.out.end() - 1)) << row.file;
    }

    const Result missing = Cli({"check", "nothere.cfg"});
    EXPECT_EQ(missing.exit, 2);
    EXPECT_EQ(missing.err, "nimbrel-cli: Cannot open the configuration file nothere.cfg.\n");
    const Result usage = Cli({"--json", "check"});
    EXPECT_EQ(usage.exit, 2);
    EXPECT_EQ(ParseJson(usage.out, dir_.Path())["error"].text, "check needs a configuration file");
}

TEST_F(CliE2e, ASilentTransmitterEndsWithExit4AfterTheStartWait) {
    sim::SimOptions o = Fast();
    o.neverWake = true;
    SimThread sim(o);
    ASSERT_TRUE(sim.pty.Ok());
    const Result r = Cli(With(sim, {"version", "--wait", "0.3"}));
    EXPECT_EQ(r.exit, 4) << r.err;
    EXPECT_GE(r.ms, 300);
    EXPECT_LT(r.ms, 3000) << "not the settings' 3-second wait";
    EXPECT_NE(r.err.find("nimbrel-cli: No communication from PTT\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(CliE2e, ASimulatorKilledMidSendEndsWithExit3NamingThePort) {
    Child sim({NIMBREL_SIM_PATH, "--baud", "1200", "--wake-interval", "20"}, dir_.Path());
    ASSERT_TRUE(WaitFor([&] { return sim.Out().find('\n') != std::string::npos; }, 5000));
    const std::string device = sim.Out().substr(0, sim.Out().find('\n'));
    // The device in the settings file this time.
    dir_.Write("Nimbrel.ini", SettingsText(device));

    const auto cli = Start({"send", "demo.cfg"});
    ASSERT_TRUE(
        WaitFor([&] { return cli->Err().find("Sending item 2 of 7") != std::string::npos; }, 10000))
        << cli->Err();
    sim.Signal(SIGKILL);
    const auto killed = Clock::now();
    const Result r = cli->Finish();
    EXPECT_LT(MsSince(killed), 1000);
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("nimbrel-cli: The serial port " + device + " went away"),
              std::string::npos)
        << r.err;
}

TEST_F(CliE2e, CtrlCEndsASendCleanlyAndFreesThePort) {
    SimThread sim(Slow());
    ASSERT_TRUE(sim.pty.Ok());
    const auto cli = Start(With(sim, {"send", "demo.cfg"}));
    ASSERT_TRUE(
        WaitFor([&] { return cli->Err().find("Sending item 2 of 7") != std::string::npos; }, 10000))
        << cli->Err();
    cli->Signal(SIGINT);
    const Result r = cli->Finish();
    EXPECT_EQ(r.exit, 130) << r.err;
    EXPECT_NE(r.err.find("Sending was cancelled"), std::string::npos) << r.err;
    EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); })) << "the exit string was sent";
    EXPECT_TRUE(TmpEmpty());

    test::UsePort(sim.pty.Slave());
    Transport port;
    EXPECT_TRUE(nimbrel::test::OpenAsConfigured(port)) << "the port is free again";
}

TEST_F(CliE2e, VersionProgramAndDumpWithAnotherSettingsFile) {
    SimThread sim(Fast());
    ASSERT_TRUE(sim.pty.Ok());
    std::filesystem::remove(dir_.File("Nimbrel.ini"));
    const std::string settings = SettingsText(sim.pty.Slave());
    dir_.Write("bench.ini", settings);
    dir_.Write("demo.prg", "0A1B2C3D4E5F6071");

    // A port opened anew discards what the pseudo-terminal still holds: the
    // exit string of the run before must be taken before the next run opens.
    const auto asleep = [&] { EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); })); };
    const Result version = Cli({"version", "--settings", "bench.ini", "--baud", "4800"});
    EXPECT_EQ(version.exit, 0) << version.err;
    EXPECT_EQ(version.out, "2.10\n");
    asleep();
    const Result program = Cli({"program", "demo.prg", "--base", "b600", "--settings=bench.ini"});
    EXPECT_EQ(program.exit, 0) << program.err;
    EXPECT_EQ(sim.sim.Peek(0xB607), 0x71);
    EXPECT_NE(program.err.find("nimbrel-cli: File sent.\n"), std::string::npos) << program.err;
    asleep();
    const Result dump = Cli({"dump", "--from", "b5ff", "--to", "b601", "--settings", "bench.ini"});
    EXPECT_EQ(dump.exit, 0) << dump.err;
    EXPECT_EQ(dump.out, "B5FF  FF 0A 1B                                          |...|\n");

    EXPECT_EQ(dir_.Read("bench.ini"), settings) << "overrides never reach the file";
    EXPECT_FALSE(std::filesystem::exists(dir_.File("Nimbrel.ini")));
    EXPECT_EQ(Cli({"version", "--settings", "none.ini"}).exit, 2);
}

// Files that hold no configuration, or hold one with load problems, end every
// command that takes a configuration before a port is opened (the port here
// does not exist: opening it would exit 3).
TEST_F(CliE2e, FilesWithoutAConfigurationOrWithProblemsAreRefusedBeforeThePort) {
    std::string junk = "27 1\r\n";
    for (int i = 0; i < 25; ++i)
        junk +=
            "11,0,1,,bad type,1," + std::to_string(i) + ",0,1,0,1,0," + std::to_string(i) + "\r\n";
    junk += "4,0,99,\x1b]0;owned\x07,\x1b[2Jname\xff,2,0,0,10,0,4,0,300\r\n";
    junk += "4,0,cut\r\n";
    dir_.Write("empty.cfg", "");
    dir_.Write("text.cfg", "Dear technician, please send this file.\n");
    dir_.Write("junk.cfg", junk);
    const std::string port = dir_.File("noport");
    const std::string none = " holds no configuration.\n";
    struct Row {
        std::vector<std::string> args;
        int exit;
    };
    const std::vector<Row> rows = {
        {{"check"}, 1},
        {{"encode"}, 1},
        {{"send"}, 1},
        {{"compare"}, 1},
        {{"read", "-o", "out.cfg"}, 3}, // a layout with problems is still read
    };
    for (const Row& row : rows) {
        for (const std::string file : {"empty.cfg", "text.cfg", "junk.cfg"}) {
            std::vector<std::string> args = row.args;
            args.insert(args.begin() + 1, file);
            args.insert(args.end(), {"--port", port});
            const Result r = Cli(args);
            const std::string what = args[0] + " " + file;
            EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << what;
            EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << what;
            if (file != "junk.cfg") {
                EXPECT_EQ(r.exit, 2) << what;
                EXPECT_EQ(r.err, "nimbrel-cli: The file " + file + none) << what;
                EXPECT_EQ(r.out, "") << what;
                continue;
            }
            EXPECT_EQ(r.exit, row.exit) << what << r.err;
            EXPECT_EQ(r.err.rfind("nimbrel-cli: The file junk.cfg has problems:\n"
                                  "nimbrel-cli: Line 2: Unknown type\n",
                                  0),
                      0u)
                << what << r.err;
            EXPECT_NE(r.err.find("nimbrel-cli: and 6 more\n"), std::string::npos) << r.err;
            EXPECT_EQ(r.out.empty(), args[0] != "check") << what << r.out;
        }
    }
    const Result check = Cli({"check", "junk.cfg"});
    EXPECT_NE(check.out.find("Item \"\\x1b[2Jname\\xff\" (\\x1b]0;owned\\x07, address 12c H) has "
                             "the value 99"),
              std::string::npos)
        << check.out;
    EXPECT_NE(check.out.find("\njunk.cfg: 27 items, "), std::string::npos) << check.out;
}

TEST_F(CliE2e, AnAwakeTransmitterIsFoundAndStopPutsItBackToSleep) {
    sim::SimOptions o = Fast();
    o.startAwake = true;
    SimThread sim(o);
    ASSERT_TRUE(sim.pty.Ok());
    const Result version = Cli(With(sim, {"version"}));
    EXPECT_EQ(version.exit, 0) << version.err;
    EXPECT_EQ(version.out, "2.10\n");
    EXPECT_NE(version.err.find("nimbrel-cli: The transmitter sent no wake-up byte but answered the "
                               "version query: it was awake already; carrying on.\n"),
              std::string::npos)
        << version.err;
    EXPECT_LT(version.ms, 2000) << "AwakeWaitMs, not the start wait";
    EXPECT_EQ(sim.sim.Received(), "TTTTTTTTTTTTTTqqqqqqq")
        << "the probe, the query, the exit string";
    EXPECT_TRUE(WaitFor([&] { return !sim.sim.Awake(); }));

    SimThread awake(o);
    ASSERT_TRUE(awake.pty.Ok());
    const Result stop = Cli(With(awake, {"stop"}));
    EXPECT_EQ(stop.exit, 0) << stop.err;
    EXPECT_EQ(stop.out, "Sent the exit string to " + awake.pty.Slave() + ".\n");
    EXPECT_TRUE(WaitFor([&] { return !awake.sim.Awake(); }));
    EXPECT_EQ(awake.sim.Received(), "qqqqqqq");
}
