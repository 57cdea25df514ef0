// One row of the configuration window: sensor name, sensor number and item
// name labels and the value edit of one item, mirroring the item's texts.
#pragma once

#include "config/rowview.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class TNimbrelWindow;

namespace nimbrel {
class DisplayLine;
class UserEdit;
} // namespace nimbrel

// Columns of a row and of the header, in unscrolled window coordinates.
namespace rowlayout {
inline constexpr int kRowHeight = 25;
inline constexpr int kStepWidth = 20; // one horizontal scroll step
inline constexpr int kSensorX = 20, kSensorW = 200;
inline constexpr int kNumberX = 221, kNumberW = 40;
inline constexpr int kNameX = 262, kNameW = 300;
inline constexpr int kValueX = 563, kValueW = 100;
inline constexpr int kContentWidth = kValueX + kValueW; // 663
} // namespace rowlayout

// The row is a transparent strip over columns 20 .. 662; clicks on its labels
// and gaps pass through to the window. Created as a child of the window's
// client area, which owns it. The window keeps rows only for the items in
// view and reuses them as the view scrolls: Bind attaches the row to an item
// (the row then mirrors it), Bind(nullptr) detaches and hides it.
class ItemRow : public QWidget, public nimbrel::RowView {
public:
    ItemRow(TNimbrelWindow* window, QWidget* parent);
    ~ItemRow() override;

    void Bind(nimbrel::DisplayLine* item);
    nimbrel::DisplayLine* Item() const { return item_; }

    nimbrel::UserEdit* Edit() const { return edit_; }
    QLabel* SensorLabel() const { return sensor_; }
    QLabel* NumberLabel() const { return number_; }
    QLabel* NameLabel() const { return name_; }

    void ShowValue(const std::string& text) override;
    void ShowSensor(const std::string& text) override;
    void ShowName(const std::string& text) override;
    void ShowNumber(const std::string& text) override;
    void ShowReadOnly(bool readOnly) override;
    void Place(int index) override;
    void Repaint() override;

private:
    TNimbrelWindow* window_;
    nimbrel::DisplayLine* item_ = nullptr;
    QLabel* sensor_;
    QLabel* number_;
    QLabel* name_;
    nimbrel::UserEdit* edit_;
};
