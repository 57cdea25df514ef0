// The configuration window's view, loading, saving and closing.
#include "app/mdichild.h"
#include "configwin/useredit.h"
#include "configwin/itemrow.h"
#include "platform/commandids.h"
#include "tests/configwin/windowfixture.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <filesystem>

namespace nimbrel::test {
namespace {

QRect InClient(const TNimbrelWindow& w, const QWidget* control) {
    return QRect(control->mapTo(w.ClientArea(), QPoint(0, 0)), control->size());
}

QColor PixelAt(const TNimbrelWindow& w, int x, int y) {
    return w.ClientArea()->grab().toImage().pixelColor(x, y);
}

TNimbrelMDIChild* FrameOf(QWidget& w) {
    for (QWidget* p = w.parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (auto* frame = qobject_cast<TNimbrelMDIChild*>(p)) return frame;
    }
    return nullptr;
}

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// ---- view

TEST_F(WindowTest, HeaderAndRowsSitInTheirColumns) {
    auto w = Make(ItemsFile("three.cfg", 3));
    ASSERT_EQ(w->ItemCount(), 3);
    EXPECT_EQ(InClient(*w, w->SensorHeader()), QRect(20, 0, 241, 25));
    EXPECT_EQ(InClient(*w, w->ItemHeader()), QRect(262, 0, 300, 25));
    EXPECT_EQ(InClient(*w, w->ValueHeader()), QRect(563, 0, 100, 25));
    EXPECT_EQ(w->SensorHeader()->text(), "Sensor name and number");
    EXPECT_EQ(w->ItemHeader()->text(), "Item name");
    EXPECT_EQ(w->ValueHeader()->text(), "Value");

    for (int i = 0; i < 3; ++i) {
        ItemRow* row = w->Row(i);
        ASSERT_NE(row, nullptr);
        const int y = 25 * (i + 1);
        EXPECT_EQ(InClient(*w, row->SensorLabel()), QRect(20, y, 200, 25));
        EXPECT_EQ(InClient(*w, row->NumberLabel()), QRect(221, y, 40, 25));
        EXPECT_EQ(InClient(*w, row->NameLabel()), QRect(262, y, 300, 25));
        EXPECT_EQ(InClient(*w, row->Edit()), QRect(563, y, 100, 25));
        EXPECT_EQ(row->NameLabel()->text(), QString("Item %1").arg(i));
        EXPECT_EQ(row->NumberLabel()->text(), "1");
        EXPECT_EQ(row->Edit()->text(), QString::number(10 * i));
    }
    EXPECT_EQ(w->Row(0)->SensorLabel()->text(), "Probe");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WindowTest, ScrollingShiftsRowsHeaderAndMarkers) {
    auto w = Make(ItemsFile("ten.cfg", 10), 800, 200);
    w->SetCurrentEntry(4);
    w->ScrollTo(0, 3);
    EXPECT_EQ(PixelAt(*w, 5, 50), kBlue);
    EXPECT_NE(PixelAt(*w, 5, 125), kBlue);
    // Row 4 moves up three rows and left two 20-pixel steps.
    w->ScrollTo(2, 3);
    EXPECT_EQ(InClient(*w, w->Row(4)->Edit()), QRect(563 - 40, 25 * 5 - 75, 100, 25));
    EXPECT_EQ(InClient(*w, w->ValueHeader()).topLeft(), QPoint(563 - 40, -75));
    EXPECT_EQ(PixelAt(*w, 663 - 40, 50), kBlue);
    EXPECT_EQ(PixelAt(*w, 677 - 40, 74), kBlue);
    EXPECT_NE(PixelAt(*w, 663, 50), kBlue);
    // An item added later is placed with the scroll position too.
    w->ScrollTo(0, 1);
    EXPECT_EQ(InClient(*w, w->Row(9)->Edit()).top(), 25 * 10 - 25);
}

TEST_F(WindowTest, MarkersAreRedForLockedItemsBlueOtherwiseAndAbsentWithoutItems) {
    auto w = Make(); // transmitter sensor: item 1 is not user configurable
    ASSERT_EQ(w->ItemCount(), 4);
    w->SetCurrentEntry(1);
    EXPECT_EQ(PixelAt(*w, 5, 50), kRed);
    EXPECT_EQ(PixelAt(*w, 19, 74), kRed);
    EXPECT_EQ(PixelAt(*w, 663, 50), kRed);
    EXPECT_EQ(PixelAt(*w, 677, 74), kRed);
    EXPECT_NE(PixelAt(*w, 4, 60), kRed);
    EXPECT_NE(PixelAt(*w, 678, 60), kRed);
    EXPECT_NE(PixelAt(*w, 10, 75), kRed); // next row

    w->SetCurrentEntry(2);
    EXPECT_EQ(PixelAt(*w, 10, 87), kBlue);
    EXPECT_EQ(PixelAt(*w, 670, 87), kBlue);
    EXPECT_NE(PixelAt(*w, 10, 60), kRed);

    while (w->ItemCount() > 0)
        w->DeleteArrayItem(0);
    const QColor left = PixelAt(*w, 10, 37);
    EXPECT_NE(left, kRed);
    EXPECT_NE(left, kBlue);
}

TEST_F(WindowTest, ClickSelectsTheRowUnderTheMouse) {
    auto w = Make(ItemsFile("ten.cfg", 10), 800, 200);
    w->EvLButtonDown(QPoint(100, 60));
    EXPECT_EQ(w->CurrentEntry, 1);
    w->EvLButtonDown(QPoint(100, 10)); // the header: row -1
    EXPECT_EQ(w->CurrentEntry, 1);
    w->EvLButtonDown(QPoint(10, 110));
    w->EvLButtonDown(QPoint(700, 110));
    EXPECT_EQ(w->CurrentEntry, 1);
    w->EvLButtonDown(QPoint(20, 110));
    EXPECT_EQ(w->CurrentEntry, 3);
    w->EvLButtonDown(QPoint(663, 35));
    EXPECT_EQ(w->CurrentEntry, 0);
    w->EvLButtonDown(QPoint(100, 25 * 20)); // below the last item
    EXPECT_EQ(w->CurrentEntry, 0);

    // Scrolled, the vertical position counts; clicks on labels reach the window.
    w->ScrollTo(0, 2);
    QTest::mouseClick(w->Row(3)->NameLabel(), Qt::LeftButton, {}, QPoint(50, 12));
    EXPECT_EQ(w->CurrentEntry, 3);
    QTest::mouseClick(w->ClientArea(), Qt::LeftButton, {}, QPoint(300, 60));
    EXPECT_EQ(w->CurrentEntry, 3);
    EXPECT_EQ(w->ItemCount(), 10);
}

TEST_F(WindowTest, CurrentEntryTakesTheFocusAndAFocusedEditBecomesCurrent) {
    auto w = Make();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->SetCurrentEntry(2);
    EXPECT_EQ(QApplication::focusWidget(), w->GetEditPointer(2));
    w->SetCurrentEntry(7); // outside: nothing happens
    w->SetCurrentEntry(-1);
    EXPECT_EQ(w->CurrentEntry, 2);
    w->GetEditPointer(3)->setFocus();
    EXPECT_EQ(w->CurrentEntry, 3);
}

TEST_F(WindowTest, ScrollBarsFollowTheClientSizeAndPosition) {
    auto w = Make(ItemsFile("ten.cfg", 10), 800, 200);
    EXPECT_TRUE(w->VerticalBarShown());
    EXPECT_FALSE(w->HorizontalBarShown());
    EXPECT_EQ(w->VerticalBar()->maximum(), 10);
    EXPECT_EQ(w->HorizontalBar()->maximum(), 100);
    EXPECT_EQ(w->VerticalBar()->pageStep(), 200 / 25 - 1);

    w->resize(800, 275);
    EXPECT_FALSE(w->VerticalBarShown());
    w->resize(800, 274);
    EXPECT_TRUE(w->VerticalBarShown());
    w->resize(800, 400);
    EXPECT_FALSE(w->VerticalBarShown());
    w->ScrollDown(1);
    EXPECT_EQ(w->VerticalPos(), 1);
    EXPECT_TRUE(w->VerticalBarShown()); // position not 0
    w->ScrollUp(1);
    EXPECT_EQ(w->VerticalPos(), 0);
    EXPECT_FALSE(w->VerticalBarShown());

    // Narrower than the content: the horizontal bar, which takes from the height.
    w->resize(600, 275 + w->HorizontalBar()->sizeHint().height() - 1);
    EXPECT_TRUE(w->HorizontalBarShown());
    EXPECT_TRUE(w->VerticalBarShown());
    w->resize(663 + w->VerticalBar()->sizeHint().width(), 200);
    EXPECT_FALSE(w->HorizontalBarShown());
}

TEST_F(WindowTest, ScrollBarFollowsTheItemCount) {
    client.SetPassword(true);
    auto w = Make({}, 800, 200);
    EXPECT_FALSE(w->VerticalBarShown());
    w->CmAddgps();
    w->CmAddserial(); // 10 items do not fit in 200 pixels
    EXPECT_TRUE(w->VerticalBarShown());
    EXPECT_EQ(w->VerticalBar()->maximum(), 10);
    while (w->ItemCount() > 6)
        w->DeleteArrayItem(w->ItemCount() - 1);
    EXPECT_FALSE(w->VerticalBarShown());
}

TEST_F(WindowTest, ScrollStopsAtBothEnds) {
    auto w = Make(ItemsFile("ten.cfg", 10), 800, 200);
    w->ScrollUp(1);
    EXPECT_EQ(w->VerticalPos(), 0);
    w->ScrollTo(0, 10);
    w->ScrollDown(1);
    EXPECT_EQ(w->VerticalPos(), 10);
    w->ScrollTo(0, 9);
    w->ScrollDown(3); // 9 + 3 > 10
    EXPECT_EQ(w->VerticalPos(), 9);
    w->ScrollDown(1); // always one row, whatever n
    EXPECT_EQ(w->VerticalPos(), 10);
}

TEST_F(WindowTest, EditsAndItemsStayInStep) {
    auto w = Make();
    DisplayLine& item = *w->Items[2];
    UserEdit* edit = w->GetEditPointer(2);
    EXPECT_FALSE(w->DataModified);
    edit->clear();
    QTest::keyClicks(edit, "123");
    EXPECT_TRUE(w->DataModified) << "typed changes must be offered for saving";
    EXPECT_EQ(item.GetValueText(), "123");
    EXPECT_EQ(item.GetValue(), 123);

    // An edit in the middle keeps the cursor where the user typed.
    edit->setCursorPosition(1);
    QTest::keyClicks(edit, "9");
    EXPECT_EQ(item.GetValueText(), "1923");
    EXPECT_EQ(edit->cursorPosition(), 2);

    item.SetValue(std::int32_t{42});
    EXPECT_EQ(edit->text(), "42");
    item.SetName("Renamed");
    EXPECT_EQ(w->Row(2)->NameLabel()->text(), "Renamed");

    // Not user configurable: the edit refuses typing.
    UserEdit* locked = w->GetEditPointer(1);
    EXPECT_TRUE(locked->isReadOnly());
    QTest::keyClicks(locked, "5");
    EXPECT_EQ(w->Items[1]->GetValueText(), "90");
    item.SetUser(true);
    EXPECT_TRUE(edit->isReadOnly());
    item.SetUser(false);
    EXPECT_FALSE(edit->isReadOnly());
}

TEST_F(WindowTest, DeletingCharactersAloneMarksTheConfigurationModified) {
    auto w = Make();
    UserEdit* edit = w->GetEditPointer(2);
    edit->setFocus();
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(w->Items[2]->GetValueText(), "720");
    EXPECT_TRUE(w->DataModified);
}

TEST_F(WindowTest, NewConfigurationHoldsTheTransmitterSensorUnmodified) {
    auto w = Make();
    ASSERT_EQ(w->ItemCount(), 4);
    EXPECT_EQ(w->SensorCount, 1);
    EXPECT_FALSE(w->DataModified);
    EXPECT_FALSE(w->LoadedFromFile);
    EXPECT_FALSE(client.GetPassword()); // set only while the sensor was added
    EXPECT_TRUE(ui.messages.empty());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w->Items[i]->GetNumber(), 1);
        EXPECT_EQ(w->Items[i]->GetIndex(), i);
    }
    EXPECT_EQ(w->Items[0]->GetSensor(), "ARGOS transmitter");
}

