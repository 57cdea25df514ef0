#include "app/aboutdlg.h"

#include "resources/pictures.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>

TProjectRCVersion::TProjectRCVersion() : TProjectRCVersion(&nimbrel::ProgramVersionBlock()) {}

TProjectRCVersion::TProjectRCVersion(const nimbrel::VersionBlock* block) {
    if (block == nullptr) return;
    block_ = std::make_unique<nimbrel::VersionBlock>(*block);
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    if (!block_->Query("\\VarFileInfo\\Translation", data, size) || size < 4) {
        block_.reset();
        return;
    }
    // Stored as language then code page, 16 bits each, little-endian; the
    // code wants the language in the high half.
    const std::uint32_t raw =
        static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
        static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    translation_ = (raw << 16) | (raw >> 16);
}

bool TProjectRCVersion::GetString(const char* name, const char*& value) const {
    if (!block_) return false;
    char path[128];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%08lx\\%s",
                  static_cast<unsigned long>(translation_), name);
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    if (!block_->Query(path, data, size) || size == 0 || data[size - 1] != 0) return false;
    value = reinterpret_cast<const char*>(data);
    return true;
}

bool TProjectRCVersion::GetProductName(const char*& value) const {
    return GetString("ProductName", value);
}
bool TProjectRCVersion::GetProductVersion(const char*& value) const {
    return GetString("ProductVersion", value);
}
bool TProjectRCVersion::GetCopyright(const char*& value) const {
    return GetString("LegalCopyright", value);
}
bool TProjectRCVersion::GetDebug(const char*& value) const {
    return GetString("SpecialBuild", value);
}

TNimbrelAboutDlg::TNimbrelAboutDlg(QWidget* parent)
    : TNimbrelAboutDlg(parent, &nimbrel::ProgramVersionBlock()) {}

TNimbrelAboutDlg::TNimbrelAboutDlg(QWidget* parent, const nimbrel::VersionBlock* block)
    : QDialog(parent) {
    Build();
    const TProjectRCVersion version(block);
    SetupWindow(version);
}

void TNimbrelAboutDlg::Build() {
    setObjectName(QStringLiteral("id22000"));
    setWindowTitle(QStringLiteral("About Nimbrel"));

    auto* icon = new QLabel(this);
    icon->setPixmap(nimbrel::res::Icon(nimbrel::res::kAppIcon).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* title = new QLabel(QStringLiteral("PTT Comunications Interface"), this);
    title->setAlignment(Qt::AlignCenter);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);

    version_ = new QLabel(QStringLiteral("Version"), this);
    version_->setObjectName(QStringLiteral("id22001"));
    version_->setAlignment(Qt::AlignCenter);

    copyright_ = new QLabel(this);
    copyright_->setObjectName(QStringLiteral("id22002"));
    copyright_->setAlignment(Qt::AlignCenter);
    copyright_->setMinimumHeight(2 * copyright_->fontMetrics().lineSpacing());

    special_ = new QLabel(this);
    special_->setObjectName(QStringLiteral("id22003"));
    special_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(version_);
    texts->addWidget(copyright_);
    texts->addWidget(special_);

    auto* body = new QHBoxLayout;
    body->addWidget(icon);
    body->addSpacing(8);
    body->addLayout(texts, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();

    auto* top = new QVBoxLayout(this);
    top->addLayout(body);
    top->addLayout(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TNimbrelAboutDlg::SetupWindow(const TProjectRCVersion& version) {
    const char* name = nullptr;
    const char* number = nullptr;
    if (version.GetProductName(name) && version.GetProductVersion(number)) {
        const std::string label = version_->text().left(127).toStdString();
        char text[512];
        std::snprintf(text, sizeof text, "%s %s %s", name, label.c_str(), number);
        version_->setText(QString::fromStdString(text));
    }
    const char* notice = nullptr;
    if (version.GetCopyright(notice)) copyright_->setText(QString::fromStdString(notice));
    const char* special = nullptr;
    if (version.GetDebug(special)) special_->setText(QString::fromStdString(special));
}
