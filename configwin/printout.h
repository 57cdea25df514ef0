// The printed configuration: a two-column listing of item names and values,
// 45 items a page under the configuration's title. It draws on any painter, so
// a printer, the print preview and a PDF file show the same pages.
#pragma once

#include "config/displayline.h"

#include <QString>

#include <functional>
#include <string>

class QDialog;
class QFont;
class QPagedPaintDevice;
class QPainter;

class TPTTPrintout {
public:
    static constexpr int kLinesPerPage = 45;

    // Neither the title nor the items are copied; both must outlive the printout.
    TPTTPrintout(const QString& title, const nimbrel::ItemList& items);

    // Pages are numbered from 1.
    int PageCount() const;
    bool HasPage(int page) const { return page >= 1 && page <= PageCount(); }
    // The print dialog's page limits: pages 1 to the last, no range chosen (0, 0).
    void GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage) const;

    // Draws one page at the painter's origin in the printout's font (page 0 is
    // page 1). Texts are neither clipped nor wrapped.
    void PrintPage(QPainter& painter, int page) const;

    // Prints every page, or the device's page ranges when it has some, with a
    // new page between them. False when painting could not begin or end (a
    // printer that cannot be used, a file that cannot be written). Nothing is
    // started when there is no page.
    bool Print(QPagedPaintDevice& device) const;

    // The fixed-pitch font of the listing: 40 of its widest characters are
    // the width of the name column.
    static QFont Font();

private:
    QString title_;
    const nimbrel::ItemList& items_;
};

namespace nimbrel {

// Writes the printout of the configuration file `configPath` (titled with that
// name) into the PDF file `pdfPath`, replacing it only once it is complete.
// Needs a QGuiApplication. Reports why it failed through CurrentUi(), naming
// the file, and returns false: the configuration cannot be read or holds no
// item, or the PDF file cannot be written.
bool PrintConfigurationToPdf(const std::string& configPath, const std::string& pdfPath);

// Tests: while set, the print commands hand their dialog (a QPrintDialog or a
// QPrintPreviewDialog on its printer) to the driver instead of running it
// modally. The driver closes it the way a user would (accept, reject, the
// dialog's own controls); a dialog it leaves open counts as cancelled.
using PrintDialogDriver = std::function<void(QDialog&)>;
class ScopedPrintDialogDriver {
public:
    explicit ScopedPrintDialogDriver(PrintDialogDriver driver);
    ~ScopedPrintDialogDriver();
    ScopedPrintDialogDriver(const ScopedPrintDialogDriver&) = delete;
    ScopedPrintDialogDriver& operator=(const ScopedPrintDialogDriver&) = delete;

private:
    PrintDialogDriver previous_;
};

// Runs `dialog` modally, or through the driver when one is set.
int ExecPrintDialog(QDialog& dialog);

} // namespace nimbrel
