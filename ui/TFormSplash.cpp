#include "ui/TFormSplash.h"

#include "ui_TFormSplash.h"

#include "ui/TFormControls.h"
#include "ui/TFormOptions.h"
#include "ui/TFormScores.h"
#include "ui/TPadInput.h"
#include "ui/TPadNavigation.h"
#include "ui/TReplayPicker.h"
#include "ui/WindowNames.h"

#include "base/Assert.h"
#include "databank/DataBanker.h"
#include "media/SoundLoader.h"
#include "sound/FModSoundManager.h"
#include "store/PlayerSettings.h"
#include "store/ReplayShelf.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>

// The picture is compiled into the layout's library; a static library must ask for it.
static void LoadSplashResource()
{
    Q_INIT_RESOURCE(splash);
}

TFormSplash::TFormSplash(QWidget* pOwner, TDataBanker* pDB, TFModSoundManager* pSM)
    : QDialog(pOwner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_pUi(std::make_unique<Ui::TFormSplash>()),
      m_pDB(pDB),
      m_pSM(pSM)
{
    LoadSplashResource();
    m_pUi->setupUi(this);
    setWindowTitle(WindowNames::TITLE);
    setWindowRole(WindowNames::ROLE_STARTUP);
    connect(m_pUi->ButtonStart, &QPushButton::clicked, this, &TFormSplash::ButtonStartClick);
    connect(m_pUi->ButtonExit, &QPushButton::clicked, this, &TFormSplash::ButtonExitClick);
    connect(m_pUi->ComboBoxResolution, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TFormSplash::ComboBoxResolutionChange);
    connect(m_pUi->ButtonScores, &QPushButton::clicked, this, &TFormSplash::ButtonScoresClick);
    connect(m_pUi->ButtonWatchLast, &QPushButton::clicked, this, &TFormSplash::ButtonWatchLastClick);
    connect(m_pUi->ButtonControls, &QPushButton::clicked, this, &TFormSplash::ButtonControlsClick);
    connect(m_pUi->ButtonOptions, &QPushButton::clicked, this, &TFormSplash::ButtonOptionsClick);
    for (QPushButton* pButton : {m_pUi->ButtonScores, m_pUi->ButtonWatchLast, m_pUi->ButtonControls, m_pUi->ButtonOptions})
        pButton->setEnabled(false);
    m_TimerIdle.setSingleShot(true);
    m_TimerIdle.setInterval(AttractSeconds() * 1000);
    connect(&m_TimerIdle, &QTimer::timeout, this, &TFormSplash::IdleTimeout);
    CenterOnScreen();
}

TFormSplash::~TFormSplash() = default;

void TFormSplash::DataOpened(TDataBanker* pDB, TFModSoundManager* pSM)
{
    DRELK_ASSERT(pDB);
    DRELK_ASSERT(pSM);
    m_pDB = pDB;
    m_pSM = pSM;
    if (m_bDrawn)
        StartMusic();
}

void TFormSplash::SetPlayer(const TPlayer& Player)
{
    DRELK_ASSERT(Player.pDriver && Player.pSettings && Player.pBindings);
    m_Player = Player;
    m_pUi->ButtonScores->setEnabled(true);
    m_pUi->ButtonControls->setEnabled(true);
    m_pUi->ButtonOptions->setEnabled(true);
    CheckLastGame();
}

int TFormSplash::AttractSeconds()
{
    const char* szSeconds = std::getenv("DRELK2_ATTRACT_SECONDS");
    const int nSeconds = szSeconds ? std::atoi(szSeconds) : 0;
    return nSeconds > 0 && nSeconds <= 3600 ? nSeconds : ATTRACT_SECONDS;
}

void TFormSplash::CenterOnScreen()
{
    const QRect Screen = QGuiApplication::primaryScreen()->geometry();
    move(Screen.x() + (Screen.width() - width()) / 2, Screen.y() + (Screen.height() - height()) / 2);
}

bool TFormSplash::IsMusicOn() const
{
    return !m_Player.pSettings || m_Player.pSettings->IsMusicOn();
}

// Shown again after a replay or the demo: as it was, the keyboard where it was, and the music
// from its start (the game's music had the player's ear meanwhile).
void TFormSplash::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    if (m_pSnd) {
        if (m_bShownBefore)
            m_pSnd->Play();
        if (IsMusicOn())
            m_pSnd->SetPlaying(true);
    }
    if (m_pLastFocus)
        m_pLastFocus->setFocus();
    else
        m_pUi->ButtonStart->setFocus();
    m_bShownBefore = true;
    qApp->installEventFilter(this);
    m_TimerIdle.start();
}

void TFormSplash::hideEvent(QHideEvent* pEvent)
{
    m_TimerIdle.stop();
    qApp->removeEventFilter(this);
    m_pLastFocus = focusWidget();
    if (m_pSnd)
        m_pSnd->SetPlaying(false);
    QDialog::hideEvent(pEvent);
}

