#pragma once
// The game's textures, painted in code. Each returns a picture with its top row first (as
// Qt holds it); the caller turns it into bottom-first raw pixels.
//
// Where they land, which decides their layout:
// - background: a 100 x 100 quad at z = -20 behind the 60 x 40 field; the camera sees about
//   its central 60 per cent, so the interest sits there, and it stays dark so as not to compete
//   with the play.
// - rock: mapped once over each asteroid's lumpy mesh by the default projection; must tile.
// - missile: a square that never turns, about 14 pixels across on an 800 x 600 window.
// - engine: the flame quad behind the ship, whose own x axis points back from the tail. The
//   scene library maps a square face by default with s along its y and t along its x, so the
//   picture's rows run along the flame (bottom row under the ship, top row at the plume's end)
//   and its columns across it; the ship's tail crosses it about a third of the way up.
// - explosion: a flip-book of frames; frame 0 stays on show when the run ends, so it is empty.
// - hull: the ship model's livery as a top view (see assets/ship.iv for the mapping).

#include <QImage>

QImage MakeBackgroundTexture();   // 1024 x 1024, opaque
QImage MakeRockTexture();         // 256 x 256, opaque, tiles
QImage MakeMissileTexture();      // 64 x 64, with alpha
QImage MakeEngineTexture();       // 32 x 32, with alpha
QImage MakeExplosionFrame(int nFrame, int nFrames);  // 128 x 128, with alpha
QImage MakeHullTexture();         // 256 x 256, opaque
