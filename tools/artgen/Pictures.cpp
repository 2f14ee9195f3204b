#include "tools/artgen/Pictures.h"

#include "base/MathConstants.h"
#include "tools/artgen/ArtImage.h"
#include "tools/artgen/ArtNoise.h"
#include "tools/artgen/ShipLayout.h"
#include "tools/artgen/Starfields.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {
const char* const FONT_DIR = "/usr/share/fonts/truetype/dejavu/";
const char* const SANS_BOLD_FILE = "DejaVuSans-Bold.ttf";
const char* const SERIF_FILE = "DejaVuSerif.ttf";

// Families registered from the font files, so the pictures do not depend on what fontconfig
// would pick.
std::map<std::string, QString>& FontFamilies()
{
    static std::map<std::string, QString> s_mapFamilies;
    return s_mapFamilies;
}

// The family alone would also match the regular faces fontconfig knows: the weight picks the file.
QFont ArtFont(const char* szFile, int nPixelSize, QFont::Weight Weight)
{
    QFont Font(FontFamilies().at(szFile));
    Font.setPixelSize(nPixelSize);
    Font.setWeight(Weight);
    Font.setStyleStrategy(QFont::PreferAntialias);
    return Font;
}

QFont TitleFont(int nPixelSize)
{
    return ArtFont(SANS_BOLD_FILE, nPixelSize, QFont::Bold);
}

QFont HeadingFont(int nPixelSize)
{
    return ArtFont(SANS_BOLD_FILE, nPixelSize, QFont::Bold);
}

QFont BodyFont(int nPixelSize)
{
    return ArtFont(SERIF_FILE, nPixelSize, QFont::Normal);
}

// A text line as a path, centred on x.
QPainterPath CentredText(const QString& strText, const QFont& Font, float fCentreX, float fBaseline, float fSpacing = 0.0f)
{
    QFont Spaced = Font;
    if (fSpacing != 0.0f)
        Spaced.setLetterSpacing(QFont::AbsoluteSpacing, fSpacing);
    QPainterPath Path;
    Path.addText(0.0, 0.0, Spaced, strText);
    const QRectF Box = Path.boundingRect();
    return Path.translated(fCentreX - Box.center().x(), fBaseline);
}

// The serif slanted by hand: the italic face is not among the fonts the build installs.
QPainterPath SlantedText(const QString& strText, int nPixelSize, float fCentreX, float fBaseline)
{
    QPainterPath Path;
    Path.addText(0.0, 0.0, BodyFont(nPixelSize), strText);
    Path = QTransform().shear(-0.2, 0.0).map(Path);
    const QRectF Box = Path.boundingRect();
    return Path.translated(fCentreX - Box.center().x(), fBaseline);
}

// Three box blurs approach a Gaussian.
void Blur(std::vector<float>& vMask, int nW, int nH, int nRadius)
{
    std::vector<float> vTmp(vMask.size());
    for (int nPass = 0; nPass < 3; ++nPass) {
        for (int y = 0; y < nH; ++y) {
            float fSum = 0.0f;
            for (int k = -nRadius; k <= nRadius; ++k)
                fSum += vMask[y * nW + std::clamp(k, 0, nW - 1)];
            for (int x = 0; x < nW; ++x) {
                vTmp[y * nW + x] = fSum / (2 * nRadius + 1);
                fSum += vMask[y * nW + std::min(x + nRadius + 1, nW - 1)] - vMask[y * nW + std::max(x - nRadius, 0)];
            }
        }
        for (int x = 0; x < nW; ++x) {
            float fSum = 0.0f;
            for (int k = -nRadius; k <= nRadius; ++k)
                fSum += vTmp[std::clamp(k, 0, nH - 1) * nW + x];
            for (int y = 0; y < nH; ++y) {
                vMask[y * nW + x] = fSum / (2 * nRadius + 1);
                fSum += vTmp[std::min(y + nRadius + 1, nH - 1) * nW + x] - vTmp[std::max(y - nRadius, 0) * nW + x];
            }
        }
    }
}

