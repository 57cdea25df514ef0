#include "resources/pictures.h"

#include "platform/commandids.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <cmath>
#include <cstdint>

namespace nimbrel::res {
namespace {

// Palette shared by every picture.
const QColor kSkyTop(0x06, 0x12, 0x2a);
const QColor kNavy(0x1d, 0x35, 0x57);
const QColor kSteel(0x45, 0x7b, 0x9d);
const QColor kIce(0xa8, 0xda, 0xdc);
const QColor kCream(0xf1, 0xfa, 0xee);
const QColor kGold(0xe9, 0xa2, 0x3b);
const QColor kGoldDark(0xb7, 0x79, 0x1f);
const QColor kGreen(0x2a, 0x9d, 0x8f);
const QColor kRed(0xe6, 0x39, 0x46);

// The orbit of the splash: the blink positions lie on it.
constexpr double kOrbitX = 110.2;
constexpr double kOrbitY = 104.2;
constexpr double kOrbitTilt = -20.46;
constexpr double kOrbitRx = 104.9;
constexpr double kOrbitRy = 41.2;

// Beacon slots under the blink: filled with kSlot so that the blink picture
// (kSlot xor kLit inside its shape) lights them to kLit and back.
const QColor kSlot(0x1a, 0x33, 0x58);
const QColor kLit(0xff, 0xd1, 0x66);
constexpr std::array<QPoint, 6> kBeacons{
    {{95, 59}, {140, 48}, {170, 50}, {195, 82}, {145, 125}, {11, 149}}};

// True inside the 24 x 6 beacon shape (a pill with clipped corners).
bool InBeacon(int x, int y) {
    if (x < 0 || y < 0 || x >= kBlinkWidth || y >= kBlinkHeight) return false;
    const bool edgeRow = y == 0 || y == kBlinkHeight - 1;
    const bool edgeCol = x == 0 || x == kBlinkWidth - 1;
    if (edgeRow && (x < 2 || x > kBlinkWidth - 3)) return false;
    if (edgeCol && (y < 1 || y > kBlinkHeight - 2)) return false;
    return true;
}

void DrawSatellite(QPainter& p, QPointF centre, double scale, double angle) {
    p.save();
    p.translate(centre);
    p.rotate(angle);
    p.scale(scale, scale);
    // Solar panels.
    p.setPen(QPen(kIce, 0.8));
    for (int side : {-1, 1}) {
        const QRectF panel(side < 0 ? -27 : 7, -5, 20, 10);
        p.setBrush(kSteel);
        p.drawRect(panel);
        p.drawLine(QPointF(panel.center().x(), panel.top()),
                   QPointF(panel.center().x(), panel.bottom()));
        p.drawLine(QPointF(panel.left(), 0), QPointF(panel.right(), 0));
        p.drawLine(QPointF(side < 0 ? -7 : 3, 0), QPointF(side < 0 ? -3 : 7, 0));
    }
    // Body and dish.
    p.setPen(QPen(kGoldDark, 0.8));
    p.setBrush(kGold);
    p.drawRect(QRectF(-4, -6, 8, 12));
    p.setBrush(kCream);
    p.drawChord(QRectF(-5, 4, 10, 7), 180 * 16, 180 * 16);
    p.setPen(QPen(kCream, 0.8));
    p.drawLine(QPointF(0, 7.5), QPointF(0, 12));
    p.restore();
}

void DrawGlobe(QPainter& p, QPointF centre, double r) {
    QRadialGradient sea(centre - QPointF(r * 0.35, r * 0.35), r * 1.3);
    sea.setColorAt(0, QColor(0x3f, 0x8f, 0xb8));
    sea.setColorAt(0.7, kSteel);
    sea.setColorAt(1, kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(sea);
    p.drawEllipse(centre, r, r);
    // Meridians and parallels.
    p.setBrush(Qt::NoBrush);
    QColor grid = kIce;
    grid.setAlpha(110);
    p.setPen(QPen(grid, std::max(0.6, r / 40)));
    for (double k : {0.35, 0.75})
        p.drawEllipse(centre, r * k, r);
    p.drawLine(QPointF(centre.x(), centre.y() - r), QPointF(centre.x(), centre.y() + r));
    for (double k : {-0.5, 0.0, 0.5}) {
        const double y = centre.y() + k * r;
        const double half = std::sqrt(r * r - (k * r) * (k * r));
        p.drawLine(QPointF(centre.x() - half, y), QPointF(centre.x() + half, y));
    }
    // Rim light.
    QColor rim = kIce;
    rim.setAlpha(160);
    p.setPen(QPen(rim, std::max(0.8, r / 25)));
    p.drawEllipse(centre, r, r);
}

void DrawOrbit(QPainter& p, double penWidth, Qt::PenStyle style) {
    p.save();
    p.translate(kOrbitX, kOrbitY);
    p.rotate(kOrbitTilt);
    QColor c = kIce;
    c.setAlpha(120);
    QPen pen(c, penWidth, style);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(0, 0), kOrbitRx, kOrbitRy);
    p.restore();
}

// A point of the splash orbit at parameter t (radians).
QPointF OrbitPoint(double t) {
    const double a = kOrbitTilt * M_PI / 180.0;
    const double x = kOrbitRx * std::cos(t);
    const double y = kOrbitRy * std::sin(t);
    return {kOrbitX + x * std::cos(a) - y * std::sin(a),
            kOrbitY + x * std::sin(a) + y * std::cos(a)};
}

// The app icon drawn into a square of side s.
void DrawAppIcon(QPainter& p, double s) {
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, s);
    bg.setColorAt(0, kSkyTop);
    bg.setColorAt(1, kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);
    const QPointF c(s * 0.5, s * 0.54);
    DrawGlobe(p, c, s * 0.24);
    p.save();
    p.translate(c);
    p.rotate(-20);
    QPen orbit(kGold, std::max(1.0, s / 22));
    p.setPen(orbit);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(-s * 0.43, -s * 0.17, s * 0.86, s * 0.34), 0, 180 * 16);
    p.restore();
    // The front half of the orbit passes over the globe.
    p.save();
    p.translate(c);
    p.rotate(-20);
    p.setPen(orbit);
    p.drawArc(QRectF(-s * 0.43, -s * 0.17, s * 0.86, s * 0.34), 180 * 16, 180 * 16);
    p.restore();
    DrawSatellite(p, QPointF(s * 0.76, s * 0.2), s / 120.0, -30);
}

