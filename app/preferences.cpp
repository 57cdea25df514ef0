#include "app/preferences.h"

#include "link/comstream.h"
#include "platform/options.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

using nimbrel::Settings;
namespace keys = nimbrel::keys;

constexpr std::array<int, 4> kBaudRates{1200, 2400, 4800, 9600};
// The device box is wide enough for a ttyUSB name; the list opens wider.
constexpr int kDeviceBoxChars = 24;
// The backup folder box shows at most this many characters without scrolling.
constexpr int kBackupBoxChars = 56;

// Writes one key after another; after a failure the rest are not tried.
class Saver {
public:
    template <typename Key> void Write(const Key& key, const std::string& value) {
        Write(key.section, key.key, value);
    }
    void Write(const std::string& section, const std::string& key, const std::string& value) {
        if (failed_) return;
        if (Settings::WriteString(section, key, value)) {
            ++written_;
        } else {
            failed_ = true;
        }
    }
    bool Failed() const { return failed_; }
    int Written() const { return written_; }

private:
    bool failed_ = false;
    int written_ = 0;
};

QString IdName(int id) {
    return QStringLiteral("id%1").arg(id);
}

QGroupBox* Group(QWidget* parent, int id, const QString& title) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(IdName(id));
    return box;
}

// A radio button in `box`, laid out in `into` (else the box's own column).
QRadioButton* Radio(QGroupBox* box, int id, const QString& text, QBoxLayout* into = nullptr) {
    auto* b = new QRadioButton(text, box);
    b->setObjectName(IdName(id));
    if (into == nullptr) {
        if (box->layout() == nullptr) (new QVBoxLayout(box))->setAlignment(Qt::AlignTop);
        box->layout()->addWidget(b);
    } else {
        into->addWidget(b);
    }
    return b;
}

QString PermissionAdvice(const QString& path) {
    return path + QStringLiteral(": ") +
           QString::fromStdString(nimbrel::PermissionText(QFile::encodeName(path).toStdString()));
}

} // namespace

QStringList ListSerialDevices(const SerialDeviceFolders& folders) {
    const QDir::Filters filter =
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    QStringList out;
    // Entries that stand for a device: not folders, not links to nothing.
    auto present = [](const QFileInfo& info) { return info.exists() && !info.isDir(); };

    const QDir byId(folders.byId);
    for (const QFileInfo& info : byId.entryInfoList(filter, QDir::Name)) {
        if (present(info)) out << byId.filePath(info.fileName());
    }

    static const QRegularExpression kName(QStringLiteral("^(ttyUSB|ttyACM|ttyS)([0-9]+)$"));
    static const QStringList kKinds{QStringLiteral("ttyUSB"), QStringLiteral("ttyACM"),
                                    QStringLiteral("ttyS")};
    struct Found {
        qsizetype kind;
        qulonglong number;
        QString path;
    };
    std::vector<Found> found;
    const QDir dev(folders.dev);
    for (const QFileInfo& info : dev.entryInfoList(filter)) {
        const QRegularExpressionMatch m = kName.match(info.fileName());
        if (!m.hasMatch() || !present(info)) continue;
        found.push_back({kKinds.indexOf(m.captured(1)), m.captured(2).toULongLong(),
                         dev.filePath(info.fileName())});
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
    });
    for (const Found& f : found)
        out << f.path;
    return out;
}

QString NoPermissionMark(const QString& path) {
    const std::string group = nimbrel::AccessOf(QFile::encodeName(path).toStdString()).joinGroup;
    if (group.empty()) return QStringLiteral(" (no permission)");
    return QStringLiteral(" (no permission — add yourself to the %1 group)")
        .arg(QString::fromStdString(group));
}

bool LacksDevicePermission(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (::access(name.constData(), R_OK | W_OK) == 0) return false;
    return errno == EACCES || errno == EPERM;
}

Preferences::Preferences(QWidget* parent, SerialDeviceProbe probe)
    : QDialog(parent), probe_(std::move(probe)) {
    setWindowTitle(QStringLiteral("System Preferences"));
    setObjectName(QStringLiteral("id5029"));
    // Made in tab order: the focus moves through the controls as made.
    QGroupBox* portBox = MakePortGroup();
    QGroupBox* baudBox = MakeBaudGroup();
    QGroupBox* abortBox = MakeAbortGroup();
    QGroupBox* waitBox = MakeWaitGroup();
    verify_ = new QCheckBox(QStringLiteral("Verify data as it is written"), this);
    verify_->setObjectName(IdName(114));
    QGroupBox* platformBox = MakePlatformGroup();
    simple_ = new QCheckBox(QStringLiteral("Simple Mode"), this);
    simple_->setObjectName(IdName(120));
    QGroupBox* backupBox = MakeBackupGroup();
    LayOut(portBox, baudBox, abortBox, waitBox, platformBox, backupBox);
    SetupWindow();
}

