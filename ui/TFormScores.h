#pragma once
// The best scores window (X role drelk2-scores), opened from the start-up window: the ten best
// games (score, level, date), each marked when its replay is kept and whether this game can play
// it, opening on the best. Enter or Watch plays the chosen game's replay, Watch the last game the
// newest replay; the window then closes with RESULT_WATCH and the replay to play. With a world
// table set (server= in the settings), Send to the world table sends the chosen game's replay
// there and the hint line tells the rank. Escape, Close or the pad's Back close it. The table and
// the replays are only read.

#include "core/Replay.h"
#include "input/Gamepad.h"
#include "store/BestScores.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <vector>

class TGameDriver;
class TWorldTable;

namespace Ui {
class TFormScores;
}

class TFormScores : public QDialog
{
    Q_OBJECT

public:
    static constexpr int RESULT_WATCH = 3;

    TFormScores(QWidget* pOwner, const TGameDriver& Driver);
    ~TFormScores() override;

    // The replay chosen, and its file, after RESULT_WATCH.
    std::shared_ptr<const TReplay> GetReplay() const { return m_pReplay; }
    QString GetReplayPath() const { return m_strReplayPath; }
    // The game the list has chosen; null when the list is empty.
    const TBestScores::TEntry* SelectedEntry() const;

public slots:
    void PadPressed(TGamepad::TButton nButton);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private slots:
    void ButtonWatchClick();
    void ButtonWatchLastClick();
    void ButtonSendClick();
    void SelectionChanged();

private:
    // A listed game as the window shows it: its replay's file and, when it cannot be played, why.
    struct TRow
    {
        TBestScores::TEntry Entry;
        QString strReplay;
        QString strWhyNot;
    };
    void Fill();
    void Watch(const QString& strPath);
    // The chosen row, when it has a replay this game can play; else null.
    const TRow* PlayableRow() const;

    std::unique_ptr<Ui::TFormScores> m_pUi;
    const TGameDriver& m_Driver;
    std::vector<TRow> m_vecRows;
    QString m_strLast;
    std::shared_ptr<const TReplay> m_pReplay;
    QString m_strReplayPath;
    // The world table the settings name, made once the window opens; null without one.
    TWorldTable* m_pWorld = nullptr;
    QString m_strWorldName;
    bool m_bSending = false;
};
