// The configuration window: its client area, its construction and the
// commands it answers. Rows and scrolling (rows.cpp), editing commands
// (editing.cpp), loading and saving (loadsave.cpp), communications, printing
// and simple mode live beside it.
#include "configwin/nimbrelwindow.h"

#include "configwin/itemrow.h"
#include "platform/commandids.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::Icon;

namespace {

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

TNimbrelWindow::TNimbrelWindow(QWidget* parent, ConfigHost* host, const std::string& fileName)
    : QWidget(parent), Host(host), FileName(fileName) {
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
