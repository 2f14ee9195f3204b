#pragma once
// The window pictures: the start-up window's title art and the ending screen's two layers.

#include <QImage>

#include <string>

struct TPictureArt
{
    QImage Rock;     // the rock texture, for painted asteroids
    QImage Hull;     // the hull texture, for the painted ship
    QImage Engine;   // the engine flame
    QImage Missile;  // a missile bolt
};

// The DejaVu faces the lettering uses, from their files; false when one is missing.
bool LoadPictureFonts(std::string& strError);

// 512 x 340, opaque: space, a ringed planet rising at the bottom, drifting rocks; darker down
// the middle, where the credits pass.
QImage MakeEndingBackground(const TPictureArt& Art);
// 512 x ENDING_FORE_HEIGHT, with alpha: the credits. The ending screen starts with the top
// 100 rows showing at the bottom of its 340-row window and scrolls the picture up one row a
// step until its bottom row reaches the window's bottom (step height - 101), then holds that
// image until it closes itself at step 1001. So the title sits in the first 100 rows, the last
// 340 rows make the closing image, and 1060 rows leave that image two seconds on screen.
constexpr int ENDING_FORE_HEIGHT = 1060;
// A null image when the credits would run into the closing image.
QImage MakeEndingForeground();
// 387 x 206, 24-bit: the title art of the start-up window.
QImage MakeSplashPicture(const TPictureArt& Art);
// nSize square, with alpha: the desktop icon, a rounded tile of the start-up picture's sky with a
// rock and the ship climbing past it, painted for its size. ICON_SIZES are the sizes the desktop's
// icon theme gets.
constexpr int ICON_SIZES[] = {16, 32, 48, 64, 128, 256};
QImage MakeIcon(const TPictureArt& Art, int nSize);
