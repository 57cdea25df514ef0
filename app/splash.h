// The start-up splash: a 220 x 300 picture centred on the screen on which a
// 24 x 6 light blinks (exclusive-or, 100 ms on) at six places in turn, until
// the wall clock's whole seconds have moved on by a given count. The blinking
// runs on a timer: the event loop runs meanwhile.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>

class TSplash : public QWidget {
    Q_OBJECT
public:
    static constexpr std::array<QPoint, 6> kOffsets{
        {{95, 59}, {140, 48}, {170, 50}, {195, 82}, {145, 125}, {11, 149}}};
    static constexpr int kBlinkMs = 100;

    TSplash();

    // Top-left corner of the picture on a screen: its centre less (110, 150).
    static QPoint Origin(const QRect& screen);

    // Shows the splash and starts blinking; Finished follows once the wall
    // clock shows `seconds` past the start, after the blink in progress. At
    // least one blink runs.
    void Start(int seconds);
    bool Running() const { return timer_.isActive(); }

    const QImage& Picture() const { return picture_; }
    int Blinks() const { return blinks_; }

signals:
    void Finished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Toggle(QPoint offset);
    // The light at the current place goes out; the next one lights, or the
    // splash finishes.
    void Step();

    QImage picture_;
    QImage blink_;
    QTimer timer_;
    std::int64_t start_ = 0;
    int seconds_ = 0;
    std::size_t place_ = 0;
    int blinks_ = 0;
};
