// The configuration window: one configuration shown as rows under a
// three-column header, grouped by sensor. It owns the items, marks the current
// row, scrolls in 25-pixel rows and 20-pixel steps (rows.cpp), loads its file
// when it is created and set up, saves it, and asks about unsaved changes when
// it closes (loadsave.cpp). Editing commands are in editing.cpp.
#pragma once

#include "config/configfile.h"
#include "config/displayline.h"
#include "configwin/useredit.h"
#include "engine/configtransfer.h"
#include "engine/transferengine.h"
#include "platform/commandtarget.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QPainter;
class QScrollBar;
class ConfigHost;
class QMdiSubWindow;
class ItemRow;
class SimpleDialog;

namespace nimbrel {
class LinkSession;
}

class TNimbrelWindow : public QWidget, public nimbrel::ChildWindow, public nimbrel::EditHost {
    Q_OBJECT
public:
    // An empty file name makes a new configuration. The items of a file are
    // created blank here and filled by SetupWindow.
    TNimbrelWindow(QWidget* parent, ConfigHost* host, const std::string& fileName);
    ~TNimbrelWindow() override;

    // Called by the MDI client once the window is in its frame and shown:
    // fills the items from the file, or adds the transmitter sensor.
    void SetupWindow();
    void SetMDIChild(QMdiSubWindow* child) { MDIChild = child; }

    bool HandlesCommand(int id) const override;
    void ExecuteCommand(int id) override;
    bool CanClose() override;

    // File output. Save reports a failure to the user and returns false.
    bool Save(const std::string& name);
    void CmFilesave();
    void CmFilesaveas();

    void Modified() override {
        DataModified = true;
        emit ItemsChanged();
    }
    // Makes item `index` current (its row comes into being if it is out of
    // view) and gives its value edit the focus; other indexes do nothing.
    void SetCurrentEntry(int index) override;
    void ScrollUp(int n) override;
    void ScrollDown(int n) override;
    void CheckForScroll();
    void ReSyncArray();

    // Editing commands, each behind the system password. Changes they make
    // mark the configuration modified.
    void CmAddsensor();
    void CmAdditem();
    void CmDeleteitem();
    void CmModifysensor();
    // Ready-made sensors and the array helpers they use.
    void CmAddtx();
    void CmAddgps();
    void CmAddserial();
    nimbrel::DisplayLine* InsertArrayEntry(int pos);
    void DeleteArrayItem(int pos);

    // Simple mode (simplemode.cpp): the four-field form stands in for the
    // window while the window's frame is hidden.
    void CmSimple();
    SimpleDialog* SimpleForm() const;

    // Printing (printing.cpp): the print dialog, and a preview of the pages.
    void CmPrintconfig();
    void CmPrintpreview();

    // Transmitter communications (communications.cpp), over the host's link
    // with its terminal window open. Each transfer runs on a worker thread
    // through TransferRunner while the windows take no input; a command given
    // while one runs is refused. The commands answer whether they succeeded;
    // a failure has been shown.
    bool EnableCommPort(bool enable);
    bool CmStart();
    bool CmStop();
    bool CmPttversion();
    bool ReadConfig();
    // Each send that ran appends its record to the programming history. With
    // [BACKUP] Keep on, the send keeps the transmitter's bytes in a backup
    // file first and then writes only the bytes that differ.
    bool CmSendfile();
    // What the last send that went through tells the user: "Configuration
    // sent.", or for a backup send the bytes written and the backup file.
    const std::string& SentText() const { return sentText_; }
    // After the send's own result: tells, once per program run, that the
    // last send's record could not be written to the history.
    void TellHistoryProblem();
    // Reads every item without changing the configuration and shows the
    // items whose transmitter value differs in a table (CompareDialog), whose
    // checked items then take the transmitter's values or are sent. True when
    // none differs.
    bool CmCompare();
    // Names of the user-command items, in item order.
    void FillCommandList(std::vector<std::string>& names) const;
    // Walks the items in order; each one named `text` replaces it by its value.
    void GetCommand(std::string& text) const;

    // Mouse events of the client area, in client coordinates.
    void EvLButtonDown(const QPoint& point);
    void EvLButtonDblClk(const QPoint& point);

    const std::string& GetFileName() const { return FileName; }

    // The value edit and the row of item `index`; null while it is out of view.
    nimbrel::UserEdit* GetEditPointer(int index) const;
    ItemRow* Row(int index) const;
    // Scrolls as little as needed to bring item `index` into view.
    void ScrollIntoView(int index);
    // Rows that exist (in view, or current); for tests and benchmarks.
    int RowCount() const;

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

signals:
    // The items changed: added, deleted, loaded, a value or the sensor editor's
    // fields edited. Views of the items follow it.
    void ItemsChanged();
    // Item `index` became the current item.
    void CurrentItemChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

    ConfigHost* Host; // the window hosting this one (the MDI client); may be null
    QMdiSubWindow* MDIChild = nullptr;
    std::string FileName;
    QPointer<SimpleDialog> SimpleDlg;   // the form while simple mode is up
    std::string pendingHistoryProblem_; // of the last send, until told
    std::string sentText_;              // of the last send that went through

private:
    friend class ConfigClientArea;
    struct SensorTemplate;

    void PaintClient(QPainter& painter);
    void EvSize();
    void SetScrollRanges();
    void UpdatePageSteps();
    void PlaceContent();
    // Gives rows to the items in view and to the current item, reusing the
    // rows of items that left the view.
    void UpdateRows();
    void ReleaseRow(nimbrel::DisplayLine& item);
    void ClearItems();
    bool PasswordGiven();
    // Appends a ready-made sensor; `byUser` marks the configuration modified.
    void AddSensor(const std::string& name, const SensorTemplate* items, int count, bool byUser);
    bool SaveCurrent();
    bool SaveAs();
    void ReportOpenFailure();
    // The host's serial link, or null without a host.
    nimbrel::LinkSession* Link() const;
    // While a transfer runs: offers to cancel it and close afterwards.
    bool RefuseCloseDuringTransfer();
    void SendExitString();
    // The send of a plan that is not refused, as CmSendfile runs it.
    bool SendPlanned(const nimbrel::SendPlan& plan);
    // Gives the items at `chosen` the values of `read` the way an edit does.
    void TakeValues(const nimbrel::ReadValues& read, const std::vector<std::size_t>& chosen);

    QWidget* client_;
    QScrollBar* vbar_;
    QScrollBar* hbar_;
    QLabel* sensorHeader_;
    QLabel* itemHeader_;
    QLabel* valueHeader_;
    std::vector<ItemRow*> rows_; // children of the client area, bound or free
    nimbrel::ConfigHeader header_;
    bool setUp_ = false;
    // Set while rows are created or destroyed and while the window is torn
    // down, so that focus moving between edits does not move the current entry.
    bool restructuring_ = false;
};
