#include "ui/TFormSplash.h"

#include "ui_TFormSplash.h"

#include "ui/WindowNames.h"

#include "base/Assert.h"
#include "databank/DataBanker.h"
#include "media/SoundLoader.h"
#include "sound/FModSoundManager.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

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

void TFormSplash::CenterOnScreen()
{
    const QRect Screen = QGuiApplication::primaryScreen()->geometry();
    move(Screen.x() + (Screen.width() - width()) / 2, Screen.y() + (Screen.height() - height()) / 2);
}

void TFormSplash::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    if (m_pSnd)
        m_pSnd->SetPlaying(true);
    m_pUi->ButtonStart->setFocus();
}

void TFormSplash::hideEvent(QHideEvent* pEvent)
{
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
        // Decoding the music, and waiting for the audio device, come after the first picture.
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
    if (isVisible())
        m_pSnd->SetPlaying(true);
}

void TFormSplash::reject()
{
    done(RESULT_CANCEL);
}

void TFormSplash::PadPressed(TGamepad::TButton nButton)
{
    if (nButton == TGamepad::PAD_FIRE)
        ButtonStartClick();
    else if (nButton == TGamepad::PAD_BACK)
        ButtonExitClick();
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
