// The configuration window: one configuration shown as rows under a
// three-column header, grouped by sensor. It owns the items, marks the current
// row, scrolls in 25-pixel rows and 20-pixel steps, loads its file when it is
// created, saves it, and asks about unsaved changes when it closes.
#pragma once

#include "app/commandtarget.h"
#include "config/displayline.h"

#include <QWidget>

#include <cstdint>
#include <string>

class TNimbrelMDIClient;
class TNimbrelMDIChild;

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

    // File output.
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

    const std::string& GetFileName() const { return FileName; }

    std::int32_t CurrentEntry = 0;
    std::int32_t SensorCount = 0;
    nimbrel::ItemList Items;
    std::int32_t ItemCount() const { return static_cast<std::int32_t>(Items.size()); }
    bool DataModified = false;
    bool LoadedFromFile = false;
    bool CommEnabled = false;
    bool SimpleMode = false;

protected:
    TNimbrelMDIClient* MDIClient;
    TNimbrelMDIChild* MDIChild = nullptr;
    std::string FileName;
};
