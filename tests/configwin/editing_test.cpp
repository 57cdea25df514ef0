// Editing a configuration: the editing commands behind the password, the
// value edits' keys and checks, and rows kept only for the items in view.
#include "platform/commandids.h"
#include "configwin/useredit.h"
#include "configwin/itemrow.h"
#include "configwin/modsensor.h"
#include "tests/configwin/windowfixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace nimbrel::test {
namespace {

constexpr const char* kPasswordText = "This function requires you to enter the system password";

class EditingTest : public WindowTest {
protected:
    EditingTest() { client.SetPassword(true); }

    // A shown, active window, so that focus and keys behave as for a user.
    std::unique_ptr<TNimbrelWindow> Active(const std::string& path = {}, int h = 400) {
        auto w = Make(path, 800, h);
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return w;
    }

    static void Serve() { QCoreApplication::processEvents(); }

    std::vector<std::string> Names(const TNimbrelWindow& w) {
        std::vector<std::string> names;
        for (const auto& item : w.Items)
            names.push_back(item->GetName() + "/" + std::to_string(item->GetNumber()));
        return names;
    }
};

TEST_F(EditingTest, WithoutThePasswordEveryCommandRefusesAndChangesNothing) {
    client.SetPassword(false);
    auto w = Make();
    for (int id : {cmd::kAddSensor, cmd::kAddItem, cmd::kDeleteItem, cmd::kModifySensor,
                   cmd::kAddTransmitter, cmd::kAddGps, cmd::kAddSerial}) {
        ui.Clear();
        w->ExecuteCommand(id);
        ASSERT_EQ(ui.Texts(), std::vector<std::string>{kPasswordText}) << id;
        EXPECT_EQ(ui.messages[0].caption, "Error");
        EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
        EXPECT_TRUE(ui.inputs.empty());
    }
    EXPECT_EQ(w->ItemCount(), 4);
    EXPECT_EQ(w->SensorCount, 1);
    EXPECT_FALSE(w->DataModified);
}

TEST_F(EditingTest, CommandsAreOfferedWhileTheWindowCanServeThem) {
    auto w = Make();
    const int commands[] = {cmd::kAddSensor, cmd::kAddItem, cmd::kDeleteItem, cmd::kModifySensor};
    for (int id : commands)
        EXPECT_TRUE(w->HandlesCommand(id)) << id;
    while (w->ItemCount() > 0)
        w->DeleteArrayItem(0);
    // Without a current item there is nothing to delete or modify.
    EXPECT_TRUE(w->HandlesCommand(cmd::kAddSensor));
    EXPECT_TRUE(w->HandlesCommand(cmd::kAddItem));
    EXPECT_FALSE(w->HandlesCommand(cmd::kDeleteItem));
    EXPECT_FALSE(w->HandlesCommand(cmd::kModifySensor));
}

TEST_F(EditingTest, AddSensorAppendsANumberedSensorOfOneBlankItem) {
    auto w = Make();
    ui.inputReplies.push_back(std::nullopt); // Cancel
    w->ExecuteCommand(cmd::kAddSensor);
    EXPECT_EQ(w->ItemCount(), 4);
    EXPECT_FALSE(w->DataModified);

    ui.inputReplies.push_back(std::string("Pump"));
    w->ExecuteCommand(cmd::kAddSensor);
    ASSERT_EQ(ui.inputs.size(), 2u);
    EXPECT_EQ(ui.inputs[1].caption, "Add new Sensor");
    EXPECT_EQ(ui.inputs[1].prompt, "Enter sensor name: ");
    EXPECT_EQ(ui.inputs[1].maxChars, 59);
    ASSERT_EQ(w->ItemCount(), 5);
    const DisplayLine& item = *w->Items[4];
    EXPECT_EQ(item.GetSensor(), "Pump");
    EXPECT_EQ(item.GetNumber(), 2);
    EXPECT_EQ(item.GetName(), "Sensor item");
    EXPECT_EQ(item.GetValueText(), "0");
    EXPECT_EQ(w->SensorCount, 2);
    EXPECT_TRUE(w->DataModified);
    EXPECT_EQ(w->CurrentEntry, 4) << "the new sensor is shown as the current item";
}

TEST_F(EditingTest, AddItemJoinsTheCurrentSensorRightAfterTheCurrentItem) {
    auto w = Make();
    w->ExecuteCommand(cmd::kAddGps); // sensor 2 at 4 and 5
    w->SetCurrentEntry(4);
    w->DataModified = false;
    w->ExecuteCommand(cmd::kAddItem);
    ASSERT_EQ(w->ItemCount(), 7);
    EXPECT_EQ(w->Items[5]->GetName(), "Sensor item");
    EXPECT_EQ(w->Items[5]->GetNumber(), 2);
    EXPECT_EQ(w->Items[5]->GetSensor(), "");
    EXPECT_TRUE(w->GetEditPointer(5)->isReadOnly()) << "a blank item is not user configurable";
    EXPECT_EQ(w->Row(6)->NameLabel()->text(), "GPS sample rate (seconds)");
    EXPECT_TRUE(w->DataModified);

    // An empty configuration takes its first item at position 0, sensor 0.
    while (w->ItemCount() > 0)
        w->DeleteArrayItem(0);
    w->ExecuteCommand(cmd::kAddItem);
    ASSERT_EQ(w->ItemCount(), 1);
    EXPECT_EQ(w->Items[0]->GetNumber(), 0);
    EXPECT_EQ(w->Items[0]->GetIndex(), 0);
}

TEST_F(EditingTest, DeletingTakesOneItemOrAfterTheWarningTheWholeSensor) {
    auto w = Make();
    w->ExecuteCommand(cmd::kAddGps);    // 4, 5: sensor 2
    w->ExecuteCommand(cmd::kAddSerial); // 6 .. 9: sensor 3
    w->ExecuteCommand(cmd::kAddGps);    // 10, 11: sensor 4
    w->DataModified = false;

    w->SetCurrentEntry(7); // second item of the serial sensor: that item alone
    w->ExecuteCommand(cmd::kDeleteItem);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(w->ItemCount(), 11);
    EXPECT_EQ(w->Items[7]->GetName(), "Hardware handshaking yes=1 no=0");
    EXPECT_TRUE(w->DataModified) << "a deleted item is a change to save";

    // The first item of the three-item sensor between two others.
    w->DataModified = false;
    w->SetCurrentEntry(6);
    ui.answers.push_back(Answer::Cancel);
    w->ExecuteCommand(cmd::kDeleteItem);
    ASSERT_EQ(ui.Texts(),
              std::vector<std::string>{"Deleting this item will delete the entire sensor"});
    EXPECT_EQ(ui.messages[0].caption, "Warning");
    EXPECT_EQ(ui.messages[0].buttons, Buttons::OkCancel);
    EXPECT_EQ(w->ItemCount(), 11);
    EXPECT_TRUE(w->DataModified);

    ui.answers.push_back(Answer::Ok);
    w->ExecuteCommand(cmd::kDeleteItem);
    ASSERT_EQ(w->ItemCount(), 8);
    EXPECT_EQ(w->Items[5]->GetNumber(), 2);
    EXPECT_EQ(w->Items[6]->GetNumber(), 4);
    EXPECT_EQ(w->Items[6]->GetIndex(), 6);

    // The last item: the one above becomes current.
    w->SetCurrentEntry(7);
    w->ExecuteCommand(cmd::kDeleteItem);
    EXPECT_EQ(w->ItemCount(), 7);
    EXPECT_EQ(w->CurrentEntry, 6);
}

TEST_F(EditingTest, DeletingASensorNeverReachesItemsAboveItWithTheSameNumber) {
    // Two sensors carry number 1; the second is the last one.
    auto w = Make(dir.Write("same.cfg", "3 1\r\n"
                                        "4,0,1,Alpha,A,1,0,0,10,0,4,0,0\r\n"
                                        "4,0,2,,B,1,1,0,10,0,4,0,4\r\n"
                                        "4,0,3,Beta,C,1,2,0,10,0,4,0,8\r\n"));
    w->SetCurrentEntry(2);
    ui.answers.push_back(Answer::Ok);
    w->ExecuteCommand(cmd::kDeleteItem);
    EXPECT_EQ(Names(*w), (std::vector<std::string>{"A/1", "B/1"}));
    EXPECT_EQ(w->CurrentEntry, 1);
}

TEST_F(EditingTest, DeletingALaterItemWhoseSensorTextBeginsWithABlankTakesThatItemAlone) {
    auto w = Make(dir.Write("blank.cfg", "5 2\r\n"
                                         "4,0,1,Alpha,A,1,0,0,10,0,4,0,0\r\n"
                                         "4,0,2, Alpha,B,1,1,0,10,0,4,0,4\r\n"
                                         "4,0,3, ,C,1,2,0,10,0,4,0,8\r\n"
                                         "4,0,4,Beta,D,2,3,0,10,0,4,0,12\r\n"
                                         "4,0,5, Beta,E,2,4,0,10,0,4,0,16\r\n"));
    for (const int at : {1, 3, 1}) {
        w->SetCurrentEntry(at);
        w->ExecuteCommand(cmd::kDeleteItem);
    }
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(Names(*w), (std::vector<std::string>{"A/1", "D/2"}));
    EXPECT_EQ(w->Items[1]->GetSensor(), "Beta");
}

TEST_F(EditingTest, ModifyRunsTheEditorOnTheCurrentItemAndOkMarksModified) {
    auto w = Make();
    w->SetCurrentEntry(2);
    int runs = 0;
    {
        ModSensor::ScopedDriver driver([&](ModSensor& dialog) {
            ++runs;
            dialog.reject();
        });
        w->ExecuteCommand(cmd::kModifySensor);
        // A double click on a row opens it too.
        QTest::mouseDClick(w->Row(2)->NameLabel(), Qt::LeftButton, {}, QPoint(50, 12));
    }
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(w->DataModified) << "Cancel changes nothing";
    EXPECT_EQ(w->Items[2]->GetName(), "Transmission on time (seconds)");

    ModSensor::ScopedDriver driver([&](ModSensor& dialog) {
        dialog.NameEdit()->setText("On time");
        dialog.OkButton()->click();
    });
    w->ExecuteCommand(cmd::kModifySensor);
    EXPECT_EQ(w->Items[2]->GetName(), "On time");
    EXPECT_EQ(w->Row(2)->NameLabel()->text(), "On time");
    EXPECT_TRUE(w->DataModified);
}

TEST_F(EditingTest, EditedConfigurationSavedAndReopenedShowsTheSameItems) {
    auto w = Make();
    w->ExecuteCommand(cmd::kAddSerial);
    ui.inputReplies.push_back(std::string("Pump"));
    w->ExecuteCommand(cmd::kAddSensor);
    w->SetCurrentEntry(5);
    w->ExecuteCommand(cmd::kDeleteItem);
    w->SetCurrentEntry(0);
    w->ExecuteCommand(cmd::kAddItem);
    const std::string path = dir.File("edited.cfg");
    ASSERT_TRUE(w->Save(path));
    auto again = Make(path);
    ASSERT_EQ(again->ItemCount(), w->ItemCount());
    EXPECT_EQ(Names(*again), Names(*w));
    EXPECT_EQ(again->SensorCount, w->SensorCount);
    for (int i = 0; i < w->ItemCount(); ++i)
        EXPECT_EQ(again->Items[i]->GetValueText(), w->Items[i]->GetValueText()) << i;
}

// ---- the value edits

TEST_F(EditingTest, EnterTabAndTheDedicatedArrowsMoveTheCurrentEntry) {
    auto w = Active(ItemsFile("ten.cfg", 10), 200);
    struct Case {
        const char* what;
        int from;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool repeat;
        int current;
        int scroll; // rows scrolled
    } cases[] = {
        {"Enter", 2, Qt::Key_Return, {}, false, 3, 0},
        {"Tab", 2, Qt::Key_Tab, {}, false, 3, 0},
        {"Down", 2, Qt::Key_Down, {}, false, 3, 1},
        {"Up", 2, Qt::Key_Up, {}, false, 1, -1},
        {"keypad Up", 2, Qt::Key_Up, Qt::KeypadModifier, false, 2, 0},
        {"held Down", 2, Qt::Key_Down, {}, true, 2, 0},
        {"Enter on the last item", 9, Qt::Key_Return, {}, false, 9, 0},
    };
    for (const Case& c : cases) {
        w->ScrollTo(0, 1);
        w->SetCurrentEntry(c.from);
        QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers, QString(), c.repeat);
        QApplication::sendEvent(w->GetEditPointer(c.from), &press);
        EXPECT_EQ(w->CurrentEntry, c.current) << c.what;
        EXPECT_EQ(w->VerticalPos(), 1 + c.scroll) << c.what;
        EXPECT_EQ(QApplication::focusWidget(), w->GetEditPointer(c.current)) << c.what;
    }
}

