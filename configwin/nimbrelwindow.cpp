#include "configwin/nimbrelwindow.h"

#include "config/modsensorxfer.h"
#include "configwin/useredit.h"
#include "configwin/confighost.h"
#include "configwin/itemrow.h"
#include "configwin/modsensor.h"
#include "platform/commandids.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <unordered_set>

using namespace rowlayout;
using nimbrel::Answer;
using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::DisplayLine;
using nimbrel::Icon;

namespace {

constexpr int kHorizontalRange = 100; // 20-pixel steps
constexpr int kMarkerWidth = 15;
constexpr int kLeftMarkerX = 5;
constexpr int kRightMarkerX = kContentWidth; // 663 .. 677

QLabel* MakeHeader(QWidget* parent, const char* text) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setLineWidth(1);
    label->setIndent(3);
    return label;
}

} // namespace

// The client area: paints the background and the current-row markers and
// passes mouse clicks to the window.
class ConfigClientArea : public QWidget {
public:
    explicit ConfigClientArea(TNimbrelWindow* window) : QWidget(window), window_(window) {
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::Base);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        window_->PaintClient(painter);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) window_->EvLButtonDown(event->position().toPoint());
    }
    void wheelEvent(QWheelEvent* event) override {
        QScrollBar* bar = window_->VerticalBar();
        if (!bar->isHidden()) QCoreApplication::sendEvent(bar, event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            window_->EvLButtonDblClk(event->position().toPoint());
        }
    }

private:
    TNimbrelWindow* window_;
};

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

TNimbrelWindow::TNimbrelWindow(QWidget* parent, ConfigHost* client, const std::string& fileName)
    : QWidget(parent), MDIClient(client), FileName(fileName) {
    setWindowTitle(QFile::decodeName(fileName.c_str()));
    client_ = new ConfigClientArea(this);
    vbar_ = new QScrollBar(Qt::Vertical, this);
    hbar_ = new QScrollBar(Qt::Horizontal, this);
    vbar_->hide();
    hbar_->hide();
    vbar_->setSingleStep(1);
    hbar_->setSingleStep(1);
    connect(vbar_, &QScrollBar::valueChanged, this, [this] { PlaceContent(); });
    connect(hbar_, &QScrollBar::valueChanged, this, [this] { PlaceContent(); });

    sensorHeader_ = MakeHeader(client_, "Sensor name and number");
    itemHeader_ = MakeHeader(client_, "Item name");
    valueHeader_ = MakeHeader(client_, "Value");

    if (!FileName.empty()) {
        header_ = nimbrel::ReadConfigHeader(FileName);
        if (!header_.opened) {
            ReportOpenFailure();
        } else {
            SensorCount = header_.sensorCount;
        }
        if (header_.opened && header_.itemCount > 0) {
            Items = nimbrel::MakeBlankItems(header_.itemCount);
            LoadedFromFile = true;
        } else if (nimbrel::HoldsNoConfiguration(header_)) {
            // Nothing to load: the window stays empty rather than taking the
            // defaults of a new configuration under this file's name.
            CurrentUi().MessageBox(nimbrel::NoConfigurationText(FileName), "Error", Buttons::Ok,
                                   Icon::Exclamation);
            LoadedFromFile = true;
        }
    }

    CurrentEntry = 0;
    CommEnabled = false;
    DataModified = false;
    SimpleMode = nimbrel::Settings::Get(nimbrel::keys::kWindowSimpleMode) != 0;
    SetScrollRanges();
    PlaceContent();
}

TNimbrelWindow::~TNimbrelWindow() {
    // Leaves the transmitter's user interface when the port was enabled here.
    if (CommEnabled) SendExitString();
    ClearItems();
}

void TNimbrelWindow::ClearItems() {
    restructuring_ = true;
    for (ItemRow* row : rows_)
        row->Bind(nullptr);
    Items.clear();
    restructuring_ = false;
}

void TNimbrelWindow::ReportOpenFailure() {
    CurrentUi().MessageBox("Cannot open the configuration file " + FileName + ".", "Error",
                           Buttons::Ok, Icon::Exclamation);
}

void TNimbrelWindow::SetupWindow() {
    if (setUp_) return;
    setUp_ = true;
    SetScrollRanges();

    if (LoadedFromFile && !Items.empty()) {
        if (!nimbrel::ReadConfigItems(FileName, Items, header_)) {
            // The file went away between the two passes.
            ReportOpenFailure();
            ClearItems();
            LoadedFromFile = false;
        }
    }
    if (LoadedFromFile) {
        // Rows follow the array order, whatever indexes the file carried.
        ReSyncArray();
    } else {
        // A new configuration gets the transmitter sensor, password or not.
        if (MDIClient != nullptr) {
            const bool password = MDIClient->GetPassword();
            MDIClient->SetPassword(true);
            CmAddtx();
            MDIClient->SetPassword(password);
        } else {
            CmAddtx();
        }
        // The transmitter sensor a new configuration starts with is no change.
        DataModified = false;
    }
    CurrentEntry = 0;
    CheckForScroll();
    client_->update();

    if (SimpleMode) CmSimple();
}

