// The splash: where it sits, and that it blinks at the six places in turn,
// restores every pixel and ends once the clock has moved on.
#include "app/splash.h"
#include "platform/clock.h"
#include "resources/pictures.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(SplashTest, CentredOnTheScreen) {
    EXPECT_EQ(TSplash::Origin(QRect(0, 0, 1280, 1024)), QPoint(530, 362));
    EXPECT_EQ(TSplash::Origin(QRect(0, 0, 1023, 767)), QPoint(401, 233));
    EXPECT_EQ(TSplash::Origin(QRect(1920, 0, 1920, 1080)), QPoint(2770, 390));
}

TEST(SplashTest, BlinksUntilTheSecondsMovedOnAndLeavesThePictureWhole) {
    TSplash splash;
    const QImage before = splash.Picture();
    const std::int64_t start = nimbrel::WallSeconds();
    QElapsedTimer clock;
    clock.start();
    QSignalSpy finished(&splash, &TSplash::Finished);
    splash.Start(1);
    ASSERT_TRUE(finished.wait(3000));
    EXPECT_GE(nimbrel::WallSeconds(), start + 1);
    EXPECT_LE(clock.elapsed(), 1300);
    EXPECT_GE(splash.Blinks(), 1);
    // Each blink takes 100 ms at least.
    EXPECT_GE(clock.elapsed(), 100 * splash.Blinks() - 5);
    EXPECT_TRUE(splash.Picture() == before);
}

TEST(SplashTest, TheBlinkLightsItsPlaceAndTheSecondDrawRestoresIt) {
    QImage picture = nimbrel::res::SplashImage();
    const QImage original = picture;
    const QImage blink = nimbrel::res::BlinkImage();
    for (const QPoint& at : TSplash::kOffsets) {
        QPainter p(&picture);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.drawImage(at, blink);
        p.end();
        // The middle of the light differs from the picture underneath.
        const QPoint mid = at + QPoint(12, 3);
        EXPECT_NE(picture.pixel(mid), original.pixel(mid));
        p.begin(&picture);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.drawImage(at, blink);
    }
    EXPECT_TRUE(picture == original);
}

} // namespace