TEST_F(WindowTest, LoadingFillsTheItemsFromTheFile) {
    const std::string path = dir.Write("tx.cfg", kTransmitterFile);
    TNimbrelWindow w(nullptr, &client, path);
    // First pass: blank items only.
    ASSERT_EQ(w.ItemCount(), 4);
    EXPECT_TRUE(w.LoadedFromFile);
    EXPECT_EQ(w.Items[0]->GetValueText(), "0");
    w.SetupWindow();
    EXPECT_EQ(w.SensorCount, 1);
    EXPECT_EQ(w.Items[0]->GetValueText(), "11111");
    EXPECT_EQ(w.Items[1]->GetMaxText(), "{90,200}");
    EXPECT_TRUE(w.Items[1]->GetUser());
    EXPECT_TRUE(w.GetEditPointer(1)->isReadOnly());
    EXPECT_EQ(w.GetEditPointer(3)->text(), "14400");
    EXPECT_EQ(w.windowTitle().toStdString(), path);
    EXPECT_FALSE(w.DataModified);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WindowTest, RowsFollowTheFileOrderWhateverIndexesItCarries) {
    auto w = Make(dir.Write("idx.cfg", "2 1\r\n"
                                       "4,0,5,Pump,Flow,1,0,0,10,0,4,0,0\r\n"
                                       "4,0,6,,Rate,1,0,0,10,0,4,0,4\r\n"));
    ASSERT_EQ(w->ItemCount(), 2);
    EXPECT_EQ(w->Items[1]->GetIndex(), 1);
    EXPECT_EQ(InClient(*w, w->Row(1)->Edit()).top(), 50);
    w->EvLButtonDown(QPoint(100, 60));
    EXPECT_EQ(w->CurrentEntry, 1);
}

