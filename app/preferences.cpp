#include "app/preferences.h"

#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

using nimbrel::Settings;
namespace keys = nimbrel::keys;

constexpr std::array<int, 4> kBaudRates{1200, 2400, 4800, 9600};

template <typename Key> void Write(const Key& key, const std::string& value) {
    Settings::WriteString(key.section, key.key, value);
}

QString IdName(int id) {
    return QStringLiteral("id%1").arg(id);
}

QGroupBox* Group(QWidget* parent, int id, const QString& title) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(IdName(id));
    return box;
}

QRadioButton* Radio(QGroupBox* box, int id, const QString& text) {
    auto* b = new QRadioButton(text, box);
    b->setObjectName(IdName(id));
    if (box->layout() == nullptr) (new QVBoxLayout(box))->setAlignment(Qt::AlignTop);
    box->layout()->addWidget(b);
    return b;
}

} // namespace

Preferences::Preferences(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("System Preferences"));
    setObjectName(QStringLiteral("id5029"));

    auto* portBox = Group(this, 101, QStringLiteral("Com Port"));
    port_ = {
        Radio(portBox, 105, QStringLiteral("Com1")), Radio(portBox, 106, QStringLiteral("Com2")),
        Radio(portBox, 107, QStringLiteral("Com3")), Radio(portBox, 108, QStringLiteral("Com4"))};

    auto* baudBox = Group(this, 102, QStringLiteral("Baud Rate"));
    baud_ = {Radio(baudBox, 119, QStringLiteral("1200 Baud")),
             Radio(baudBox, 118, QStringLiteral("2400 Baud")),
             Radio(baudBox, 103, QStringLiteral("4800 Baud (default)")),
             Radio(baudBox, 104, QStringLiteral("9600 Baud"))};

    auto* abortBox = Group(this, 109, QStringLiteral("UI Exit String"));
    abortA_ = Radio(abortBox, 110, QStringLiteral("AAAAAAA"));
    abortQ_ = Radio(abortBox, 111, QStringLiteral("QQQQQQQ"));

    auto* waitBox = Group(this, 112, QStringLiteral("Prompt Wait (in seconds)"));
    wait_ = new QLineEdit(waitBox);
    wait_->setObjectName(IdName(113));
    wait_->setMaxLength(255);
    (new QVBoxLayout(waitBox))->addWidget(wait_);

    verify_ = new QCheckBox(QStringLiteral("Verify data as it is written"), this);
    verify_->setObjectName(IdName(114));

    auto* platformBox = Group(this, 115, QStringLiteral("Platform"));
    tundrix_ = Radio(platformBox, 116, QStringLiteral("Tundrix"));
    pelomar_ = Radio(platformBox, 117, QStringLiteral("Pelomar 3A"));

    simple_ = new QCheckBox(QStringLiteral("Simple Mode"), this);
    simple_->setObjectName(IdName(120));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(IdName(1));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(IdName(2));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(portBox, 0, 0);
    grid->addWidget(abortBox, 0, 1);
    grid->addWidget(baudBox, 1, 0);
    auto* right = new QVBoxLayout;
    right->addWidget(waitBox);
    right->addWidget(platformBox);
    grid->addLayout(right, 1, 1);
    auto* checks = new QVBoxLayout;
    checks->addWidget(verify_);
    checks->addWidget(simple_);
    grid->addLayout(checks, 2, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(buttons);
    setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    SetupWindow();
}

void Preferences::SetupWindow() {
    const int baud = Settings::Get(keys::kPrefBaud);
    int b = 0; // any other value selects 1200
    for (int i = 1; i < 4; ++i) {
        if (baud == kBaudRates[static_cast<std::size_t>(i)]) b = i;
    }
    for (int i = 0; i < 4; ++i)
        baud_[static_cast<std::size_t>(i)]->setChecked(i == b);

    const int port = Settings::Get(keys::kPrefPort);
    const int p = (port == 1 || port == 3 || port == 4) ? port - 1 : 1;
    for (int i = 0; i < 4; ++i)
        port_[static_cast<std::size_t>(i)]->setChecked(i == p);

    const bool q = Settings::Get(keys::kPrefAbort) == "QQQQQQQ";
    abortQ_->setChecked(q);
    abortA_->setChecked(!q);

    wait_->setText(QString::number(Settings::Get(keys::kPrefWait)));
    verify_->setChecked(Settings::Get(keys::kPrefReadAfterWrite) != 0);
    simple_->setChecked(Settings::Get(keys::kPrefSimpleMode) != 0);

    const bool pelomar = Settings::Get(keys::kPrefEepromSize) == 512;
    pelomar_->setChecked(pelomar);
    tundrix_->setChecked(!pelomar);
}

bool Preferences::CanClose() {
    std::string baud = "1200";
    for (std::size_t i = 0; i < 4; ++i) {
        if (baud_[i]->isChecked()) baud = std::to_string(kBaudRates[i]);
    }
    Write(keys::kPrefBaud, baud);

    std::string port = "2";
    for (std::size_t i = 0; i < 4; ++i) {
        if (port_[i]->isChecked()) port = std::to_string(i + 1);
    }
    Write(keys::kPrefPort, port);

    Write(keys::kPrefAbort, abortQ_->isChecked() ? "QQQQQQQ" : "AAAAAAA");
    Write(keys::kPrefReadAfterWrite, verify_->isChecked() ? "1" : "0");
    Write(keys::kPrefSimpleMode, simple_->isChecked() ? "1" : "0");

    const bool tundrix = tundrix_->isChecked();
    Write(keys::kPrefEepromSize, tundrix ? "640" : "512");
    Settings::WriteString(keys::kEepromSection, "base", tundrix ? "D80" : "B600");
    Settings::WriteString(keys::kVersionSection, "address", "8000");

    Write(keys::kPrefWait, wait_->text().left(19).toStdString());

    nimbrel::CurrentUi().MessageBox(
        "You must close any open windows\r\nfor the changes to take effect", "",
        nimbrel::Buttons::Ok, nimbrel::Icon::None);
    return true;
}

void Preferences::accept() {
    if (CanClose()) QDialog::accept();
}
