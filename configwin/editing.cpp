// Editing commands of the configuration window: adding, deleting and
// changing sensors and items, the ready-made sensors, and the item array
// they work on.
#include "configwin/nimbrelwindow.h"

#include "config/modsensorxfer.h"
#include "configwin/confighost.h"
#include "configwin/modsensor.h"
#include "platform/ui.h"

#include <algorithm>
#include <memory>

using nimbrel::Answer;
using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::DisplayLine;
using nimbrel::Icon;

// One item of a ready-made sensor. `maxText` non-null stores the maximum as
// text (a list, or a number text that becomes decimal when the item is made
// decimal again); `size` 0 keeps the size the type gives.
struct TNimbrelWindow::SensorTemplate {
    const char* name;
    std::int32_t type;
    std::int32_t size;
    bool list;
    std::int32_t min;
    std::int32_t max;
    const char* maxText;
    std::int32_t value;
    bool notUserConfigurable;
};

// ---- editing commands

bool TNimbrelWindow::PasswordGiven() {
    if (Host == nullptr || Host->GetPassword()) return true;
    CurrentUi().MessageBox("This function requires you to enter the system password", "Error",
                           Buttons::Ok, Icon::Exclamation);
    return false;
}

void TNimbrelWindow::CmAddsensor() {
    if (!PasswordGiven()) return;
    const auto name = CurrentUi().InputText("Add new Sensor", "Enter sensor name: ", "", 59);
    if (!name) return;
    ++SensorCount;
    DisplayLine* item = InsertArrayEntry(ItemCount() - 1);
    item->SetSensor(*name);
    item->SetHex(false);
    item->SetNumber(SensorCount);
    ReSyncArray();
    DataModified = true;
    // The new sensor is appended out of sight: show it as the current item.
    ScrollIntoView(ItemCount() - 1);
    SetCurrentEntry(ItemCount() - 1);
    client_->update();
}

void TNimbrelWindow::CmAdditem() {
    if (!PasswordGiven()) return;
    InsertArrayEntry(CurrentEntry);
    ReSyncArray();
    client_->update();
    DataModified = true;
}

void TNimbrelWindow::CmDeleteitem() {
    if (!PasswordGiven()) return;
    if (CurrentEntry < 0 || CurrentEntry >= ItemCount()) return;
    const DisplayLine& current = *Items[static_cast<std::size_t>(CurrentEntry)];
    const std::int32_t number = current.GetNumber();
    const std::string& sensor = current.GetSensor();
    if (sensor.empty() || sensor[0] == ' ') {
        // Not the first item of a sensor: that item alone.
        DeleteArrayItem(CurrentEntry);
    } else {
        DataModified = true;
        const Answer answer =
            CurrentUi().MessageBox("Deleting this item will delete the entire sensor", "Warning",
                                   Buttons::OkCancel, Icon::Exclamation);
        if (answer != Answer::Ok) return;
        // The sensor's run from here down; items above it are never touched,
        // even when they carry the same number.
        const std::int32_t at = CurrentEntry;
        while (at < ItemCount() && Items[static_cast<std::size_t>(at)]->GetNumber() == number)
            DeleteArrayItem(at);
    }
    ReSyncArray();
    DataModified = true;
    if (ItemCount() > 0) SetCurrentEntry(std::min(CurrentEntry, ItemCount() - 1));
    client_->update();
}

void TNimbrelWindow::CmModifysensor() {
    if (!PasswordGiven()) return;
    if (CurrentEntry < 0 || CurrentEntry >= ItemCount()) return;
    DisplayLine* item = Items[static_cast<std::size_t>(CurrentEntry)].get();
    nimbrel::ModSensorXfer xfer;
    nimbrel::FillModSensorXfer(*item, xfer);
    ModSensor dialog(this, xfer);
    if (dialog.Execute() != QDialog::Accepted) return;
    // The item may have gone while the dialog was up (a transfer's read).
    if (CurrentEntry >= ItemCount() || Items[static_cast<std::size_t>(CurrentEntry)].get() != item)
        return;
    nimbrel::ApplyModSensorXfer(xfer, *item);
    DataModified = true;
    emit ItemsChanged();
    client_->update(); // the marker follows the "not user configurable" flag
}

// ---- ready-made sensors