TEST_F(EditingTest, LeavingAnInvalidValueBringsTheFocusBackWithTheMessage) {
    auto w = Active();
    UserEdit* on = w->GetEditPointer(2);
    on->setFocus();
    on->selectAll();
    QTest::keyClicks(on, "86401");
    w->GetEditPointer(3)->setFocus();
    Serve();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Input error");
    EXPECT_EQ(ui.messages[0].text, "Max = 86400.000000\n\rMin = 1.000000\n\rValue = 86401");
    EXPECT_EQ(QApplication::focusWidget(), on);
    EXPECT_EQ(w->CurrentEntry, 2);

    // A dialog's OK or Cancel takes the focus without a check.
    QPushButton cancel("Cancel", w->ClientArea());
    cancel.setProperty("buttonId", 2);
    cancel.show();
    cancel.setFocus();
    Serve();
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), &cancel);

    // A valid value moves on quietly.
    on->setFocus();
    on->selectAll();
    QTest::keyClicks(on, "86400");
    w->GetEditPointer(3)->setFocus();
    Serve();
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), w->GetEditPointer(3));
}

TEST_F(EditingTest, CloseWithAnInvalidValueOutOfViewScrollsToItAndFocusesIt) {
    auto w = Active(ItemsFile("many.cfg", 100), 200);
    w->Items[80]->SetValue("5000"); // above the maximum of 1000
    ui.answers = {Answer::Ok, Answer::Cancel};
    EXPECT_FALSE(w->CanClose());
    EXPECT_EQ(w->CurrentEntry, 80);
    ASSERT_NE(w->Row(80), nullptr);
    const int y = w->Row(80)->mapTo(w->ClientArea(), QPoint(0, 0)).y();
    EXPECT_GE(y, 0);
    EXPECT_LE(y + 25, w->ClientArea()->height());
    EXPECT_EQ(QApplication::focusWidget(), w->GetEditPointer(80));
}

