// The Preferences dialog: what it shows for the settings file, what OK
// writes, and that Cancel writes nothing.
#include "platform/commandids.h"
#include "app/preferences.h"
#include "platform/settings.h"
#include "tests/app/appfixture.h"
#include "tests/app/whenmodal.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <functional>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

const char* const kNotice = "You must close any open windows\r\nfor the changes to take effect";

bool Checked(const QWidget& dlg, int id) {
    auto* b = dlg.findChild<QAbstractButton*>(QStringLiteral("id%1").arg(id));
    EXPECT_NE(b, nullptr) << id;
    return b != nullptr && b->isChecked();
}

// The ids of the checked buttons among `ids`.
std::vector<int> CheckedOf(const QWidget& dlg, std::initializer_list<int> ids) {
    std::vector<int> out;
    for (int id : ids) {
        if (Checked(dlg, id)) out.push_back(id);
    }
    return out;
}

void Click(QWidget& dlg, int id) {
    auto* b = dlg.findChild<QAbstractButton*>(QStringLiteral("id%1").arg(id));
    ASSERT_NE(b, nullptr) << id;
    b->click();
}

QString WaitText(const QWidget& dlg) {
    return dlg.findChild<QLineEdit*>(QStringLiteral("id113"))->text();
}

class PreferencesTest : public ::testing::Test {
protected:
    TempDir dir;
    RecordingUi ui;
};

TEST_F(PreferencesTest, ShowsTheDefaultsWithoutASettingsFile) {
    Preferences dlg;
    EXPECT_EQ(dlg.windowTitle(), "System Preferences");
    EXPECT_EQ(CheckedOf(dlg, {105, 106, 107, 108}), std::vector<int>{106});
    EXPECT_EQ(CheckedOf(dlg, {119, 118, 103, 104}), std::vector<int>{103});
    EXPECT_EQ(CheckedOf(dlg, {110, 111}), std::vector<int>{111});
    EXPECT_EQ(WaitText(dlg), "70");
    EXPECT_FALSE(Checked(dlg, 114));
    EXPECT_FALSE(Checked(dlg, 120));
    EXPECT_EQ(CheckedOf(dlg, {116, 117}), std::vector<int>{117});
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("id113"))->maxLength(), 255);
}

TEST_F(PreferencesTest, OkWritesTheNineKeysThenShowsTheNotice) {
    std::string atNotice;
    ui.onMessage = [&](const RecordedMessage&) { atNotice = dir.Read("Nimbrel.ini"); };
    Preferences dlg;
    EXPECT_TRUE(dlg.CanClose());
    const std::string expected = "[COM]\n"
                                 "baud=4800\n"
                                 "port=2\n"
                                 "[USER INTERFACE]\n"
                                 "abort=QQQQQQQ\n"
                                 "wait=70\n"
                                 "[FILE TRANSFER]\n"
                                 "ReadAfterWrite=0\n"
                                 "[STARTUP]\n"
                                 "simplemode=0\n"
                                 "[EEPROM]\n"
                                 "size=512\n"
                                 "base=B600\n"
                                 "[VERSION]\n"
                                 "address=8000\n";
    EXPECT_EQ(dir.Read("Nimbrel.ini"), expected);
    EXPECT_EQ(atNotice, expected);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kNotice);
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].buttons, Buttons::Ok);
}

TEST_F(PreferencesTest, ChangedControlsAreWrittenAndReadBack) {
    {
        Preferences dlg;
        Click(dlg, 108);
        Click(dlg, 118);
        Click(dlg, 110);
        Click(dlg, 114);
        Click(dlg, 120);
        Click(dlg, 116);
        dlg.findChild<QLineEdit*>(QStringLiteral("id113"))->setText("12 seconds, or so they say");
        dlg.CanClose();
    }
    EXPECT_EQ(Settings::GetString("COM", "port", "", 50), "4");
    EXPECT_EQ(Settings::GetString("COM", "baud", "", 50), "2400");
    EXPECT_EQ(Settings::GetString("USER INTERFACE", "abort", "", 50), "AAAAAAA");
    EXPECT_EQ(Settings::GetString("FILE TRANSFER", "ReadAfterWrite", "", 50), "1");
    EXPECT_EQ(Settings::GetString("STARTUP", "simplemode", "", 50), "1");
    EXPECT_EQ(Settings::GetString("EEPROM", "size", "", 50), "640");
    EXPECT_EQ(Settings::GetString("EEPROM", "base", "", 50), "D80");
    EXPECT_EQ(Settings::GetString("VERSION", "address", "", 50), "8000");
    // The wait text is stored as typed, cut to 19 characters.
    EXPECT_EQ(Settings::GetString("USER INTERFACE", "wait", "", 50), "12 seconds, or so t");

    Preferences again;
    EXPECT_EQ(CheckedOf(again, {105, 106, 107, 108}), std::vector<int>{108});
    EXPECT_EQ(CheckedOf(again, {119, 118, 103, 104}), std::vector<int>{118});
    EXPECT_EQ(CheckedOf(again, {110, 111}), std::vector<int>{110});
    EXPECT_TRUE(Checked(again, 114));
    EXPECT_TRUE(Checked(again, 120));
    EXPECT_EQ(CheckedOf(again, {116, 117}), std::vector<int>{116});
    EXPECT_EQ(WaitText(again), "12"); // read back as a number
}

TEST_F(PreferencesTest, UnknownValuesFallBack) {
    Settings::WriteString("COM", "baud", "19200");
    Settings::WriteString("COM", "port", "7");
    Settings::WriteString("USER INTERFACE", "abort", "qqqqqqq");
    Settings::WriteString("EEPROM", "size", "1024");
    Preferences dlg;
    EXPECT_EQ(CheckedOf(dlg, {119, 118, 103, 104}), std::vector<int>{119}); // "1200 Baud"
    EXPECT_EQ(CheckedOf(dlg, {105, 106, 107, 108}), std::vector<int>{106}); // "Com2"
    EXPECT_EQ(CheckedOf(dlg, {110, 111}), std::vector<int>{110});           // "AAAAAAA"
    EXPECT_EQ(CheckedOf(dlg, {116, 117}), std::vector<int>{116});           // "Tundrix"
}

TEST_F(AppTest, PreferencesCancelWritesNothingAndOkWritesThroughTheDialog) {
    Settings::WriteString("COM", "baud", "9600");
    const std::string before = dir.Read("Nimbrel.ini");
    WhenModal([](QWidget* dlg) {
        EXPECT_EQ(dlg->windowTitle(), "System Preferences");
        Click(*dlg, 105);
        Click(*dlg, 2);
    });
    Frame()->ExecuteCommand(cmd::kPreferences);
    EXPECT_EQ(dir.Read("Nimbrel.ini"), before);
    EXPECT_TRUE(ui.messages.empty());

    WhenModal([](QWidget* dlg) {
        Click(*dlg, 105);
        Click(*dlg, 1);
    });
    Frame()->ExecuteCommand(cmd::kPreferences);
    EXPECT_EQ(Settings::GetString("COM", "port", "", 50), "1");
    EXPECT_EQ(Settings::GetString("COM", "baud", "", 50), "9600");
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{kNotice});
}

} // namespace
} // namespace nimbrel::test