// A soft halo of the given colour around a shape, painted under it.
void PaintHalo(QImage& Target, const QPainterPath& Shape, const QColor& Colour, int nRadius, float fStrength)
{
    const int nW = Target.width(), nH = Target.height();
    QImage Mask(nW, nH, QImage::Format_Grayscale8);
    Mask.fill(0);
    {
        QPainter Painter(&Mask);
        Painter.setRenderHint(QPainter::Antialiasing);
        Painter.fillPath(Shape, Qt::white);
    }
    std::vector<float> vMask(static_cast<size_t>(nW) * nH);
    for (int y = 0; y < nH; ++y)
        for (int x = 0; x < nW; ++x)
            vMask[y * nW + x] = static_cast<float>(Mask.constScanLine(y)[x]) / 255.0f;
    Blur(vMask, nW, nH, nRadius);
    QImage Halo(nW, nH, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < nH; ++y) {
        QRgb* pLine = reinterpret_cast<QRgb*>(Halo.scanLine(y));
        for (int x = 0; x < nW; ++x) {
            const float a = Clamp01(vMask[y * nW + x] * fStrength) * static_cast<float>(Colour.alphaF());
            pLine[x] = qRgba(static_cast<int>(Colour.red() * a + 0.5f), static_cast<int>(Colour.green() * a + 0.5f),
                             static_cast<int>(Colour.blue() * a + 0.5f), static_cast<int>(255.0f * a + 0.5f));
        }
    }
    QPainter Painter(&Target);
    Painter.drawImage(0, 0, Halo);
}

