#include "configwin/memorymappanel.h"

#include "configwin/nimbrelwindow.h"
#include "configwin/qttext.h"
#include "platform/commandids.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>

using nimbrel::MapRange;
using nimbrel::MapSpan;
using nimbrel::MemoryMap;

namespace {

constexpr std::int32_t kAddresses = nimbrel::kMaxAddress + 1;
constexpr std::int32_t kMinSpan = 16;      // bytes of the closest zoom
constexpr std::size_t kMaxLanesDrawn = 64; // lanes beyond these are counted, not drawn
constexpr int kMargin = 6;
constexpr int kOverviewHeight = 14;

// Light colours that keep black names readable, one per sensor in turn.
const QColor& SensorColour(std::size_t sensor) {
    static const QColor kColours[] = {QColor(0x8d, 0xd3, 0xc7), QColor(0xfd, 0xb4, 0x62),
                                      QColor(0xbe, 0xba, 0xda), QColor(0x80, 0xb1, 0xd3),
                                      QColor(0xb3, 0xde, 0x69), QColor(0xfc, 0xcd, 0xe5),
                                      QColor(0xff, 0xff, 0xb3), QColor(0xbc, 0x80, 0xbd),
                                      QColor(0xcc, 0xeb, 0xc5), QColor(0xd9, 0xb3, 0x8c)};
    return kColours[sensor % std::size(kColours)];
}

const QColor kFree(0xe3, 0xf4, 0xe3);
const QColor kUsed(0xe8, 0xe8, 0xe8);
const QColor kShared(0xd0, 0x00, 0x00);

QString Hex(std::int32_t address) {
    return QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper();
}

// "1 byte", "2 bytes".
QString Count(std::int64_t n, const char* noun) {
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(noun)).arg(n == 1 ? "" : "s");
}

QString Bytes(std::int64_t n) {
    return Count(n, "byte");
}

// Fills spans [begin, end) of `spans` as pixel runs, spans that fall in one
// pixel drawn once. `x` maps an address to its left edge; `wide` keeps a span
// at least a pixel wide, otherwise spans narrower than a pixel are left out.
template <typename X>
void FillSpans(QPainter& p, const std::vector<MapSpan>& spans, std::size_t begin, std::size_t end,
               X x, int top, int height, const QBrush& brush, bool wide) {
    int runFirst = 0;
    int runEnd = INT_MIN;
    auto flush = [&] {
        if (runEnd > runFirst) p.fillRect(QRect(runFirst, top, runEnd - runFirst, height), brush);
    };
    for (std::size_t k = begin; k < end; ++k) {
        const double left = x(spans[k].first);
        const double right = x(spans[k].last + 1.0);
        // Wide: every pixel the span touches; else only the pixels it covers.
        const int x0 = static_cast<int>(wide ? std::floor(left) : std::ceil(left));
        const int x1 = wide ? std::max(x0 + 1, static_cast<int>(std::ceil(right)))
                            : static_cast<int>(std::floor(right));
        if (x1 <= x0) continue;
        if (x0 <= runEnd) {
            runEnd = std::max(runEnd, x1);
        } else {
            flush();
            runFirst = x0;
            runEnd = x1;
        }
    }
    flush();
}

} // namespace

MemoryMapView::MemoryMapView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("memoryMapView"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

QSize MemoryMapView::sizeHint() const {
    return {440, 300}; // room for the names of the demo's items
}

QSize MemoryMapView::minimumSizeHint() const {
    return {160, 120};
}

TNimbrelWindow* MemoryMapView::Window() const {
    return window_;
}

void MemoryMapView::SetWindow(TNimbrelWindow* window) {
    if (window == window_) return;
    if (window_ != nullptr) disconnect(window_, nullptr, this, nullptr);
    window_ = window;
    followExtent_ = true;
    if (window != nullptr) {
        connect(window, &TNimbrelWindow::ItemsChanged, this, &MemoryMapView::ScheduleRebuild);
        connect(window, &TNimbrelWindow::CurrentItemChanged, this, [this] { update(); });
        connect(window, &QObject::destroyed, this, [this] {
            map_ = MemoryMap();
            update();
        });
    }
    map_ = MemoryMap();
    FitToExtent();
    ScheduleRebuild();
}

void MemoryMapView::ScheduleRebuild() {
    stale_ = true;
    // A hidden panel builds nothing; it catches up when shown.
    if (pending_ || !isVisible()) return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        pending_ = false;
        if (stale_) Rebuild();
    });
}

