#include "configwin/itemrow.h"

#include "config/displayline.h"
#include "config/useredit.h"
#include "configwin/nimbrelwindow.h"

#include <QLabel>

using namespace rowlayout;

namespace {

QLabel* MakeCell(QWidget* parent, const std::string& text, int x, int width) {
    auto* label = new QLabel(nimbrel::ItemText(text), parent);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setLineWidth(1);
    label->setIndent(3);
    label->setGeometry(x - kSensorX, 0, width, kRowHeight);
    return label;
}

} // namespace

ItemRow::ItemRow(TNimbrelWindow* window, nimbrel::DisplayLine* item, QWidget* parent)
    : QWidget(parent), window_(window), item_(item) {
    sensor_ = MakeCell(this, item->GetSensor(), kSensorX, kSensorW);
    number_ = MakeCell(this, item->GetNumberText(), kNumberX, kNumberW);
    name_ = MakeCell(this, item->GetName(), kNameX, kNameW);
    edit_ = new nimbrel::UserEdit(item, window, this);
    edit_->setGeometry(kValueX - kSensorX, 0, kValueW, kRowHeight);
    resize(kContentWidth - kSensorX, kRowHeight);
    item_->AttachView(this);
    Place(item_->GetIndex());
    show();
}

ItemRow::~ItemRow() {
    if (item_->View() == this) item_->AttachView(nullptr);
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
    move(kSensorX - kStepWidth * h, nimbrel::DisplayLine::GetScreenPos(index) - kRowHeight * v);
}

void ItemRow::Repaint() {
    update();
}
