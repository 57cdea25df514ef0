#include "configwin/itemrow.h"

#include "config/displayline.h"
#include "configwin/useredit.h"
#include "configwin/nimbrelwindow.h"

#include <QLabel>

#include <algorithm>

using namespace rowlayout;

namespace {

QLabel* MakeCell(QWidget* parent, int x, int width) {
    auto* label = new QLabel(parent);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setLineWidth(1);
    label->setIndent(3);
    label->setGeometry(x - kSensorX, 0, width, kRowHeight);
    return label;
}

} // namespace

ItemRow::ItemRow(TNimbrelWindow* window, QWidget* parent) : QWidget(parent), window_(window) {
    sensor_ = MakeCell(this, kSensorX, kSensorW);
    number_ = MakeCell(this, kNumberX, kNumberW);
    name_ = MakeCell(this, kNameX, kNameW);
    edit_ = new nimbrel::UserEdit(nullptr, window, this);
    edit_->setGeometry(kValueX - kSensorX, 0, kValueW, kRowHeight);
    resize(kContentWidth - kSensorX, kRowHeight);
    hide();
}

ItemRow::~ItemRow() {
    if (item_ != nullptr && item_->View() == this) item_->AttachView(nullptr);
}

void ItemRow::Bind(nimbrel::DisplayLine* item) {
    if (item_ == item) return;
    if (item_ != nullptr && item_->View() == this) item_->AttachView(nullptr);
    item_ = item;
    edit_->SetItem(item);
    if (item_ == nullptr) {
        hide();
        return;
    }
    item_->AttachView(this); // shows the item's texts and places the row
    show();
}

void ItemRow::ShowValue(const std::string& text) {
    edit_->ShowValue(text);
}

void ItemRow::ShowSensor(const std::string& text) {
    sensor_->setText(nimbrel::ItemText(text));
}

void ItemRow::ShowName(const std::string& text) {
    name_->setText(nimbrel::ItemText(text));
}

void ItemRow::ShowNumber(const std::string& text) {
    number_->setText(nimbrel::ItemText(text));
}

void ItemRow::ShowReadOnly(bool readOnly) {
    edit_->setReadOnly(readOnly);
}

void ItemRow::Place(int index) {
    const int h = window_ != nullptr ? window_->HorizontalPos() : 0;
    const int v = window_ != nullptr ? window_->VerticalPos() : 0;
    const std::int64_t y = std::int64_t{kRowHeight} * (std::int64_t{index} + 1 - v);
    move(kSensorX - kStepWidth * h, static_cast<int>(std::clamp<std::int64_t>(y, -100000, 100000)));
}

void ItemRow::Repaint() {
    update();
}