void MemoryMapView::Rebuild() {
    stale_ = false;
    map_ = window_ != nullptr ? MemoryMap(window_->Items) : MemoryMap();
    if (followExtent_) {
        FitToExtent();
    } else {
        ShowAddresses(first_, last_);
    }
    update();
}

void MemoryMapView::FitToExtent() {
    const std::optional<MapSpan> extent = map_.Extent();
    std::int32_t first = 0;
    std::int32_t last = nimbrel::kMaxAddress;
    if (extent) {
        // A few bytes of margin: a large gap is drawn narrow, its margin is not.
        const std::int32_t pad = std::clamp(extent->Size() / 50, 1, 4);
        first = std::max(0, extent->first - pad);
        last = std::min(nimbrel::kMaxAddress, extent->last + pad);
    }
    ShowAddresses(first, last);
    followExtent_ = true;
}

void MemoryMapView::ShowAddresses(std::int32_t first, std::int32_t last) {
    const std::int32_t span = std::clamp(last - first + 1, kMinSpan, kAddresses);
    first_ = std::clamp(first, 0, kAddresses - span);
    last_ = first_ + span - 1;
    followExtent_ = false;
    update();
}

// ---- geometry

MemoryMapView::Layout MemoryMapView::Geometry() const {
    const int text = fontMetrics().height();
    const int w = std::max(1, width() - 2 * kMargin);
    Layout g;
    g.overview = QRect(kMargin, text + 6, w, kOverviewHeight);
    g.axis = QRect(kMargin, g.overview.bottom() + 5, w, text + 4);
    g.laneHeight = text + 6;
    // As many lanes as fit above the legend, with a row below them for the
    // sizes of the free gaps.
    const int top = g.axis.bottom() + 3;
    const int room = height() - top - (text + 6) - kMargin;
    const auto fit = static_cast<std::size_t>(std::max(0, room / g.laneHeight - 1));
    g.lanesShown = static_cast<int>(std::min({map_.Lanes(), kMaxLanesDrawn, fit}));
    const int rows = std::max(1, g.lanesShown) + 1;
    g.lanes = QRect(kMargin, top, w, std::clamp(room, 0, rows * g.laneHeight));
    BreakAxis(g);
    return g;
}

void MemoryMapView::BreakAxis(Layout& g) const {
    // A free gap that takes more than a quarter of the view is drawn at a
    // fixed width (at most three can); the rest of the view is linear.
    const double pixels = g.lanes.width();
    const double span = last_ - first_ + 1;
    const double gapWidth = std::clamp(pixels / 5, 28.0, 100.0);
    std::vector<MapSpan> narrow;
    const auto [begin, end] = MemoryMap::SpansIn(map_.Gaps(), first_, last_);
    for (std::size_t k = begin; k < end; ++k) {
        const MapSpan gap{std::max(first_, map_.Gaps()[k].first),
                          std::min(last_, map_.Gaps()[k].last)};
        if (gap.Size() * 4 > span && gap.Size() * pixels / span > gapWidth) narrow.push_back(gap);
    }
    std::int64_t linear = static_cast<std::int64_t>(span);
    for (const MapSpan& gap : narrow)
        linear -= gap.Size();
    const double left = g.lanes.left();
    if (narrow.empty() || linear <= 0) {
        g.pieces = {{first_, last_ + 1, left, left + pixels, false}};
        return;
    }
    const double scale =
        (pixels - gapWidth * static_cast<double>(narrow.size())) / static_cast<double>(linear);
    double x = left;
    std::int32_t at = first_;
    auto add = [&](std::int32_t to, bool gap) {
        const double w = gap ? gapWidth : (to - at) * scale;
        g.pieces.push_back({at, to, x, x + w, gap});
        x += w;
        at = to;
    };
    for (const MapSpan& gap : narrow) {
        if (gap.first > at) add(gap.first, false);
        add(gap.last + 1, true);
    }
    if (at <= last_) add(last_ + 1, false);
}

