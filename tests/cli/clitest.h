// Helpers of the tests that run the built nimbrel-cli as a child process in a
// temporary folder against simulated transmitters on pseudo-terminals.
#pragma once

#include "config/configfile.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace nimbrel::test {

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
inline Json ParseJson(const std::string& text, const std::string& cwd) {
    const std::optional<Json> doc = JsonReader(text).Document();
    EXPECT_TRUE(doc.has_value()) << "not JSON: " << text;
    Child python({"python3", "-c", "import json,sys; json.load(sys.stdin)"}, cwd, {}, text);
    if (python.Started()) {
        const Result r = python.Finish();
        EXPECT_TRUE(r.exit == 0 || r.exit == 127) << r.err << text;
    }
    return doc.value_or(Json{});
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// A transmitter and one sensor; items at their own addresses, a list item,
// a float and a user command.
inline const std::vector<std::string> kDemoLines = {
    "9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,256",
    "4,0,90,,Fast transmission rep rate (seconds),1,1,1,{90,200},0,4,1,260",
    "4,0,7200,,Transmission on time (seconds),1,2,0,86400,1,4,0,264",
    "4,0,14400,,Transmission off time (seconds),1,3,0,86400,1,4,0,268",
    "2,1,1000,Water temperature,Sample interval (ms),2,4,0,65535,1,2,0,512",
    "6,0,1.500000,,Calibration offset,2,5,0,100,-100,4,0,514",
    "1,0,5,,Samples averaged,2,6,1,{1,5,10},0,1,0,518",
    "8,0,R020000,,Read the sample interval,2,7,0,0,0,7,0,0",
};

inline std::string ConfigText(const std::vector<std::string>& lines) {
    std::string text = std::to_string(lines.size()) + " 2\r\n";
    for (const auto& line : lines)
        text += line + "\r\n";
    return text;
}

// The settings file of each test: port 2 without a device (tests give --port
// unless they say otherwise) and short waits.
inline std::string SettingsText(const std::string& device = {}) {
    return "[COM]\nport=2\n" + (device.empty() ? "" : "device2=" + device + "\n") +
           "[TIMING]\nStartWaitMs=3000\nResponseWaitMs=2500\nReadByteWaitMs=1000\n"
           "VersionWaitMs=1000\nSettleMs=5\nMonitorPauseMs=2\nAwakeWaitMs=200\n";
}
inline const std::string kSettings = SettingsText();

inline sim::SimOptions Fast() {
    sim::SimOptions o;
    o.persist = true;
    o.pace = false;
    o.wakeIntervalMs = 20;
    return o;
}

// A line paced at 1200 baud: a verified send of the demo takes seconds.
inline sim::SimOptions Slow() {
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
    // to the folder's tmp/, the programming history to its data/ (never to
    // the home folder).
    std::unique_ptr<Child> Start(std::vector<std::string> args) {
        args.insert(args.begin(), NIMBREL_CLI_PATH);
        return std::make_unique<Child>(
            args, dir_.Path(),
            std::vector<std::string>{"TMPDIR=" + dir_.File("tmp"),
                                     "XDG_DATA_HOME=" + dir_.File("data")});
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

} // namespace nimbrel::test
