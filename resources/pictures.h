// The program's pictures: splash, frame and child icons, toolbar images.
// All are drawn in code in one palette (night-sky navy, steel blue, gold).
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace nimbrel::res {

inline constexpr int kAppIcon = 1001;       // main frame and about box
inline constexpr int kConfigIcon = 1002;    // configuration child frames
inline constexpr int kSplash = 5020;        // 220 x 300
inline constexpr int kSplashBlink = 5028;   // 24 x 6, drawn with exclusive-or
inline constexpr int kSimplePicture = 5040; // 75 x 48, the simple-mode form

inline constexpr int kSplashWidth = 220;
inline constexpr int kSplashHeight = 300;
inline constexpr int kBlinkWidth = 24;
inline constexpr int kBlinkHeight = 6;
inline constexpr int kSimplePictureWidth = 75;
inline constexpr int kSimplePictureHeight = 48;

// The splash picture and the blink picture, in a format exclusive-or drawing supports.
QImage SplashImage();
QImage BlinkImage();

// Picture 5040: a transmitter on a buoy sending up to a satellite.
QPixmap SimplePicture();

// Icons 1001 and 1002.
QIcon Icon(int id);
// The program's icon (1001) drawn at `size` x `size` pixels, for the
// desktop's icon theme.
QImage AppIconImage(int size);

// The toolbar image of a command (by command id); a null pixmap for other ids.
QPixmap ToolbarImage(int commandId);

} // namespace nimbrel::res
