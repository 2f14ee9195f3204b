#include "ui/TDlgEnding.h"

#include "ui_TDlgEnding.h"

#include "ui/TWorldSend.h"
#include "ui/WindowNames.h"

#include "base/Assert.h"
#include "databank/DataBanker.h"
#include "databank/PictureFile.h"
#include "media/SoundLoader.h"
#include "sound/FModSoundManager.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cstdlib>

TDlgEnding::TDlgEnding(QWidget* pOwner, TDataBanker* pDB, TFModSoundManager* pSM)
    : QDialog(pOwner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_pUi(std::make_unique<Ui::TDlgEnding>())
{
    m_pUi->setupUi(this);
    setWindowTitle(WindowNames::TITLE);
    setWindowRole(WindowNames::ROLE_ENDING);
    DRELK_ASSERT(pDB);
    DRELK_ASSERT(pSM);
    setFixedSize(m_rcDraw.size());
    // The canvas covers the whole window: nothing to clear before it is copied.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    const QRect Screen = QGuiApplication::primaryScreen()->geometry();
    move(Screen.x() + (Screen.width() - WIDTH) / 2, Screen.y() + (Screen.height() - HEIGHT) / 2);

    m_BmpCanvas = QImage(m_rcDraw.size(), QImage::Format_RGB32);
    DRELK_ASSERT(!m_BmpCanvas.isNull());
    m_BmpCanvas.fill(Qt::black);
    const QImage Back = TPictureFile::Decode(pDB->GetBitmapBytes(ID_PLAYLIST_ENDING, ID_BMP_ENDING_BACK));
    m_BmpFore = TPictureFile::Decode(pDB->GetBitmapBytes(ID_PLAYLIST_ENDING, ID_BMP_ENDING_FORE));
    DRELK_ASSERT(!Back.isNull());
    DRELK_ASSERT(!m_BmpFore.isNull());
    // Both in the painter's own formats, so that a step only copies and blends.
    m_BmpFore = m_BmpFore.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_vecForeRows = OpaqueRows(m_BmpFore);
    m_BmpBack = Back.scaled(m_rcDraw.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_RGB32);

    m_pSnd.reset(TSoundLoader::CreateSource(pSM, pDB, ID_PLAYLIST_MUSICS, ID_MUSIC_ENDING, false));
    DRELK_ASSERT(m_pSnd);

    // Running from the start; steps before the window shows do nothing.
    m_Timer.setInterval(STEP_MS);
    connect(&m_Timer, &QTimer::timeout, this, &TDlgEnding::TimerTimer);
    m_Timer.start();
}

TDlgEnding::~TDlgEnding() = default;

void TDlgEnding::SetScoreLine(const QString& strLine)
{
    QFont Font("Verdana");
    Font.setPixelSize(SCORE_FONT_PX);
    Font.setBold(true);
    QPainter Back(&m_BmpBack);
    Back.setFont(Font);
    const QRect Band(0, SCORE_TOP, m_rcDraw.width(), SCORE_FONT_PX * 2);
    // A shadow keeps the line legible over the bright parts of the background.
    Back.setPen(Qt::black);
    Back.drawText(Band.translated(1, 1), Qt::AlignHCenter | Qt::AlignTop, strLine);
    Back.setPen(Qt::white);
    Back.drawText(Band, Qt::AlignHCenter | Qt::AlignTop, strLine);
}

void TDlgEnding::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    m_nStep = 0;
    m_bRunning = true;
    m_pSnd->SetPlaying(true);
    activateWindow();
    setFocus();
}

void TDlgEnding::TimerTimer()
{
    if (!m_bRunning)
        return;
    if (m_nStep < m_BmpFore.height() - START_RISE)
        Compose();
    if (++m_nStep > LAST_STEP)
        Finish();
}

// The background, then the picture m_nStep pixels higher than at the start, copied to the window.
// Only the rows the picture's lettering covers now or covered one step ago change: the rest of
// the canvas already holds the background, so they are left alone (the first step draws all).
void TDlgEnding::Compose()
{
    const int nTop = m_rcDraw.height() - m_nStep - START_RISE;
    QRegion Changed;
    if (m_nComposedTop == NOT_COMPOSED) {
        Changed = m_rcDraw;
    } else {
        for (const TRows& Rows : m_vecForeRows)
            Changed += QRect(0, std::min(nTop, m_nComposedTop) + Rows.nFirst, m_rcDraw.width(),
                             Rows.nCount + std::abs(m_nComposedTop - nTop));
        Changed &= m_rcDraw;
    }
    QPainter Canvas(&m_BmpCanvas);
    for (const QRect& Band : Changed) {
        Canvas.setCompositionMode(QPainter::CompositionMode_Source);
        Canvas.drawImage(Band, m_BmpBack, Band);
        Canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
        Canvas.drawImage(Band, m_BmpFore, Band.translated(0, -nTop));
    }
    Canvas.end();
    m_nComposedTop = nTop;
    update(Changed);
}

void TDlgEnding::paintEvent(QPaintEvent* pEvent)
{
    QPainter Window(this);
    for (const QRect& Rect : pEvent->region())
        Window.drawImage(Rect, m_BmpCanvas, Rect);
}

// The bands of rows of the picture that hold anything but full transparency.
std::vector<TDlgEnding::TRows> TDlgEnding::OpaqueRows(const QImage& Picture)
{
    std::vector<TRows> vecRows;
    for (int y = 0; y < Picture.height(); ++y) {
        const QRgb* pLine = reinterpret_cast<const QRgb*>(Picture.constScanLine(y));
        const bool bEmpty = std::all_of(pLine, pLine + Picture.width(), [](QRgb c) { return qAlpha(c) == 0; });
        if (bEmpty)
            continue;
        if (!vecRows.empty() && vecRows.back().nFirst + vecRows.back().nCount == y)
            ++vecRows.back().nCount;
        else
            vecRows.push_back({y, 1});
    }
    return vecRows;
}

void TDlgEnding::OfferWorldSend(const QUrl& Server, const QByteArray& Replay, const QString& strName)
{
    if (!m_pWorldSend)
        m_pWorldSend = new TWorldSend(this, Server, Replay, strName);
}

void TDlgEnding::keyPressEvent(QKeyEvent* pEvent)
{
    if (m_pWorldSend && m_pWorldSend->TakeKey(*pEvent))
        return;
    Finish();
}

void TDlgEnding::mousePressEvent(QMouseEvent* /*pEvent*/)
{
    Finish();
}

void TDlgEnding::closeEvent(QCloseEvent* /*pEvent*/)
{
    Finish();
}

void TDlgEnding::PadPressed(TGamepad::TButton nButton)
{
    if (m_pWorldSend && m_pWorldSend->TakePad(nButton))
        return;
    Finish();
}

void TDlgEnding::reject()
{
    Finish();
}

// The music is not stopped: it ends with the program.
void TDlgEnding::Finish()
{
    m_bRunning = false;
    m_Timer.stop();
    QCoreApplication::exit(0);
}