double MemoryMapView::XOf(const Layout& g, double address) const {
    // The piece that holds the address (the first or last one beyond the view).
    auto it = std::upper_bound(g.pieces.begin(), g.pieces.end(), address,
                               [](double a, const Piece& p) { return a < p.end; });
    if (it == g.pieces.end()) --it;
    return it->x0 + (address - it->begin) * (it->x1 - it->x0) / (it->end - it->begin);
}

double MemoryMapView::AddressOf(const Layout& g, double x) const {
    auto it = std::upper_bound(g.pieces.begin(), g.pieces.end(), x,
                               [](double v, const Piece& p) { return v < p.x1; });
    if (it == g.pieces.end()) --it;
    return it->begin + (x - it->x0) * (it->end - it->begin) / (it->x1 - it->x0);
}

std::pair<std::int32_t, std::int32_t> MemoryMapView::AddressesAt(const Layout& g, int x) const {
    const auto a0 = static_cast<std::int32_t>(std::floor(AddressOf(g, x)));
    const auto a1 = static_cast<std::int32_t>(std::ceil(AddressOf(g, x + 1.0))) - 1;
    return {std::clamp(a0, first_, last_), std::clamp(std::max(a0, a1), first_, last_)};
}

std::optional<std::size_t> MemoryMapView::RangeAt(const QPoint& point) const {
    const Layout g = Geometry();
    if (!g.lanes.contains(point) || g.laneHeight <= 0) return std::nullopt;
    const auto lane = static_cast<std::size_t>((point.y() - g.lanes.top()) / g.laneHeight);
    if (lane >= static_cast<std::size_t>(g.lanesShown)) return std::nullopt;
    const auto [first, last] = AddressesAt(g, point.x());
    for (std::size_t k : map_.RangesIn(first, last)) {
        if (map_.Ranges()[k].lane == lane) return k;
    }
    return std::nullopt;
}

std::optional<std::size_t> MemoryMapView::ItemAt(const QPoint& point) const {
    if (const auto k = RangeAt(point)) return map_.Ranges()[*k].item;
    return std::nullopt;
}

QRect MemoryMapView::BarRect(std::size_t item) const {
    const auto k = map_.RangeOfItem(item);
    if (!k) return {};
    const MapRange& r = map_.Ranges()[*k];
    const Layout g = Geometry();
    if (r.lane >= static_cast<std::size_t>(g.lanesShown) || r.last < first_ || r.first > last_)
        return {};
    const int x0 = std::max(g.lanes.left(), static_cast<int>(std::floor(XOf(g, r.first))));
    const int x1 = std::min(g.lanes.right() + 1, static_cast<int>(std::ceil(XOf(g, r.last + 1.0))));
    const int y = g.lanes.top() + static_cast<int>(r.lane) * g.laneHeight;
    return {x0, y + 1, std::max(1, x1 - x0), g.laneHeight - 2};
}

QString MemoryMapView::TipAt(const QPoint& point) const {
    if (const auto k = RangeAt(point)) {
        const MapRange& r = map_.Ranges()[*k];
        QString tip = QStringLiteral("Item: %1\nSensor: %2\nAddresses: %3\u2013%4 H\nSize: %5")
                          .arg(nimbrel::ShownText(r.name), nimbrel::ShownText(r.sensor),
                               Hex(r.first), Hex(r.last), Bytes(r.size));
        if (r.overlapped) tip += QStringLiteral("\nAnother item writes some of these bytes");
        return tip;
    }
    const Layout g = Geometry();
    if (!g.lanes.contains(point) || window_ == nullptr) return {};
    const auto [first, last] = AddressesAt(g, point.x());
    const auto [begin, end] = MemoryMap::SpansIn(map_.Gaps(), first, last);
    if (begin == end || end - begin > 1) return {};
    const MapSpan& gap = map_.Gaps()[begin];
    if (gap.first > first || gap.last < last) return {};
    return QStringLiteral("Free: %1\u2013%2 H\nSize: %3")
        .arg(Hex(gap.first), Hex(gap.last), Bytes(gap.Size()));
}

// ---- events

