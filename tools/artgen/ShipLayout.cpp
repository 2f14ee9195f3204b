#include "tools/artgen/ShipLayout.h"

#include "base/MathConstants.h"
#include "tools/artgen/ArtImage.h"
#include "tools/artgen/ArtNoise.h"

#include <QPainter>

#include <cmath>

namespace {
// Fuselage stations: z and half-width of the widest point of the cross-section.
constexpr float STATIONS[][2] = {{-0.55f, 0.0f}, {-0.42f, 0.045f}, {-0.24f, 0.08f},
                                 {-0.02f, 0.10f}, {0.24f, 0.105f},  {0.40f, 0.09f}};

QColor Colour(int r, int g, int b, int a = 255)
{
    return QColor(r, g, b, a);
}

QPainterPath Polygon(std::initializer_list<QPointF> vPoints)
{
    QPainterPath Path;
    Path.addPolygon(QPolygonF(QVector<QPointF>(vPoints)));
    Path.closeSubpath();
    return Path;
}

// A thin painted line in model units.
void Line(QPainter& Painter, QPointF a, QPointF b, const QColor& Pen, float fWidth)
{
    Painter.setPen(QPen(Pen, fWidth, Qt::SolidLine, Qt::FlatCap));
    Painter.drawLine(a, b);
}

void PaintWing(QPainter& Painter, float s)
{
    const QPainterPath Wing = WingOutline(s);
    Painter.save();
    Painter.setClipPath(Wing);
    Painter.fillPath(Wing, Colour(214, 218, 224));
    // Darker leading edge, then the red band with white pinstripes, parallel to it.
    auto Band = [&](float fFrom, float fTo, const QColor& Fill) {
        // The leading edge runs from (0.08, -0.12) to (0.44, 0.20); bands are offsets behind it.
        Painter.fillPath(Polygon({{s * 0.0f, -0.1911f + fFrom}, {s * 0.5f, 0.2533f + fFrom},
                                  {s * 0.5f, 0.2533f + fTo}, {s * 0.0f, -0.1911f + fTo}}),
                         Fill);
    };
    Band(0.0f, 0.045f, Colour(132, 138, 150));
    Band(0.075f, 0.083f, Colour(240, 240, 236));
    Band(0.083f, 0.128f, Colour(196, 40, 34));
    Band(0.128f, 0.136f, Colour(240, 240, 236));
    // Red wing tip.
    Painter.fillRect(QRectF(s > 0 ? 0.385f : -0.45f, -0.2f, 0.065f, 0.6f), Colour(196, 40, 34));
    // Flaps along the trailing edge, with a hinge line.
    Painter.fillRect(QRectF(s > 0 ? 0.1f : -0.40f, 0.305f, 0.30f, 0.06f), Colour(168, 174, 184));
    Line(Painter, {s * 0.1f, 0.305f}, {s * 0.40f, 0.305f}, Colour(92, 96, 108), 0.005f);
    Line(Painter, {s * 0.25f, 0.305f}, {s * 0.25f, 0.37f}, Colour(92, 96, 108), 0.004f);
    // Panel lines across the wing.
    for (float fx : {0.17f, 0.30f})
        Line(Painter, {s * fx, -0.2f}, {s * fx, 0.305f}, Colour(150, 156, 168), 0.004f);
    // Insignia: a dark blue disc with a white four-point star.
    const QPointF Centre(s * 0.27f, 0.235f);
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(Colour(240, 240, 236));
    Painter.drawEllipse(Centre, 0.043, 0.043);
    Painter.setBrush(Colour(34, 52, 98));
    Painter.drawEllipse(Centre, 0.037, 0.037);
    QPainterPath Star;
    for (int k = 0; k < 8; ++k) {
        const double fA = k * PI / 4.0, fR = (k % 2 == 0) ? 0.031 : 0.009;
        const QPointF P(Centre.x() + fR * std::cos(fA), Centre.y() + fR * std::sin(fA));
        if (k == 0)
            Star.moveTo(P);
        else
            Star.lineTo(P);
    }
    Star.closeSubpath();
    Painter.fillPath(Star, Colour(240, 240, 236));
    Painter.restore();
}

void PaintFuselage(QPainter& Painter)
{
    const QPainterPath Body = FuselageOutline();
    Painter.save();
    Painter.setClipPath(Body);
    Painter.fillPath(Body, Colour(206, 210, 218));
    // Dark blue spine from behind the canopy to the tail.
    Painter.fillPath(Polygon({{-0.028f, -0.05f}, {0.028f, -0.05f}, {0.04f, 0.42f}, {-0.04f, 0.42f}}), Colour(44, 60, 100));
    Line(Painter, {-0.034f, -0.05f}, {-0.045f, 0.42f}, Colour(236, 236, 232), 0.007f);
    Line(Painter, {0.034f, -0.05f}, {0.045f, 0.42f}, Colour(236, 236, 232), 0.007f);
    // Red nose cone with a white ring.
    Painter.fillRect(QRectF(-0.2f, -0.6f, 0.4f, 0.16f), Colour(196, 40, 34));
    Line(Painter, {-0.2f, -0.44f}, {0.2f, -0.44f}, Colour(240, 240, 236), 0.01f);
    // Panel lines along and across the body.
    for (float fx : {-0.066f, 0.066f})
        Line(Painter, {fx, -0.3f}, {fx * 1.1f, 0.4f}, Colour(140, 146, 158), 0.004f);
    for (float fz : {-0.24f, 0.1f, 0.24f})
        Line(Painter, {-0.2f, fz}, {0.2f, fz}, Colour(140, 146, 158), 0.004f);
    // Heat-stained tail.
    QLinearGradient Soot(0.0, 0.30, 0.0, 0.42);
    Soot.setColorAt(0.0, Colour(60, 50, 48, 0));
    Soot.setColorAt(1.0, Colour(60, 50, 48, 170));
    Painter.fillRect(QRectF(-0.2f, 0.30f, 0.4f, 0.15f), Soot);
    Painter.restore();
}

void PaintPodsAndFins(QPainter& Painter)
{
    for (float s : {1.0f, -1.0f}) {
        Painter.fillPath(PodOutline(s), Colour(78, 82, 92));
        // Muzzle and a red band behind it.
        Painter.fillRect(QRectF(s * 0.445f - 0.03f, -0.01f, 0.06f, 0.05f), Colour(40, 40, 44));
        Painter.fillRect(QRectF(s * 0.445f - 0.03f, 0.06f, 0.06f, 0.025f), Colour(196, 40, 34));
        const QPainterPath Fin = FinOutline(s);
        Painter.save();
        Painter.setClipPath(Fin);
        Painter.fillPath(Fin, Colour(196, 40, 34));
        Line(Painter, {s * 0.05f, 0.30f}, {s * 0.14f, 0.36f}, Colour(240, 240, 236), 0.012f);
        Painter.restore();
    }
}

// Brushed-metal streaks along the length, soft grime, and a hint of wear on edges.
void Weather(QImage& Image)
{
    const TArtNoise Noise(612);
    TArtImage Art = TArtImage::FromQImage(Image);
    const int nSize = Art.Width();
    for (int y = 0; y < nSize; ++y) {
        for (int x = 0; x < nSize; ++x) {
            const float u = static_cast<float>(x) / nSize, v = static_cast<float>(y) / nSize;
            const float fBrush = Noise.Fractal(u * 64.0f, v * 4.0f, 64, 4, 2);
            const float fGrime = SmoothStep(0.0f, 0.8f, Noise.Fractal(u * 6.0f + 3.0f, v * 6.0f, 6, 6, 4));
            const float f = 1.0f + 0.035f * fBrush - 0.16f * fGrime;
            Art.Set(x, y, Art.GetColour(x, y) * f);
        }
    }
    Image = Art.ToQImage(false);
}
}  // namespace

