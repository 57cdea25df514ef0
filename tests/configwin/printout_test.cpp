// The printed configuration: pages of 45 items, where every text and line sits
// at any resolution, and the print and preview commands of the window.
#include "platform/commandids.h"
#include "configwin/printout.h"
#include "tests/configwin/windowfixture.h"

#include <QBuffer>
#include <QComboBox>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>

#include <filesystem>
#include <vector>

namespace nimbrel::test {
namespace {

ItemList MakeItems(int count, const std::string& name1 = "Item 1") {
    ItemList items;
    for (int i = 0; i < count; ++i) {
        const std::string name = i == 1 ? name1 : "Item " + std::to_string(i);
        items.push_back(
            std::make_unique<DisplayLine>(i, "", "1", name, std::to_string(10 * i), kTypeLong, 4));
    }
    return items;
}

int PdfPages(const QByteArray& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    return static_cast<int>(QString::fromLatin1(pdf).count(page));
}

// An A4 device of a given resolution that records the texts (at their
// baselines) and the lines drawn on it, in device units.
class RecordingDevice : public QPaintDevice, public QPaintEngine {
public:
    explicit RecordingDevice(int dpi) : QPaintEngine(AllFeatures), dpi_(dpi) {}
    QPaintEngine* paintEngine() const override { return const_cast<RecordingDevice*>(this); }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        texts.push_back({p, item.text()});
    }
    using QPaintEngine::drawLines;
    void drawLines(const QLineF* l, int n) override { lines.insert(lines.end(), l, l + n); }
    Type type() const override { return User; }

    std::vector<std::pair<QPointF, QString>> texts;
    std::vector<QLineF> lines;

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
            return dpi_ * 827 / 100;
        case PdmHeight:
            return dpi_ * 1169 / 100;
        case PdmWidthMM:
            return 210;
        case PdmHeightMM:
            return 297;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return dpi_;
        default:
            return QPaintDevice::metric(m);
        }
    }

private:
    int dpi_;
};

TEST(Printout, PrintsFortyFiveItemsAPageOfTheChosenPages) {
    const struct {
        int items;
        int from, to; // page range; 0: every page
        int pages;    // in the document; 0: nothing is written
    } cases[] = {{0, 0, 0, 0},  {45, 0, 0, 1}, {46, 0, 0, 2},
                 {90, 0, 0, 2}, {91, 0, 0, 3}, {91, 2, 3, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.items << " items, pages " << c.from << "-" << c.to);
        const ItemList items = MakeItems(c.items);
        const TPTTPrintout printout(QStringLiteral("t"), items);
        if (c.from == 0) {
            EXPECT_EQ(printout.PageCount(), c.pages);
            EXPECT_EQ(printout.HasPage(c.pages), c.pages > 0);
            EXPECT_FALSE(printout.HasPage(c.pages + 1));
        }
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            if (c.from > 0)
                writer.setPageRanges(
                    QPageRanges::fromString(QStringLiteral("%1-%2").arg(c.from).arg(c.to)));
            EXPECT_TRUE(printout.Print(writer));
        }
        EXPECT_EQ(PdfPages(buffer.data()), c.pages);
        EXPECT_EQ(buffer.data().startsWith("%PDF"), c.pages > 0);
    }
}

// Every page, at screen and printer resolutions, in the painter's own font
// metrics H and W: the title on text line 1, the headings on line 3, the rule
// 3 units (of a 96-dpi device) above line 4, the items from line 4 (long names
// whole), the column line from line 3 to the bottom of the last printed line.
// Line k's top is k * H; texts stand on their baselines.
TEST(Printout, EveryPageSitsOnTextLinesAtAnyResolution) {
    const QString longName(120, QLatin1Char('N'));
    const ItemList items = MakeItems(91, longName.toStdString());
    const TPTTPrintout printout(QStringLiteral("/cfg/probe.cfg"), items);
    const struct {
        int page, first, lines; // the page's first item and its item count
    } pages[] = {{1, 0, 45}, {2, 45, 45}, {3, 90, 1}, {0, 0, 45}};
    for (const int dpi : {96, 300, 1200}) {
        const double s = dpi / 96.0;
        for (const auto& p : pages) {
            SCOPED_TRACE(testing::Message() << "dpi " << dpi << " page " << p.page);
            RecordingDevice device(dpi);
            QPainter painter(&device);
            painter.setFont(TPTTPrintout::Font());
            const QFontMetrics m = painter.fontMetrics();
            printout.PrintPage(painter, p.page);
            painter.end();

            const auto base = [&](int line) { return double(line * m.height() + m.ascent()); };
            const double valueX = 40.0 * m.maxWidth() + 55 * s;
            std::vector<std::pair<QPointF, QString>> want = {
                {{30 * s, base(1)}, QStringLiteral("/cfg/probe.cfg")},
                {{30 * s, base(3)}, QStringLiteral("Description")},
                {{valueX, base(3)}, QStringLiteral("Value")}};
            for (int k = 0; k < p.lines; ++k) {
                const DisplayLine& item = *items[static_cast<std::size_t>(p.first + k)];
                want.push_back({{30 * s, base(4 + k)}, QString::fromStdString(item.GetName())});
                want.push_back(
                    {{valueX, base(4 + k)}, QString::fromStdString(item.GetValueText())});
            }
            ASSERT_EQ(device.texts.size(), want.size());
            for (std::size_t i = 0; i < want.size(); ++i) {
                EXPECT_EQ(device.texts[i].second, want[i].second) << i;
                EXPECT_LT(QLineF(device.texts[i].first, want[i].first).length(), 0.01) << i;
            }

            const double columnX = 40.0 * m.maxWidth() + 43 * s;
            const double ruleY = 4.0 * m.height() - 3 * s;
            const QLineF lines[] = {
                {columnX, 3.0 * m.height(), columnX, (4.0 + p.lines) * m.height()},
                {30 * s, ruleY, 45.0 * m.maxWidth() + 55 * s, ruleY}};
            ASSERT_EQ(device.lines.size(), 2u);
            for (int i = 0; i < 2; ++i) {
                EXPECT_LT(QLineF(device.lines[i].p1(), lines[i].p1()).length(), 0.01) << i;
                EXPECT_LT(QLineF(device.lines[i].p2(), lines[i].p2()).length(), 0.01) << i;
            }
            // The listing fits an A4 page whatever the resolution.
            EXPECT_LT(valueX, device.width() / 2.0);
            EXPECT_LT((4.0 + p.lines) * m.height(), device.height());
        }
    }
}

