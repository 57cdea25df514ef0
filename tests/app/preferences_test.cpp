// The Preferences dialog: what it shows for the settings file, what OK
// writes, and that Cancel writes nothing; the serial devices it offers.
#include "app/preferences.h"
#include "link/comstream.h"
#include "platform/commandids.h"
#include "platform/settings.h"
#include "tests/app/appfixture.h"
#include "tests/app/whenmodal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(PreferencesTest, OkWritesTheKeysThenShowsTheNotice) {
    std::string atNotice;
    ui.onMessage = [&](const RecordedMessage&) { atNotice = dir.Read("Nimbrel.ini"); };
    Preferences dlg;
    EXPECT_TRUE(dlg.CanClose());
    const std::string expected = "[COM]\n"
                                 "baud=4800\n"
                                 "port=2\n"
                                 "device2=/dev/ttyS1\n"
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
                                 "address=8000\n"
                                 "[BACKUP]\n"
                                 "Keep=0\n"
                                 "Folder=\n";
    EXPECT_EQ(dir.Read("Nimbrel.ini"), expected);
    EXPECT_EQ(atNotice, expected);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kNotice);
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].buttons, Buttons::Ok);
}

TEST_F(PreferencesTest, ASettingsFileThatCannotBeWrittenIsToldAndTheDialogStaysOpen) {
    const std::string before = "[COM]\nbaud=9600\n";
    ::chmod(dir.Write("Nimbrel.ini", before).c_str(), 0444);
    Preferences dlg;
    Click(dlg, 118);
    EXPECT_FALSE(dlg.CanClose());
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Cannot write the settings file " + dir.File("Nimbrel.ini") +
                                       ": the file is read-only.\r\nThe preferences "
                                       "were not saved."});
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(dir.Read("Nimbrel.ini"), before);
    EXPECT_EQ(CheckedOf(dlg, {119, 118, 103, 104}), std::vector<int>{118});
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
        dlg.findChild<QCheckBox*>(QStringLiteral("backupKeep"))->click();
        dlg.findChild<QLineEdit*>(QStringLiteral("backupFolder"))->setText(" /srv/kept units ");
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
    EXPECT_EQ(Settings::GetString("BACKUP", "Keep", "", 50), "1");
    EXPECT_EQ(Settings::GetString("BACKUP", "Folder", "", 50), "/srv/kept units");

    Preferences again;
    EXPECT_EQ(CheckedOf(again, {105, 106, 107, 108}), std::vector<int>{108});
    EXPECT_EQ(CheckedOf(again, {119, 118, 103, 104}), std::vector<int>{118});
    EXPECT_EQ(CheckedOf(again, {110, 111}), std::vector<int>{110});
    EXPECT_TRUE(Checked(again, 114));
    EXPECT_TRUE(Checked(again, 120));
    EXPECT_EQ(CheckedOf(again, {116, 117}), std::vector<int>{116});
    EXPECT_EQ(WaitText(again), "12"); // read back as a number
    EXPECT_TRUE(again.findChild<QCheckBox*>(QStringLiteral("backupKeep"))->isChecked());
    EXPECT_EQ(again.findChild<QLineEdit*>(QStringLiteral("backupFolder"))->text(),
              "/srv/kept units");
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

// A folder of fake device entries: by-id/ and dev/.
class DeviceFolders {
public:
    explicit DeviceFolders(const TempDir& dir) : root_(dir.Path() + "/devices") {
        std::filesystem::create_directories(root_ + "/by-id");
        std::filesystem::create_directories(root_ + "/dev");
    }
    void Add(const std::string& relative) const { std::ofstream(root_ + "/" + relative) << ""; }
    SerialDeviceFolders Folders() const {
        return {QString::fromStdString(root_ + "/by-id"), QString::fromStdString(root_ + "/dev")};
    }
    QString Path(const std::string& relative) const {
        return QString::fromStdString(root_ + "/" + relative);
    }

private:
    std::string root_;
};

QComboBox* DeviceBox(const QWidget& dlg) {
    return dlg.findChild<QComboBox*>(QStringLiteral("portDevice"));
}

QStringList DeviceItems(const QWidget& dlg) {
    QStringList out;
    for (int i = 0; i < DeviceBox(dlg)->count(); ++i)
        out << DeviceBox(dlg)->itemText(i);
    return out;
}

