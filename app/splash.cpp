#include "app/splash.h"

#include "platform/clock.h"
#include "resources/pictures.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

TSplash::TSplash()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(nimbrel::res::SplashImage()), blink_(nimbrel::res::BlinkImage()) {
    setObjectName(QStringLiteral("splash"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(picture_.size());
    if (QScreen* screen = QGuiApplication::primaryScreen()) move(Origin(screen->geometry()));
}

QPoint TSplash::Origin(const QRect& screen) {
    return {screen.x() + screen.width() / 2 - nimbrel::res::kSplashWidth / 2,
            screen.y() + screen.height() / 2 - nimbrel::res::kSplashHeight / 2};
}

void TSplash::Toggle(QPoint offset) {
    QPainter p(&picture_);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.drawImage(offset, blink_);
    p.end();
    repaint(QRect(offset, blink_.size()));
}

void TSplash::Run(int seconds) {
    show();
    raise();
    repaint();
    const std::int64_t start = nimbrel::WallSeconds();
    std::size_t k = 0;
    do {
        const QPoint at = kOffsets[k];
        Toggle(at);
        const std::uint32_t shown = nimbrel::TickCount();
        nimbrel::WaitUntil([shown] { return nimbrel::TickCount() - shown >= kBlinkMs; }, kBlinkMs);
        Toggle(at);
        ++blinks_;
        k = (k + 1) % kOffsets.size();
    } while (nimbrel::WallSeconds() - start < seconds);
}

void TSplash::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawImage(event->rect().topLeft(), picture_, event->rect());
}

void TSplash::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
