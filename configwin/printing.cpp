// Printing of the configuration window.
#include "configwin/nimbrelwindow.h"

void TNimbrelWindow::CmPrintconfig() {}
void TNimbrelWindow::CmPrintpreview() {}