QGroupBox* Preferences::MakePortGroup() {
    auto* portBox = Group(this, 101, QStringLiteral("Com Port"));
    auto* portColumn = new QVBoxLayout(portBox);
    auto* portRow = new QHBoxLayout;
    port_ = {Radio(portBox, 105, QStringLiteral("Com1"), portRow),
             Radio(portBox, 106, QStringLiteral("Com2"), portRow),
             Radio(portBox, 107, QStringLiteral("Com3"), portRow),
             Radio(portBox, 108, QStringLiteral("Com4"), portRow)};
    portRow->addStretch();
    portColumn->addLayout(portRow);
    portColumn->addLayout(MakeDeviceRow(portBox));

    permissionNote_ = new QLabel(portBox);
    permissionNote_->setObjectName(QStringLiteral("permissionNote"));
    permissionNote_->setWordWrap(true);
    permissionNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    permissionNote_->hide();
    portColumn->addWidget(permissionNote_);

    // A picked entry stands for its path, without the permission mark.
    connect(device_, &QComboBox::activated, this,
            [this](int index) { device_->setEditText(device_->itemData(index).toString()); });
    connect(device_, &QComboBox::editTextChanged, this, &Preferences::UpdatePermissionNote);
    for (std::size_t i = 0; i < port_.size(); ++i) {
        connect(port_[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked) ShowDeviceOf(static_cast<int>(i) + 1);
        });
    }
    return portBox;
}

QHBoxLayout* Preferences::MakeDeviceRow(QGroupBox* portBox) {
    // The device the checked port number opens: one of those present, or
    // any path typed in.
    device_ = new QComboBox(portBox);
    device_->setObjectName(QStringLiteral("portDevice"));
    device_->setEditable(true);
    device_->setInsertPolicy(QComboBox::NoInsert);
    device_->lineEdit()->setMaxLength(keys::kPortDeviceBuffer - 1);
    device_->completer()->setCaseSensitivity(Qt::CaseSensitive);
    device_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    device_->setMinimumContentsLength(kDeviceBoxChars);
    device_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    for (const QString& path : ListSerialDevices(probe_.folders)) {
        const bool refused = probe_.lacksPermission && probe_.lacksPermission(path);
        device_->addItem(refused ? path + NoPermissionMark(path) : path, path);
        if (refused) {
            device_->setItemData(device_->count() - 1, PermissionAdvice(path), Qt::ToolTipRole);
        }
    }
    QAbstractItemView* list = device_->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) +
                          list->verticalScrollBar()->sizeHint().width());
    auto* deviceLabel = new QLabel(QStringLiteral("&Device:"), portBox);
    deviceLabel->setBuddy(device_);
    auto* deviceRow = new QHBoxLayout;
    deviceRow->addWidget(deviceLabel);
    deviceRow->addWidget(device_, 1);
    return deviceRow;
}

QGroupBox* Preferences::MakeBaudGroup() {
    auto* baudBox = Group(this, 102, QStringLiteral("Baud Rate"));
    baud_ = {Radio(baudBox, 119, QStringLiteral("1200 Baud")),
             Radio(baudBox, 118, QStringLiteral("2400 Baud")),
             Radio(baudBox, 103, QStringLiteral("4800 Baud (default)")),
             Radio(baudBox, 104, QStringLiteral("9600 Baud"))};
    return baudBox;
}

QGroupBox* Preferences::MakeAbortGroup() {
    auto* abortBox = Group(this, 109, QStringLiteral("UI Exit String"));
    abortA_ = Radio(abortBox, 110, QStringLiteral("AAAAAAA"));
    abortQ_ = Radio(abortBox, 111, QStringLiteral("QQQQQQQ"));
    return abortBox;
}