// ---- rows only where the eye is

TEST_F(EditingTest, RowsExistOnlyForTheItemsInViewAndFollowTheScroll) {
    auto w = Active(ItemsFile("many.cfg", 640), 300);
    const int inView = 300 / 25 + 2;
    EXPECT_LE(w->RowCount(), inView + 1);
    EXPECT_EQ(w->Row(100), nullptr);

    w->ScrollTo(0, 100);
    ASSERT_NE(w->Row(100), nullptr);
    EXPECT_EQ(w->Row(100)->NameLabel()->text(), "Item 100");
    EXPECT_EQ(w->Row(100)->Edit()->text(), "1000");
    EXPECT_EQ(w->Row(100)->mapTo(w->ClientArea(), QPoint(0, 0)).y(), 25);
    EXPECT_LE(w->RowCount(), inView + 1) << "rows are reused, not added";

    // Typing into a reused row reaches its item, and the current item keeps
    // its row while it is scrolled away.
    w->SetCurrentEntry(101);
    UserEdit* edit = w->GetEditPointer(101);
    edit->selectAll();
    QTest::keyClicks(edit, "7");
    EXPECT_EQ(w->Items[101]->GetValueText(), "7");
    w->ScrollTo(0, 300);
    EXPECT_EQ(w->GetEditPointer(101), edit);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_EQ(w->Row(1), nullptr);
    w->ScrollTo(0, 0);
    EXPECT_EQ(w->Row(1)->Edit()->text(), "10");
}

} // namespace
} // namespace nimbrel::test
