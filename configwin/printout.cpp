#include "configwin/printout.h"

#include "config/configfile.h"
#include "configwin/qttext.h"
#include "platform/ui.h"

#include <QDialog>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPageRanges>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QSaveFile>

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

namespace {

constexpr int kPointSize = 10;
// The listing's fixed offsets are units of a 96-dpi device; on other devices
// they are scaled so that pages keep their proportions.
constexpr double kDesignDpi = 96.0;
constexpr double kLeft = 30;
constexpr double kValueOffset = 55;
constexpr double kColumnLineOffset = 43;
constexpr double kRuleRise = 3;
constexpr int kNameColumnChars = 40;
constexpr int kRuleChars = 45;
constexpr int kHeadingLine = 3;
constexpr int kFirstItemLine = 4;

// Where things sit on a page, in device units of the painter.
struct Layout {
    int lineHeight; // H
    int ascent;     // from the top of a text line down to its baseline
    double textX;   // title, headings and item names
    double valueX;  // "Value" and the values
    double columnLineX;
    double ruleY; // under the headings
    double ruleRight;
    double penWidth;

    double LineTop(int line) const { return double(line) * lineHeight; }
};

Layout PageLayout(const QPainter& painter) {
    const QFontMetrics metrics = painter.fontMetrics();
    const QPaintDevice& device = *painter.device();
    const double sx = device.logicalDpiX() / kDesignDpi;
    const double sy = device.logicalDpiY() / kDesignDpi;
    const int w = metrics.maxWidth();
    Layout layout{};
    layout.lineHeight = metrics.height();
    layout.ascent = metrics.ascent();
    layout.textX = kLeft * sx;
    layout.valueX = kNameColumnChars * w + kValueOffset * sx;
    layout.columnLineX = kNameColumnChars * w + kColumnLineOffset * sx;
    layout.ruleY = layout.LineTop(kFirstItemLine) - kRuleRise * sy;
    layout.ruleRight = kRuleChars * w + kValueOffset * sx;
    layout.penWidth = std::max(1.0, std::min(sx, sy));
    return layout;
}

// Writes `text` on text line `line`, its left end at `x`.
void WriteLine(QPainter& painter, const Layout& layout, double x, int line, const QString& text) {
    painter.drawText(QPointF(x, layout.LineTop(line) + layout.ascent), text);
}

nimbrel::PrintDialogDriver& CurrentDriver() {
    static nimbrel::PrintDialogDriver driver;
    return driver;
}

} // namespace

TPTTPrintout::TPTTPrintout(const QString& title, const nimbrel::ItemList& items)
    : title_(title), items_(items) {}

int TPTTPrintout::PageCount() const {
    const auto count = static_cast<std::int64_t>(items_.size());
    return static_cast<int>((count + kLinesPerPage - 1) / kLinesPerPage);
}

void TPTTPrintout::GetDialogInfo(int& minPage, int& maxPage, int& selFromPage,
                                 int& selToPage) const {
    minPage = 1;
    maxPage = PageCount();
    selFromPage = 0; // no range chosen: every page
    selToPage = 0;
}

QFont TPTTPrintout::Font() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(kPointSize);
    return font;
}

