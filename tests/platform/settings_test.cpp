#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

using nimbrel::Settings;
using nimbrel::test::TempDir;
namespace keys = nimbrel::keys;

TEST(SettingsRead, MissingFileSectionOrKeyGivesEachReadersDefault) {
    TempDir dir;
    EXPECT_EQ(Settings::Get(keys::kPrefBaud), 4800);
    EXPECT_EQ(Settings::Get(keys::kPortBaud), "9600");
    EXPECT_EQ(Settings::Get(keys::kPrefWait), 70);
    EXPECT_EQ(Settings::Get(keys::kStartWait), 60);
    EXPECT_EQ(Settings::Get(keys::kPrefReadAfterWrite), 0);
    EXPECT_EQ(Settings::Get(keys::kReadAfterWrite), 1);
    EXPECT_EQ(Settings::Get(keys::kStopAbort), "qqqqqqq");
    dir.Write("Nimbrel.ini", "[COM]\nport=3\n");
    EXPECT_EQ(Settings::Get(keys::kPrefBaud), 4800) << "missing key in an existing section";
    EXPECT_EQ(Settings::Get(keys::kStartWait), 60) << "missing section";
}

TEST(SettingsRead, IntegerRuleTakesLeadingDigitsAfterOptionalMinus) {
    TempDir dir;
    dir.Write("Nimbrel.ini", "[USER INTERFACE]\nwait=12abc\n[A]\nneg=-7x\nword=abc\nempty=\n"
                             "big=99999999999\n");
    EXPECT_EQ(Settings::Get(keys::kStartWait), 12);
    EXPECT_EQ(Settings::GetInt("A", "neg", 5), -7);
    EXPECT_EQ(Settings::GetInt("A", "word", 5), 0);
    EXPECT_EQ(Settings::GetInt("A", "empty", 5), 0);
    EXPECT_EQ(Settings::GetInt("A", "big", 5), 2147483647);
}

TEST(SettingsRead, NamesMatchWithoutRegardToCaseAndStringsAreCutToTheBuffer) {
    TempDir dir;
    dir.Write("nimbrel.ini", "[user interface]\r\nABORT=AAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\r\n");
    EXPECT_EQ(Settings::Get(keys::kPrefAbort), std::string(19, 'A'));
    EXPECT_EQ(Settings::GetString("USER INTERFACE", "abort", "", 5), "AAAA");
    EXPECT_EQ(Settings::Get(keys::kStopAbort).size(), 30u);
}

TEST(SettingsWrite, CreatesFileSectionAndKeyAndReadsBackExactly) {
    TempDir dir;
    ASSERT_TRUE(Settings::WriteString("USER INTERFACE", "wait", "1x 2"));
    ASSERT_TRUE(Settings::WriteString("COM", "baud", "1200"));
    EXPECT_EQ(Settings::GetString("USER INTERFACE", "wait", "", 50), "1x 2");
    EXPECT_EQ(Settings::Get(keys::kPrefBaud), 1200);
    EXPECT_EQ(dir.Read("Nimbrel.ini"), "[USER INTERFACE]\nwait=1x 2\n[COM]\nbaud=1200\n");
}

TEST(SettingsWrite, ReplacesInPlaceAndKeepsOtherLinesCommentsAndOrder) {
    TempDir dir;
    const std::string before = "; my settings\r\n[COM]\r\nport=2\r\n; keep me\r\nbaud=9600\r\n"
                               "\r\n[STARTUP]\r\nsimplemode=0\r\n";
    dir.Write("Nimbrel.ini", before);
    ASSERT_TRUE(Settings::WriteString("com", "BAUD", "2400"));
    ASSERT_TRUE(Settings::WriteString("COM", "parity", "e"));
    ASSERT_TRUE(Settings::WriteString("STARTUP", "simplemode", "1"));
    EXPECT_EQ(dir.Read("Nimbrel.ini"),
              "; my settings\r\n[COM]\r\nport=2\r\n; keep me\r\nbaud=2400\r\nparity=e\r\n"
              "\r\n[STARTUP]\r\nsimplemode=1\r\n")
        << "a replaced key keeps its spelling and place; a new key ends its section";
}

TEST(SettingsFile, BothSpellingsNameOneFile) {
    TempDir dir;
    dir.Write("nimbrel.ini", "[COM]\nport=4\n");
    ASSERT_TRUE(Settings::WriteString("COM", "baud", "2400"));
    EXPECT_EQ(Settings::Get(keys::kPrefPort), 4);
    EXPECT_FALSE(std::filesystem::exists(dir.File("Nimbrel.ini")));
    EXPECT_EQ(dir.Read("nimbrel.ini"), "[COM]\nport=4\nbaud=2400\n");
}

TEST(SettingsWrite, UnwritableFolderReportsFailureAndKeepsNothingHalfWritten) {
    TempDir dir;
    Settings::SetDirectory(dir.File("no-such-folder"));
    EXPECT_FALSE(Settings::WriteString("COM", "port", "1"));
    Settings::SetDirectory(dir.Path());
}