// The window's commands, their dialogs handed to a driver that works them as
// a user would: the print dialog prints to the PDF file shown in it.
using PrintCommandTest = WindowTest;

TEST_F(PrintCommandTest, PrintDialogPrintsToItsPdfFileOrSaysWhyNot) {
    const std::string chosen = dir.File("listing.pdf");
    const std::string unwritable = dir.File("no/such/x.pdf");
    const struct {
        const char* name;
        bool accept;
        std::string file;    // typed into the dialog; empty: as proposed
        bool dropFile;       // the printer is left with neither a file nor a printer
        std::string written; // with the configuration's 2 pages
        std::string message;
    } cases[] = {
        {"chosen file", true, chosen, false, chosen, ""},
        {"proposed file", true, "", false, dir.File("probe.pdf"), ""},
        {"cancelled", false, chosen, false, "", ""},
        {"unwritable", true, unwritable, false, "", "Cannot write the file " + unwritable + "."},
        {"no printer", true, chosen, true, "", "No printer available"},
    };
    auto w = Make(ItemsFile("probe.cfg", 46));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Without printers the dialog proposes a file named after the configuration.
        if (c.file.empty() && !QPrinterInfo::availablePrinterNames().isEmpty()) continue;
        ui.Clear();
        const ScopedPrintDialogDriver driver([&](QDialog& dialog) {
            auto* print = qobject_cast<QPrintDialog*>(&dialog);
            ASSERT_NE(print, nullptr);
            EXPECT_EQ(print->maxPage(), 2);
            dialog.show();
            if (!c.file.empty()) {
                auto* printers = dialog.findChild<QComboBox*>(QStringLiteral("printers"));
                auto* file = dialog.findChild<QLineEdit*>(QStringLiteral("filename"));
                ASSERT_TRUE(printers != nullptr && file != nullptr);
                printers->setCurrentIndex(printers->findText("PDF", Qt::MatchContains));
                file->setText(QString::fromStdString(c.file));
            }
            if (c.accept) dialog.accept();
            if (c.dropFile) print->printer()->setOutputFileName({});
        });
        w->ExecuteCommand(cmd::kPrintConfig);
        if (c.message.empty()) {
            EXPECT_TRUE(ui.messages.empty());
        } else {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0].text, c.message);
            EXPECT_EQ(ui.messages[0].caption, "Print error");
            EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
        }
        if (!c.written.empty()) {
            EXPECT_EQ(PdfPages(QByteArray::fromStdString(TempDir::ReadFile(c.written))), 2);
            std::filesystem::remove(c.written);
        }
        EXPECT_FALSE(std::filesystem::exists(chosen));
    }
}

TEST_F(PrintCommandTest, PreviewShowsThePages) {
    for (const int items : {91, 1}) {
        SCOPED_TRACE(items);
        auto w = Make(ItemsFile("probe.cfg", items));
        int pages = -1;
        const ScopedPrintDialogDriver driver([&](QDialog& dialog) {
            ASSERT_NE(qobject_cast<QPrintPreviewDialog*>(&dialog), nullptr);
            auto* preview = dialog.findChild<QPrintPreviewWidget*>();
            ASSERT_NE(preview, nullptr);
            preview->updatePreview();
            pages = preview->pageCount();
            dialog.reject();
        });
        w->ExecuteCommand(cmd::kPrintPreview);
        EXPECT_EQ(pages, (items + 44) / 45);
        EXPECT_TRUE(ui.messages.empty());
    }
}

} // namespace
} // namespace nimbrel::test
