#include "config/displayline.h"

#include "config/numbertext.h"
#include "config/rowview.h"
#include "platform/ui.h"

#include <algorithm>
#include <charconv>

namespace nimbrel {

bool IsTextType(std::int32_t type) {
    return type == kTypeString || type == kTypeUnformatted || type == kTypeAscii ||
           type == kTypeUserCommand;
}

bool IsNumberType(std::int32_t type) {
    return type == kTypeChar || type == kTypeInt || type == kTypeLong || type == kTypePttId ||
           type == kTypeBaud;
}

bool IsValidType(std::int32_t type) {
    return type >= kTypeChar && type <= kTypeBaud;
}

const char* TypeLabel(std::int32_t type) {
    switch (type) {
    case kTypeChar:
        return "char";
    case kTypeInt:
        return "int";
    case kTypeString:
        return "string";
    case kTypeLong:
        return "long";
    case kTypeUnformatted:
        return "unformatted string";
    case kTypeFloat:
        return "float";
    case kTypeAscii:
        return "ASCII string";
    case kTypeUserCommand:
        return "User command";
    case kTypePttId:
        return "PTT ID number";
    case kTypeBaud:
        return "Baud rate";
    default:
        return "";
    }
}

DisplayLine::DisplayLine(std::int32_t index, const std::string& sensor, const std::string& number,
                         const std::string& name, const std::string& value, std::int32_t type,
                         std::int32_t size)
    : index_(index), value_(ClipItemText(value)), sensor_(ClipItemText(sensor)),
      name_(ClipItemText(name)), number_(ClipItemText(number)), size_(size), type_(type),
      validator_(this) {
    size_ = BytesInType(type_);
    SetHex(false);
    SetList(false);
    SetAddress(0);
    SetUser(true);
}

DisplayLine::~DisplayLine() = default;

void DisplayLine::AttachView(RowView* view) {
    view_ = view;
    if (!view_) return;
    view_->ShowValue(value_);
    view_->ShowSensor(sensor_);
    view_->ShowName(name_);
    view_->ShowNumber(number_);
    view_->ShowReadOnly(user_);
    view_->Place(index_);
}

void DisplayLine::SendPaint() {
    if (view_) view_->Repaint();
}

void DisplayLine::GetValue(float& v) const {
    v = ParseFloat(value_);
}

void DisplayLine::SetValue(std::int32_t v) {
    SetValue(LongToString(v));
}

void DisplayLine::SetValue(float v) {
    SetValue(FormatFixed(v));
}

void DisplayLine::SetValue(const std::string& s) {
    value_ = ClipItemText(s);
    if (view_) view_->ShowValue(value_);
}

void DisplayLine::SetMax(std::int32_t v) {
    max_ = LongToString(v);
    validator_.SetMinMax(StringToLong(min_), StringToLong(max_));
}

void DisplayLine::SetMin(std::int32_t v) {
    min_ = LongToString(v);
    validator_.SetMinMax(StringToLong(min_), StringToLong(max_));
}

void DisplayLine::SetMax(const std::string& s) {
    max_ = ClipItemText(s);
}

void DisplayLine::SetMinText(const std::string& s) {
    min_ = ClipItemText(s);
}

void DisplayLine::SetName(const std::string& s) {
    name_ = ClipItemText(s);
    if (view_) view_->ShowName(name_);
}

void DisplayLine::SetSensor(const std::string& s) {
    sensor_ = ClipItemText(s);
    if (view_) view_->ShowSensor(sensor_);
}

std::int32_t DisplayLine::GetNumber() const {
    return StringToLong(number_, false);
}

void DisplayLine::SetNumber(std::int32_t n) {
    number_ = LongToString(n, false);
    if (view_) view_->ShowNumber(number_);
}

void DisplayLine::SetType(std::int32_t type) {
    type_ = type;
    if (type == kTypeString || type == kTypeUnformatted) {
        SetHex(true);
    } else if (type == kTypeFloat || type == kTypeAscii || type == kTypeUserCommand) {
        SetHex(false);
    }
    if (IsValidType(type)) {
        size_ = BytesInType(type);
    } else {
        CurrentUi().MessageBox("Unknown type", "Type Error", Buttons::Ok, Icon::Exclamation);
    }
}

std::int32_t FixedTypeWidth(std::int32_t type) {
    switch (type) {
    case kTypeInt:
        return 2;
    case kTypeLong:
    case kTypeFloat:
    case kTypePttId:
        return 4;
    case kTypeBaud:
        return 1;
    default:
        return 0;
    }
}

std::int32_t DisplayLine::BytesInType(std::int32_t type) {
    if (const std::int32_t width = FixedTypeWidth(type); width > 0) return width;
    switch (type) {
    case kTypeChar:
        return size_ >= 1 ? size_ : 1;
    case kTypeString:
    case kTypeUnformatted:
    case kTypeAscii:
    case kTypeUserCommand:
        size_ = static_cast<std::int32_t>(value_.size());
        return size_;
    default:
        return 1;
    }
}

void DisplayLine::SetHex(bool hex) {
    if (list_) {
        if (hex) {
            CurrentUi().MessageBox("Lists must be decimal.", "Configuration error", Buttons::Ok,
                                   Icon::Exclamation);
        } else {
            hex_ = false;
        }
        return;
    }
    if (type_ == kTypeFloat) {
        if (hex) {
            CurrentUi().MessageBox("Hex not allowed for floats", "Type Error", Buttons::Ok,
                                   Icon::Exclamation);
        } else {
            hex_ = false;
        }
        return;
    }
    if (IsTextType(type_)) {
        hex_ = hex;
        return;
    }
    // Whole numbers (and invalid codes): re-show value and limits in the new base.
    const std::int32_t value = GetValue();
    const std::int32_t max = GetMax();
    const std::int32_t min = GetMin();
    hex_ = hex;
    SetValue(value);
    SetMax(max);
    SetMin(min);
}

void DisplayLine::SetUser(bool notUserConfigurable) {
    user_ = notUserConfigurable;
    if (view_) view_->ShowReadOnly(user_);
}

void DisplayLine::SetIndex(std::int32_t i) {
    index_ = i;
    SetScreenPos(i);
}

std::int32_t DisplayLine::GetScreenPos(std::int32_t i) {
    const std::int64_t y = 25 * (std::int64_t{i} + 1);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(y, INT32_MIN, INT32_MAX));
}

void DisplayLine::SetScreenPos(std::int32_t i) {
    if (view_) view_->Place(i);
}

std::string DisplayLine::LongToString(std::int32_t v) const {
    return LongToString(v, hex_);
}

std::int32_t DisplayLine::StringToLong(const std::string& s) const {
    return StringToLong(s, hex_);
}

std::string DisplayLine::LongToString(std::int32_t v, bool hex) {
    if (!hex) return std::to_string(v);
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<std::uint32_t>(v), 16);
    return std::string(buf, r.ptr) + " H";
}

std::int32_t DisplayLine::StringToLong(const std::string& s, bool hex) {
    return ParseInt32(s, hex);
}

} // namespace nimbrel