// Lettering: a dark rim and the fill; the halo goes on first.
void PaintLettering(QImage& Target, const QPainterPath& Text, const QBrush& Fill, const QColor& Rim, float fRim)
{
    QPainter Painter(&Target);
    Painter.setRenderHint(QPainter::Antialiasing);
    if (fRim > 0.0f)
        Painter.strokePath(Text, QPen(Rim, fRim, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    Painter.fillPath(Text, Fill);
}

// Chrome above the horizon line, fire below it: the game's title lettering.
QLinearGradient TitleGradient(const QRectF& Box)
{
    QLinearGradient Gradient(0.0, Box.top(), 0.0, Box.bottom());
    Gradient.setColorAt(0.00, QColor(255, 255, 255));
    Gradient.setColorAt(0.40, QColor(196, 212, 236));
    Gradient.setColorAt(0.52, QColor(92, 110, 146));
    Gradient.setColorAt(0.56, QColor(255, 214, 120));
    Gradient.setColorAt(0.80, QColor(255, 140, 40));
    Gradient.setColorAt(1.00, QColor(200, 60, 20));
    return Gradient;
}

void PaintTitle(QImage& Target, const QPainterPath& Title, int nGlow)
{
    PaintHalo(Target, Title, QColor(0, 0, 0, 220), nGlow / 2 + 1, 1.6f);
    PaintHalo(Target, Title, QColor(255, 110, 30, 200), nGlow, 1.4f);
    PaintLettering(Target, Title, QBrush(TitleGradient(Title.boundingRect())), QColor(24, 18, 40), 3.0f);
}

// ---- skies and bodies ---------------------------------------------------------------------

TArtImage PaintSky(int nW, int nH, uint32_t nSeed, TRgb Top, TRgb Bottom, float fNebula, int nStars)
{
    TArtImage Image(nW, nH);
    for (int y = 0; y < nH; ++y)
        for (int x = 0; x < nW; ++x)
            Image.Set(x, y, MixRgb(Top, Bottom, static_cast<float>(y) / static_cast<float>(nH - 1)));
    auto Diagonal = [](float u, float v) {
        const float d = std::fabs((u - 0.5f) * 0.55f + (v - 0.45f) * 0.83f);
        return std::exp(-(d * d) / (0.26f * 0.26f));
    };
    PaintNebula(Image, {nSeed, 2.6f, fNebula, Rgb255(120, 40, 150), Rgb255(30, 90, 170), Rgb255(230, 120, 170), Diagonal});
    PaintStars(Image, {nSeed * 7919ull + 3, nStars, 0.95f, 1.0f, [](float, float) { return 1.0f; }});
    return Image;
}

// A banded giant lit from the upper left, with a blue atmosphere rim.
void PaintPlanet(TArtImage& Image, float cx, float cy, float fRadius)
{
    const TArtNoise Noise(5150);
    const float fLx = -0.62f, fLy = -0.52f, fLz = 0.58f;
    const float fTilt = -0.35f, c = std::cos(fTilt), s = std::sin(fTilt);
    static const std::vector<TRampStop> s_vBands = {
        {0.00f, Rgb255(196, 170, 136)}, {0.18f, Rgb255(150, 98, 70)}, {0.32f, Rgb255(214, 196, 160)},
        {0.50f, Rgb255(120, 134, 140)}, {0.66f, Rgb255(180, 120, 84)}, {0.82f, Rgb255(226, 208, 172)},
        {1.00f, Rgb255(196, 170, 136)},
    };
    for (int y = 0; y < Image.Height(); ++y) {
        for (int x = 0; x < Image.Width(); ++x) {
            const float dx = (static_cast<float>(x) + 0.5f - cx) / fRadius, dy = (static_cast<float>(y) + 0.5f - cy) / fRadius;
            const float d = std::hypot(dx, dy);
            if (d > 1.15f)
                continue;
            TRgb Colour = Image.GetColour(x, y);
            // How much the limb faces the sun, for the rim's brightness.
            const float fRimLight = Clamp01(0.3f + 0.9f * (dx * fLx + dy * fLy) / std::max(d, 1e-3f));
            if (d < 1.0f) {
                const float nz = std::sqrt(1.0f - d * d);
                const float fLat = dx * s + dy * c;
                const float fLon = (dx * c - dy * s) / std::max(0.05f, nz);
                const float fBand = fLat * 2.6f + 0.08f * Noise.Fractal(fLon * 2.0f, fLat * 14.0f, 1 << 20, 1 << 20, 4);
                const TRgb Surface = Ramp(s_vBands, fBand - std::floor(fBand));
                const float fLambert = std::max(0.0f, dx * fLx + dy * fLy + nz * fLz);
                // Warm light near the terminator, a faint glow on the night side.
                const TRgb Light = TRgb{1.0f, 0.95f, 0.88f} * std::pow(fLambert, 0.85f) + TRgb{0.02f, 0.025f, 0.05f};
                Colour = Surface * Light;
                // Haze thickens towards the limb.
                Colour = Colour + TRgb{0.25f, 0.45f, 0.9f} * (std::pow(d, 6.0f) * 0.45f * fRimLight);
            }
            const float fAtmosphere = std::exp(-std::pow((d - 1.0f) / 0.035f, 2.0f)) * fRimLight;
            Colour = Colour + TRgb{0.35f, 0.6f, 1.0f} * (0.55f * fAtmosphere);
            Image.Set(x, y, Colour);
        }
    }
}

// A lumpy rock from the rock texture, shaded as a ball lit from the upper left.
void PaintRock(QPainter& Painter, const QImage& Rock, QPointF Centre, float fRadius, float fSpin, uint32_t nSeed)
{
    const TArtNoise Noise(nSeed);
    QPainterPath Outline;
    constexpr int POINTS = 48;
    for (int k = 0; k < POINTS; ++k) {
        const float fA = 2.0f * PI_F * static_cast<float>(k) / POINTS;
        const float fR = fRadius * (1.0f + 0.16f * Noise.Fractal(static_cast<float>(k) / POINTS * 5.0f, 0.5f, 5, 1 << 20, 3));
        const QPointF P(Centre.x() + fR * std::cos(fA), Centre.y() + 0.85f * fR * std::sin(fA));
        if (k == 0)
            Outline.moveTo(P);
        else
            Outline.lineTo(P);
    }
    Outline.closeSubpath();

    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QBrush Surface(Rock);
    QTransform Map;
    Map.translate(Centre.x(), Centre.y());
    Map.rotate(fSpin);
    const float fTexScale = fRadius * 2.4f / static_cast<float>(Rock.width());
    Map.scale(fTexScale, fTexScale);
    Surface.setTransform(Map);
    Painter.fillPath(Outline, Surface);
    QRadialGradient Shade(Centre + QPointF(-0.35 * fRadius, -0.4 * fRadius), 1.55 * fRadius);
    Shade.setColorAt(0.0, QColor(255, 240, 220, 40));
    Shade.setColorAt(0.35, QColor(0, 0, 0, 0));
    Shade.setColorAt(0.75, QColor(0, 0, 10, 150));
    Shade.setColorAt(1.0, QColor(0, 0, 10, 235));
    Painter.fillPath(Outline, Shade);
    Painter.restore();
}

// The player ship from above, nose along fHeading degrees (0 = up), with its flame.
void PaintShip(QPainter& Painter, const TPictureArt& Art, QPointF Centre, float fLength, float fHeading)
{
    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setRenderHint(QPainter::SmoothPixmapTransform);
    Painter.translate(Centre);
    Painter.rotate(fHeading);
    Painter.scale(fLength, fLength);

    // The flame quad: image rows run back along +z from under the tail, columns across.
    const double fFlame = 1.35;
    const double fPx = 1.0 / Art.Engine.width();
    Painter.save();
    Painter.setCompositionMode(QPainter::CompositionMode_Plus);
    Painter.setTransform(QTransform(fPx, 0.0, 0.0, -fFlame * fPx, -0.5, 0.667 + fFlame * 0.5), true);
    Painter.drawImage(0, 0, Art.Engine);
    Painter.drawImage(0, 0, Art.Engine);
    Painter.restore();

    const QPainterPath Hull = ShipOutline();
    Painter.fillPath(NozzleOutline(), QColor(70, 72, 82));
    QBrush Livery(Art.Hull);
    Livery.setTransform(HullTextureTransform(Art.Hull.width()).inverted());
    Painter.fillPath(Hull, Livery);
    // Faceted light: the left half of each part catches the light, the right falls away.
    QLinearGradient Across(-0.5, 0.0, 0.5, 0.0);
    Across.setColorAt(0.0, QColor(255, 255, 255, 40));
    Across.setColorAt(0.45, QColor(255, 255, 255, 0));
    Across.setColorAt(0.55, QColor(0, 0, 20, 30));
    Across.setColorAt(1.0, QColor(0, 0, 20, 110));
    Painter.fillPath(Hull, Across);
    QLinearGradient Glass(-0.05, -0.3, 0.05, -0.05);
    Glass.setColorAt(0.0, QColor(170, 220, 255));
    Glass.setColorAt(0.3, QColor(40, 90, 150));
    Glass.setColorAt(1.0, QColor(12, 26, 52));
    Painter.fillPath(CanopyOutline(), Glass);
    Painter.strokePath(Hull, QPen(QColor(20, 22, 34, 200), 0.008));
    Painter.restore();
}

void PaintBolt(QPainter& Painter, const QImage& Missile, QPointF Centre, float fSize)
{
    Painter.save();
    Painter.setRenderHint(QPainter::SmoothPixmapTransform);
    Painter.setCompositionMode(QPainter::CompositionMode_Plus);
    const QRectF Box(Centre.x() - fSize / 2, Centre.y() - fSize / 2, fSize, fSize);
    Painter.drawImage(Box, Missile);
    Painter.restore();
}

// ---- credits --------------------------------------------------------------------------------

struct TCreditLine
{
    enum TKind { TITLE, SUBTITLE, HEADING, NAME, NOTE, RULE, THANKS, GAP } Kind;
    const char* szText;
};

// Invented for this game: every role is the team's.
const std::vector<TCreditLine>& Credits()
{
    using L = TCreditLine;
    static const std::vector<TCreditLine> s_vLines = {
        {L::TITLE, "DRELK II"},
        {L::SUBTITLE, "a flight through the drifting belt"},
        {L::GAP, ""},
        {L::RULE, ""},
        {L::HEADING, "GAME DESIGN AND PROGRAMMING"},
        {L::NAME, "the Drelk II team"},
        {L::HEADING, "SHIP, ROCKS AND FIREWORKS"},
        {L::NAME, "the Drelk II team"},
        {L::HEADING, "SOUND AND MUSIC"},
        {L::NAME, "the Drelk II team"},
        {L::HEADING, "LEVEL TUNING"},
        {L::NAME, "the Drelk II team"},
        {L::NOTE, "who swear the ninth level is fair"},
        {L::HEADING, "TEST PILOTS"},
        {L::NAME, "the Drelk II team"},
        {L::NOTE, "and one very stubborn small rock"},
        {L::HEADING, "BUILT WITH"},
        {L::NAME, "Coin3D  \u00b7  Qt  \u00b7  SDL2_mixer"},
        {L::NOTE, "set in the DejaVu typefaces"},
        {L::HEADING, "SPECIAL THANKS"},
        {L::NAME, "everyone who flew the belt"},
    };
    return s_vLines;
}

// Returns the baseline of the last credit line, which must stay above the closing image.
float PaintCreditsText(QImage& Target)
{
    constexpr float CX = 256.0f;
    QPainterPath Headings, Names, Notes, Rules;
    float y = 0.0f;
    QPainterPath Title, Thanks;
    for (const TCreditLine& Line : Credits()) {
        switch (Line.Kind) {
        case TCreditLine::TITLE:
            Title = CentredText(Line.szText, TitleFont(68), CX, 78.0f, 4.0f);
            y = 82.0f;
            break;
        case TCreditLine::SUBTITLE:
            y += 34.0f;  // just below the 100 rows on show at the start
            Notes.addPath(SlantedText(Line.szText, 17, CX, y));
            break;
        case TCreditLine::GAP:
            y += 8.0f;
            break;
        case TCreditLine::RULE:
            y += 26.0f;
            Rules.addRoundedRect(QRectF(CX - 90.0f, y - 2.0f, 180.0f, 2.5f), 1.2, 1.2);
            Rules.addEllipse(QPointF(CX, y - 0.75f), 4.0, 4.0);
            break;
        case TCreditLine::HEADING:
            y += 44.0f;
            Headings.addPath(CentredText(Line.szText, HeadingFont(15), CX, y, 2.5f));
            break;
        case TCreditLine::NAME:
            y += 26.0f;
            Names.addPath(CentredText(Line.szText, BodyFont(21), CX, y));
            break;
        case TCreditLine::NOTE:
            y += 21.0f;
            Notes.addPath(SlantedText(Line.szText, 14, CX, y));
            break;
        default:
            break;
        }
    }
    // The closing image: the last 340 rows stay on screen when the scrolling stops.
    const float fClose = ENDING_FORE_HEIGHT - 170.0f;
    Thanks = CentredText("Thanks for playing!", TitleFont(36), CX, fClose + 4.0f);
    Notes.addPath(SlantedText("See you in the belt, pilot.", 17, CX, fClose + 44.0f));

    QPainterPath All = Headings;
    All.addPath(Names);
    All.addPath(Notes);
    All.addPath(Rules);
    PaintHalo(Target, All, QColor(0, 0, 6, 235), 3, 2.2f);
    PaintLettering(Target, Rules, QBrush(QColor(255, 170, 70)), QColor(0, 0, 0, 0), 0.0f);
    PaintLettering(Target, Headings, QBrush(QColor(255, 184, 84)), QColor(0, 0, 0, 0), 0.0f);
    PaintLettering(Target, Names, QBrush(QColor(238, 242, 255)), QColor(10, 10, 24, 160), 1.2f);
    PaintLettering(Target, Notes, QBrush(QColor(160, 182, 220)), QColor(0, 0, 0, 0), 0.0f);
    PaintTitle(Target, Title, 9);
    PaintTitle(Target, Thanks, 7);
    return y;
}
}  // namespace

bool LoadPictureFonts(std::string& strError)
{
    for (const char* szFile : {SANS_BOLD_FILE, SERIF_FILE}) {
        const QString strPath = QString(FONT_DIR) + szFile;
        const QStringList vFamilies = QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(strPath));
        if (vFamilies.isEmpty()) {
            strError = "cannot load the font " + strPath.toStdString() + " (package fonts-dejavu-core)";
            return false;
        }
        FontFamilies()[szFile] = vFamilies.front();
    }
    return true;
}

