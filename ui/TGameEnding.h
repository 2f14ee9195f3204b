#pragma once
// The end of a game: its score among the best and its replay on the shelf, recorded once when
// the game is over (so that they survive whatever ends the program after) and the replay again
// when the player leaves, with what the game did until then; then the ending screen with the
// game's score line, and the offer to send the game to the world table when one is set. A replay
// played back records nothing.

#include <QDateTime>
#include <QString>

#include <memory>

class QWidget;
class TBestScores;
class TDlgEnding;
class TGameDriver;
class TPadInput;
class TReplayShelf;

class TGameEnding
{
public:
    explicit TGameEnding(TGameDriver& Driver);
    ~TGameEnding();
    TGameEnding(const TGameEnding&) = delete;
    TGameEnding& operator=(const TGameEnding&) = delete;

    // The game is over: its score goes among the best, its replay on the shelf.
    void GameOver();
    // The player leaves (or the session ends): the score, if the game was not over, and the
    // whole replay. Once.
    void Leave();
    // The ending screen's line: the score and the best, or that it is a new best.
    QString ScoreLine() const;
    // The ending screen, modal, with the pad's presses; it ends the program.
    void ShowEnding(QWidget* pOwner, TPadInput& Pad);

private:
    void RecordScore();
    void KeepReplay();
    void OfferWorldSend(TDlgEnding& Ending) const;

    TGameDriver& m_Driver;
    std::unique_ptr<TBestScores> m_pScores;
    std::unique_ptr<TReplayShelf> m_pShelf;
    QDateTime m_When;      // when the game ended, for the table and the replay's name
    bool m_bScoreRecorded = false;
    bool m_bLeft = false;
    bool m_bReplayNotKeptSaid = false;
    int m_nScorePlace = 0;  // the game's place among the best, 0 when not among them
};
