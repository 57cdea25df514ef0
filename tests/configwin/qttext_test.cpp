// Bytes as Qt strings: the item edits, and what messages, the user command
// list and the recent-file menu show.
#include "app/qtui.h"
#include "configwin/qttext.h"
#include "platform/displaytext.h"
#include "platform/settings.h"
#include "terminal/usercommands.h"
#include "tests/app/appfixture.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>

namespace nimbrel::test {
namespace {

struct Row {
    std::string bytes;
    QString item;  // what an item edit shows: one character a byte
    QString shown; // what a message, a list or a menu shows
};

const QString kEAcute(QChar(0xE9));

const Row kRows[] = {
    {"Caf\xE9", "Caf" + kEAcute, "Caf\\xe9"},                                     // not UTF-8
    {"Caf\xC3\xA9", "Caf" + QString(QChar(0xC3)) + QChar(0xA9), "Caf" + kEAcute}, // UTF-8
    {"Cafe", "Cafe", "Cafe"},
};

TEST_F(AppTest, ABytePastAsciiReadsTheSameWhereverItIsShownAndItemTextsComeBackWhole) {
    UserCommandsXfer commands;
    for (const Row& row : kRows) {
        EXPECT_EQ(ItemText(row.bytes), row.item) << row.bytes;
        EXPECT_EQ(ItemText(row.item), row.bytes);
        EXPECT_EQ(ShownText(row.bytes), row.shown) << row.bytes;
        EXPECT_EQ(ShownText(DisplayText(row.bytes)), row.shown) << "as the core escapes it";
        EXPECT_EQ(MessageText("The item \"" + row.bytes + "\""), "The item \"" + row.shown + "\"");
        commands.entries.push_back(row.bytes);
    }

    UserCommands list(nullptr, commands);
    ASSERT_EQ(list.List()->count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(list.List()->item(i)->text(), kRows[i].shown);

    for (int i = 0; i < 3; ++i)
        Settings::WriteString("MRU", "MRU" + std::to_string(i), "/x/" + kRows[i].bytes + ".cfg");
    QMenu* file = Frame()->FileMenu();
    emit file->aboutToShow();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(file->actions()[11 + i]->text(),
                  QStringLiteral("&%1 /x/%2.cfg").arg(i + 1).arg(kRows[i].shown));
    }
}

} // namespace
} // namespace nimbrel::test
