// Simple mode of the configuration window.
#include "configwin/nimbrelwindow.h"

#include "configwin/simpledialog.h"

void TNimbrelWindow::CmSimple() {}
SimpleDialog* TNimbrelWindow::SimpleForm() const {
    return SimpleDlg;
}
