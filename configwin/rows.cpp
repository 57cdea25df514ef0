// Rows and scrolling of the configuration window: rows given to the items in
// view, the current item and its markers, the mouse, and the scroll bars.
#include "configwin/nimbrelwindow.h"

#include "configwin/itemrow.h"

#include <QLabel>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <unordered_set>

using namespace rowlayout;
using nimbrel::DisplayLine;

namespace {

constexpr int kHorizontalRange = 100; // 20-pixel steps
constexpr int kMarkerWidth = 15;
constexpr int kLeftMarkerX = 5;
constexpr int kRightMarkerX = kContentWidth; // 663 .. 677

} // namespace

void TNimbrelWindow::ReleaseRow(DisplayLine& item) {
    if (auto* row = dynamic_cast<ItemRow*>(item.View())) row->Bind(nullptr);
}

void TNimbrelWindow::UpdateRows() {
    const std::int32_t count = ItemCount();
    // Row i lies at 25 * (i + 1 - v): the rows from v - 1 down to the
    // client area's bottom edge are in view.
    const std::int32_t first = std::max(0, VerticalPos() - 1);
    const std::int32_t last =
        std::min<std::int64_t>(count - 1, std::int64_t{first} + client_->height() / kRowHeight + 1);
    std::unordered_set<const DisplayLine*> wanted;
    for (std::int32_t p = first; p <= last; ++p)
        wanted.insert(Items[static_cast<std::size_t>(p)].get());
    if (CurrentEntry >= 0 && CurrentEntry < count) {
        wanted.insert(Items[static_cast<std::size_t>(CurrentEntry)].get());
    }

    restructuring_ = true;
    std::vector<ItemRow*> free;
    for (ItemRow* row : rows_) {
        // The row being typed in stays, wherever its item went.
        if (row->Item() != nullptr && (wanted.count(row->Item()) > 0 || row->Edit()->hasFocus())) {
            row->Place(row->Item()->GetIndex());
            continue;
        }
        row->Bind(nullptr);
        free.push_back(row);
    }
    auto bind = [&](std::int32_t p) {
        DisplayLine& item = *Items[static_cast<std::size_t>(p)];
        auto* row = dynamic_cast<ItemRow*>(item.View());
        if (row == nullptr) {
            if (free.empty()) {
                row = new ItemRow(this, client_); // owned by the client area
                rows_.push_back(row);
            } else {
                row = free.back();
                free.pop_back();
            }
            row->Bind(&item);
        }
        row->Place(p);
    };
    for (std::int32_t p = first; p <= last; ++p)
        bind(p);
    if (CurrentEntry >= 0 && CurrentEntry < count &&
        (CurrentEntry < first || CurrentEntry > last)) {
        bind(CurrentEntry);
    }
    restructuring_ = false;
}

int TNimbrelWindow::RowCount() const {
    return static_cast<int>(std::count_if(
        rows_.begin(), rows_.end(), [](const ItemRow* row) { return row->Item() != nullptr; }));
}

ItemRow* TNimbrelWindow::Row(int index) const {
    if (index < 0 || index >= ItemCount()) return nullptr;
    return dynamic_cast<ItemRow*>(Items[static_cast<std::size_t>(index)]->View());
}

nimbrel::UserEdit* TNimbrelWindow::GetEditPointer(int index) const {
    ItemRow* row = Row(index);
    return row != nullptr ? row->Edit() : nullptr;
}

void TNimbrelWindow::ScrollIntoView(int index) {
    if (index < 0 || index >= ItemCount()) return;
    const int fit = std::max(1, client_->height() / kRowHeight);
    int v = VerticalPos();
    if (v > index + 1) v = index + 1;
    if (v < index + 2 - fit) v = index + 2 - fit;
    if (v != VerticalPos()) vbar_->setValue(v);
    CheckForScroll();
}

// ---- selection

void TNimbrelWindow::SetCurrentEntry(int index) {
    if (restructuring_ || index < 0 || index > ItemCount() - 1) return;
    CurrentEntry = index;
    UpdateRows();
    if (auto* edit = GetEditPointer(index)) edit->setFocus();
    client_->update();
    emit CurrentItemChanged(index);
}

void TNimbrelWindow::EvLButtonDown(const QPoint& point) {
    const int row = point.y() / kRowHeight + VerticalPos() - 1;
    if (point.x() >= kSensorX && point.x() <= kContentWidth) {
        SetCurrentEntry(row);
        client_->update();
    }
}

