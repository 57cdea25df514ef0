// Loading and saving of the configuration window: the second pass that fills
// the items from the file, Save and Save As, and the questions asked when the
// window closes.
#include "configwin/nimbrelwindow.h"

#include "configwin/confighost.h"
#include "configwin/useredit.h"
#include "platform/ui.h"

#include <QFile>
#include <QMdiSubWindow>

using nimbrel::Answer;
using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::Icon;

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
        if (Host != nullptr) {
            const bool password = Host->GetPassword();
            Host->SetPassword(true);
            CmAddtx();
            Host->SetPassword(password);
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
    if (Host != nullptr) Host->CloseConfigWindow();
    return true;
}
