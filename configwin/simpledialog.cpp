#include "configwin/simpledialog.h"

#include "configwin/nimbrelwindow.h"
#include "configwin/qttext.h"
#include "resources/pictures.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

using nimbrel::DisplayLine;
using nimbrel::kSimpleFieldCount;

namespace {

constexpr int kMaxEditText = 254;

constexpr const char* kLabels[kSimpleFieldCount] = {
    "PTT ID Number:", "Transmission Repitation Rate (seconds):", "Transmission On Time (seconds):",
    "Transmission Off Time (seconds):"};
constexpr const char* kEditNames[kSimpleFieldCount] = {"pttId", "repRate", "onTime", "offTime"};

} // namespace

SimpleDialog::SimpleDialog(TNimbrelWindow* window, QMdiSubWindow* frame)
    : QDialog(window), window_(window), frame_(frame) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Basic PTT Setup"));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(nimbrel::res::SimplePicture());
    picture->setFixedSize(nimbrel::res::kSimplePictureWidth, nimbrel::res::kSimplePictureHeight);

    const QFontMetrics metrics(font());
    auto* fields = new QGridLayout;
    fields->setColumnStretch(1, 1);
    for (int f = 0; f < kSimpleFieldCount; ++f) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(kEditNames[f]));
        edit->setMaxLength(kMaxEditText);
        // Never narrower than its size hint, which follows the font.
        edit->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
        auto* label = new QLabel(QLatin1String(kLabels[f]), this);
        label->setBuddy(edit);
        fields->addWidget(label, f, 0);
        fields->addWidget(edit, f, 1);
        edits_[static_cast<std::size_t>(f)] = edit;
    }

    advanced_ = new QPushButton(QStringLiteral("Advanced Setup"), this);
    advanced_->setObjectName(QStringLiteral("advanced"));
    advanced_->setProperty("buttonId", 101);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setProperty("buttonId", 106);
    ok_->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignLeft | Qt::AlignTop);
    top->addSpacing(metrics.averageCharWidth() * 2);
    top->addLayout(fields, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(advanced_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(metrics.height() / 2);
    layout->addStretch(1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(ok_, &QPushButton::clicked, this, [this] { BNClicked(); });
    connect(advanced_, &QPushButton::clicked, this, [this] { AdvancedBNClicked(); });

    SetupWindow();
}

void SimpleDialog::SetupWindow() {
    indexes_ = nimbrel::FindSimpleFields(window_->Items);
    for (int f = 0; f < kSimpleFieldCount; ++f) {
        const auto slot = static_cast<std::size_t>(f);
        const std::int32_t index = indexes_[slot];
        const DisplayLine* item =
            index >= 0 ? window_->Items[static_cast<std::size_t>(index)].get() : nullptr;
        items_[slot] = item;
        // A field without an item stays empty.
        edits_[slot]->setText(item != nullptr ? nimbrel::ItemText(nimbrel::SimpleFieldText(*item))
                                              : QString());
    }
    edits_[0]->setFocus();
}

DisplayLine* SimpleDialog::FieldItem(int field) const {
    const DisplayLine* wanted = items_[static_cast<std::size_t>(field)];
    if (wanted == nullptr) return nullptr;
    // The window's items may have been edited while the form was up.
    const auto& items = window_->Items;
    const auto it = std::find_if(items.begin(), items.end(),
                                 [wanted](const auto& item) { return item.get() == wanted; });
    return it != items.end() ? it->get() : nullptr;
}

void SimpleDialog::BNClicked() {
    std::array<DisplayLine*, kSimpleFieldCount> items{};
    std::array<std::string, kSimpleFieldCount> texts;
    for (int f = 0; f < kSimpleFieldCount; ++f) {
        const auto slot = static_cast<std::size_t>(f);
        items[slot] = FieldItem(f);
        texts[slot] = nimbrel::ItemText(edits_[slot]->text());
    }
    const std::vector<int> failed = nimbrel::ApplySimpleForm(items, texts);

    // A message box runs its own event loop: the window may go meanwhile.
    const QPointer<SimpleDialog> self(this);
    for (int f : failed) {
        items[static_cast<std::size_t>(f)]->Validator().Error();
        if (self.isNull()) return;
    }
    window_->Modified();
    if (!failed.empty()) {
        QLineEdit* edit = Edit(failed.front());
        activateWindow();
        edit->setFocus();
        edit->selectAll();
    }
}

void SimpleDialog::ShowFrame() {
    if (frame_.isNull()) {
        window_->show();
        return;
    }
    frame_->show();
    if (QMdiArea* area = frame_->mdiArea()) area->setActiveSubWindow(frame_);
}

void SimpleDialog::AdvancedBNClicked() {
    ShowFrame();
    leaving_ = true;
    close();
}

void SimpleDialog::reject() {
    AdvancedBNClicked();
}

void SimpleDialog::EvClose() {
    // The frame's close asks the window (save prompt, value checks); when it
    // agrees, the frame is deleted with the window and this form as its child.
    bool closed = false;
    if (!frame_.isNull()) {
        closed = frame_->close();
    } else if (window_->CanClose()) {
        closed = window_->close();
    }
    if (closed) hide();
}

void SimpleDialog::closeEvent(QCloseEvent* event) {
    if (leaving_) {
        // Not QDialog's handling, which would reject() and so come back here.
        event->accept();
        return;
    }
    // The close box: the form closes only with the window.
    event->ignore();
    EvClose();
}
