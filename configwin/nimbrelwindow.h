// The configuration window: one configuration shown as rows under a
// three-column header, grouped by sensor. It owns the items, marks the current
// row, scrolls in 25-pixel rows and 20-pixel steps, loads its file when it is
// created, saves it, and asks about unsaved changes when it closes.
#pragma once

#include "app/commandtarget.h"
#include "config/configfile.h"
#include "config/displayline.h"

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QPainter;
class QScrollBar;
class TNimbrelMDIClient;
class TNimbrelMDIChild;
class ItemRow;
class TermWin;

namespace nimbrel {
class UserEdit;
}

class TNimbrelWindow : public QWidget, public nimbrel::ChildWindow {
    Q_OBJECT
public:
    // An empty file name makes a new configuration. The items of a file are
    // created blank here and filled by SetupWindow.
    TNimbrelWindow(QWidget* parent, TNimbrelMDIClient* client, const std::string& fileName);
    ~TNimbrelWindow() override;

    // Called by the MDI client once the window is in its frame and shown:
    // fills the items from the file, or adds the transmitter sensor.
    void SetupWindow();
    void SetMDIChild(TNimbrelMDIChild* child) { MDIChild = child; }

    bool HandlesCommand(int id) const override;
    void ExecuteCommand(int id) override;
    bool CanClose() override;

    // File output. Save reports a failure to the user and returns false.
    bool Save(const std::string& name);
    void CmFilesave();
    void CmFilesaveas();

    void Modified() { DataModified = true; }
    void SetCurrentEntry(int index);
    void ScrollUp(int n);
    void ScrollDown(int n);
    void CheckForScroll();
    void ReSyncArray();

    // Ready-made sensors and the array helpers they use.
    void CmAddtx();
    void CmAddgps();
    void CmAddserial();
    nimbrel::DisplayLine* InsertArrayEntry(int pos);
    void DeleteArrayItem(int pos);

    // Sensor item editor and simple-mode form; not available yet.
    void CmModifysensor() {}
    void CmSimple() {}

    // Transmitter communications, through the MDI client's terminal window.
    // The commands answer whether they succeeded; a failure has been shown.
    // While one runs (its waits serve events), another is refused.
    bool EnableCommPort(bool enable);
    bool CmStart();
    bool CmStop();
    bool CmPttversion();
    bool ReadConfig();
    bool CmSendfile();
    // Names of the user-command items, in item order.
    void FillCommandList(std::vector<std::string>& names) const;
    // Walks the items in order; each one named `text` replaces it by its value.
    void GetCommand(std::string& text) const;

    // Mouse events of the client area, in client coordinates.
    void EvLButtonDown(const QPoint& point);
    void EvLButtonDblClk(const QPoint& point);

    const std::string& GetFileName() const { return FileName; }

    // The value edit of item `index`, or null.
    nimbrel::UserEdit* GetEditPointer(int index) const;
    ItemRow* Row(int index) const;

    // Scroll positions: 20-pixel steps horizontally, rows vertically.
    std::int32_t HorizontalPos() const;
    std::int32_t VerticalPos() const;
    void ScrollTo(std::int32_t h, std::int32_t v);
    bool VerticalBarShown() const;
    bool HorizontalBarShown() const;
    QScrollBar* VerticalBar() const { return vbar_; }
    QScrollBar* HorizontalBar() const { return hbar_; }
    // The client area that shows the header, the rows and the markers.
    QWidget* ClientArea() const { return client_; }
    QLabel* SensorHeader() const { return sensorHeader_; }
    QLabel* ItemHeader() const { return itemHeader_; }
    QLabel* ValueHeader() const { return valueHeader_; }

    QSize sizeHint() const override;

    std::int32_t CurrentEntry = 0;
    std::int32_t SensorCount = 0;
    nimbrel::ItemList Items;
    std::int32_t ItemCount() const { return static_cast<std::int32_t>(Items.size()); }
    bool DataModified = false;
    bool LoadedFromFile = false;
    bool CommEnabled = false;
    bool SimpleMode = false;

protected:
    void resizeEvent(QResizeEvent* event) override;

    TNimbrelMDIClient* MDIClient;
    TNimbrelMDIChild* MDIChild = nullptr;
    std::string FileName;

private:
    friend class ConfigClientArea;
    struct SensorTemplate;

    void PaintClient(QPainter& painter);
    void EvSize();
    void SetScrollRanges();
    void UpdatePageSteps();
    void PlaceContent();
    void AddRow(nimbrel::DisplayLine& item);
    void DestroyRow(nimbrel::DisplayLine& item);
    void ClearItems();
    bool PasswordGiven();
    void AddSensor(const std::string& name, const SensorTemplate* items, int count);
    bool SaveCurrent();
    bool SaveAs();
    void ReportOpenFailure();
    // The MDI client's terminal window, or null.
    TermWin* Terminal() const;
    bool CommBusy();
    void SendExitString();

    QWidget* client_;
    QScrollBar* vbar_;
    QScrollBar* hbar_;
    QLabel* sensorHeader_;
    QLabel* itemHeader_;
    QLabel* valueHeader_;
    nimbrel::ConfigHeader header_;
    bool setUp_ = false;
    // Set while rows are created or destroyed and while the window is torn
    // down, so that focus moving between edits does not move the current entry.
    bool restructuring_ = false;
    bool commBusy_ = false; // a transmitter command is running
};
