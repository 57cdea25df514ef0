// Simple mode of the configuration window: the "Basic PTT Setup" form stands
// in for the window while the window's frame is hidden.
#include "config/displayline.h"
#include "configwin/nimbrelwindow.h"
#include "configwin/simpledialog.h"
#include "platform/ui.h"

#include <QMdiArea>
#include <QMdiSubWindow>

void TNimbrelWindow::CmSimple() {
    if (Items.empty() || Items[0]->GetType() != nimbrel::kTypePttId) {
        nimbrel::CurrentUi().MessageBox(
            "This configuration is not for a PTT.\r\nSwitching to advanced mode.", "Notice",
            nimbrel::Buttons::Ok, nimbrel::Icon::None);
        SimpleMode = false;
        // A form left from before the first item changed goes; the window shows.
        if (!SimpleDlg.isNull()) SimpleDlg->CmAdvanced();
        SimpleDlg = nullptr;
        if (MDIChild != nullptr) {
            MDIChild->show();
            if (QMdiArea* area = MDIChild->mdiArea()) area->setActiveSubWindow(MDIChild);
        }
        return;
    }
    // A form that is closing (its deletion pending) is not used again.
    if (!SimpleDlg.isNull() && SimpleDlg->Leaving()) SimpleDlg = nullptr;
    if (SimpleDlg.isNull()) {
        SimpleDlg = new SimpleDialog(this, MDIChild);
    } else {
        // The items may have been edited in full view meanwhile.
        SimpleDlg->SetupWindow();
    }
    SimpleDlg->show();
    SimpleDlg->raise();
    SimpleDlg->activateWindow();
    if (MDIChild != nullptr) MDIChild->hide();
}

SimpleDialog* TNimbrelWindow::SimpleForm() const {
    if (SimpleDlg.isNull() || SimpleDlg->Leaving()) return nullptr;
    return SimpleDlg;
}
