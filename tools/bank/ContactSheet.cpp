#include "tools/bank/ContactSheet.h"

#include "databank/AssetIds.h"
#include "databank/AtomicFile.h"
#include "databank/DataBanker.h"
#include "databank/PictureFile.h"
#include "databank/Serializer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace {
constexpr int SHEET_WIDTH = 1200;
constexpr int MARGIN = 16;
constexpr int GAP = 14;
constexpr int MAX_TILE = 256;      // larger pictures are scaled down to this
constexpr int MIN_TILE = 96;       // smaller ones are enlarged, in whole steps, to at least this
constexpr int LABEL_HEIGHT = 36;
constexpr int MIN_CELL_WIDTH = 170;
constexpr int TITLE_HEIGHT = 40;

const QColor SHEET_COLOUR(40, 42, 48);
const QColor TEXT_COLOUR(226, 228, 234);
const QColor DIM_TEXT_COLOUR(150, 156, 170);
const QColor FAULT_COLOUR(150, 30, 30);

struct TTile
{
    int32_t nList;
    int32_t nItem;
    std::string strName;
    std::string strInfo;  // size and kind, or the fault
    QImage Image;         // null when the item cannot be shown
};

// Painting text needs a GUI application; the command-line tool has none of its own.
bool EnsureGuiApplication(std::string* pError)
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return true;
    if (QCoreApplication::instance()) {
        if (pError)
            *pError = "the contact sheet needs a GUI application object, and a non-GUI one exists";
        return false;
    }
    static int s_nArgc = 3;
    static char s_szName[] = "drelk2-bank";
    static char s_szPlatform[] = "-platform";
    static char s_szOffscreen[] = "offscreen";
    static char* s_vArgv[] = {s_szName, s_szPlatform, s_szOffscreen, nullptr};
    // Lives until the process ends: Qt must not be torn down during static destruction.
    new QGuiApplication(s_nArgc, s_vArgv);
    return true;
}

// Raw pixels, first row at the bottom, as the scene library takes them: flipped for display.
QImage RawToImage(const uint8_t* pPixels, int64_t nBytes, const TImageShape& Shape, std::string& strInfo)
{
    const std::string strWhy = Shape.CheckBytes(nBytes);
    if (!strWhy.empty()) {
        strInfo = strWhy;
        return QImage();
    }
    const int nWidth = Shape.nWidth, nHeight = Shape.nHeight, nComponents = Shape.nComponents;
    QImage Image(nWidth, nHeight, QImage::Format_ARGB32);
    for (int y = 0; y < nHeight; ++y) {
        const uint8_t* pRow = pPixels + static_cast<int64_t>(nHeight - 1 - y) * nWidth * nComponents;
        QRgb* pLine = reinterpret_cast<QRgb*>(Image.scanLine(y));
        for (int x = 0; x < nWidth; ++x) {
            const uint8_t* p = pRow + x * nComponents;
            switch (nComponents) {
            case 1: pLine[x] = qRgb(p[0], p[0], p[0]); break;
            case 2: pLine[x] = qRgba(p[0], p[0], p[0], p[1]); break;
            case 3: pLine[x] = qRgb(p[0], p[1], p[2]); break;
            default: pLine[x] = qRgba(p[0], p[1], p[2], p[3]); break;
            }
        }
    }
    strInfo = Shape.Describe() + " raw";
    return Image;
}