void TPTTPrintout::PrintPage(QPainter& painter, int page) const {
    painter.save();
    painter.setFont(Font());
    const Layout layout = PageLayout(painter);

    const auto count = static_cast<std::int64_t>(items_.size());
    const std::int64_t first = std::int64_t{kLinesPerPage} * (std::max(page, 1) - 1);
    const std::int64_t last = std::min(first + kLinesPerPage, count);
    const int lines = static_cast<int>(std::max<std::int64_t>(0, last - first));

    WriteLine(painter, layout, layout.textX, 1, title_);
    WriteLine(painter, layout, layout.textX, kHeadingLine, QStringLiteral("Description"));
    WriteLine(painter, layout, layout.valueX, kHeadingLine, QStringLiteral("Value"));
    for (int k = 0; k < lines; ++k) {
        const nimbrel::DisplayLine& item = *items_[static_cast<std::size_t>(first + k)];
        WriteLine(painter, layout, layout.textX, kFirstItemLine + k,
                  nimbrel::ItemText(item.GetName()));
        WriteLine(painter, layout, layout.valueX, kFirstItemLine + k,
                  nimbrel::ItemText(item.GetValueText()));
    }

    QPen pen(painter.pen().color(), layout.penWidth);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    // The column line runs from the headings to the bottom of the last line.
    painter.drawLine(QLineF(layout.columnLineX, layout.LineTop(kHeadingLine), layout.columnLineX,
                            layout.LineTop(kFirstItemLine + lines)));
    painter.drawLine(QLineF(layout.textX, layout.ruleY, layout.ruleRight, layout.ruleY));
    painter.restore();
}

bool TPTTPrintout::Print(QPagedPaintDevice& device) const {
    const QPageRanges ranges = device.pageRanges();
    std::vector<int> pages;
    for (int page = 1; page <= PageCount(); ++page) {
        if (ranges.isEmpty() || ranges.contains(page)) pages.push_back(page);
    }
    if (pages.empty()) return true;

    QPainter painter;
    if (!painter.begin(&device)) return false;
    bool ok = true;
    for (std::size_t i = 0; i < pages.size() && ok; ++i) {
        if (i > 0) ok = device.newPage();
        if (ok) PrintPage(painter, pages[i]);
    }
    return painter.end() && ok;
}

namespace nimbrel {

bool PrintConfigurationToPdf(const std::string& configPath, const std::string& pdfPath) {
    const auto fail = [](const std::string& text) {
        CurrentUi().MessageBox(text, "Error", Buttons::Ok, Icon::Exclamation);
        return false;
    };
    const std::string cannotOpen = "Cannot open the configuration file " + configPath + ".";
    const ConfigHeader header = ReadConfigHeader(configPath);
    if (!header.opened) return fail(cannotOpen);
    ItemList items = MakeBlankItems(header.itemCount);
    if (!ReadConfigItems(configPath, items, header)) return fail(cannotOpen);

    const TPTTPrintout printout(QFile::decodeName(configPath.c_str()), items);
    if (printout.PageCount() == 0) {
        return fail("The configuration file " + configPath + " holds no items; nothing to print.");
    }
    const std::string cannotWrite = "Cannot write the file " + pdfPath;
    std::error_code ec;
    if (std::filesystem::equivalent(configPath, pdfPath, ec)) {
        return fail(cannotWrite + ": it is the configuration file.");
    }

    // The file appears only once the whole document is written.
    QSaveFile file(QFile::decodeName(pdfPath.c_str()));
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(cannotWrite + ": " + file.errorString().toStdString() + ".");
    }
    bool printed = false;
    {
        QPdfWriter writer(&file);
        writer.setTitle(QFile::decodeName(configPath.c_str()));
        writer.setCreator(QStringLiteral("Nimbrel"));
        printed = printout.Print(writer);
    }
    if (!printed) {
        file.cancelWriting();
        return fail(cannotWrite + ".");
    }
    if (!file.commit()) return fail(cannotWrite + ": " + file.errorString().toStdString() + ".");
    return true;
}

ScopedPrintDialogDriver::ScopedPrintDialogDriver(PrintDialogDriver driver)
    : previous_(std::exchange(CurrentDriver(), std::move(driver))) {}

ScopedPrintDialogDriver::~ScopedPrintDialogDriver() {
    CurrentDriver() = std::move(previous_);
}

int ExecPrintDialog(QDialog& dialog) {
    const PrintDialogDriver driver = CurrentDriver();
    if (!driver) return dialog.exec();
    dialog.setResult(QDialog::Rejected);
    driver(dialog);
    return dialog.result();
}

} // namespace nimbrel