// ---- commands

bool TNimbrelWindow::HandlesCommand(int id) const {
    namespace cmd = nimbrel::cmd;
    switch (id) {
    case cmd::kFileSave:
    case cmd::kFileSaveAs:
    case cmd::kAddTransmitter:
    case cmd::kAddGps:
    case cmd::kAddSerial:
    case cmd::kAddSensor:
    case cmd::kAddItem:
    case cmd::kViewSimple:
    case cmd::kPrintConfig:
    case cmd::kPrintPreview:
        return true;
    case cmd::kModifySensor:
    case cmd::kDeleteItem:
        return ItemCount() > 0; // they work on the current item
    default:
        return false;
    }
}

void TNimbrelWindow::ExecuteCommand(int id) {
    namespace cmd = nimbrel::cmd;
    switch (id) {
    case cmd::kFileSave:
        CmFilesave();
        break;
    case cmd::kFileSaveAs:
        CmFilesaveas();
        break;
    case cmd::kAddTransmitter:
        CmAddtx();
        break;
    case cmd::kAddGps:
        CmAddgps();
        break;
    case cmd::kAddSerial:
        CmAddserial();
        break;
    case cmd::kAddSensor:
        CmAddsensor();
        break;
    case cmd::kAddItem:
        CmAdditem();
        break;
    case cmd::kDeleteItem:
        CmDeleteitem();
        break;
    case cmd::kModifySensor:
        CmModifysensor();
        break;
    case cmd::kViewSimple:
        CmSimple();
        break;
    case cmd::kPrintConfig:
        CmPrintconfig();
        break;
    case cmd::kPrintPreview:
        CmPrintpreview();
        break;
    default:
        break;
    }
}

// ---- saving and closing

bool TNimbrelWindow::Save(const std::string& name) {
    std::string error;
    if (!nimbrel::WriteConfigFile(name, SensorCount, Items, error)) {
        if (error.empty()) error = "Cannot write the configuration file " + name + ".";
        CurrentUi().MessageBox(error, "Error", Buttons::Ok, Icon::Exclamation);
        return false;
    }
    DataModified = false;
    return true;
}

void TNimbrelWindow::CmFilesave() {
    SaveCurrent();
}

void TNimbrelWindow::CmFilesaveas() {
    SaveAs();
}

bool TNimbrelWindow::SaveCurrent() {
    if (FileName.empty()) return SaveAs();
    return Save(FileName);
}

bool TNimbrelWindow::SaveAs() {
    nimbrel::FileRequest request;
    request.save = true;
    request.filter = "Configuration files(cfg)|*.cfg";
    request.defaultExt = "cfg";
    request.pathMustExist = true;
    const auto chosen = CurrentUi().ChooseFile(request);
    if (!chosen || chosen->empty()) return false;
    if (!Save(*chosen)) return false;
    FileName = *chosen;
    const QString title = QFile::decodeName(FileName.c_str());
    setWindowTitle(title);
    if (MDIChild != nullptr) MDIChild->setWindowTitle(title);
    client_->update();
    return true;
}

bool TNimbrelWindow::CanClose() {
    if (RefuseCloseDuringTransfer()) return false;
    bool valid = true;
    {
        // The value edits are checked here, not by the focus moving.
        const nimbrel::UserEdit::NoFocusChecks noChecks;
        for (std::int32_t i = 0; i < ItemCount(); ++i) {
            const auto& validator = Items[static_cast<std::size_t>(i)]->Validator();
            if (!validator.IsValid()) {
                validator.Error();
                // The first invalid value comes into view with the focus.
                ScrollIntoView(i);
                SetCurrentEntry(i);
                valid = false;
                break;
            }
        }
    }

    if (DataModified) {
        const Answer answer =
            CurrentUi().MessageBox("Do you wish to save the contents of this window", "",
                                   Buttons::YesNoCancel, Icon::None);
        // Cancel (Escape) keeps the window open with its edits; so does a
        // save that fails or is cancelled, so Yes never loses them either.
        if (answer == Answer::Cancel) return false;
        if (answer == Answer::Yes && !SaveCurrent()) return false;
    }

    if (!valid) {
        const Answer answer = CurrentUi().MessageBox(
            "Data not correct for all entries.\n\rAre you sure you want to exit", "Notice",
            Buttons::OkCancel, Icon::Exclamation);
        if (answer != Answer::Ok) return false;
    }
    if (MDIClient != nullptr) MDIClient->CloseConfigWindow();
    return true;
}

// ---- editing commands

bool TNimbrelWindow::PasswordGiven() {
    if (MDIClient == nullptr || MDIClient->GetPassword()) return true;
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
}

void TNimbrelWindow::ReSyncArray() {
    for (std::int32_t p = 0; p < ItemCount(); ++p)
        Items[static_cast<std::size_t>(p)]->SetIndex(p);
    UpdateRows();
}

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
