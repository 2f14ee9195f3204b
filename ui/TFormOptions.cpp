#include "ui/TFormOptions.h"

#include "ui_TFormOptions.h"

#include "ui/TGameStyle.h"
#include "ui/TPadNavigation.h"
#include "ui/WindowNames.h"

#include "databank/AssetIds.h"
#include "fx/Debris.h"
#include "media/SoundLoader.h"
#include "sound/FModSoundManager.h"
#include "store/PlayerSettings.h"


namespace {
const char KEY_EFFECTS[] = "effects";
}  // namespace

TFormOptions::TFormOptions(QWidget* pOwner, TPlayerSettings& Settings, TFModSoundManager* pSM, TDataBanker* pDB)
    : QDialog(pOwner, TGameStyle::WINDOW_FLAGS),
      m_pUi(std::make_unique<Ui::TFormOptions>()),
      m_Settings(Settings),
      m_pSM(pSM),
      m_pDB(pDB)
{
    m_pUi->setupUi(this);
    TGameStyle::Apply(this, pOwner, WindowNames::ROLE_OPTIONS);
    m_TimerKeep.setSingleShot(true);
    m_TimerKeep.setInterval(KEEP_VOLUME_MS);
    connect(&m_TimerKeep, &QTimer::timeout, this, &TFormOptions::KeepVolumes);
    Load();
    connect(m_pUi->CheckMusic, &QCheckBox::toggled, this, [this](bool bOn) {
        m_Settings.SetMusicOn(bOn);
        emit MusicSwitched(bOn);
    });
    connect(m_pUi->SliderMusicVolume, &QSlider::valueChanged, this, &TFormOptions::MusicVolumeChanged);
    connect(m_pUi->SliderEffectsVolume, &QSlider::valueChanged, this, &TFormOptions::EffectsVolumeChanged);
    connect(m_pUi->CheckFullScreen, &QCheckBox::toggled, this, [this](bool bOn) { m_Settings.SetFullScreen(bOn); });
    connect(m_pUi->ComboFrameCap, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int nIndex) { m_Settings.SetMaxFps(m_pUi->ComboFrameCap->itemData(nIndex).toInt()); });
    connect(m_pUi->ComboEffects, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int nIndex) {
        m_Settings.SetValue(KEY_EFFECTS, TFxDebris::NameOf(static_cast<TEffectsDetail>(nIndex)));
    });
    connect(m_pUi->CheckAttract, &QCheckBox::toggled, this, [this](bool bOn) { m_Settings.SetAttractOn(bOn); });
    connect(m_pUi->ButtonClose, &QPushButton::clicked, this, &TFormOptions::reject);
    m_pUi->CheckMusic->setFocus();
}

TFormOptions::~TFormOptions() = default;

// The choices as the settings hold them; a frame cap of the player's own that the list does not
// offer is shown as it is.
void TFormOptions::Load()
{
    m_pUi->CheckMusic->setChecked(m_Settings.IsMusicOn());
    m_pUi->SliderMusicVolume->setValue(m_Settings.GetMusicVolume());
    m_pUi->SliderEffectsVolume->setValue(m_Settings.GetEffectsVolume());
    m_pUi->LabelMusicPercent->setText(QString("%1 %").arg(m_Settings.GetMusicVolume()));
    m_pUi->LabelEffectsPercent->setText(QString("%1 %").arg(m_Settings.GetEffectsVolume()));
    m_pUi->CheckFullScreen->setChecked(m_Settings.IsFullScreen());
    QComboBox* pCaps = m_pUi->ComboFrameCap;
    for (int nCap : TPlayerSettings::FRAME_CAPS)
        pCaps->addItem(nCap == 0 ? QString("the screen's rate") : QString("%1 frames a second").arg(nCap), nCap);
    bool bNumber = false;
    const int nCap = m_Settings.GetMaxFps().trimmed().toInt(&bNumber);
    const int nIndex = bNumber ? pCaps->findData(nCap) : 0;
    if (nIndex >= 0) {
        pCaps->setCurrentIndex(nIndex);
    } else {
        pCaps->addItem(QString("%1 frames a second").arg(nCap), nCap);
        pCaps->setCurrentIndex(pCaps->count() - 1);
    }
    // The game window reads the word (and names one it cannot use); the list shows the default then.
    for (TEffectsDetail n : {TEffectsDetail::LOW, TEffectsDetail::NORMAL, TEffectsDetail::HIGH})
        m_pUi->ComboEffects->addItem(TFxDebris::NameOf(n));
    TEffectsDetail nDetail = TFxDebris::DEFAULT_DETAIL;
    TFxDebris::ParseDetail(m_Settings.GetValue(KEY_EFFECTS).trimmed().toStdString(), nDetail);
    m_pUi->ComboEffects->setCurrentIndex(static_cast<int>(nDetail));
    m_pUi->CheckAttract->setChecked(m_Settings.IsAttractOn());
}

void TFormOptions::MusicVolumeChanged(int nPercent)
{
    m_pUi->LabelMusicPercent->setText(QString("%1 %").arg(nPercent));
    m_pSM->SetGroupVolume(SOUND_MUSIC, static_cast<float>(nPercent) / 100.0f);
    m_TimerKeep.start();
}

// A shot at the new volume, so that the player hears it.
void TFormOptions::EffectsVolumeChanged(int nPercent)
{
    m_pUi->LabelEffectsPercent->setText(QString("%1 %").arg(nPercent));
    m_pSM->SetGroupVolume(SOUND_EFFECTS, static_cast<float>(nPercent) / 100.0f);
    if (!m_pSample)
        m_pSample.reset(TSoundLoader::CreateSource(m_pSM, m_pDB, ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, false));
    m_pSample->Play();
    m_pSample->SetPlaying(true);
    m_TimerKeep.start();
}

void TFormOptions::KeepVolumes()
{
    m_TimerKeep.stop();
    if (m_pUi->SliderMusicVolume->value() != m_Settings.GetMusicVolume())
        m_Settings.SetMusicVolume(m_pUi->SliderMusicVolume->value());
    if (m_pUi->SliderEffectsVolume->value() != m_Settings.GetEffectsVolume())
        m_Settings.SetEffectsVolume(m_pUi->SliderEffectsVolume->value());
}

void TFormOptions::done(int nResult)
{
    KeepVolumes();
    QDialog::done(nResult);
}

void TFormOptions::PadPressed(TGamepad::TButton nButton)
{
    TPadNavigation::Press(this, nButton);
}