void DrawConfigIcon(QPainter& p, double s) {
    p.setRenderHint(QPainter::Antialiasing);
    const double u = s / 32.0;
    QPainterPath page;
    page.moveTo(5 * u, 2 * u);
    page.lineTo(20 * u, 2 * u);
    page.lineTo(27 * u, 9 * u);
    page.lineTo(27 * u, 30 * u);
    page.lineTo(5 * u, 30 * u);
    page.closeSubpath();
    p.setPen(QPen(kNavy, std::max(1.0, 1.2 * u)));
    p.setBrush(kCream);
    p.drawPath(page);
    p.setBrush(kIce);
    p.drawPolygon(
        QPolygonF({QPointF(20 * u, 2 * u), QPointF(20 * u, 9 * u), QPointF(27 * u, 9 * u)}));
    // Rows of items: a name column and a value column.
    for (int i = 0; i < 4; ++i) {
        const double y = (12 + 4.5 * i) * u;
        p.setPen(Qt::NoPen);
        p.setBrush(kSteel);
        p.drawRect(QRectF(8 * u, y, 9 * u, 2 * u));
        p.setBrush(i == 1 ? kGold : kIce);
        p.drawRect(QRectF(18.5 * u, y, 5.5 * u, 2 * u));
    }
    // Orbit badge.
    p.setPen(QPen(kGold, std::max(1.0, 1.3 * u)));
    p.setBrush(Qt::NoBrush);
    p.save();
    p.translate(10 * u, 7 * u);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), 4.5 * u, 1.8 * u);
    p.restore();
    p.setPen(Qt::NoPen);
    p.setBrush(kSteel);
    p.drawEllipse(QPointF(10 * u, 7 * u), 1.8 * u, 1.8 * u);
}