QImage MakeEndingBackground(const TPictureArt& Art)
{
    constexpr int W = 512, H = 340;
    TArtImage Sky = PaintSky(W, H, 8080, Rgb255(3, 4, 14), Rgb255(12, 8, 28), 0.30f, 650);
    PaintPlanet(Sky, 440.0f, 520.0f, 290.0f);
    // A sun just off the top left corner.
    Sky.AddGlow(-10.0f, -14.0f, 60.0f, TRgb{1.0f, 0.85f, 0.6f} * 0.55f);
    Sky.AddGlow(-10.0f, -14.0f, 16.0f, TRgb{1.0f, 0.95f, 0.85f} * 1.2f);
    QImage Image = Sky.ToQImage(false).convertToFormat(QImage::Format_RGB32);
    {
        QPainter Painter(&Image);
        PaintRock(Painter, Art.Rock, QPointF(58.0, 262.0), 30.0f, 20.0f, 11);
        PaintRock(Painter, Art.Rock, QPointF(470.0, 70.0), 17.0f, 75.0f, 12);
        PaintRock(Painter, Art.Rock, QPointF(104.0, 58.0), 9.0f, 140.0f, 13);
        PaintRock(Painter, Art.Rock, QPointF(412.0, 150.0), 6.0f, 10.0f, 14);
        // Darken the middle, where the credits pass.
        QLinearGradient Column(0.0, 0.0, W, 0.0);
        Column.setColorAt(0.0, QColor(0, 0, 0, 0));
        Column.setColorAt(0.3, QColor(0, 0, 8, 110));
        Column.setColorAt(0.7, QColor(0, 0, 8, 110));
        Column.setColorAt(1.0, QColor(0, 0, 0, 0));
        Painter.fillRect(Image.rect(), Column);
    }
    return Image.convertToFormat(QImage::Format_RGB888);
}