void TNimbrelWindow::AddSensor(const std::string& name, const SensorTemplate* items, int count,
                               bool byUser) {
    if (!PasswordGiven()) return;
    ++SensorCount;
    for (int i = 0; i < count; ++i) {
        const SensorTemplate& t = items[i];
        DisplayLine* item = InsertArrayEntry(ItemCount() - 1);
        item->SetSensor(i == 0 ? name : std::string());
        item->SetHex(false);
        item->SetNumber(SensorCount);
        item->SetList(t.list);
        item->SetMin(t.min);
        if (t.maxText != nullptr) {
            item->SetMax(t.maxText);
        } else {
            item->SetMax(t.max);
        }
        item->SetType(t.type);
        if (t.size != 0) item->SetSize(t.size);
        item->SetHex(false);
        item->SetName(t.name);
        item->SetValue(t.value);
        item->SetUser(t.notUserConfigurable);
    }
    ReSyncArray();
    if (byUser) DataModified = true;
}

void TNimbrelWindow::CmAddtx() {
    static const SensorTemplate kItems[] = {
        {"PTT ID number", nimbrel::kTypePttId, 4, false, 0, 99999, nullptr, 11111, false},
        {"Fast transmission rep rate (seconds)", nimbrel::kTypeLong, 0, true, 0, 0, "{90,200}", 90,
         true},
        {"Transmission on time (seconds)", nimbrel::kTypeLong, 0, false, 1, 86400, nullptr, 7200,
         false},
        {"Transmission off time (seconds)", nimbrel::kTypeLong, 0, false, 1, 86400, nullptr, 14400,
         false},
    };
    AddSensor("ARGOS transmitter", kItems, 4, true);
}

void TNimbrelWindow::CmAddgps() {
    static const SensorTemplate kItems[] = {
        {"Time allowed for fix (seconds)", nimbrel::kTypeLong, 4, false, 0, 99999, nullptr, 1200,
         false},
        {"GPS sample rate (seconds)", nimbrel::kTypeLong, 0, true, 0, 0,
         "{1200,1800,2700,3600,7200,10800,14400}", 3600, false},
    };
    AddSensor("GPS Sensor", kItems, 2, true);
}

void TNimbrelWindow::CmAddserial() {
    static const SensorTemplate kItems[] = {
        {"Baud rate", nimbrel::kTypeBaud, 4, true, 0, 0, "{300,1200,2400,4800,9600}", 9600, false},
        {"Serial data enabled yes=1 no=0", nimbrel::kTypeChar, 0, true, 0, 0, "{0,1}", 1, false},
        {"Hardware handshaking yes=1 no=0", nimbrel::kTypeChar, 0, true, 0, 0, "{0,1}", 1, false},
        // The maximum goes in as the text "3600L" and reads 3600 once the item
        // is made decimal again.
        {"User interface access interval (sec)", nimbrel::kTypeLong, 0, false, 0, 0, "3600L", 1,
         false},
    };
    AddSensor("Serial communications", kItems, 4, true);
}

// ---- the item array

DisplayLine* TNimbrelWindow::InsertArrayEntry(int pos) {
    std::int32_t number = 0;
    if (CurrentEntry >= 0 && CurrentEntry < ItemCount()) {
        number = Items[static_cast<std::size_t>(CurrentEntry)]->GetNumber();
    }
    const std::int32_t at = std::clamp(pos + 1, 0, ItemCount());
    auto item = std::make_unique<DisplayLine>(at, "", std::to_string(number), "Sensor item", "0",
                                              nimbrel::kTypeChar, 1);
    DisplayLine* raw = item.get();
    Items.insert(Items.begin() + at, std::move(item));
    SetScrollRanges();
    emit ItemsChanged();
    return raw;
}

void TNimbrelWindow::DeleteArrayItem(int pos) {
    if (pos < 0 || pos >= ItemCount()) return;
    auto item = std::move(Items[static_cast<std::size_t>(pos)]);
    Items.erase(Items.begin() + pos);
    restructuring_ = true;
    ReleaseRow(*item);
    restructuring_ = false;
    item.reset();
    // The last item went: the one above it becomes current (none when empty).
    if (CurrentEntry >= ItemCount() && CurrentEntry > 0) CurrentEntry = ItemCount() - 1;
    SetScrollRanges();
    client_->update();
    emit ItemsChanged();
}

void TNimbrelWindow::ReSyncArray() {
    for (std::int32_t p = 0; p < ItemCount(); ++p)
        Items[static_cast<std::size_t>(p)]->SetIndex(p);
    UpdateRows();
    emit ItemsChanged();
}
