#include "fleet/history.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace nimbrel {
namespace {

HistoryRecord Rec(std::int64_t id, const std::string& port, const std::string& time) {
    HistoryRecord r;
    r.time = time, r.port = port, r.pttId = id, r.outcome = "programmed";
    r.portById = "usb-" + port.substr(port.rfind('/') + 1);
    return r;
}

// Runs fn in a child process (as an ordinary user when the test runs as root
// and unprivileged is set) while the parent runs meanwhile; true when fn
// returned true, and the text it left. Forks with no thread or connection open.
std::pair<bool, std::string> InChild(const std::function<bool(std::string&)>& fn,
                                     const std::function<void()>& meanwhile = {},
                                     bool unprivileged = false) {
    int fds[2];
    if (::pipe(fds) != 0) return {false, "no pipe"};
    pid_t child = ::fork();
    if (child == 0) {
        if (unprivileged && ::getuid() == 0 && ::setuid(65534) != 0) ::_exit(2);
        std::string text;
        bool ok = fn(text);
        (void)!::write(fds[1], text.data(), text.size());
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    if (meanwhile) meanwhile();
    std::string text;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        text.append(buf, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    return {child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0, text};
}

class HistoryTest : public ::testing::Test {
protected:
    std::string Path() const { return dir.File("data/Nimbrel/history.sqlite"); }
    test::TempDir dir;
};

TEST_F(HistoryTest, CreatesFolderInWalModeAndKeepsEveryField) {
    History h;
    ASSERT_TRUE(h.Open(Path())) << h.Error();
    HistoryRecord r = Rec(12034, "/dev/ttyUSB0", "2026-12-09T18:02:17Z");
    r.pttWord = 0x2F02A1, r.version = "V3.12", r.configFile = "tag.cfg";
    r.configSha256 = "ab12", r.bytesWritten = 812, r.verified = true, r.message = "ok";
    r.durationMs = 4321, r.backup = "/b/1.cfg", r.source = "cli";
    HistoryRecord noId = r; // a configuration without an ID is still recorded
    noId.pttId = -1, noId.pttWord = 0;
    ASSERT_TRUE(h.Append(r) && h.Append(noId)) << h.Error();
    EXPECT_TRUE(std::filesystem::exists(Path() + "-wal"));
    auto got = h.Query({});
    ASSERT_TRUE(got && got->size() == 2u);
    r.rowId = 1;
    noId.rowId = 2;
    EXPECT_EQ((*got)[1], r);
    EXPECT_EQ((*got)[0], noId);
}

TEST_F(HistoryTest, QueryFilters) {
    History h;
    ASSERT_TRUE(h.Open(Path()));
    // Appended out of time order: newest first is by time, not by insertion.
    for (const auto& r : {Rec(100, "/dev/ttyUSB0", "2026-12-01T10:00:00Z"),
                          Rec(101, "/dev/ttyUSB1", "2026-12-03T09:00:00Z"),
                          Rec(100, "/dev/ttyUSB1", "2026-12-02T23:59:59Z"),
                          Rec(102, "/dev/ttyUSB0", "2026-12-03T12:30:00Z")})
        ASSERT_TRUE(h.Append(r));
    struct Case {
        HistoryFilter filter;
        std::vector<std::string> times; // expected, by day and hour
    };
    const Case cases[] = {
        {{}, {"03T12", "03T09", "02T23", "01T10"}},
        {{100, "", "", 0}, {"02T23", "01T10"}},
        {{std::nullopt, "/dev/ttyUSB1", "", 0}, {"03T09", "02T23"}},
        {{std::nullopt, "usb-ttyUSB0", "", 0}, {"03T12", "01T10"}},
        {{std::nullopt, "", "2026-12-03", 0}, {"03T12", "03T09"}},
        {{std::nullopt, "", "2026-12-03T12:30Z", 0}, {"03T12"}},
        {{100, "/dev/ttyUSB1", "2026-12-02", 0}, {"02T23"}},
        {{std::nullopt, "", "", 2}, {"03T12", "03T09"}},
        {{999, "", "", 0}, {}},
    };
    for (const Case& c : cases) {
        auto got = h.Query(c.filter);
        ASSERT_TRUE(got) << h.Error();
        std::vector<std::string> times;
        for (const auto& r : *got)
            times.push_back(r.time.substr(8, 5));
        EXPECT_EQ(times, c.times) << c.filter.port << c.filter.since << c.filter.limit;
    }
    EXPECT_FALSE(h.Query({std::nullopt, "", "3 Dec", 0}));
    EXPECT_NE(h.Error().find("3 Dec"), std::string::npos);
}

TEST_F(HistoryTest, ConcurrentWritersLoseNoRecord) {
    constexpr int kEach = 100;
    auto writer = [&](int base) {
        History h;
        int written = 0;
        if (h.Open(Path()))
            for (int i = 0; i < kEach; ++i)
                written += h.Append(Rec(base + i, "/dev/x", "")) ? 1 : 0;
        return written;
    };
    {
        History first;
        ASSERT_TRUE(first.Open(Path()));
    } // both writers find the schema made
    int a = 0, b = 0;
    std::thread t([&] { a = writer(0); });
    b = writer(1000);
    t.join();
    EXPECT_EQ(a + b, 2 * kEach);

    auto [childOk, _] =
        InChild([&](std::string&) { return writer(2000) == kEach; }, [&] { a = writer(3000); });
    EXPECT_TRUE(childOk);
    EXPECT_EQ(a, kEach);

    History h;
    ASSERT_TRUE(h.Open(Path()));
    EXPECT_EQ(h.Query({})->size(), 4u * kEach);
}

TEST_F(HistoryTest, LockHeldLongerThanTimeoutFailsAfterTheTimeout) {
    History h({200});
    ASSERT_TRUE(h.Open(Path()));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(h.Append(Rec(1, "/dev/x", "")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(h.Error(),
              "Cannot write the programming history " + Path() + ": database is locked.");
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(h.Append(Rec(1, "/dev/x", ""))) << h.Error();
    EXPECT_EQ(h.Query({})->size(), 1u);
}

// Files the history cannot use: each one fails Open or Append with a message
// naming the file, and nothing throws.
TEST_F(HistoryTest, UnusableFilesFailWithTheirName) {
    std::string corrupt = dir.Write("corrupt.sqlite", std::string(4096, 'x'));
    std::string blocked = dir.Write("plain", "") + "/sub/history.sqlite";
    for (const std::string& path : {corrupt, blocked}) {
        History h;
        EXPECT_FALSE(h.Open(path));
        EXPECT_FALSE(h.Append(Rec(1, "/dev/x", "")));
        EXPECT_NE(h.Error().find("programming history " + path + ": "), std::string::npos)
            << h.Error();
    }

    // Read-only file in a read-only folder (as root, tried as an ordinary
    // user) whose shared-memory index is left by another station: queries only.
    {
        History h;
        ASSERT_TRUE(h.Open(Path()) && h.Append(Rec(1, "/dev/x", "")));
    }
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &raw), SQLITE_OK);
    int persist = 1;
    sqlite3_file_control(raw, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    sqlite3_exec(raw, "SELECT 1 FROM records", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    std::string folder = Path().substr(0, Path().rfind('/'));
    ::chmod(Path().c_str(), 0444);
    for (std::string f = folder; f.size() >= dir.Path().size(); f = f.substr(0, f.rfind('/')))
        ::chmod(f.c_str(), f == folder ? 0555 : 0755);
    auto [ok, error] = InChild(
        [&](std::string& text) {
            History h;
            bool read = h.Open(Path()) && h.Query({}) && h.Query({})->size() == 1;
            bool wrote = h.Append(Rec(2, "/dev/x", ""));
            text = h.Error();
            return read && !wrote;
        },
        {}, true);
    EXPECT_TRUE(ok) << error;
    EXPECT_EQ(error, "Cannot write the programming history " + Path() +
                         ": attempt to write a readonly database.");
    ::chmod(folder.c_str(), 0755);
}

TEST(HistoryPath, FollowsXdgDataHomeElseHome) {
    std::string xdg = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/home/u", 1);
    ::setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/data/Nimbrel/history.sqlite");
    ::setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/home/u/.local/share/Nimbrel/history.sqlite");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(DefaultHistoryPath(), "/home/u/.local/share/Nimbrel/history.sqlite");
    ::setenv("HOME", home.c_str(), 1);
    if (!xdg.empty()) ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
}

} // namespace
} // namespace nimbrel
