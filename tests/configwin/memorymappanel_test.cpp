// The memory map panel over a configuration window: the bars it draws, their
// tool tips, clicking and navigating, and following the window's edits.
#include "configwin/memorymappanel.h"
#include "tests/configwin/windowfixture.h"

#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

namespace nimbrel::test {
namespace {

class MapPanelTest : public WindowTest {
protected:
    // Four long items of the sensor "Probe" at 00, 10, 20 and 30 H, in a map
    // panel of 400 x 300.
    MapPanelTest() : window(Make(ItemsFile("a.cfg", 4))) {
        client.SetPassword(true);
        view.resize(400, 300);
        view.show();
        view.SetWindow(window.get());
        QCoreApplication::processEvents();
    }

    // Shows a window of long items of one sensor at `addresses` instead.
    void Open(const std::vector<int>& addresses) {
        std::string text = std::to_string(addresses.size()) + " 1\r\n";
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            text += "4,0,0," + std::string(i == 0 ? "Probe" : "") + ",Item " + std::to_string(i) +
                    ",1," + std::to_string(i) + ",0,1000,0,4,0," + std::to_string(addresses[i]) +
                    "\r\n";
        }
        window = Make(dir.Write("b.cfg", text));
        view.SetWindow(window.get());
        QCoreApplication::processEvents();
    }

    std::unique_ptr<TNimbrelWindow> window;
    MemoryMapView view;
};

TEST_F(MapPanelTest, DrawsEachRangeOfTheWindowInAViewFittedToThem) {
    ASSERT_EQ(view.Map().Ranges().size(), 4U);
    EXPECT_EQ(view.BarsDrawn(), 4);
    EXPECT_LE(view.ViewFirst(), 0);
    EXPECT_GE(view.ViewLast(), 0x33);
    EXPECT_LT(view.ViewLast(), 0x40) << "zoomed to the used bytes";
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_GT(view.BarRect(i).left(), view.BarRect(i - 1).right()) << i;

    view.SetWindow(nullptr);
    EXPECT_TRUE(view.Map().Ranges().empty());
    EXPECT_TRUE(view.BarRect(0).isEmpty());
}

TEST_F(MapPanelTest, HoveringNamesTheItemOrTheFreeGap) {
    const QRect one = view.BarRect(1);
    const QPoint between((view.BarRect(0).right() + one.left()) / 2, one.center().y());
    const struct {
        QPoint at;
        QString tip;
    } cases[] = {
        {one.center(), "Item: Item 1\nSensor: Probe\nAddresses: 0010\u20130013 H\nSize: 4 bytes"},
        {between, "Free: 0004\u2013000F H\nSize: 12 bytes"},
        {QPoint(one.center().x(), one.bottom() + 8), ""}, // a lane no bar uses
    };
    for (const auto& c : cases)
        EXPECT_EQ(view.TipAt(c.at), c.tip) << c.at.x() << "," << c.at.y();

    QHelpEvent hover(QEvent::ToolTip, one.center(), view.mapToGlobal(one.center()));
    QCoreApplication::sendEvent(&view, &hover);
    EXPECT_EQ(QToolTip::text(), cases[0].tip);
}

TEST_F(MapPanelTest, ClickingABarMakesItsItemCurrentAndTheOverviewAndWheelMoveTheView) {
    QTest::mouseClick(&view, Qt::LeftButton, {}, view.BarRect(3).center());
    EXPECT_EQ(window->CurrentEntry, 3);
    const QRect zero = view.BarRect(0);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(zero.right() + 4, zero.center().y()));
    EXPECT_EQ(window->CurrentEntry, 3) << "a free gap selects nothing";

    // The overview strip spans 0000..FFFF: its middle centres the view on 8000 H.
    const std::int32_t span = view.ViewLast() - view.ViewFirst() + 1;
    QTest::mouseClick(&view, Qt::LeftButton, {},
                      QPoint(view.width() / 2, view.fontMetrics().height() + 13));
    EXPECT_NEAR(view.ViewFirst() + span / 2, 0x8000, 0x200);
    EXPECT_EQ(view.ViewLast() - view.ViewFirst() + 1, span);

    auto wheel = [this](int delta) {
        const QPointF at(view.width() / 2.0, 150);
        QWheelEvent e(at, view.mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
        QCoreApplication::sendEvent(&view, &e);
        return view.ViewLast() - view.ViewFirst() + 1;
    };
    EXPECT_LT(wheel(120), span);
    EXPECT_EQ(wheel(120 * 40), 16) << "at most 16 bytes wide";
    EXPECT_EQ(wheel(-120 * 80), 0x10000) << "at least the whole memory";
}

TEST_F(MapPanelTest, EditsRebuildTheMapOnceTheBurstIsOver) {
    window->SetCurrentEntry(1);
    window->CmDeleteitem();
    EXPECT_EQ(view.Map().Ranges().size(), 4U) << "not within the edit";
    QCoreApplication::processEvents();
    ASSERT_EQ(view.Map().Ranges().size(), 3U);
    EXPECT_FALSE(view.TipAt(view.BarRect(1).center()).contains("Item 1"));

    // A ready-made sensor lands on address 0, over the first item.
    window->CmAddgps();
    QCoreApplication::processEvents();
    EXPECT_EQ(view.Map().Ranges().size(), 5U);
    ASSERT_EQ(view.Map().Shared().size(), 1U);
    EXPECT_EQ(view.Map().Shared()[0].last, 3);
    EXPECT_TRUE(
        view.TipAt(view.BarRect(0).center()).endsWith("\nAnother item writes some of these bytes"));
}

TEST_F(MapPanelTest, ALargeFreeGapIsDrawnNarrowSoTheItemsGetTheWidth) {
    Open({0, 0x1000});
    const QRect first = view.BarRect(0);
    const QRect second = view.BarRect(1);
    EXPECT_GT(first.width(), view.width() / 5);
    EXPECT_GT(second.width(), view.width() / 5);
    const QPoint gap((first.right() + second.left()) / 2, first.center().y());
    EXPECT_EQ(view.TipAt(gap), "Free: 0004\u20130FFF H\nSize: 4092 bytes");
}

TEST_F(MapPanelTest, StackedItemsDrawOnlyTheLanesThatFit) {
    Open(std::vector<int>(300, 0));
    ASSERT_EQ(view.Map().Lanes(), 300U);
    const int shown = view.BarsDrawn();
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 64);
    EXPECT_FALSE(view.BarRect(static_cast<std::size_t>(shown - 1)).isEmpty());
    EXPECT_TRUE(view.BarRect(static_cast<std::size_t>(shown)).isEmpty());
}

TEST_F(MapPanelTest, AHiddenPanelBuildsNothingUntilShown) {
    view.hide();
    window->CmAddgps();
    QCoreApplication::processEvents();
    EXPECT_EQ(view.Map().Ranges().size(), 4U);
    view.show();
    EXPECT_EQ(view.Map().Ranges().size(), 6U);
}

} // namespace
} // namespace nimbrel::test