TEST_F(PreferencesTest, ListsStableNamesFirstThenEachKindInNumberOrder) {
    DeviceFolders fake(dir);
    for (const char* name : {"by-id/usb-Zeta_if00", "by-id/usb-Alpha_if00", "dev/ttyS10",
                             "dev/ttyS2", "dev/ttyACM0", "dev/ttyUSB1", "dev/ttyUSB0", "dev/tty0",
                             "dev/ttyUSBx", "dev/console", "dev/ttyS2.lock"}) {
        fake.Add(name);
    }
    std::filesystem::create_directory(fake.Path("dev/ttyS3").toStdString()); // a folder
    std::filesystem::create_symlink("nowhere", fake.Path("by-id/usb-Gone").toStdString());
    EXPECT_EQ(
        ListSerialDevices(fake.Folders()),
        QStringList({fake.Path("by-id/usb-Alpha_if00"), fake.Path("by-id/usb-Zeta_if00"),
                     fake.Path("dev/ttyUSB0"), fake.Path("dev/ttyUSB1"), fake.Path("dev/ttyACM0"),
                     fake.Path("dev/ttyS2"), fake.Path("dev/ttyS10")}));
    EXPECT_TRUE(ListSerialDevices({fake.Path("none"), fake.Path("none")}).isEmpty());
}

TEST_F(PreferencesTest, ShowsEachPortsDeviceAndWritesTheCheckedOnesAfterThePort) {
    DeviceFolders fake(dir);
    fake.Add("dev/ttyUSB0");
    Settings::WriteString("COM", "port", "3");
    Settings::WriteString("COM", "device3", "/dev/serial/by-id/usb-Unit");
    struct Case {
        int portButton;    // checked before OK
        std::string typed; // typed into the device box ("" leaves it)
        std::string key;   // written after "port"
        std::string written;
    };
    const std::vector<Case> cases{
        {107, "", "device3", "/dev/serial/by-id/usb-Unit"}, // as read
        {105, "", "device1", "/dev/ttyS0"},                 // the default of port 1
        {108, "  /dev/pts/7 ", "device4", "/dev/pts/7"},    // typed, trimmed
        {106, " ", "device2", "/dev/ttyS1"},                // blank: the default
    };
    for (const Case& c : cases) {
        Preferences dlg(nullptr, {fake.Folders(), [](const QString&) { return false; }});
        EXPECT_EQ(DeviceBox(dlg)->currentText(), "/dev/serial/by-id/usb-Unit");
        EXPECT_EQ(DeviceItems(dlg), QStringList{fake.Path("dev/ttyUSB0")});
        Click(dlg, c.portButton);
        if (!c.typed.empty()) DeviceBox(dlg)->setEditText(QString::fromStdString(c.typed));
        dlg.CanClose();
        EXPECT_EQ(Settings::GetString("COM", c.key, "", 256), c.written) << c.key;
        Settings::WriteString("COM", "port", "3");
    }

    // A device typed for one port is kept while another port is looked at.
    Preferences dlg(nullptr, {fake.Folders(), [](const QString&) { return false; }});
    DeviceBox(dlg)->setEditText("/dev/ttyUSB9");
    Click(dlg, 105);
    EXPECT_EQ(DeviceBox(dlg)->currentText(), "/dev/ttyS0");
    Click(dlg, 107);
    EXPECT_EQ(DeviceBox(dlg)->currentText(), "/dev/ttyUSB9");
}

TEST_F(PreferencesTest, DevicesTheUserMayNotOpenAreMarkedWithTheirGroupsAdvice) {
    DeviceFolders fake(dir);
    fake.Add("dev/ttyUSB0");
    fake.Add("dev/ttyS0");
    const QString locked = fake.Path("dev/ttyS0");
    Settings::WriteString("COM", "device2", locked.toStdString());
    Preferences dlg(nullptr, {fake.Folders(), [locked](const QString& p) { return p == locked; }});
    EXPECT_EQ(DeviceItems(dlg),
              QStringList({fake.Path("dev/ttyUSB0"), locked + NoPermissionMark(locked)}));
    auto* note = dlg.findChild<QLabel*>(QStringLiteral("permissionNote"));
    EXPECT_FALSE(note->isHidden());
    EXPECT_TRUE(note->text().startsWith(locked + ": permission denied"));
    EXPECT_EQ(note->text().toStdString(),
              locked.toStdString() + ": " + nimbrel::PermissionText(locked.toStdString()));
    if (::chown(locked.toLocal8Bit().constData(), 0, 20) == 0) { // the dialout group
        ::chmod(locked.toLocal8Bit().constData(), 0660);
        EXPECT_EQ(NoPermissionMark(locked), " (no permission — add yourself to the dialout group)");
        ::chmod(locked.toLocal8Bit().constData(), 0600);
        EXPECT_EQ(NoPermissionMark(locked), " (no permission)");
    }

    // Choosing another device clears the note; picking the marked one
    // brings it back and writes the plain path.
    DeviceBox(dlg)->setEditText(fake.Path("dev/ttyUSB0"));
    EXPECT_TRUE(note->isHidden());
    DeviceBox(dlg)->setCurrentIndex(1);
    emit DeviceBox(dlg)->activated(1);
    EXPECT_FALSE(note->isHidden());
    dlg.CanClose();
    EXPECT_EQ(Settings::GetString("COM", "device2", "", 256), locked.toStdString());
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