TEST_F(WindowTest, FileThatCannotBeOpenedIsNamedAndBecomesANewConfiguration) {
    const std::string path = dir.File("missing.cfg");
    auto w = Make(path);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Cannot open the configuration file " + path + ".");
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(w->ItemCount(), 4);
    EXPECT_EQ(w->Items[0]->GetName(), "PTT ID number");
    EXPECT_FALSE(w->DataModified);
}

TEST_F(WindowTest, FileWithoutItemsBecomesANewConfiguration) {
    auto w = Make(dir.Write("empty.cfg", "0 5\r\n"));
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(w->ItemCount(), 4);
    EXPECT_FALSE(w->LoadedFromFile);
}

TEST_F(WindowTest, FileHoldingNoConfigurationIsNamedAndOpensWithNoItems) {
    for (const char* text : {"", "\r\n", "just some words", "5 1\r\n"}) {
        SCOPED_TRACE(text);
        ui.Clear();
        const std::string path = dir.Write("none.cfg", text);
        auto w = Make(path);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "The file " + path + " holds no configuration.");
        EXPECT_EQ(ui.messages[0].caption, "Error");
        EXPECT_EQ(w->ItemCount(), 0) << "never the new configuration's transmitter ID";
        EXPECT_TRUE(w->LoadedFromFile);
        EXPECT_FALSE(w->DataModified);
    }
}

