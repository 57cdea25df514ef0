// The "System Preferences" dialog: serial port and the device it opens, baud
// rate, the transmitter's user-interface exit string, the prompt wait, write
// verification, platform, simple mode and the backup before each send,
// loaded from and saved to the settings file. Controls carry object names
// "id<control id>"; the device box is "portDevice", the backup controls
// "backupKeep", "backupFolder" and "backupBrowse".
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QRadioButton;

// Where serial devices are looked for.
struct SerialDeviceFolders {
    QString byId = QStringLiteral("/dev/serial/by-id"); // stable names of USB adapters
    QString dev = QStringLiteral("/dev");               // ttyUSB*, ttyACM*, ttyS*
};

// The serial devices present: the names in `byId` (by name), then ttyUSB*,
// ttyACM* and ttyS* of `dev`, each kind in number order. Broken links and
// folders are left out.
QStringList ListSerialDevices(const SerialDeviceFolders& folders = {});

// True when the user may not open `path` for reading and writing (as
// opposed to the device being absent).
bool LacksDevicePermission(const QString& path);

// The text that marks a device the user may not open: " (no permission —
// add yourself to the dialout group)" with the device's own group, or
// " (no permission)" when joining its group would not help.
QString NoPermissionMark(const QString& path);

// Where the Preferences dialog looks for devices, and how it tells a device
// the user may not open (tests replace both).
struct SerialDeviceProbe {
    SerialDeviceFolders folders;
    std::function<bool(const QString&)> lacksPermission = LacksDevicePermission;
};

class Preferences : public QDialog {
    Q_OBJECT
public:
    explicit Preferences(QWidget* parent = nullptr, SerialDeviceProbe probe = {});

    // Loads the controls from the settings file (run by the constructor).
    void SetupWindow();
    // OK: writes the settings file, shows the notice, and agrees to close.
    // A write that fails is told instead (which file, why) and the dialog
    // stays open.
    bool CanClose();

    void accept() override;

    // The device the checked port number is to open, as shown or typed.
    QString DevicePath() const;

private:
    // The constructor's parts: each group box with its controls, then the
    // layout of the boxes, the check boxes and the buttons.
    QGroupBox* MakePortGroup();
    QHBoxLayout* MakeDeviceRow(QGroupBox* portBox);
    QGroupBox* MakeBaudGroup();
    QGroupBox* MakeAbortGroup();
    QGroupBox* MakeWaitGroup();
    QGroupBox* MakePlatformGroup();
    QGroupBox* MakeBackupGroup();
    void LayOut(QGroupBox* portBox, QGroupBox* baudBox, QGroupBox* abortBox, QGroupBox* waitBox,
                QGroupBox* platformBox, QGroupBox* backupBox);

    int CheckedPort() const; // 1 to 4
    void ShowDeviceOf(int port);
    void UpdatePermissionNote();

    SerialDeviceProbe probe_;
    std::array<QRadioButton*, 4> port_{}; // Com1 .. Com4
    std::array<QString, 4> devices_;      // the device of each port number
    int shownPort_ = 0;                   // whose device the box shows
    QComboBox* device_ = nullptr;
    QLabel* permissionNote_ = nullptr;
    std::array<QRadioButton*, 4> baud_{}; // 1200, 2400, 4800, 9600
    QRadioButton* abortA_ = nullptr;
    QRadioButton* abortQ_ = nullptr;
    QLineEdit* wait_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QRadioButton* tundrix_ = nullptr;
    QRadioButton* pelomar_ = nullptr;
    QCheckBox* simple_ = nullptr;
    QCheckBox* backupKeep_ = nullptr;
    QLineEdit* backupFolder_ = nullptr; // empty: the default folder
};
