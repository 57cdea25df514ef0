// Range or list check of an item's value.
#pragma once

#include <cstdint>
#include <string>

namespace nimbrel {

class DisplayLine;

class IOValidator {
public:
    explicit IOValidator(DisplayLine* item) : item_(item) {}

    void SetMinMax(std::int32_t min, std::int32_t max) {
        min_ = static_cast<float>(min);
        max_ = static_cast<float>(max);
    }
    void SetMinMax(float min, float max) {
        min_ = min;
        max_ = max;
    }
    float Max() const { return max_; }
    float Min() const { return min_; }

    // True when the item's current value passes its limits or list.
    bool IsValid() const;
    // The refusal text for the item's current value.
    std::string ErrorText() const;
    // Shows ErrorText() in an "Input error" message box.
    void Error() const;

private:
    DisplayLine* item_;
    // No value passes until the item has set its limits.
    float max_ = 2147483648.0f;
    float min_ = 4294967296.0f;
};

} // namespace nimbrel