QGroupBox* Preferences::MakeWaitGroup() {
    auto* waitBox = Group(this, 112, QStringLiteral("Prompt Wait (in seconds)"));
    wait_ = new QLineEdit(waitBox);
    wait_->setObjectName(IdName(113));
    wait_->setMaxLength(255);
    (new QVBoxLayout(waitBox))->addWidget(wait_);
    return waitBox;
}

QGroupBox* Preferences::MakePlatformGroup() {
    auto* platformBox = Group(this, 115, QStringLiteral("Platform"));
    tundrix_ = Radio(platformBox, 116, QStringLiteral("Tundrix"));
    pelomar_ = Radio(platformBox, 117, QStringLiteral("Pelomar 3A"));
    return platformBox;
}

QGroupBox* Preferences::MakeBackupGroup() {
    auto* backupBox = new QGroupBox(QStringLiteral("Backup"), this);
    backupBox->setObjectName(QStringLiteral("backupGroup"));
    backupKeep_ = new QCheckBox(QStringLiteral("Keep a backup before each send"), backupBox);
    backupKeep_->setObjectName(QStringLiteral("backupKeep"));
    backupFolder_ = new QLineEdit(backupBox);
    backupFolder_->setObjectName(QStringLiteral("backupFolder"));
    backupFolder_->setMaxLength(keys::kBackupFolder.bufferSize - 1);
    backupFolder_->setPlaceholderText(QString::fromStdString(nimbrel::DefaultBackupFolder()));
    backupFolder_->setClearButtonEnabled(true);
    backupFolder_->setToolTip(
        QStringLiteral("Empty for the default folder, %1").arg(backupFolder_->placeholderText()));
    // Wide enough to show the default folder in full, within reason.
    const QFontMetrics metrics = backupFolder_->fontMetrics();
    backupFolder_->setMinimumWidth(
        std::min(metrics.horizontalAdvance(backupFolder_->placeholderText()),
                 metrics.averageCharWidth() * kBackupBoxChars) +
        metrics.averageCharWidth() * 6); // the margins and the clear button
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), backupBox);
    browse->setObjectName(QStringLiteral("backupBrowse"));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString start = backupFolder_->text().trimmed().isEmpty()
                                  ? backupFolder_->placeholderText()
                                  : backupFolder_->text().trimmed();
        const QString folder =
            QFileDialog::getExistingDirectory(this, QStringLiteral("Backup folder"), start);
        if (!folder.isEmpty()) backupFolder_->setText(folder);
    });
    auto* folderLabel = new QLabel(QStringLiteral("&Folder:"), backupBox);
    folderLabel->setBuddy(backupFolder_);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(backupFolder_, 1);
    folderRow->addWidget(browse);
    auto* column = new QVBoxLayout(backupBox);
    column->addWidget(backupKeep_);
    column->addLayout(folderRow);
    return backupBox;
}

void Preferences::LayOut(QGroupBox* portBox, QGroupBox* baudBox, QGroupBox* abortBox,
                         QGroupBox* waitBox, QGroupBox* platformBox, QGroupBox* backupBox) {
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(IdName(1));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(IdName(2));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(portBox, 0, 0, 1, 2);
    grid->addWidget(baudBox, 1, 0);
    auto* right = new QVBoxLayout;
    right->addWidget(abortBox);
    right->addWidget(waitBox);
    grid->addLayout(right, 1, 1);
    grid->addWidget(platformBox, 2, 0);
    auto* checks = new QVBoxLayout;
    checks->addWidget(verify_);
    checks->addWidget(simple_);
    checks->addStretch();
    grid->addLayout(checks, 2, 1);
    grid->addWidget(backupBox, 3, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(buttons);
    setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void Preferences::SetupWindow() {
    const int baud = Settings::Get(keys::kPrefBaud);
    int b = 0; // any other value selects 1200
    for (int i = 1; i < 4; ++i) {
        if (baud == kBaudRates[static_cast<std::size_t>(i)]) b = i;
    }
    for (int i = 0; i < 4; ++i)
        baud_[static_cast<std::size_t>(i)]->setChecked(i == b);

    // Each port number's device as the port opening finds it.
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        devices_[i] =
            QString::fromStdString(nimbrel::PortDevicePath(static_cast<std::int32_t>(i) + 1));
    }
    shownPort_ = 0; // the box's text belongs to no port until shown afresh
    const int port = Settings::Get(keys::kPrefPort);
    const int p = (port == 1 || port == 3 || port == 4) ? port - 1 : 1;
    for (int i = 0; i < 4; ++i)
        port_[static_cast<std::size_t>(i)]->setChecked(i == p);
    ShowDeviceOf(p + 1);

    const bool q = Settings::Get(keys::kPrefAbort) == "QQQQQQQ";
    abortQ_->setChecked(q);
    abortA_->setChecked(!q);

    wait_->setText(QString::number(Settings::Get(keys::kPrefWait)));
    verify_->setChecked(Settings::Get(keys::kPrefReadAfterWrite) != 0);
    simple_->setChecked(Settings::Get(keys::kPrefSimpleMode) != 0);
    backupKeep_->setChecked(Settings::Get(keys::kBackupKeep) != 0);
    backupFolder_->setText(QFile::decodeName(Settings::Get(keys::kBackupFolder).c_str()));

    const bool pelomar = Settings::Get(keys::kPrefEepromSize) == 512;
    pelomar_->setChecked(pelomar);
    tundrix_->setChecked(!pelomar);
}

int Preferences::CheckedPort() const {
    for (std::size_t i = 0; i < port_.size(); ++i) {
        if (port_[i]->isChecked()) return static_cast<int>(i) + 1;
    }
    return 2;
}

QString Preferences::DevicePath() const {
    const QString text = device_->currentText().trimmed();
    // A listed entry, permission mark included, stands for its path.
    const int index = device_->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index >= 0) return device_->itemData(index).toString();
    if (text.isEmpty()) {
        return QString::fromStdString(
            keys::PortDefaultDevice(shownPort_ != 0 ? shownPort_ : CheckedPort()));
    }
    return text;
}

