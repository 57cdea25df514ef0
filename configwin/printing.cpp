// Printing of the configuration window: the print dialog, and a preview of
// the same pages.
#include "configwin/nimbrelwindow.h"
#include "configwin/printout.h"
#include "platform/ui.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>

using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::Icon;

namespace {

void ReportNoPrinter() {
    CurrentUi().MessageBox("No printer available", "Print error", Buttons::Ok, Icon::Exclamation);
}

// A printer that could not begin or finish: a PDF file that cannot be written
// is named; anything else means the printer cannot be used.
void ReportPrintFailure(const QPrinter& printer) {
    const QString file = printer.outputFileName();
    if (printer.outputFormat() == QPrinter::PdfFormat && !file.isEmpty()) {
        CurrentUi().MessageBox("Cannot write the file " + QFile::encodeName(file).toStdString() +
                                   ".",
                               "Print error", Buttons::Ok, Icon::Exclamation);
        return;
    }
    ReportNoPrinter();
}

// The print job's name: the configuration's file name without its folder.
QString DocName(const QString& title) {
    const QString name = QFileInfo(title).completeBaseName();
    return name.isEmpty() ? QStringLiteral("Configuration") : name;
}

// Without any printer installed the dialog offers only a PDF file: it proposes
// one named after the configuration, next to it.
void ProposePdfFile(QPrinter& printer, const QString& title) {
    if (!QPrinterInfo::availablePrinterNames().isEmpty()) return;
    const QFileInfo config(title.isEmpty() ? QStringLiteral("Configuration") : title);
    printer.setOutputFileName(config.absoluteDir().filePath(DocName(title) + ".pdf"));
}

} // namespace

void TNimbrelWindow::CmPrintconfig() {
    QPrinter printer(QPrinter::HighResolution);
    if (!printer.isValid()) {
        ReportNoPrinter();
        return;
    }
    printer.setDocName(DocName(windowTitle()));
    ProposePdfFile(printer, windowTitle());
    const TPTTPrintout printout(windowTitle(), Items);
    int minPage = 1;
    int maxPage = 1;
    int fromPage = 0; // no range chosen: every page
    int toPage = 0;
    printout.GetDialogInfo(minPage, maxPage, fromPage, toPage);

    // The dialog writes the user's choices, a printer or a PDF file with its
    // name, into `printer`, which then prints as it stands.
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(minPage, std::max(minPage, maxPage));
    if (nimbrel::ExecPrintDialog(dialog) != QDialog::Accepted) return;
    if (!printout.Print(printer)) ReportPrintFailure(printer);
}

void TNimbrelWindow::CmPrintpreview() {
    QPrinter printer(QPrinter::HighResolution);
    if (!printer.isValid()) {
        ReportNoPrinter();
        return;
    }
    printer.setDocName(DocName(windowTitle()));
    ProposePdfFile(printer, windowTitle());
    const TPTTPrintout printout(windowTitle(), Items);

    // The preview asks for the pages whenever it is laid out, and again on
    // its printer when the user prints from it.
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&printout](QPrinter* target) {
        if (!printout.Print(*target)) ReportPrintFailure(*target);
    });
    nimbrel::ExecPrintDialog(dialog);
}
