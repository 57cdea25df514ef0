// The start-up splash: a 220 x 300 picture centred on the screen on which a
// 24 x 6 light blinks (exclusive-or, 100 ms on) at six places in turn, until
// the wall clock's whole seconds have moved on by a given count.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <array>

class TSplash : public QWidget {
    Q_OBJECT
public:
    static constexpr std::array<QPoint, 6> kOffsets{
        {{95, 59}, {140, 48}, {170, 50}, {195, 82}, {145, 125}, {11, 149}}};
    static constexpr int kBlinkMs = 100;

    TSplash();

    // Top-left corner of the picture on a screen: its centre less (110, 150).
    static QPoint Origin(const QRect& screen);

    // Shows the splash and blinks until the wall clock shows `seconds` past
    // the start, finishing the blink in progress. At least one blink runs.
    void Run(int seconds);

    const QImage& Picture() const { return picture_; }
    int Blinks() const { return blinks_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Toggle(QPoint offset);

    QImage picture_;
    QImage blink_;
    int blinks_ = 0;
};