bool MemoryMapView::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString tip = TipAt(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            e->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this);
        }
        return true;
    }
    if (e->type() == QEvent::Show && stale_) Rebuild();
    return QWidget::event(e);
}

void MemoryMapView::CentreOverviewAt(int x) {
    const Layout g = Geometry();
    const std::int32_t span = last_ - first_ + 1;
    const auto address = static_cast<std::int32_t>(
        std::floor(double(x - g.overview.left()) * kAddresses / g.overview.width()));
    ShowAddresses(address - span / 2, address - span / 2 + span - 1);
}

void MemoryMapView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const QPoint at = e->position().toPoint();
    const Layout g = Geometry();
    if (g.overview.adjusted(0, -3, 0, 3).contains(at)) {
        draggingOverview_ = true;
        CentreOverviewAt(at.x());
        return;
    }
    const auto item = ItemAt(at);
    if (!item || window_ == nullptr) return;
    // The window's own selection: scrolled into view, made current with the focus.
    const int index = static_cast<int>(*item);
    window_->ScrollIntoView(index);
    window_->SetCurrentEntry(index);
    update();
}

void MemoryMapView::mouseMoveEvent(QMouseEvent* e) {
    if (draggingOverview_) CentreOverviewAt(e->position().toPoint().x());
}

void MemoryMapView::mouseReleaseEvent(QMouseEvent* /*e*/) {
    draggingOverview_ = false;
}

void MemoryMapView::wheelEvent(QWheelEvent* e) {
    const int delta = e->angleDelta().y();
    if (delta == 0) return;
    const Layout g = Geometry();
    const double span = last_ - first_ + 1;
    const double anchor = std::clamp(AddressOf(g, e->position().x()), double(first_), last_ + 1.0);
    const double at = (anchor - first_) / span;
    const double next =
        std::clamp(span * std::pow(0.8, delta / 120.0), double(kMinSpan), double(kAddresses));
    const auto first = static_cast<std::int32_t>(std::lround(anchor - at * next));
    ShowAddresses(first, first + static_cast<std::int32_t>(std::lround(next)) - 1);
    e->accept();
}

// ---- painting

void MemoryMapView::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    barsDrawn_ = 0;
    const int text = fontMetrics().height();
    const QRect head(kMargin, 2, width() - 2 * kMargin, text);
    if (window_ == nullptr) {
        p.drawText(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin),
                   Qt::AlignCenter | Qt::TextWordWrap,
                   QStringLiteral("Open a configuration to see where its items lie in the "
                                  "transmitter's memory."));
        return;
    }
    const Layout g = Geometry();
    QString summary = Count(static_cast<std::int64_t>(map_.Ranges().size()), "item") +
                      QStringLiteral(" \u00b7 ") + Count(map_.UsedBytes(), "byte");
    if (map_.OverlapCount() > 0)
        summary += QStringLiteral(" \u00b7 ") + Count(map_.OverlapCount(), "overlap");
    if (map_.Lanes() > static_cast<std::size_t>(g.lanesShown))
        summary += QStringLiteral(" \u00b7 %1 lanes hidden").arg(map_.Lanes() - g.lanesShown);
    p.drawText(head, Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(summary, Qt::ElideRight, head.width()));
    PaintOverview(p, g);
    PaintAxis(p, g);
    PaintLanes(p, g);

    // The legend: a swatch and the name of each sensor, in rows, as many as fit.
    int x = kMargin;
    int y = g.lanes.bottom() + 6;
    for (std::size_t s = 0; s < map_.Sensors().size(); ++s) {
        const QString name = nimbrel::ShownText(map_.Sensors()[s]);
        const int w = text + p.fontMetrics().horizontalAdvance(name) + 12;
        if (x + w > width() - kMargin && x > kMargin) {
            x = kMargin;
            y += text + 4;
        }
        if (y + text > height()) break;
        p.fillRect(QRect(x, y + 2, text - 4, text - 4), SensorColour(s));
        p.drawRect(QRect(x, y + 2, text - 4, text - 4));
        p.drawText(QPoint(x + text, y + p.fontMetrics().ascent()), name);
        x += w;
    }
}

