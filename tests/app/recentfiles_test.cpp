// The recent-file list in the settings file and in the File menu.
#include "app/recentfiles.h"
#include "platform/commandids.h"
#include "platform/settings.h"
#include "tests/app/appfixture.h"

#include <QMenu>

#include <filesystem>

#include <sys/stat.h>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

std::string Key(int slot) {
    return Settings::GetString("MRU", "MRU" + std::to_string(slot), "-", 300);
}

std::vector<std::string> Paths() {
    std::vector<std::string> out;
    for (int i = 0; i < RecentFiles::kCapacity; ++i)
        out.push_back(RecentFiles().Path(i));
    return out;
}

class RecentFilesTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(RecentFilesTest, NewestFirstAndTheFifthPushesTheOldestOut) {
    RecentFiles list;
    EXPECT_TRUE(list.Entries().empty());
    for (const char* p : {"/d/a.cfg", "/d/b.cfg", "/d/c.cfg", "/d/d.cfg"})
        list.Add(p);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/d/d.cfg", "/d/c.cfg", "/d/b.cfg", "/d/a.cfg"}));
    EXPECT_EQ(Key(4), "-");

    list.Add("/d/e.cfg");
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/d/e.cfg", "/d/d.cfg", "/d/c.cfg", "/d/b.cfg"}));
    EXPECT_EQ(Key(0), "/d/e.cfg");
    EXPECT_EQ(Key(4), "/d/a.cfg"); // written, never read
}

TEST_F(RecentFilesTest, ReopeningMovesTheEntryUpWhateverTheLetterCase) {
    RecentFiles list;
    for (const char* p : {"/d/a.cfg", "/d/b.cfg", "/d/c.cfg"})
        list.Add(p);
    list.Add("/D/A.CFG");
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/D/A.CFG", "/d/c.cfg", "/d/b.cfg", ""}));
    EXPECT_EQ(Key(3), "Default");
    list.Add("/d/c.cfg");
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/d/c.cfg", "/D/A.CFG", "/d/b.cfg", ""}));
    EXPECT_EQ(Key(4), "-"); // nothing fell off
}

TEST_F(RecentFilesTest, EmptyValuesAndDefaultAreEmptySlotsAndLongPathsStayWhole) {
    Settings::WriteString("MRU", "MRU0", "Default");
    Settings::WriteString("MRU", "MRU1", "");
    Settings::WriteString("MRU", "MRU2", "/x/two.cfg");
    const auto entries = RecentFiles().Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].slot, 2);

    const std::string deep = "/" + std::string(300, 'd') + "/unit.cfg";
    RecentFiles().Add(deep);
    EXPECT_EQ(RecentFiles().Path(0), deep);
}

TEST_F(RecentFilesTest, OneFileHasOneEntryWhicheverWayItWasNamed) {
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    std::filesystem::create_directory(dir.File("sub"));
    Settings::WriteString("MRU", "MRU0", "unit.cfg"); // stored before paths were canonical
    RecentFiles list;
    for (const std::string& name : {dir.File("unit.cfg"), std::string("sub/../unit.cfg"),
                                    std::string("./unit.cfg"), dir.File("sub/./../unit.cfg")})
        list.Add(name);
    list.Add("sub/other.cfg");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(Paths(),
              (std::vector<std::string>{dir.File("sub/other.cfg"), dir.File("unit.cfg"), "", ""}));
}

TEST_F(RecentFilesTest, AListThatCannotBeSavedIsToldOnce) {
    RecordingUi ui;
    RecentFiles list;
    list.Add("/d/a.cfg");
    ::chmod(dir.File("Nimbrel.ini").c_str(), 0444);
    EXPECT_FALSE(list.Add("/d/b.cfg"));
    EXPECT_FALSE(list.Add("/d/c.cfg"));
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Cannot write the settings file " + dir.File("Nimbrel.ini") +
                                       ": the file is read-only.\r\nThe list of "
                                       "recent files was not saved."});
    EXPECT_EQ(Paths()[0], "/d/a.cfg");
    // Once it saves again, a new failure is told again.
    ::chmod(dir.File("Nimbrel.ini").c_str(), 0644);
    EXPECT_TRUE(list.Add("/d/d.cfg"));
    ::chmod(dir.File("Nimbrel.ini").c_str(), 0444);
    EXPECT_FALSE(list.Add("/d/e.cfg"));
    EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(AppTest, FileMenuListsTheEntriesAboveExitFollowedByASeparator) {
    Settings::WriteString("MRU", "MRU0", "/x/zero.cfg");
    Settings::WriteString("MRU", "MRU1", "Default");
    Settings::WriteString("MRU", "MRU2", "/x/two.cfg");
    QMenu* file = Frame()->FileMenu();
    for (int pass = 0; pass < 2; ++pass) { // refreshing does not pile items up
        emit file->aboutToShow();
        const auto actions = file->actions();
        ASSERT_EQ(actions.size(), 15);
        EXPECT_TRUE(actions[10]->isSeparator());
        EXPECT_EQ(actions[11]->text(), "&1 /x/zero.cfg");
        EXPECT_EQ(actions[11]->data().toInt(), cmd::kMruFirst);
        EXPECT_EQ(actions[12]->text(), "&3 /x/two.cfg");
        EXPECT_EQ(actions[12]->data().toInt(), cmd::kMruFirst + 2);
        EXPECT_TRUE(actions[13]->isSeparator());
        EXPECT_EQ(actions[14]->data().toInt(), cmd::kExit);
    }

    // An opened file shows up at the next refresh.
    Settings::WriteString("MRU", "MRU0", "Default");
    Settings::WriteString("MRU", "MRU2", "Default");
    emit file->aboutToShow();
    EXPECT_EQ(file->actions().size(), 12);
    Client()->OpenFile(ConfigFile("new.cfg"));
    emit file->aboutToShow();
    EXPECT_EQ(file->actions()[11]->text().toStdString(), "&1 " + dir.File("new.cfg"));
}

} // namespace
} // namespace nimbrel::test