QImage MakeEndingForeground()
{
    QImage Image(512, ENDING_FORE_HEIGHT, QImage::Format_ARGB32_Premultiplied);
    Image.fill(Qt::transparent);
    // Descenders and the text's shadow reach about 10 rows below the last baseline.
    if (PaintCreditsText(Image) + 10.0f > ENDING_FORE_HEIGHT - 340)
        return QImage();
    return Image.convertToFormat(QImage::Format_ARGB32);
}

QImage MakeSplashPicture(const TPictureArt& Art)
{
    constexpr int W = 387, H = 206;
    TArtImage Sky = PaintSky(W, H, 4711, Rgb255(4, 5, 18), Rgb255(14, 8, 30), 0.42f, 420);
    Sky.AddGlow(W + 20.0f, H * 0.5f, 90.0f, TRgb{0.45f, 0.3f, 0.9f} * 0.25f);
    QImage Image = Sky.ToQImage(false).convertToFormat(QImage::Format_RGB32);
    {
        QPainter Painter(&Image);
        PaintRock(Painter, Art.Rock, QPointF(336.0, 150.0), 62.0f, 30.0f, 21);
        PaintRock(Painter, Art.Rock, QPointF(262.0, 176.0), 17.0f, 110.0f, 22);
        PaintRock(Painter, Art.Rock, QPointF(34.0, 40.0), 20.0f, 200.0f, 23);
        PaintRock(Painter, Art.Rock, QPointF(226.0, 118.0), 7.0f, 60.0f, 24);
        PaintRock(Painter, Art.Rock, QPointF(18.0, 178.0), 11.0f, 300.0f, 25);
        // The ship climbs to the right, two bolts ahead of it on its heading.
        const QPointF Ship(118.0, 150.0);
        const float fHeading = 62.0f;
        const float fRad = (fHeading - 90.0f) * PI_F / 180.0f;
        const QPointF Ahead(std::cos(fRad), std::sin(fRad));
        PaintBolt(Painter, Art.Missile, Ship + Ahead * 62.0, 18.0f);
        PaintBolt(Painter, Art.Missile, Ship + Ahead * 100.0, 18.0f);
        PaintShip(Painter, Art, Ship, 58.0f, fHeading);
    }
    const QPainterPath Title = CentredText("DRELK II", TitleFont(58), W * 0.5f, 76.0f, 5.0f);
    PaintTitle(Image, Title, 8);
    return Image.convertToFormat(QImage::Format_RGB888);
}