void MemoryMapView::PaintOverview(QPainter& p, const Layout& g) {
    const QRect& o = g.overview;
    const auto x = [&o](double address) { return o.left() + address * o.width() / kAddresses; };
    // Used bytes between the gaps, each at least a pixel wide.
    std::vector<MapSpan> used;
    std::int32_t next = 0;
    for (const MapSpan& gap : map_.Gaps()) {
        if (gap.first > next) used.push_back({next, gap.first - 1});
        next = gap.last + 1;
    }
    if (next <= nimbrel::kMaxAddress) used.push_back({next, nimbrel::kMaxAddress});
    p.fillRect(o, kFree);
    FillSpans(p, used, 0, used.size(), x, o.top(), o.height(), QColor(0x50, 0x70, 0x90), true);
    FillSpans(p, map_.Shared(), 0, map_.Shared().size(), x, o.top(), o.height(), kShared, true);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(o.adjusted(0, 0, -1, -1));
    // The zoomed window.
    const int x0 = static_cast<int>(std::floor(x(first_)));
    const int x1 = std::max(x0 + 6, static_cast<int>(std::ceil(x(last_ + 1.0))));
    p.setPen(QPen(palette().color(QPalette::Text), 2));
    p.drawRect(QRect(x0, o.top() - 2, x1 - x0, o.height() + 4).adjusted(1, 1, -1, -1));
    p.setPen(palette().color(QPalette::Text));
}

void MemoryMapView::PaintAxis(QPainter& p, const Layout& g) {
    const QRect& a = g.axis;
    const int labelWidth = p.fontMetrics().horizontalAdvance(QStringLiteral("FFFF")) + 12;
    p.setPen(palette().color(QPalette::Text));
    p.drawLine(a.left(), a.bottom(), a.right(), a.bottom());
    int labelledTo = INT_MIN;
    auto tick = [&](std::int64_t address) {
        const int x = static_cast<int>(std::lround(XOf(g, static_cast<double>(address))));
        p.drawLine(x, a.bottom() - 3, x, a.bottom());
        if (address <= nimbrel::kMaxAddress && x >= labelledTo &&
            x + labelWidth - 10 <= a.right() + 1) {
            p.drawText(QPoint(x + 2, a.top() + p.fontMetrics().ascent()),
                       Hex(static_cast<std::int32_t>(address)));
            labelledTo = x + labelWidth;
        }
    };
    bool afterGap = false;
    for (const Piece& piece : g.pieces) {
        if (piece.gap) {
            // The break: two slanted strokes across the axis.
            const int mid = static_cast<int>((piece.x0 + piece.x1) / 2);
            for (int dx : {-3, 2})
                p.drawLine(mid + dx - 2, a.bottom() + 3, mid + dx + 2, a.bottom() - 5);
            afterGap = true;
            continue;
        }
        // Ticks every power-of-two bytes that leaves room for each label; the
        // first address after a break is labelled too.
        const double perByte = (piece.x1 - piece.x0) / (piece.end - piece.begin);
        std::int64_t step = 1;
        while (step < kAddresses && step * perByte < labelWidth)
            step *= 2;
        if (afterGap) tick(piece.begin);
        for (std::int64_t t = (std::int64_t{piece.begin} + step - 1) / step * step; t <= piece.end;
             t += step) {
            if (t != piece.begin || !afterGap) tick(t);
        }
        afterGap = false;
    }
}

