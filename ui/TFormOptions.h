#pragma once
// The options window (X role drelk2-options), opened from the start-up window: music on or off,
// the music's and the effects' volume (heard at once through the mixer's groups: the start-up
// music, and a shot for the effects), full screen, the frame cap, the effects' detail and the
// demo on the start-up window. Every choice is kept in the settings file (a volume once it has
// stopped moving for a moment, and when the window closes). Escape, Close or the pad's Back
// close it.

#include "input/Gamepad.h"

#include <QDialog>
#include <QTimer>

#include <memory>

class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
class TPlayerSettings;

namespace Ui {
class TFormOptions;
}

class TFormOptions : public QDialog
{
    Q_OBJECT

public:
    static constexpr int KEEP_VOLUME_MS = 250;

    TFormOptions(QWidget* pOwner, TPlayerSettings& Settings, TFModSoundManager* pSM, TDataBanker* pDB);
    ~TFormOptions() override;

    void done(int nResult) override;

signals:
    // The music was switched on or off.
    void MusicSwitched(bool bOn);

public slots:
    void PadPressed(TGamepad::TButton nButton);

private slots:
    void MusicVolumeChanged(int nPercent);
    void EffectsVolumeChanged(int nPercent);
    void KeepVolumes();

private:
    void Load();

    std::unique_ptr<Ui::TFormOptions> m_pUi;
    TPlayerSettings& m_Settings;
    TFModSoundManager* m_pSM;
    TDataBanker* m_pDB;
    std::unique_ptr<TFModSoundSource> m_pSample;  // a shot, for the effects' volume
    QTimer m_TimerKeep;
};