void TNimbrelWindow::EvLButtonDblClk(const QPoint& /*point*/) {
    CmModifysensor();
}

// ---- painting

void TNimbrelWindow::PaintClient(QPainter& painter) {
    if (CurrentEntry < 0 || CurrentEntry >= ItemCount()) return;
    const bool locked = Items[static_cast<std::size_t>(CurrentEntry)]->GetUser();
    const QColor colour = locked ? QColor(255, 0, 0) : QColor(0, 0, 255);
    const int dx = -kStepWidth * HorizontalPos();
    const int y = DisplayLine::GetScreenPos(CurrentEntry) - kRowHeight * VerticalPos();
    painter.fillRect(QRect(kLeftMarkerX + dx, y, kMarkerWidth, kRowHeight), colour);
    painter.fillRect(QRect(kRightMarkerX + dx, y, kMarkerWidth, kRowHeight), colour);
}

// ---- scrolling

std::int32_t TNimbrelWindow::HorizontalPos() const {
    return hbar_->value();
}

std::int32_t TNimbrelWindow::VerticalPos() const {
    return vbar_->value();
}

void TNimbrelWindow::ScrollTo(std::int32_t h, std::int32_t v) {
    hbar_->setValue(h);
    vbar_->setValue(v);
    CheckForScroll();
}

bool TNimbrelWindow::VerticalBarShown() const {
    return !vbar_->isHidden();
}

bool TNimbrelWindow::HorizontalBarShown() const {
    return !hbar_->isHidden();
}

void TNimbrelWindow::SetScrollRanges() {
    hbar_->setRange(0, kHorizontalRange);
    vbar_->setRange(0, ItemCount());
    CheckForScroll();
}

void TNimbrelWindow::UpdatePageSteps() {
    hbar_->setPageStep(std::max(1, client_->width() / kStepWidth - 1));
    vbar_->setPageStep(std::max(1, client_->height() / kRowHeight - 1));
}

void TNimbrelWindow::PlaceContent() {
    const int dx = -kStepWidth * HorizontalPos();
    const int dy = -kRowHeight * VerticalPos();
    sensorHeader_->setGeometry(kSensorX + dx, dy, kNumberX + kNumberW - kSensorX, kRowHeight);
    itemHeader_->setGeometry(kNameX + dx, dy, kNameW, kRowHeight);
    valueHeader_->setGeometry(kValueX + dx, dy, kValueW, kRowHeight);
    UpdateRows();
    client_->update();
}

void TNimbrelWindow::ScrollDown(int n) {
    if (VerticalPos() + n <= ItemCount()) vbar_->setValue(VerticalPos() + 1);
    CheckForScroll();
}

void TNimbrelWindow::ScrollUp(int /*n*/) {
    vbar_->setValue(VerticalPos() - 1);
    CheckForScroll();
}

void TNimbrelWindow::CheckForScroll() {
    // Showing or hiding one bar changes the client area, which may decide the
    // other; settle as the platform's repeated size events would.
    bool showV = VerticalBarShown();
    bool showH = HorizontalBarShown();
    const int barW = vbar_->sizeHint().width();
    const int barH = hbar_->sizeHint().height();
    for (int pass = 0; pass < 4; ++pass) {
        const int clientW = width() - (showV ? barW : 0);
        const int clientH = height() - (showH ? barH : 0);
        const bool v = clientH < kRowHeight * (ItemCount() + 1) || VerticalPos() != 0;
        const bool h = clientW < kContentWidth || HorizontalPos() != 0;
        if (v == showV && h == showH) break;
        showV = v;
        showH = h;
    }
    const int clientW = std::max(0, width() - (showV ? barW : 0));
    const int clientH = std::max(0, height() - (showH ? barH : 0));
    client_->setGeometry(0, 0, clientW, clientH);
    vbar_->setGeometry(clientW, 0, barW, clientH);
    hbar_->setGeometry(0, clientH, clientW, barH);
    vbar_->setVisible(showV);
    hbar_->setVisible(showH);
    UpdatePageSteps();
    UpdateRows();
}

void TNimbrelWindow::EvSize() {
    CheckForScroll();
    client_->update();
}

void TNimbrelWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    EvSize();
}

QSize TNimbrelWindow::sizeHint() const {
    return {kRightMarkerX + kMarkerWidth + 20, kRowHeight * (std::min(ItemCount(), 16) + 2)};
}