// Every situation of the file on disk: what a write of one key does to it.
TEST(SettingsWrite, KeepsTheFilesModeOwnerLinksAndProtection) {
    namespace fs = std::filesystem;
    const std::string before = "[COM]\nbaud=9600\n";
    const std::string after = "[COM]\nbaud=2400\n";
    struct stat st {};
    auto statOf = [&st](const std::string& path) {
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st;
    };
    const struct {
        const char* what;
        std::function<void(TempDir&)> setup;
        bool written; // false: the write reports failure and changes nothing
        std::function<void(TempDir&)> check;
    } cases[] = {
        {"mode 0600 stays",
         [&](TempDir& d) { ::chmod(d.Write("Nimbrel.ini", before).c_str(), 0600); }, true,
         [&](TempDir& d) { EXPECT_EQ(statOf(d.File("Nimbrel.ini")).st_mode & 07777, 0600u); }},
        {"owner stays",
         [&](TempDir& d) {
             // Only root may give a file away; others see this case pass trivially.
             if (::chown(d.Write("Nimbrel.ini", before).c_str(), 4321, 4322) != 0) {
                 ::chown(d.File("Nimbrel.ini").c_str(), ::geteuid(), ::getegid());
             }
         },
         true,
         [&](TempDir& d) {
             statOf(d.File("Nimbrel.ini"));
             if (::geteuid() != 0) return;
             EXPECT_EQ(st.st_uid, 4321u);
             EXPECT_EQ(st.st_gid, 4322u);
         }},
        {"a hard link stays",
         [&](TempDir& d) { fs::create_hard_link(d.Write("Nimbrel.ini", before), d.File("other")); },
         true, [&](TempDir& d) { EXPECT_EQ(d.Read("other"), after); }},
        {"a link is written through to another folder",
         [&](TempDir& d) {
             fs::create_directory(d.File("sub"));
             d.Write("sub/shared.ini", before);
             fs::create_symlink("sub/shared.ini", d.File("Nimbrel.ini"));
         },
         true,
         [&](TempDir& d) {
             EXPECT_TRUE(fs::is_symlink(d.File("Nimbrel.ini")));
             EXPECT_EQ(d.Read("sub/shared.ini"), after);
             EXPECT_EQ(fs::directory_iterator(d.File("sub"))->path().filename(), "shared.ini");
         }},
        {"a link to nothing yet makes its target",
         [&](TempDir& d) {
             fs::create_directory(d.File("sub"));
             fs::create_symlink(d.File("sub/made.ini"), d.File("Nimbrel.ini"));
         },
         true, [&](TempDir& d) { EXPECT_EQ(d.Read("sub/made.ini"), "[COM]\nbaud=2400\n"); }},
        {"a read-only file is left alone",
         [&](TempDir& d) { ::chmod(d.Write("Nimbrel.ini", before).c_str(), 0444); }, false,
         [&](TempDir& d) {
             EXPECT_EQ(Settings::LastWriteError(), "the file is read-only");
             EXPECT_EQ(statOf(d.File("Nimbrel.ini")).st_mode & 07777, 0444u);
         }},
        {"a writable file in a read-only folder is updated",
         [&](TempDir& d) {
             d.Write("Nimbrel.ini", before);
             ::chmod(d.Path().c_str(), 0555);
         },
         true, [&](TempDir& d) { ::chmod(d.Path().c_str(), 0755); }},
        {"a leftover folder of the old temporary name",
         [&](TempDir& d) {
             d.Write("Nimbrel.ini", before);
             fs::create_directory(d.File("Nimbrel.ini.tmp"));
         },
         true, [](TempDir&) {}},
        {"a leftover link of the old temporary name is not written through",
         [&](TempDir& d) {
             d.Write("Nimbrel.ini", before);
             d.Write("victim", "keep");
             fs::create_symlink(d.File("victim"), d.File("Nimbrel.ini.tmp"));
         },
         true, [&](TempDir& d) { EXPECT_EQ(d.Read("victim"), "keep"); }},
        {"a folder in the file's place",
         [&](TempDir& d) { fs::create_directory(d.File("Nimbrel.ini")); }, false,
         [](TempDir&) { EXPECT_EQ(Settings::LastWriteError(), "it is not a regular file"); }},
        {"a device in the file's place",
         [&](TempDir& d) { fs::create_symlink("/dev/full", d.File("Nimbrel.ini")); }, false,
         [](TempDir&) { EXPECT_EQ(Settings::LastWriteError(), "it is not a regular file"); }},
    };
    auto names = [](const TempDir& d) {
        std::set<std::string> out;
        for (const auto& entry : fs::directory_iterator(d.Path()))
            out.insert(entry.path().filename().string());
        return out;
    };
    auto fileText = [](const TempDir& d) {
        return fs::is_regular_file(d.File("Nimbrel.ini")) ? d.Read("Nimbrel.ini") : "";
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        c.setup(dir);
        const std::string was = fileText(dir);
        const auto present = names(dir);
        EXPECT_EQ(Settings::WriteString("COM", "baud", "2400"), c.written);
        if (c.written) {
            EXPECT_EQ(Settings::Get(keys::kPrefBaud), 2400);
        } else {
            EXPECT_EQ(fileText(dir), was);
        }
        c.check(dir);
        EXPECT_EQ(names(dir), present) << "nothing is left beside the file";
    }
}