QPainterPath FuselageOutline()
{
    QPolygonF Outline;
    for (const auto& Station : STATIONS)
        Outline << QPointF(Station[1], Station[0]);
    for (int i = static_cast<int>(std::size(STATIONS)) - 1; i >= 1; --i)
        Outline << QPointF(-STATIONS[i][1], STATIONS[i][0]);
    QPainterPath Path;
    Path.addPolygon(Outline);
    Path.closeSubpath();
    return Path;
}

QPainterPath WingOutline(float s)
{
    return Polygon({{s * 0.08f, -0.12f}, {s * 0.44f, 0.20f}, {s * 0.44f, 0.35f}, {s * 0.08f, 0.36f}});
}

QPainterPath PodOutline(float s)
{
    const float c = s * 0.445f;
    return Polygon({{c, 0.0f}, {c + 0.022f, 0.12f}, {c + 0.022f, 0.37f}, {c, 0.38f}, {c - 0.022f, 0.37f}, {c - 0.022f, 0.12f}});
}

QPainterPath FinOutline(float s)
{
    return Polygon({{s * 0.05f, 0.16f}, {s * 0.13f, 0.32f}, {s * 0.13f, 0.42f}, {s * 0.05f, 0.40f}});
}

QPainterPath CanopyOutline()
{
    return Polygon({{0.0f, -0.34f}, {0.045f, -0.25f}, {0.05f, -0.12f}, {0.035f, -0.03f},
                    {-0.035f, -0.03f}, {-0.05f, -0.12f}, {-0.045f, -0.25f}});
}

QPainterPath NozzleOutline()
{
    return Polygon({{-0.07f, 0.38f}, {0.07f, 0.38f}, {0.082f, 0.47f}, {-0.082f, 0.47f}});
}

QPainterPath ShipOutline()
{
    QPainterPath Path = FuselageOutline();
    for (float s : {1.0f, -1.0f}) {
        Path = Path.united(WingOutline(s));
        Path = Path.united(PodOutline(s));
        Path = Path.united(FinOutline(s));
    }
    return Path.united(NozzleOutline());
}

QTransform HullTextureTransform(int nSize)
{
    const double fScale = nSize / 1.04;
    return QTransform(fScale, 0.0, 0.0, fScale, 0.52 * fScale, 0.56 * fScale);
}

QImage PaintHullLivery()
{
    constexpr int SIZE = 256;
    QImage Image(SIZE, SIZE, QImage::Format_RGB888);
    // Plain metal wherever no part lies: the sides of the parts pick up the colours at their
    // edges anyway.
    Image.fill(QColor(176, 180, 188));
    {
        QPainter Painter(&Image);
        Painter.setRenderHint(QPainter::Antialiasing);
        Painter.setTransform(HullTextureTransform(SIZE));
        for (float s : {1.0f, -1.0f})
            PaintWing(Painter, s);
        PaintFuselage(Painter);
        PaintPodsAndFins(Painter);
    }
    Weather(Image);
    return Image;
}