TEST_F(WindowTest, FileProblemsAreShownInOneMessage) {
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919 + i / 13) % 256);
    const std::string path = dir.Write("junk.cfg", junk);
    auto w = Make(path);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("The file " + path + " has problems:\r\n", 0), 0u);
    EXPECT_NE(ui.messages[0].text.find(" more"), std::string::npos);
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_GT(w->ItemCount(), 0);

    ui.Clear();
    auto flags = Make(dir.Write("flags.cfg", "2 1\r\n"
                                             "11,0,1,,a,1,0,0,1,0,1,0,0\r\n"
                                             "6,1,1.5,,b,1,1,0,1,0,4,0\r\n"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "The file " + dir.File("flags.cfg") +
                                       " has problems:\r\nLine 2: Unknown type\r\n"
                                       "Line 3: Hex not allowed for floats\r\nLine 3: Error");
    EXPECT_EQ(flags->ItemCount(), 2);
}

// ---- saving

TEST_F(WindowTest, SaveAsWritesTheFileAndLaterSavesGoThere) {
    client.CmFileNew();
    ASSERT_NE(client.ConfigWindow(), nullptr);
    TNimbrelWindow& w = *client.ConfigWindow();
    auto* frame = FrameOf(w);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(w.ItemCount(), 4);

    const std::string path = dir.File("new.cfg");
    ui.fileReplies.push_back(path);
    w.ExecuteCommand(cmd::kFileSaveAs);
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    const FileRequest& request = ui.fileRequests[0];
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.filter, "Configuration files(cfg)|*.cfg");
    EXPECT_EQ(request.defaultExt, "cfg");
    EXPECT_EQ(request.initialName, "");
    EXPECT_TRUE(request.pathMustExist);
    EXPECT_EQ(dir.Read("new.cfg"), kTransmitterFile);
    EXPECT_EQ(w.GetFileName(), path);
    EXPECT_EQ(frame->windowTitle().toStdString(), path);

    w.Items[0]->SetValue(std::int32_t{4242});
    w.Modified();
    w.ExecuteCommand(cmd::kFileSave);
    EXPECT_EQ(ui.fileRequests.size(), 1u); // no second dialog
    EXPECT_NE(dir.Read("new.cfg").find("9,0,4242,ARGOS transmitter"), std::string::npos);
    EXPECT_FALSE(w.DataModified);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WindowTest, SaveAsCancelledChangesNothing) {
    auto w = Make();
    w->Modified();
    w->CmFilesaveas();
    EXPECT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_EQ(w->GetFileName(), "");
    EXPECT_TRUE(w->DataModified);
}

