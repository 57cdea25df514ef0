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
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TSplash::Step);
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

void TSplash::Start(int seconds) {
    show();
    raise();
    repaint();
    start_ = nimbrel::WallSeconds();
    seconds_ = seconds;
    place_ = 0;
    Toggle(kOffsets[place_]);
    timer_.start(kBlinkMs);
}

void TSplash::Step() {
    Toggle(kOffsets[place_]);
    ++blinks_;
    if (nimbrel::WallSeconds() - start_ >= seconds_) {
        timer_.stop();
        emit Finished();
        return;
    }
    place_ = (place_ + 1) % kOffsets.size();
    Toggle(kOffsets[place_]);
}

void TSplash::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawImage(event->rect().topLeft(), picture_, event->rect());
}

void TSplash::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