namespace {
// Where the icon's parts go, in pixels of a tile nSize square. Large tiles show the scene of the
// 256-pixel icon; from 64 pixels down the ship and one rock fill the tile and the ship gets a
// light rim, and at 16 it is a plain light shape, so that a menu's small icon still shows a
// ship and a rock.
struct TIconLayout
{
    QPointF Ship;
    float fShipLength;
    QPointF Rock;
    float fRockRadius;
    bool bScene;      // the second rock, the bolt and the nebula's glow
    bool bSilhouette; // the ship as a plain light shape: its livery is noise at a few pixels
};

TIconLayout IconLayout(int nSize)
{
    const float s = static_cast<float>(nSize) / 256.0f;
    if (nSize > 64)
        return {QPointF(86.0 * s, 164.0 * s), 92.0f * s, QPointF(196.0 * s, 188.0 * s), 56.0f * s, true, false};
    if (nSize > 24)
        return {QPointF(100.0 * s, 148.0 * s), 150.0f * s, QPointF(200.0 * s, 196.0 * s), 72.0f * s, false, false};
    return {QPointF(112.0 * s, 120.0 * s), 190.0f * s, QPointF(206.0 * s, 206.0 * s), 72.0f * s, false, true};
}

// Where PaintShip puts the ship's outlines.
QTransform IconShipPlace(const TIconLayout& Layout, float fHeading)
{
    QTransform Place;
    Place.translate(Layout.Ship.x(), Layout.Ship.y());
    Place.rotate(fHeading);
    Place.scale(Layout.fShipLength, Layout.fShipLength);
    return Place;
}

void PaintShipSilhouette(QImage& Tile, const QTransform& Place)
{
    QPainter Painter(&Tile);
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.fillPath(Place.map(ShipOutline()), QColor(236, 240, 250));
    Painter.fillPath(Place.map(CanopyOutline()), QColor(40, 110, 200));
}
}  // namespace