TEST_F(WindowTest, FailedSaveIsReportedAndKeepsTheChanges) {
    auto w = Make();
    w->Modified();
    const std::string bad = dir.File("no-such-folder/x.cfg");
    ui.fileReplies.push_back(bad);
    w->CmFilesaveas();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_NE(ui.messages[0].text.find(bad), std::string::npos) << ui.messages[0].text;
    EXPECT_TRUE(w->DataModified);
    EXPECT_EQ(w->GetFileName(), "");

    // Save to a loaded file whose folder has gone: Save itself reports.
    const std::string sub = dir.File("sub");
    std::filesystem::create_directory(sub);
    const std::string path = sub + "/tx.cfg";
    dir.Write("sub/tx.cfg", kTransmitterFile);
    auto loaded = Make(path);
    loaded->Modified();
    std::filesystem::remove_all(sub);
    ui.Clear();
    EXPECT_FALSE(loaded->Save(loaded->GetFileName()));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(path), std::string::npos);
    EXPECT_TRUE(loaded->DataModified);
}

// ---- closing

TEST_F(WindowTest, CloseModifiedAnsweredNoClosesWithoutSaving) {
    const std::string path = dir.Write("tx.cfg", kTransmitterFile);
    auto w = Make(path);
    EXPECT_TRUE(w->CanClose()); // unmodified: nothing to ask
    EXPECT_TRUE(ui.messages.empty());
    w->Items[0]->SetValue(std::int32_t{7});
    w->Modified();
    ui.answers.push_back(Answer::No);
    EXPECT_TRUE(w->CanClose());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Do you wish to save the contents of this window");
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].buttons, Buttons::YesNoCancel);
    EXPECT_EQ(dir.Read("tx.cfg"), kTransmitterFile);
}