QIcon SizedIcon(void (*draw)(QPainter&, double)) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        draw(p, size);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// Toolbar images: 20 x 20, navy outlines.
constexpr int kTool = 20;

void Page(QPainter& p, QRectF r) {
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - 4, r.top());
    path.lineTo(r.right(), r.top() + 4);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(QPen(kNavy, 1.2));
    p.setBrush(kCream);
    p.drawPath(path);
    p.setBrush(kIce);
    p.drawPolygon(QPolygonF({QPointF(r.right() - 4, r.top()), QPointF(r.right() - 4, r.top() + 4),
                             QPointF(r.right(), r.top() + 4)}));
}

void Plus(QPainter& p, QPointF c) {
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(c, 4.6, 4.6);
    p.setPen(QPen(kCream, 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(c.x() - 2.6, c.y()), QPointF(c.x() + 2.6, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 2.6), QPointF(c.x(), c.y() + 2.6));
}

void Waves(QPainter& p, QPointF c, int count, QColor colour) {
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= count; ++i) {
        const double r = 2.5 + 2.8 * i;
        p.setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 140 * 16, 80 * 16);
    }
}

void DrawTool(QPainter& p, int id) {
    p.setRenderHint(QPainter::Antialiasing);
    switch (id) {
    case cmd::kFileNew: {
        Page(p, QRectF(3.5, 1.5, 12, 16));
        // A four-pointed gold spark.
        QPainterPath star;
        const QPointF c(15, 14.5);
        for (int i = 0; i < 8; ++i) {
            const double r = i % 2 == 0 ? 4.8 : 1.4;
            const double a = i * M_PI / 4;
            const QPointF pt(c.x() + r * std::sin(a), c.y() - r * std::cos(a));
            i == 0 ? star.moveTo(pt) : star.lineTo(pt);
        }
        star.closeSubpath();
        p.setPen(QPen(kGoldDark, 0.8));
        p.setBrush(kGold);
        p.drawPath(star);
        break;
    }
    case cmd::kFileOpen: {
        p.setPen(QPen(kNavy, 1.2));
        p.setBrush(kGoldDark);
        QPainterPath back;
        back.moveTo(1.5, 4.5);
        back.lineTo(7, 4.5);
        back.lineTo(8.5, 6.5);
        back.lineTo(16.5, 6.5);
        back.lineTo(16.5, 16.5);
        back.lineTo(1.5, 16.5);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(kCream);
        p.drawRect(QRectF(4.5, 3.5, 10, 8));
        p.setBrush(kGold);
        p.drawPolygon(QPolygonF(
            {QPointF(1.5, 16.5), QPointF(4.5, 9.5), QPointF(19, 9.5), QPointF(16.5, 16.5)}));
        break;
    }
    case cmd::kFileSave: {
        p.setPen(QPen(kNavy, 1.2));
        p.setBrush(kNavy);
        p.drawRoundedRect(QRectF(2.5, 2.5, 15, 15), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(kCream);
        p.drawRect(QRectF(5, 3.5, 10, 6));
        p.setBrush(kSteel);
        p.drawRect(QRectF(6, 12, 8, 5));
        p.setBrush(kIce);
        p.drawRect(QRectF(11, 13, 2, 3));
        p.setPen(QPen(kSteel, 1));
        p.drawLine(QPointF(6.5, 5.5), QPointF(13.5, 5.5));
        p.drawLine(QPointF(6.5, 7.5), QPointF(12, 7.5));
        break;
    }
    case cmd::kAddItem: {
        for (int i = 0; i < 3; ++i) {
            const double y = 3 + 4.5 * i;
            p.setPen(Qt::NoPen);
            p.setBrush(i == 2 ? kGold : kSteel);
            p.drawRect(QRectF(2, y, 8, 3));
            p.setBrush(kIce);
            p.drawRect(QRectF(11, y, 5, 3));
        }
        Plus(p, QPointF(14.5, 14.5));
        break;
    }
    case cmd::kAddSensor: {
        // A dial gauge.
        p.setPen(QPen(kNavy, 1.2));
        p.setBrush(kCream);
        p.drawEllipse(QPointF(8.5, 9), 7, 7);
        p.setPen(QPen(kSteel, 1));
        for (int i = 0; i < 5; ++i) {
            const double a = (-120 + 60 * i) * M_PI / 180;
            p.drawLine(QPointF(8.5 + 5 * std::sin(a), 9 - 5 * std::cos(a)),
                       QPointF(8.5 + 6.2 * std::sin(a), 9 - 6.2 * std::cos(a)));
        }
        p.setPen(QPen(kRed, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8.5, 9), QPointF(11.8, 5.2));
        p.setPen(Qt::NoPen);
        p.setBrush(kNavy);
        p.drawEllipse(QPointF(8.5, 9), 1.3, 1.3);
        Plus(p, QPointF(14.5, 14.5));
        break;
    }
    case cmd::kEditCut: {
        p.setPen(QPen(kSteel, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6.5, 12), QPointF(13.5, 2));
        p.drawLine(QPointF(13.5, 12), QPointF(6.5, 2));
        p.setPen(QPen(kNavy, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(5.5, 15), 3, 3);
        p.drawEllipse(QPointF(14.5, 15), 3, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(kGold);
        p.drawEllipse(QPointF(10, 7.2), 1.1, 1.1);
        break;
    }
    case cmd::kEditCopy:
        Page(p, QRectF(2.5, 1.5, 10, 13));
        Page(p, QRectF(7.5, 5.5, 10, 13));
        p.setPen(QPen(kSteel, 1));
        for (double y : {10.5, 13.0, 15.5})
            p.drawLine(QPointF(9.5, y), QPointF(15.5, y));
        break;
    case cmd::kEditPaste: {
        p.setPen(QPen(kNavy, 1.2));
        p.setBrush(kGold);
        p.drawRoundedRect(QRectF(2.5, 3.5, 13, 15), 1.5, 1.5);
        p.setBrush(kCream);
        p.drawRect(QRectF(5, 6, 8, 10));
        p.setBrush(kNavy);
        p.drawRoundedRect(QRectF(6, 1.5, 6, 4), 1, 1);
        p.setPen(QPen(kSteel, 1));
        for (double y : {9.0, 11.5, 14.0})
            p.drawLine(QPointF(6.5, y), QPointF(11.5, y));
        break;
    }
    case cmd::kStart: {
        // Antenna mast sending waves.
        p.setPen(QPen(kNavy, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 8), QPointF(10, 18));
        p.drawLine(QPointF(6, 18), QPointF(10, 12));
        p.drawLine(QPointF(14, 18), QPointF(10, 12));
        Waves(p, QPointF(10, 7), 2, kGreen);
        p.setPen(Qt::NoPen);
        p.setBrush(kGold);
        p.drawEllipse(QPointF(10, 7), 2, 2);
        break;
    }
    case cmd::kSendConfig: {
        Page(p, QRectF(1.5, 3.5, 10, 14));
        p.setPen(QPen(kSteel, 1));
        for (double y : {8.5, 11.0, 13.5})
            p.drawLine(QPointF(3.5, y), QPointF(8.5, y));
        // Arrow up and away to the satellite.
        p.setPen(QPen(kGreen, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(10, 13), QPointF(16.5, 5));
        p.drawPolyline(QPolygonF({QPointF(12, 4.5), QPointF(17, 4), QPointF(16.7, 9)}));
        DrawSatellite(p, QPointF(16, 3), 0.22, -30);
        break;
    }
    case cmd::kUserCommand: {
        p.setPen(QPen(kNavy, 1.2));
        p.setBrush(kNavy);
        p.drawRoundedRect(QRectF(1.5, 3.5, 17, 13), 2, 2);
        p.setPen(QPen(kGreen, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(4.5, 7), QPointF(7.5, 10), QPointF(4.5, 13)}));
        p.setPen(QPen(kCream, 1.6, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(9, 13.2), QPointF(14, 13.2));
        p.setPen(Qt::NoPen);
        p.setBrush(kGold);
        p.drawEllipse(QPointF(16, 6), 1.3, 1.3);
        break;
    }
    default:
        break;
    }
}

} // namespace

QImage SplashImage() {
    QImage img(kSplashWidth, kSplashHeight, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, kSplashHeight);
    sky.setColorAt(0, kSkyTop);
    sky.setColorAt(0.75, kNavy);
    sky.setColorAt(1, QColor(0x24, 0x44, 0x6b));
    p.fillRect(img.rect(), sky);

    // Stars from a fixed seed, so the picture is the same every run.
    std::uint32_t seed = 20240611u;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 70; ++i) {
        const int x = static_cast<int>(next() % kSplashWidth);
        const int y = static_cast<int>(next() % 185);
        QColor star = i % 9 == 0 ? kGold : kCream;
        star.setAlpha(60 + static_cast<int>(next() % 170));
        const double r = i % 11 == 0 ? 1.1 : 0.6;
        p.setBrush(star);
        p.drawEllipse(QPointF(x + 0.5, y + 0.5), r, r);
    }

    // The back half of the orbit, the globe, then the front half.
    DrawOrbit(p, 1.0, Qt::DashLine);
    DrawGlobe(p, QPointF(kOrbitX, kOrbitY), 32);
    p.save();
    p.setClipRect(QRectF(0, kOrbitY - 10, kSplashWidth, 100));
    DrawOrbit(p, 1.3, Qt::SolidLine);
    p.restore();

    DrawSatellite(p, OrbitPoint(2.55), 0.9, -20);

    // Beacon slots (no antialiasing, so the blink restores them exactly).
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const QPoint& at : kBeacons) {
        for (int y = 0; y < kBlinkHeight; ++y) {
            for (int x = 0; x < kBlinkWidth; ++x) {
                if (InBeacon(x, y)) img.setPixel(at.x() + x, at.y() + y, kSlot.rgb());
            }
        }
    }
    p.setRenderHint(QPainter::Antialiasing);

    // Titles.
    QFont title("DejaVu Sans", 1);
    title.setPixelSize(30);
    title.setBold(true);
    p.setFont(title);
    p.setPen(kCream);
    p.drawText(QRect(0, 170, kSplashWidth, 38), Qt::AlignCenter, QStringLiteral("Nimbrel"));
    QFont small("DejaVu Sans", 1);
    small.setPixelSize(11);
    p.setFont(small);
    p.setPen(kIce);
    p.drawText(QRect(0, 208, kSplashWidth, 16), Qt::AlignCenter,
               QStringLiteral("PTT Comunications Interface"));
    p.setPen(kGold);
    p.drawText(QRect(0, 224, kSplashWidth, 16), Qt::AlignCenter,
               QStringLiteral("Version 3.0 build 1"));

    // Horizon with a transmitter on a buoy sending up.
    QPainterPath sea;
    sea.moveTo(0, 272);
    sea.cubicTo(60, 262, 160, 262, kSplashWidth, 272);
    sea.lineTo(kSplashWidth, kSplashHeight);
    sea.lineTo(0, kSplashHeight);
    sea.closeSubpath();
    QLinearGradient water(0, 262, 0, kSplashHeight);
    water.setColorAt(0, kSteel);
    water.setColorAt(1, kNavy);
    p.setPen(QPen(kIce, 1));
    p.setBrush(water);
    p.drawPath(sea);
    p.setPen(QPen(kCream, 1.4));
    p.drawLine(QPointF(110, 266), QPointF(110, 246));
    p.setPen(QPen(kGoldDark, 1));
    p.setBrush(kGold);
    p.drawRoundedRect(QRectF(101, 262, 18, 9), 3, 3);
    Waves(p, QPointF(110, 245), 3, kIce);

    p.setPen(QPen(kSteel, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kSplashWidth - 1, kSplashHeight - 1));
    return img;
}

QImage BlinkImage() {
    QImage img(kBlinkWidth, kBlinkHeight, QImage::Format_RGB32);
    img.fill(0); // black: exclusive-or leaves the pixel as it is
    const QRgb on =
        qRgb(kSlot.red() ^ kLit.red(), kSlot.green() ^ kLit.green(), kSlot.blue() ^ kLit.blue());
    for (int y = 0; y < kBlinkHeight; ++y) {
        for (int x = 0; x < kBlinkWidth; ++x) {
            if (InBeacon(x, y)) img.setPixel(x, y, on);
        }
    }
    return img;
}

QPixmap SimplePicture() {
    QPixmap pm(kSimplePictureWidth, kSimplePictureHeight);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(0.5, 0.5, kSimplePictureWidth - 1, kSimplePictureHeight - 1);
    QLinearGradient sky(0, 0, 0, kSimplePictureHeight);
    sky.setColorAt(0, kSkyTop);
    sky.setColorAt(1, kNavy);
    p.setPen(QPen(kSteel, 1));
    p.setBrush(sky);
    p.drawRoundedRect(frame, 5, 5);

    // A few fixed stars.
    p.setPen(Qt::NoPen);
    for (const QPointF& star : {QPointF(9, 8), QPointF(22, 5), QPointF(35, 13), QPointF(8, 24),
                                QPointF(47, 7), QPointF(30, 25)}) {
        QColor c = kCream;
        c.setAlpha(170);
        p.setBrush(c);
        p.drawEllipse(star, 0.7, 0.7);
    }

    // Sea along the bottom.
    QPainterPath sea;
    sea.moveTo(1, 38);
    sea.cubicTo(20, 34, 55, 34, kSimplePictureWidth - 1, 38);
    sea.lineTo(kSimplePictureWidth - 1, kSimplePictureHeight - 5);
    sea.quadTo(kSimplePictureWidth - 1, kSimplePictureHeight - 1, kSimplePictureWidth - 5,
               kSimplePictureHeight - 1);
    sea.lineTo(5, kSimplePictureHeight - 1);
    sea.quadTo(1, kSimplePictureHeight - 1, 1, kSimplePictureHeight - 5);
    sea.closeSubpath();
    QLinearGradient water(0, 34, 0, kSimplePictureHeight);
    water.setColorAt(0, kSteel);
    water.setColorAt(1, kNavy);
    p.setPen(QPen(kIce, 0.8));
    p.setBrush(water);
    p.drawPath(sea);

    // The transmitter: a buoy with its antenna, sending up.
    p.setPen(QPen(kCream, 1.2));
    p.drawLine(QPointF(20, 35), QPointF(20, 22));
    p.setPen(QPen(kGoldDark, 0.8));
    p.setBrush(kGold);
    p.drawRoundedRect(QRectF(13, 33, 14, 7), 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(QPointF(20, 21.5), 1.5, 1.5);
    Waves(p, QPointF(20, 21.5), 2, kIce);

    // Dotted uplink to the satellite.
    QColor link = kGold;
    link.setAlpha(200);
    p.setPen(QPen(link, 1, Qt::DotLine, Qt::RoundCap));
    p.drawLine(QPointF(27, 17), QPointF(50, 13));
    DrawSatellite(p, QPointF(57, 13), 0.45, -20);
    return pm;
}

QImage AppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    DrawAppIcon(p, size);
    return image;
}

QIcon Icon(int id) {
    if (id == kAppIcon) return SizedIcon(&DrawAppIcon);
    if (id == kConfigIcon) return SizedIcon(&DrawConfigIcon);
    return {};
}

QPixmap ToolbarImage(int commandId) {
    switch (commandId) {
    case cmd::kFileNew:
    case cmd::kFileOpen:
    case cmd::kFileSave:
    case cmd::kAddItem:
    case cmd::kAddSensor:
    case cmd::kEditCut:
    case cmd::kEditCopy:
    case cmd::kEditPaste:
    case cmd::kStart:
    case cmd::kSendConfig:
    case cmd::kUserCommand:
        break;
    default:
        return {};
    }
    QPixmap pm(kTool, kTool);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    DrawTool(p, commandId);
    return pm;
}

} // namespace nimbrel::res