TTile MakeTile(int32_t nList, const TVEChunk& Chunk)
{
    TTile Tile{nList, Chunk.m_Data.nId, Chunk.m_Data.szName, "", QImage()};
    const uint8_t* pData = Chunk.m_Data.pData.get();
    const int64_t nSize = pData ? Chunk.m_Data.nSize : 0;
    if (Chunk.GetType() == VECHUNK_IMAGE_RAW_RGBA) {
        const auto& Raw = static_cast<const TVEChunkImageRawRgba&>(Chunk);
        Tile.Image = RawToImage(pData, nSize, Raw.GetShape(), Tile.strInfo);
    } else if (const TAssetItem* pAsset = FindTextureAsset(nList, Chunk.m_Data.nId)) {
        Tile.Image = RawToImage(pData, nSize, pAsset->Shape, Tile.strInfo);
    } else if (!(Tile.Image = TPictureFile::Decode(pData, static_cast<int32_t>(nSize))).isNull()) {
        Tile.strInfo = std::to_string(Tile.Image.width()) + " x " + std::to_string(Tile.Image.height()) + " picture";
    } else {
        Tile.strInfo = "not a picture (" + std::to_string(nSize) + " bytes)";
    }
    // Only the tile's size is kept: a file of many large images must not be held whole.
    if (std::max(Tile.Image.width(), Tile.Image.height()) > MAX_TILE)
        Tile.Image = Tile.Image.scaled(MAX_TILE, MAX_TILE, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return Tile;
}

// Reads every list and keeps its texture and picture items, in file order.
bool CollectTiles(const std::string& strDataFile, std::vector<TTile>& vTiles, std::string& strError)
{
    TVESerializer Reader;
    if (!Reader.Open(strDataFile)) {
        strError = Reader.GetError();
        return false;
    }
    for (const TVESerializerEntry& Entry : Reader.GetEntries()) {
        const std::unique_ptr<TVEChunkList> pList = Reader.LoadList(Entry.nId);
        if (!pList) {
            strError = Reader.GetError();
            return false;
        }
        for (int i = 0; i < pList->GetCount(); ++i) {
            const TVEChunk* pChunk = pList->GetChunk(i);
            if (pChunk->GetType() == VECHUNK_BMP || pChunk->GetType() == VECHUNK_IMAGE_RAW_RGBA)
                vTiles.push_back(MakeTile(Entry.nId, *pChunk));
        }
    }
    return true;
}

QSize DisplaySize(const QImage& Image)
{
    if (Image.isNull())
        return QSize(MIN_TILE, MIN_TILE);
    const int nLonger = std::max(Image.width(), Image.height());
    if (nLonger > MAX_TILE)
        return Image.size().scaled(MAX_TILE, MAX_TILE, Qt::KeepAspectRatio);
    const int nFactor = std::max(1, (MIN_TILE + nLonger - 1) / nLonger);
    return Image.size() * nFactor;
}

QFont LabelFont()
{
    QFont Font("DejaVu Sans");
    Font.setPixelSize(12);
    return Font;
}

QString LabelTitle(const TTile& Tile)
{
    return QString("%1 / %2  %3").arg(Tile.nList).arg(Tile.nItem).arg(QString::fromStdString(Tile.strName));
}

// Wide enough for the picture and both label lines.
int CellWidth(const TTile& Tile)
{
    const QFontMetrics Metrics(LabelFont());
    const int nLabel = std::max(Metrics.horizontalAdvance(LabelTitle(Tile)),
                                Metrics.horizontalAdvance(QString::fromStdString(Tile.strInfo)));
    return std::max({DisplaySize(Tile.Image).width(), nLabel, MIN_CELL_WIDTH});
}

void DrawChecker(QPainter& Painter, const QRect& Box)
{
    constexpr int CHECK = 8;
    Painter.save();
    Painter.setClipRect(Box);
    for (int y = Box.top(); y <= Box.bottom(); y += CHECK)
        for (int x = Box.left(); x <= Box.right(); x += CHECK)
            Painter.fillRect(QRect(x, y, CHECK, CHECK),
                             (((x - Box.left()) / CHECK + (y - Box.top()) / CHECK) % 2) ? QColor(150, 150, 150)
                                                                                         : QColor(100, 100, 100));
    Painter.restore();
}

void DrawTile(QPainter& Painter, const TTile& Tile, const QPoint& At)
{
    const QSize Size = DisplaySize(Tile.Image);
    const QRect Box(At, Size);
    if (Tile.Image.isNull()) {
        Painter.fillRect(Box, FAULT_COLOUR);
    } else {
        if (Tile.Image.hasAlphaChannel())
            DrawChecker(Painter, Box);
        // Enlarged tiles keep their pixels sharp; reduced ones are smoothed.
        Painter.setRenderHint(QPainter::SmoothPixmapTransform, Size.width() < Tile.Image.width());
        Painter.drawImage(Box, Tile.Image);
    }
    Painter.setFont(LabelFont());
    Painter.setPen(TEXT_COLOUR);
    Painter.drawText(QPoint(At.x(), At.y() + Size.height() + 15), LabelTitle(Tile));
    Painter.setPen(Tile.Image.isNull() ? QColor(255, 120, 120) : DIM_TEXT_COLOUR);
    Painter.drawText(QPoint(At.x(), At.y() + Size.height() + 30), QString::fromStdString(Tile.strInfo));
}

// Left to right, wrapping; each row as tall as its tallest tile.
std::vector<QPoint> LayOut(const std::vector<TTile>& vTiles, int& nHeight)
{
    std::vector<QPoint> vAt;
    int x = MARGIN, y = MARGIN + TITLE_HEIGHT, nRowHeight = 0;
    for (const TTile& Tile : vTiles) {
        const QSize Size = DisplaySize(Tile.Image);
        const int nCellWidth = CellWidth(Tile);
        if (x > MARGIN && x + nCellWidth > SHEET_WIDTH - MARGIN) {
            x = MARGIN;
            y += nRowHeight + GAP;
            nRowHeight = 0;
        }
        vAt.emplace_back(x, y);
        x += nCellWidth + GAP;
        nRowHeight = std::max(nRowHeight, Size.height() + LABEL_HEIGHT);
    }
    nHeight = y + nRowHeight + MARGIN;
    return vAt;
}
}  // namespace