QImage MakeIcon(const TPictureArt& Art, int nSize)
{
    const int N = nSize;
    const float s = static_cast<float>(N) / 256.0f;
    const TIconLayout Layout = IconLayout(N);
    const float fHeading = 40.0f;
    TArtImage Sky = PaintSky(N, N, 1999, Rgb255(6, 7, 24), Rgb255(20, 10, 40), Layout.bScene ? 0.55f : 0.3f,
                             Layout.bScene ? static_cast<int>(160.0f * s * s) : 0);
    if (Layout.bScene)
        Sky.AddGlow(N * 0.85f, N * 0.2f, 110.0f * s, TRgb{0.45f, 0.3f, 0.9f} * 0.3f);
    QImage Tile = Sky.ToQImage(false).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter Painter(&Tile);
        PaintRock(Painter, Art.Rock, Layout.Rock, Layout.fRockRadius, 40.0f, 31);
        if (Layout.bScene) {
            PaintRock(Painter, Art.Rock, QPointF(52.0 * s, 58.0 * s), 22.0f * s, 150.0f, 32);
            const float fRad = (fHeading - 90.0f) * PI_F / 180.0f;
            PaintBolt(Painter, Art.Missile, Layout.Ship + QPointF(std::cos(fRad), std::sin(fRad)) * (78.0 * s), 24.0f * s);
        }
    }
    const QTransform ShipPlace = IconShipPlace(Layout, fHeading);
    if (Layout.bSilhouette) {
        PaintShipSilhouette(Tile, ShipPlace);
    } else {
        if (!Layout.bScene)
            PaintHalo(Tile, ShipPlace.map(ShipOutline()), QColor(150, 200, 255, 230), N / 32, 2.0f);
        QPainter Painter(&Tile);
        PaintShip(Painter, Art, Layout.Ship, Layout.fShipLength, fHeading);
    }
    // The tile's rounded corners, with a thin light rim at least a pixel wide.
    const float fInset = std::max(0.5f, 4.0f * s);
    const float fRim = std::max(1.0f, 3.0f * s);
    QImage Icon(N, N, QImage::Format_ARGB32_Premultiplied);
    Icon.fill(Qt::transparent);
    QPainter Painter(&Icon);
    Painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath Rounded;
    Rounded.addRoundedRect(QRectF(fInset, fInset, N - 2.0f * fInset, N - 2.0f * fInset), 36.0f * s, 36.0f * s);
    Painter.setClipPath(Rounded);
    Painter.drawImage(0, 0, Tile);
    Painter.setClipping(false);
    Painter.strokePath(Rounded, QPen(QColor(150, 160, 220, Layout.bScene ? 150 : 200), fRim));
    Painter.end();
    return Icon.convertToFormat(QImage::Format_ARGB32);
}