void TFormSplash::paintEvent(QPaintEvent* pEvent)
{
    QDialog::paintEvent(pEvent);
    if (!m_bDrawn) {
        m_bDrawn = true;
        emit Drawn();
        // Decoding the music and waiting for the audio device come after the first picture.
        QTimer::singleShot(0, this, &TFormSplash::StartMusic);
    }
}

// Without its music the window is simply silent.
void TFormSplash::StartMusic()
{
    if (m_pSnd || !m_pDB)
        return;
    m_pSnd.reset(TSoundLoader::CreateSource(m_pSM, m_pDB, ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH, false));
    DRELK_ASSERT(m_pSnd);
    if (isVisible() && IsMusicOn())
        m_pSnd->SetPlaying(true);
}

void TFormSplash::SetMusicOn(bool bOn)
{
    if (m_pSnd)
        m_pSnd->SetPlaying(bOn && isVisible());
}

void TFormSplash::CheckLastGame()
{
    if (!m_Player.pDriver)
        return;
    QString strWhy;
    const QString strLast = TReplayShelf().Last();
    const bool bPlays = !strLast.isEmpty() && TReplayPicker::Load(strLast, *m_Player.pDriver, strWhy);
    m_strLast = bPlays ? strLast : QString();
    m_pUi->ButtonWatchLast->setEnabled(bPlays);
    m_pUi->ButtonWatchLast->setToolTip(strLast.isEmpty() ? "No game has been recorded yet."
                                       : bPlays      ? "Plays the last game again, as it was played."
                                                     : "The last game cannot be played here: " + strWhy + ".");
}

// Anything the player does here puts the demo off.
bool TFormSplash::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        Touched();
        break;
    default: break;
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

void TFormSplash::Touched()
{
    if (!m_pOpen && isVisible())
        m_TimerIdle.start();
}

void TFormSplash::IdleTimeout()
{
    // Not while the player is in a window opened from here, nor at another program's window.
    if (m_pOpen || !isVisible())
        return;
    if (!isActiveWindow()) {
        m_TimerIdle.start();
        return;
    }
    emit Idle();
}

void TFormSplash::StartDemo()
{
    done(RESULT_DEMO);
}

void TFormSplash::reject()
{
    done(RESULT_CANCEL);
}

void TFormSplash::PadPressed(TGamepad::TButton nButton)
{
    // Hidden, while a replay or the demo plays, the presses are the game window's.
    if (!isVisible())
        return;
    Touched();
    if (auto* pScores = qobject_cast<TFormScores*>(m_pOpen))
        return pScores->PadPressed(nButton);
    if (auto* pControls = qobject_cast<TFormControls*>(m_pOpen))
        return pControls->PadPressed(nButton);
    if (auto* pOptions = qobject_cast<TFormOptions*>(m_pOpen))
        return pOptions->PadPressed(nButton);
    if (nButton == TGamepad::PAD_START)
        ButtonStartClick();
    else if (nButton == TGamepad::PAD_BACK)
        ButtonExitClick();
    else
        TPadNavigation::Press(this, nButton);
}

void TFormSplash::ButtonStartClick()
{
    done(RESULT_OK);
}

void TFormSplash::ButtonExitClick()
{
    done(RESULT_CANCEL);
}

void TFormSplash::ComboBoxResolutionChange(int nIndex)
{
    switch (nIndex) {
    case 1: m_Resolution = {1024, 768}; break;
    case 2: m_Resolution = {1280, 1024}; break;
    default: m_Resolution = {800, 600}; break;
    }
}

int TFormSplash::OpenWindow(QDialog& Window)
{
    m_TimerIdle.stop();
    m_pOpen = &Window;
    const int nResult = Window.exec();
    m_pOpen = nullptr;
    activateWindow();
    Touched();
    return nResult;
}

void TFormSplash::ButtonScoresClick()
{
    if (!m_Player.pDriver)
        return;
    TFormScores Scores(this, *m_Player.pDriver);
    if (OpenWindow(Scores) == TFormScores::RESULT_WATCH)
        Watch(Scores.GetReplay(), Scores.GetReplayPath());
}

void TFormSplash::ButtonWatchLastClick()
{
    if (!m_Player.pDriver || m_strLast.isEmpty())
        return;
    QString strWhy;
    if (auto pReplay = TReplayPicker::Load(m_strLast, *m_Player.pDriver, strWhy))
        Watch(pReplay, m_strLast);
    else
        CheckLastGame();
}

void TFormSplash::ButtonControlsClick()
{
    if (!m_Player.pBindings)
        return;
    TFormControls Controls(this, *m_Player.pBindings, *m_Player.pSettings, m_Player.pPad);
    OpenWindow(Controls);
}

void TFormSplash::ButtonOptionsClick()
{
    if (!m_Player.pSettings)
        return;
    TFormOptions Options(this, *m_Player.pSettings, m_pSM, m_pDB);
    connect(&Options, &TFormOptions::MusicSwitched, this, &TFormSplash::SetMusicOn);
    OpenWindow(Options);
}

void TFormSplash::Watch(std::shared_ptr<const TReplay> pReplay, const QString& strPath)
{
    m_pReplay = std::move(pReplay);
    m_strReplayPath = strPath;
    done(RESULT_WATCH);
}