bool DrawContactSheet(const std::string& strDataFile, const std::string& strPngOut, std::string* pError)
{
    std::string strError;
    std::vector<TTile> vTiles;
    // The file first: a file that cannot be read is refused before Qt's GUI starts up.
    if (!CollectTiles(strDataFile, vTiles, strError)) {
        if (pError)
            *pError = strError;
        return false;
    }
    if (!EnsureGuiApplication(pError))
        return false;
    int nHeight = 0;
    const std::vector<QPoint> vAt = LayOut(vTiles, nHeight);
    QImage Sheet(SHEET_WIDTH, nHeight, QImage::Format_RGB32);
    Sheet.fill(SHEET_COLOUR);
    {
        QPainter Painter(&Sheet);
        QFont Font("DejaVu Sans");
        Font.setPixelSize(16);
        Font.setBold(true);
        Painter.setFont(Font);
        Painter.setPen(TEXT_COLOUR);
        Painter.drawText(QPoint(MARGIN, MARGIN + 16),
                         QString("%1: %2 pictures").arg(QString::fromStdString(strDataFile)).arg(vTiles.size()));
        for (size_t i = 0; i < vTiles.size(); ++i)
            DrawTile(Painter, vTiles[i], vAt[i]);
    }
    QByteArray Png;
    QBuffer Buffer(&Png);
    Buffer.open(QIODevice::WriteOnly);
    if (!Sheet.save(&Buffer, "PNG")) {
        if (pError)
            *pError = strPngOut + ": cannot encode the contact sheet";
        return false;
    }
    TAtomicFile Out;
    if (!Out.Open(strPngOut, strError)) {
        if (pError)
            *pError = strError;
        return false;
    }
    Out.Write(Png.constData(), static_cast<size_t>(Png.size()));
    if (!Out.Commit(strError)) {
        if (pError)
            *pError = strError;
        return false;
    }
    return true;
}
