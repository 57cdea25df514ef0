// Ready-made sensors and the item array helpers of the configuration window.
#include "platform/commandids.h"
#include "configwin/useredit.h"
#include "configwin/itemrow.h"
#include "tests/configwin/windowfixture.h"

#include <QLabel>
#include <QScrollBar>

namespace nimbrel::test {
namespace {

class SensorTest : public WindowTest {
protected:
    SensorTest() { client.SetPassword(true); }
};

TEST_F(SensorTest, GpsTwiceGivesTwoSensorsWithConsecutiveNumbers) {
    auto w = Make();
    w->ExecuteCommand(cmd::kAddGps);
    w->ExecuteCommand(cmd::kAddGps);
    ASSERT_EQ(w->ItemCount(), 8);
    EXPECT_EQ(w->SensorCount, 3);
    for (int first : {4, 6}) {
        const DisplayLine& fix = *w->Items[first];
        const DisplayLine& rate = *w->Items[first + 1];
        const int number = first == 4 ? 2 : 3;
        EXPECT_EQ(fix.GetSensor(), "GPS Sensor");
        EXPECT_EQ(fix.GetName(), "Time allowed for fix (seconds)");
        EXPECT_EQ(fix.GetNumber(), number);
        EXPECT_EQ(fix.GetSize(), 4);
        EXPECT_EQ(rate.GetSensor(), "");
        EXPECT_EQ(rate.GetNumber(), number);
        EXPECT_TRUE(rate.GetList());
        EXPECT_EQ(rate.GetMaxText(), "{1200,1800,2700,3600,7200,10800,14400}");
        EXPECT_EQ(rate.GetValueText(), "3600");
        EXPECT_FALSE(rate.GetUser());
    }
    // Rows follow the array: the new ones sit under the transmitter sensor.
    EXPECT_EQ(w->Items[7]->GetIndex(), 7);
    EXPECT_EQ(w->Row(7)->Edit()->mapTo(w->ClientArea(), QPoint(0, 0)).y(), 25 * 8);
    EXPECT_EQ(w->Row(6)->SensorLabel()->text(), "GPS Sensor");
    EXPECT_EQ(w->Row(6)->NumberLabel()->text(), "3");
    EXPECT_TRUE(w->DataModified) << "a sensor added from the menu is a change to save";
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SensorTest, SerialSensorHasItsTemplate) {
    auto w = Make();
    w->ExecuteCommand(cmd::kAddSerial);
    ASSERT_EQ(w->ItemCount(), 8);
    const DisplayLine& baud = *w->Items[4];
    EXPECT_EQ(baud.GetSensor(), "Serial communications");
    EXPECT_EQ(baud.GetType(), kTypeBaud);
    EXPECT_EQ(baud.GetSize(), 4);
    EXPECT_EQ(baud.GetMaxText(), "{300,1200,2400,4800,9600}");
    EXPECT_EQ(baud.GetValueText(), "9600");
    for (int i : {5, 6}) {
        EXPECT_EQ(w->Items[i]->GetType(), kTypeChar);
        EXPECT_EQ(w->Items[i]->GetSize(), 1);
        EXPECT_EQ(w->Items[i]->GetMaxText(), "{0,1}");
        EXPECT_EQ(w->Items[i]->GetValueText(), "1");
    }
    const DisplayLine& interval = *w->Items[7];
    EXPECT_EQ(interval.GetName(), "User interface access interval (sec)");
    EXPECT_FALSE(interval.GetList());
    EXPECT_EQ(interval.GetMaxText(), "3600");
    EXPECT_EQ(interval.GetMinText(), "0");
    EXPECT_EQ(interval.GetSize(), 4);
    EXPECT_TRUE(interval.Validator().IsValid());
    w->Items[7]->SetValue(std::int32_t{3601});
    EXPECT_FALSE(interval.Validator().IsValid());
    for (int i = 4; i < 8; ++i) {
        EXPECT_EQ(w->Items[i]->GetNumber(), 2);
        EXPECT_FALSE(w->Items[i]->GetHex());
        EXPECT_EQ(w->Items[i]->GetAddress(), 0);
    }
}

TEST_F(SensorTest, TransmitterAddedByHandMarksTheConfigurationModified) {
    auto w = Make();
    EXPECT_FALSE(w->DataModified);
    w->ExecuteCommand(cmd::kAddTransmitter);
    ASSERT_EQ(w->ItemCount(), 8);
    EXPECT_EQ(w->Items[4]->GetNumber(), 2);
    EXPECT_EQ(w->Items[4]->GetSensor(), "ARGOS transmitter");
    EXPECT_TRUE(w->DataModified);
}

TEST_F(SensorTest, WithoutThePasswordNothingChanges) {
    client.SetPassword(false);
    auto w = Make();
    ASSERT_EQ(w->ItemCount(), 4); // the new configuration's sensor comes regardless
    for (int id : {cmd::kAddTransmitter, cmd::kAddGps, cmd::kAddSerial}) {
        ui.Clear();
        w->ExecuteCommand(id);
        ASSERT_EQ(ui.messages.size(), 1u) << id;
        EXPECT_EQ(ui.messages[0].text, "This function requires you to enter the system password");
        EXPECT_EQ(ui.messages[0].caption, "Error");
        EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    }
    EXPECT_EQ(w->ItemCount(), 4);
    EXPECT_EQ(w->SensorCount, 1);
    EXPECT_FALSE(w->DataModified);
}

TEST_F(SensorTest, InsertedBlankItemJoinsTheCurrentSensor) {
    auto w = Make();
    w->ExecuteCommand(cmd::kAddGps);
    w->SetCurrentEntry(4);
    DisplayLine* item = w->InsertArrayEntry(4);
    w->ReSyncArray();
    ASSERT_EQ(w->ItemCount(), 7);
    ASSERT_EQ(w->Items[5].get(), item);
    EXPECT_EQ(item->GetSensor(), "");
    EXPECT_EQ(item->GetNumber(), 2);
    EXPECT_EQ(item->GetName(), "Sensor item");
    EXPECT_EQ(item->GetValueText(), "0");
    EXPECT_EQ(item->GetType(), kTypeChar);
    EXPECT_EQ(item->GetSize(), 1);
    EXPECT_FALSE(item->GetHex());
    EXPECT_FALSE(item->GetList());
    EXPECT_EQ(item->GetAddress(), 0);
    EXPECT_TRUE(item->GetUser());
    EXPECT_TRUE(w->GetEditPointer(5)->isReadOnly());
    EXPECT_EQ(w->VerticalBar()->maximum(), 7);
    // The rows below moved down by one.
    EXPECT_EQ(w->Row(6)->NameLabel()->text(), "GPS sample rate (seconds)");
    EXPECT_EQ(w->Row(6)->Edit()->mapTo(w->ClientArea(), QPoint(0, 0)).y(), 25 * 7);
}

TEST_F(SensorTest, DeletingDownToNothingAndStartingAgain) {
    auto w = Make();
    w->SetCurrentEntry(3);
    w->DeleteArrayItem(3); // the last item: the one above becomes current
    w->ReSyncArray();
    EXPECT_EQ(w->ItemCount(), 3);
    EXPECT_EQ(w->CurrentEntry, 2);
    EXPECT_EQ(w->VerticalBar()->maximum(), 3);
    w->DeleteArrayItem(0);
    w->ReSyncArray();
    EXPECT_EQ(w->Items[0]->GetName(), "Fast transmission rep rate (seconds)");
    EXPECT_EQ(w->Row(0)->Edit()->mapTo(w->ClientArea(), QPoint(0, 0)).y(), 25);
    w->DeleteArrayItem(7); // outside: ignored
    while (w->ItemCount() > 0)
        w->DeleteArrayItem(w->ItemCount() - 1);
    EXPECT_EQ(w->CurrentEntry, 0); // never below 0

    // An empty configuration takes its first item at position 0, sensor 0.
    DisplayLine* item = w->InsertArrayEntry(w->ItemCount() - 1);
    w->ReSyncArray();
    ASSERT_EQ(w->ItemCount(), 1);
    EXPECT_EQ(w->Items[0].get(), item);
    EXPECT_EQ(item->GetNumber(), 0);
    EXPECT_EQ(item->GetIndex(), 0);
    w->EvLButtonDown(QPoint(100, 30));
    EXPECT_EQ(w->CurrentEntry, 0);
}

} // namespace
} // namespace nimbrel::test
