// The simple-mode form "Basic PTT Setup": the PTT ID number, the fast
// repetition rate and the transmission on and off times of a configuration,
// shown while the configuration window's frame is hidden. A modeless dialog
// whose parent is the configuration window; it reads and writes that window's
// items, and its rules live in config/simpleform.h.
#pragma once

#include "config/simpleform.h"

#include <QDialog>
#include <QPointer>

#include <array>

class QLineEdit;
class QPushButton;
class QMdiSubWindow;
class TNimbrelWindow;

class SimpleDialog : public QDialog {
    Q_OBJECT
public:
    // `window` owns the items and is marked modified by OK; `frame` is the
    // window's MDI frame (null for a window without one). Deletes itself when
    // it closes, and goes with the window when the window goes.
    SimpleDialog(TNimbrelWindow* window, QMdiSubWindow* frame);

    // Finds the fields' items again and fills the four edits.
    void SetupWindow();

    // OK (also Enter): stores the four texts, shows the check message of each
    // value that fails and puts the focus on the first of them, and marks the
    // configuration modified. The form stays open.
    void BNClicked();
    // Advanced Setup: shows the configuration window's frame, closes the form.
    void AdvancedBNClicked();
    void CmAdvanced() { AdvancedBNClicked(); }
    // The close box: asks the configuration window to close (its frame's close
    // query with the save prompt). The form goes with the window; when the
    // window stays, so does the form.
    void EvClose();

    // Escape leaves simple mode as Advanced Setup does, so that the hidden
    // configuration window is never left without a way back.
    void reject() override;

    // True once Advanced Setup or Escape closed the form (it is deleted later).
    bool Leaving() const { return leaving_; }

    // Item index behind each field (-1: none), as found by SetupWindow.
    const nimbrel::SimpleFieldIndexes& FieldIndexes() const { return indexes_; }
    QLineEdit* Edit(int field) const { return edits_[static_cast<std::size_t>(field)]; }
    QPushButton* AdvancedButton() const { return advanced_; }
    QPushButton* OkButton() const { return ok_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The item of a field if it is still one of the window's items.
    nimbrel::DisplayLine* FieldItem(int field) const;
    void ShowFrame();

    TNimbrelWindow* window_;
    QPointer<QMdiSubWindow> frame_;
    nimbrel::SimpleFieldIndexes indexes_{-1, -1, -1, -1};
    std::array<const nimbrel::DisplayLine*, nimbrel::kSimpleFieldCount> items_{};
    std::array<QLineEdit*, nimbrel::kSimpleFieldCount> edits_{};
    QPushButton* advanced_;
    QPushButton* ok_;
    bool leaving_ = false; // closing by Advanced Setup or Escape, not the close box
};
