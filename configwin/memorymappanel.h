// The memory map panel: a dock beside the configuration window that draws the
// EEPROM bytes each item writes. An overview strip of 0000..FFFF above a
// zoomed address axis; each item a bar in its lane, coloured by sensor, with
// shared bytes hatched red and free gaps shaded. Hovering names the item,
// clicking makes it current in the window, and the map is rebuilt (once per
// burst) whenever the window's items change.
#pragma once

#include "config/memorymap.h"
#include "platform/commandtarget.h"

#include <QDockWidget>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class TNimbrelWindow;

class MemoryMapView : public QWidget {
    Q_OBJECT
public:
    explicit MemoryMapView(QWidget* parent = nullptr);

    // The window whose items are drawn; null shows a short note instead.
    void SetWindow(TNimbrelWindow* window);
    TNimbrelWindow* Window() const;
    const nimbrel::MemoryMap& Map() const { return map_; }

    // The zoomed address window, first..last.
    std::int32_t ViewFirst() const { return first_; }
    std::int32_t ViewLast() const { return last_; }
    // Shows first..last (at least 16 bytes, inside 0..FFFF) and stops
    // following the used extent.
    void ShowAddresses(std::int32_t first, std::int32_t last);

    // Where the bar of item `item` is drawn (empty when it is not).
    QRect BarRect(std::size_t item) const;
    // The tool tip at a point: the item and its bytes, a free gap, or "".
    QString TipAt(const QPoint& point) const;
    // The item whose bar is at a point.
    std::optional<std::size_t> ItemAt(const QPoint& point) const;

    // Rebuilds the map now (otherwise it follows the window's changes on the
    // next turn of the event loop).
    void Rebuild();
    // Bars drawn by the last paint; for tests and benchmarks.
    int BarsDrawn() const { return barsDrawn_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // Addresses begin..end-1 drawn from x0 to x1. A large free gap is drawn
    // narrow (`gap`), so that the bytes in use get the width.
    struct Piece {
        std::int32_t begin = 0;
        std::int32_t end = 0;
        double x0 = 0;
        double x1 = 0;
        bool gap = false;
    };
    struct Layout {
        QRect overview; // 0000..FFFF
        QRect axis;     // labels of the zoomed window
        QRect lanes;    // the bars, and a row for the gaps' sizes
        int laneHeight = 0;
        int lanesShown = 0;
        std::vector<Piece> pieces; // the zoomed window, left to right
    };
    Layout Geometry() const;
    void BreakAxis(Layout& g) const;
    double XOf(const Layout& g, double address) const;
    double AddressOf(const Layout& g, double x) const;
    // Addresses under pixel column x of the lanes (first, last).
    std::pair<std::int32_t, std::int32_t> AddressesAt(const Layout& g, int x) const;
    std::optional<std::size_t> RangeAt(const QPoint& point) const;
    void ScheduleRebuild();
    void FitToExtent();
    void CentreOverviewAt(int x);
    void PaintOverview(QPainter& p, const Layout& g);
    void PaintAxis(QPainter& p, const Layout& g);
    void PaintLanes(QPainter& p, const Layout& g);

    QPointer<TNimbrelWindow> window_;
    nimbrel::MemoryMap map_;
    bool pending_ = false;     // a rebuild is queued
    bool stale_ = false;       // the window's items changed since the map was built
    bool followExtent_ = true; // the view fits the used bytes until the user zooms or pans
    bool draggingOverview_ = false;
    std::int32_t first_ = 0;
    std::int32_t last_ = nimbrel::kMaxAddress;
    int barsDrawn_ = 0;
};

// The dock that holds the view; answers the View menu's "Memory map" command
// and remembers whether it is shown.
class MemoryMapPanel : public QDockWidget, public nimbrel::CommandTarget {
    Q_OBJECT
public:
    explicit MemoryMapPanel(QWidget* parent = nullptr);

    MemoryMapView* View() const { return view_; }
    void SetWindow(TNimbrelWindow* window) { view_->SetWindow(window); }

    bool HandlesCommand(int id) const override;
    // Shows or hides the panel and remembers the choice.
    void ExecuteCommand(int id) override;
    // Shown or hidden as the settings remember it.
    void Restore();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static void Remember(bool shown);

    MemoryMapView* view_;
};