void Preferences::ShowDeviceOf(int port) {
    // What was typed for the port shown before is kept while the dialog is up.
    if (shownPort_ != 0) devices_[static_cast<std::size_t>(shownPort_ - 1)] = DevicePath();
    shownPort_ = port;
    device_->setEditText(devices_[static_cast<std::size_t>(port - 1)]);
    UpdatePermissionNote();
}

void Preferences::UpdatePermissionNote() {
    const QString path = DevicePath();
    const bool refused = probe_.lacksPermission && probe_.lacksPermission(path);
    permissionNote_->setText(refused ? PermissionAdvice(path) : QString());
    permissionNote_->setVisible(refused);
}

bool Preferences::CanClose() {
    Saver save;
    std::string baud = "1200";
    for (std::size_t i = 0; i < 4; ++i) {
        if (baud_[i]->isChecked()) baud = std::to_string(kBaudRates[i]);
    }
    save.Write(keys::kPrefBaud, baud);

    const int port = CheckedPort();
    save.Write(keys::kPrefPort, std::to_string(port));
    save.Write(keys::kPrefPort.section, keys::PortDeviceKey(port),
               QFile::encodeName(DevicePath()).toStdString());

    save.Write(keys::kPrefAbort, abortQ_->isChecked() ? "QQQQQQQ" : "AAAAAAA");
    save.Write(keys::kPrefReadAfterWrite, verify_->isChecked() ? "1" : "0");
    save.Write(keys::kPrefSimpleMode, simple_->isChecked() ? "1" : "0");

    const bool tundrix = tundrix_->isChecked();
    save.Write(keys::kPrefEepromSize, tundrix ? "640" : "512");
    save.Write(keys::kEepromSection, "base", tundrix ? "D80" : "B600");
    save.Write(keys::kVersionSection, "address", "8000");

    save.Write(keys::kPrefWait, wait_->text().left(19).toStdString());
    save.Write(keys::kBackupKeep, backupKeep_->isChecked() ? "1" : "0");
    save.Write(keys::kBackupFolder,
               QFile::encodeName(backupFolder_->text().trimmed()).toStdString());

    if (save.Failed()) {
        // The dialog stays open with the user's choices.
        nimbrel::CurrentUi().MessageBox(Settings::WriteErrorText() + "\r\n" +
                                            (save.Written() == 0
                                                 ? "The preferences were not saved."
                                                 : "Some of the preferences were not saved."),
                                        "Error", nimbrel::Buttons::Ok, nimbrel::Icon::Exclamation);
        return false;
    }
    nimbrel::CurrentUi().MessageBox(
        "You must close any open windows\r\nfor the changes to take effect", "",
        nimbrel::Buttons::Ok, nimbrel::Icon::None);
    return true;
}

void Preferences::accept() {
    if (CanClose()) QDialog::accept();
}
