#pragma once
// The player ship seen from above, in the model's own units (x to the right, z towards the
// tail, nose at z = -0.55). These outlines repeat the vertices of assets/ship.iv: change both
// together. The hull livery is painted on them, and the start-up picture draws the ship with
// them.

#include <QImage>
#include <QPainterPath>
#include <QTransform>

// Top-view outlines of the painted parts and of the whole ship.
QPainterPath FuselageOutline();
QPainterPath WingOutline(float fSide);     // fSide +1 right, -1 left
QPainterPath PodOutline(float fSide);
QPainterPath FinOutline(float fSide);
QPainterPath CanopyOutline();
QPainterPath NozzleOutline();
QPainterPath ShipOutline();

// Model (x, z) to hull texture pixels; the model maps s = 0.5 + x / 1.04, t = (0.48 - z) / 1.04,
// and the picture's top row is t = 1.
QTransform HullTextureTransform(int nSize);

// The hull texture: 256 x 256, opaque.
QImage PaintHullLivery();
