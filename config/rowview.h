// What an item needs from the row that shows it. The configuration window's
// row controls implement it; headless, an item has no view and is data only.
#pragma once

#include <string>

namespace nimbrel {

class RowView {
public:
    virtual ~RowView() = default;
    virtual void ShowValue(const std::string& text) = 0;
    virtual void ShowSensor(const std::string& text) = 0;
    virtual void ShowName(const std::string& text) = 0;
    virtual void ShowNumber(const std::string& text) = 0;
    virtual void ShowReadOnly(bool readOnly) = 0;
    // Moves the row's controls to row `index`, allowing for the window's scroll position.
    virtual void Place(int index) = 0;
    virtual void Repaint() = 0;
};

} // namespace nimbrel
