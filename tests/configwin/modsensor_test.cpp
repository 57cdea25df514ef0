#include "configwin/modsensor.h"

#include "config/displayline.h"
#include "tests/support/recordingui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

using nimbrel::DisplayLine;
using nimbrel::ModSensorXfer;
using nimbrel::test::RecordingUi;

namespace {

ModSensorXfer Filled(std::int32_t type, const std::string& value) {
    DisplayLine item(0, "ARGOS", "1", "Rate", value, type, 4);
    item.SetType(type);
    item.SetMin(0);
    item.SetMax(1000);
    item.SetAddress(0x8000);
    ModSensorXfer xfer;
    nimbrel::FillModSensorXfer(item, xfer);
    return xfer;
}

// Runs the dialog on the record; `act` works its controls while it is shown.
int RunDialog(ModSensorXfer& xfer, const std::function<void(ModSensor&)>& act) {
    ModSensor::ScopedDriver driver([&](ModSensor& dialog) {
        dialog.show();
        act(dialog);
    });
    ModSensor dialog(nullptr, xfer);
    return dialog.Execute();
}

void Retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

bool SameRecord(const ModSensorXfer& a, const ModSensorXfer& b) {
    return a.address == b.address && a.types == b.types && a.selected == b.selected &&
           a.name == b.name && a.value == b.value && a.max == b.max && a.min == b.min &&
           a.size == b.size && a.hex == b.hex && a.user == b.user && a.list == b.list;
}

} // namespace

TEST(ModSensorDialog, HexRefusalLeavesTheBoxAsItWas) {
    const struct {
        std::int32_t type;
        const char* value;
        bool checked; // the box before the click
        const char* refusal;
    } cases[] = {
        {nimbrel::kTypeFloat, "1.5", false, "Hex not allowed for floats or literal strings"},
        {nimbrel::kTypeAscii, "AB", false, "Hex not allowed for floats or literal strings"},
        {nimbrel::kTypeString, "12ab", true, "Hex must be set for strings"},
    };
    for (const auto& c : cases) {
        RecordingUi ui;
        ModSensorXfer xfer = Filled(c.type, c.value);
        RunDialog(xfer, [&](ModSensor& dialog) {
            ASSERT_EQ(dialog.HexCheck()->isChecked(), c.checked);
            QTest::mouseClick(dialog.HexCheck(), Qt::LeftButton);
            EXPECT_EQ(dialog.HexCheck()->isChecked(), c.checked) << c.value;
            EXPECT_EQ(dialog.MaxEdit()->text(), c.checked ? "3e8 H" : "1000");
        });
        ASSERT_EQ(ui.messages.size(), 1u) << c.value;
        EXPECT_EQ(ui.messages[0].text, c.refusal);
        EXPECT_EQ(ui.messages[0].caption, "");
        EXPECT_EQ(ui.messages[0].icon, nimbrel::Icon::Exclamation);
    }
}

TEST(ModSensorDialog, CommaInTheNameKeepsTheDialogOpen) {
    RecordingUi ui;
    ModSensorXfer xfer = Filled(nimbrel::kTypeLong, "255");
    const ModSensorXfer before = xfer;
    const int result = RunDialog(xfer, [&](ModSensor& dialog) {
        Retype(dialog.NameEdit(), "Rate, seconds");
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.NameEdit()->text(), "Rate, seconds");
        QTest::keyClick(dialog.NameEdit(), Qt::Key_Return); // OK is the default button
        EXPECT_TRUE(dialog.isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(SameRecord(xfer, before));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>(2, "Commas not allowed in description"));
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_EQ(ui.messages[0].icon, nimbrel::Icon::Exclamation);
}

TEST(ModSensorDialog, OkCopiesTheControlsIntoTheRecord) {
    RecordingUi ui;
    ModSensorXfer xfer = Filled(nimbrel::kTypeChar, "255");
    const int result = RunDialog(xfer, [&](ModSensor& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Sensor Item Editor");
        EXPECT_TRUE(dialog.OkButton()->isDefault());
        EXPECT_EQ(dialog.OkButton()->property("buttonId").toInt(), 1);
        EXPECT_EQ(dialog.CancelButton()->property("buttonId").toInt(), 2);
        EXPECT_FALSE(dialog.TypeList()->isEditable());
        EXPECT_EQ(dialog.TypeList()->count(), 10);
        EXPECT_EQ(dialog.NameEdit()->maxLength(), 254);

        QTest::keyClick(dialog.TypeList(), Qt::Key_Down); // "int" proposes 2 bytes
        EXPECT_EQ(dialog.SizeEdit()->text(), "2");
        QTest::mouseClick(dialog.HexCheck(), Qt::LeftButton);
        EXPECT_EQ(dialog.ValueEdit()->text(), "ff H");
        Retype(dialog.AddressEdit(), "100");
        Retype(dialog.NameEdit(), "Gain");
        QTest::mouseClick(dialog.UserCheck(), Qt::LeftButton);
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(xfer.types[static_cast<std::size_t>(xfer.selected)], "int");
    EXPECT_EQ((std::vector<std::string>{xfer.name, xfer.value, xfer.max, xfer.min, xfer.size,
                                        xfer.address}),
              (std::vector<std::string>{"Gain", "ff H", "3e8 H", "0 H", "2", "100"}));
    EXPECT_EQ((std::vector<std::uint32_t>{xfer.hex, xfer.user, xfer.list}),
              (std::vector<std::uint32_t>{1, 0, 0}));
}

TEST(ModSensorDialog, CancelEscapeOrAnOpenDialogLeaveTheRecord) {
    const std::function<void(ModSensor&)> ends[] = {
        [](ModSensor& dialog) { QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton); },
        [](ModSensor& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); },
        [](ModSensor&) {},
    };
    for (const auto& end : ends) {
        RecordingUi ui;
        ModSensorXfer xfer = Filled(nimbrel::kTypeLong, "255");
        const ModSensorXfer before = xfer;
        const int result = RunDialog(xfer, [&](ModSensor& dialog) {
            Retype(dialog.NameEdit(), "Other");
            QTest::mouseClick(dialog.ListCheck(), Qt::LeftButton);
            EXPECT_EQ(dialog.MaxEdit()->text(), "{}");
            EXPECT_EQ(dialog.MinEdit()->text(), "");
            end(dialog);
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_TRUE(SameRecord(xfer, before));
    }
}