// Runs with the working folder and the environment a desktop start gives:
// the folder of `work`, XDG_CONFIG_HOME and HOME as given (null: unset).
class DesktopStart {
public:
    DesktopStart(const std::string& work, const char* xdg, const char* home) {
        saved_ = Settings::Directory();
        Settings::SetDirectory("");
        cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(work);
        Set("XDG_CONFIG_HOME", xdg, savedXdg_);
        Set("HOME", home, savedHome_);
    }
    ~DesktopStart() {
        std::filesystem::current_path(cwd_);
        Restore("XDG_CONFIG_HOME", savedXdg_);
        Restore("HOME", savedHome_);
        Settings::SetDirectory(saved_);
    }

private:
    static void Set(const char* name, const char* value, std::optional<std::string>& saved) {
        if (const char* old = std::getenv(name)) saved = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    static void Restore(const char* name, const std::optional<std::string>& saved) {
        if (saved) {
            ::setenv(name, saved->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    std::string saved_;
    std::filesystem::path cwd_;
    std::optional<std::string> savedXdg_, savedHome_;
};

TEST(SettingsFile, WithoutOneInTheWorkingFolderTheUsersFolderHoldsIt) {
    TempDir work, user;
    const std::string xdg = user.File("config");
    const std::string home = user.File("home");
    const struct {
        const char* xdg;
        const char* home;
        std::string folder; // "": the working folder
    } cases[] = {
        {xdg.c_str(), home.c_str(), xdg + "/Nimbrel"},
        {nullptr, home.c_str(), home + "/.config/Nimbrel"},
        {"relative/config", home.c_str(), home + "/.config/Nimbrel"},
        {nullptr, nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        DesktopStart start(work.Path(), c.xdg, c.home);
        const std::string file = (c.folder.empty() ? "." : c.folder) + "/Nimbrel.ini";
        EXPECT_EQ(Settings::FilePath(), file);
        ASSERT_TRUE(Settings::WriteString("COM", "port", "3")) << "the folder is made";
        EXPECT_EQ(TempDir::ReadFile(c.folder.empty() ? work.File("Nimbrel.ini") : file),
                  "[COM]\nport=3\n");
        EXPECT_EQ(Settings::Get(keys::kPrefPort), 3);
        std::filesystem::remove(work.File("Nimbrel.ini"));
    }

    // A file in the working folder, in any letter case, still wins.
    DesktopStart start(work.Path(), xdg.c_str(), home.c_str());
    work.Write("NIMBREL.INI", "[COM]\nport=2\n");
    EXPECT_EQ(Settings::FilePath(), "./NIMBREL.INI");
    EXPECT_EQ(Settings::Get(keys::kPrefPort), 2);
    // A folder named explicitly is exactly that folder.
    Settings::SetDirectory(user.Path());
    EXPECT_EQ(Settings::FilePath(), user.File("Nimbrel.ini"));
}

TEST(SettingsText, ReadsAndWritesTextAsTheFile) {
    const std::string text = "[COM]\r\nport = 2 \r\n[ui]\r\nWait=5\r\n";
    std::string value;
    ASSERT_TRUE(Settings::FindValue(text, "com", "PORT", value));
    EXPECT_EQ(value, "2");
    EXPECT_FALSE(Settings::FindValue(text, "ui", "port", value));
    EXPECT_FALSE(Settings::FindValue("", "COM", "port", value));
    EXPECT_EQ(Settings::WithValue(text, "UI", "wait", "7"),
              "[COM]\r\nport = 2 \r\n[ui]\r\nWait=7\r\n");
    EXPECT_EQ(Settings::WithValue("", "COM", "port", "1"), "[COM]\nport=1\n");
    // Each untouched line keeps its own line end; a new line takes its neighbour's.
    EXPECT_EQ(Settings::WithValue("[COM]\r\nport=2\nbaud=1\r\n[UI]\nw=1", "COM", "stop", "2"),
              "[COM]\r\nport=2\nbaud=1\r\nstop=2\r\n[UI]\nw=1");
    EXPECT_EQ(Settings::WithValue("[COM]\r\nport=2\nbaud=1\r\n[UI]\nw=1", "UI", "v", "3"),
              "[COM]\r\nport=2\nbaud=1\r\n[UI]\nw=1\r\nv=3\r\n");
    // A lone CR does not end the last line: what is added after it starts a line of its own.
    const std::string added = Settings::WithValue("[COM]\nx=[UI\r", "UI", "w", "5");
    EXPECT_EQ(added, "[COM]\nx=[UI\r\n[UI]\nw=5\n");
    ASSERT_TRUE(Settings::FindValue(added, "UI", "w", value));
    EXPECT_EQ(value, "5");
}