void MemoryMapView::PaintLanes(QPainter& p, const Layout& g) {
    const QRect& l = g.lanes;
    if (l.height() <= 0) return;
    p.save();
    p.setClipRect(l);
    const auto x = [this, &g](double address) { return XOf(g, address); };
    p.fillRect(l, kUsed);

    // Free gaps, with their size where it fits.
    const auto [gapBegin, gapEnd] = MemoryMap::SpansIn(map_.Gaps(), first_, last_);
    FillSpans(p, map_.Gaps(), gapBegin, gapEnd, x, l.top(), l.height(), kFree, false);
    const QFontMetrics fm = p.fontMetrics();
    p.setPen(QColor(0x40, 0x80, 0x40));
    for (std::size_t k = gapBegin; k < gapEnd; ++k) {
        const MapSpan& gap = map_.Gaps()[k];
        const int x0 = std::max(l.left(), static_cast<int>(std::ceil(x(gap.first))));
        const int x1 = std::min(l.right(), static_cast<int>(std::floor(x(gap.last + 1.0))));
        QString label = QStringLiteral("free ") + Bytes(gap.Size());
        if (x1 - x0 < fm.horizontalAdvance(label) + 8) label = QString::number(gap.Size());
        if (x1 - x0 < fm.horizontalAdvance(label) + 8) continue;
        p.drawText(QRect(x0, l.bottom() - fm.height() - 2, x1 - x0, fm.height()), Qt::AlignCenter,
                   label);
    }

    // The bars, lane by lane; a bar that adds no pixel to its lane is skipped.
    std::vector<int> drawnTo(static_cast<std::size_t>(g.lanesShown), INT_MIN);
    const QPen outline(QColor(0x50, 0x50, 0x50));
    for (std::size_t k : map_.RangesIn(first_, last_)) {
        const MapRange& r = map_.Ranges()[k];
        if (r.lane >= drawnTo.size()) continue;
        const int x0 = std::max(l.left(), static_cast<int>(std::floor(x(r.first))));
        const int x1 =
            std::max(x0 + 1, std::min(l.right() + 1, static_cast<int>(std::ceil(x(r.last + 1.0)))));
        int& to = drawnTo[r.lane];
        if (x1 <= to) continue;
        to = x1;
        ++barsDrawn_;
        const QRect bar(x0, l.top() + static_cast<int>(r.lane) * g.laneHeight + 1, x1 - x0,
                        g.laneHeight - 2);
        p.fillRect(bar, SensorColour(r.sensorIndex));
        if (bar.width() < 4) continue;
        p.setPen(outline);
        p.drawRect(bar.adjusted(0, 0, -1, -1));
        if (bar.width() > 24) {
            const QString name =
                fm.elidedText(nimbrel::ShownText(r.name), Qt::ElideRight, bar.width() - 6);
            if (name.size() > 1) {
                p.setPen(Qt::black);
                p.drawText(bar.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, name);
            }
        }
    }

    // Bytes several items write: hatched red across the lanes in use.
    const int used = std::max(1, g.lanesShown) * g.laneHeight;
    const auto [sharedBegin, sharedEnd] = MemoryMap::SpansIn(map_.Shared(), first_, last_);
    FillSpans(p, map_.Shared(), sharedBegin, sharedEnd, x, l.top(), used,
              QBrush(kShared, Qt::BDiagPattern), true);
    FillSpans(p, map_.Shared(), sharedBegin, sharedEnd, x, l.top() + used, 3, kShared, true);

    // The window's current item.
    if (window_ != nullptr && window_->CurrentEntry >= 0) {
        const QRect bar = BarRect(static_cast<std::size_t>(window_->CurrentEntry));
        if (!bar.isEmpty()) {
            p.setPen(QPen(palette().color(QPalette::Highlight), 2));
            p.drawRect(bar.adjusted(1, 1, -1, -1));
        }
    }
    p.restore();
}

// ---- the dock

MemoryMapPanel::MemoryMapPanel(QWidget* parent)
    : QDockWidget(QStringLiteral("Memory map"), parent), view_(new MemoryMapView(this)) {
    setObjectName(QStringLiteral("memoryMapPanel"));
    setWidget(view_);
}

bool MemoryMapPanel::HandlesCommand(int id) const {
    return id == nimbrel::cmd::kViewMemoryMap;
}

void MemoryMapPanel::ExecuteCommand(int id) {
    if (!HandlesCommand(id)) return;
    const bool show = isHidden();
    setVisible(show);
    toggleViewAction()->setChecked(show);
    Remember(show);
}

void MemoryMapPanel::Restore() {
    const bool show = nimbrel::Settings::Get(nimbrel::keys::kViewMemoryMap) != 0;
    setVisible(show);
    toggleViewAction()->setChecked(show);
}

void MemoryMapPanel::Remember(bool shown) {
    // A settings file that cannot be written only loses this choice.
    nimbrel::Settings::WriteString(nimbrel::keys::kViewMemoryMap.section,
                                   nimbrel::keys::kViewMemoryMap.key, shown ? "1" : "0");
}

void MemoryMapPanel::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);
    Remember(false);
}