TEST_F(WindowTest, CloseModifiedAnsweredYesOnANewConfigurationAsksForAFile) {
    auto w = Make();
    w->Modified();
    ui.answers.push_back(Answer::Yes);
    ui.fileReplies.push_back(dir.File("saved.cfg"));
    EXPECT_TRUE(w->CanClose());
    EXPECT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_EQ(dir.Read("saved.cfg"), kTransmitterFile);
}

TEST_F(WindowTest, CloseStaysOpenWhenTheSaveAskedForDoesNotHappen) {
    auto w = Make();
    w->Modified();
    ui.answers.push_back(Answer::Yes); // then the file dialog is cancelled
    EXPECT_FALSE(w->CanClose());
    EXPECT_TRUE(w->DataModified);

    ui.answers.push_back(Answer::Yes);
    ui.fileReplies.push_back(dir.File("gone/x.cfg"));
    EXPECT_FALSE(w->CanClose());
    EXPECT_EQ(ui.messages.back().caption, "Error");
    EXPECT_TRUE(w->DataModified);
}

TEST_F(WindowTest, InvalidValueAtCloseAsksAndCancelKeepsTheWindowRegistered) {
    client.CmFileNew();
    TNimbrelWindow* w = client.ConfigWindow();
    ASSERT_NE(w, nullptr);
    w->Items[3]->SetValue("0");     // off time below its minimum of 1
    w->Items[2]->SetValue("90000"); // on time above 86400: the first failing edit

    ui.answers.push_back(Answer::Ok);     // the "Input error" box
    ui.answers.push_back(Answer::Cancel); // "Data not correct ..."
    EXPECT_FALSE(w->CanClose());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].caption, "Input error");
    EXPECT_NE(ui.messages[0].text.find("Value = 90000"), std::string::npos);
    EXPECT_EQ(ui.messages[1].text,
              "Data not correct for all entries.\n\rAre you sure you want to exit");
    EXPECT_EQ(ui.messages[1].caption, "Notice");
    EXPECT_EQ(ui.messages[1].buttons, Buttons::OkCancel);
    EXPECT_EQ(ui.messages[1].icon, Icon::Exclamation);
    EXPECT_EQ(client.ConfigWindow(), w);
    EXPECT_EQ(client.ConfigCount(), 1);

    ui.Clear();
    ui.answers.push_back(Answer::Ok);
    ui.answers.push_back(Answer::Ok);
    EXPECT_TRUE(w->CanClose());
    EXPECT_EQ(client.ConfigWindow(), nullptr);
    EXPECT_EQ(client.ConfigCount(), 0);
}

TEST_F(WindowTest, InvalidValueAndUnsavedChangesAskInThatOrder) {
    auto w = Make();
    w->Items[2]->SetValue("0");
    w->Modified();
    ui.answers = {Answer::Ok, Answer::No, Answer::Ok};
    EXPECT_TRUE(w->CanClose());
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0].caption, "Input error");
    EXPECT_EQ(ui.messages[1].text, "Do you wish to save the contents of this window");
    EXPECT_EQ(ui.messages[2].caption, "Notice");
}

} // namespace
} // namespace nimbrel::test
