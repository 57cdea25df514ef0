// Range or list check of an item's value.
#pragma once

#include <cstdint>
#include <string>

namespace nimbrel {

class DisplayLine;

class IOValidator {
public:
    explicit IOValidator(DisplayLine* item) : item_(item) {}

    // Limits are held in double, which keeps every 32-bit whole number exact.
    void SetMinMax(std::int32_t min, std::int32_t max) {
        min_ = min;
        max_ = max;
    }
    void SetMinMax(float min, float max) {
        min_ = min;
        max_ = max;
    }
    double Max() const { return max_; }
    double Min() const { return min_; }

    // True when the item's current value is wholly a number of the item's base
    // (text types are free) and passes its limits or list. Whole numbers
    // compare exactly; floats compare in double.
    bool IsValid() const;
    // The refusal text for the item's current value. A value that is not a
    // number gets a first line saying so ("The value 12abc is not a decimal
    // number.", or for a whole number beyond 32 bits "The value 99999999999
    // lies outside the range of whole numbers (-2147483648 to 2147483647).")
    // before the usual text.
    std::string ErrorText() const;
    // Shows ErrorText() in an "Input error" message box.
    void Error() const;

private:
    // False when the value text of a number item is not wholly a number.
    bool IsNumberText() const;

    DisplayLine* item_;
    // No value passes until the item has set its limits.
    double max_ = 2147483648.0;
    double min_ = 4294967296.0;
};

} // namespace nimbrel
