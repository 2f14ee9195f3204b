#include "ui/TGameEnding.h"

#include "ui/TDlgEnding.h"
#include "ui/TPadInput.h"
#include "ui/TWorldTable.h"

#include "core/GameDriver.h"
#include "core/Replay.h"
#include "store/BestScores.h"
#include "store/KeptFiles.h"
#include "store/PlayerSettings.h"
#include "store/ReplayShelf.h"

#include <QObject>

TGameEnding::TGameEnding(TGameDriver& Driver)
    : m_Driver(Driver), m_pScores(std::make_unique<TBestScores>()), m_pShelf(std::make_unique<TReplayShelf>())
{
}

TGameEnding::~TGameEnding() = default;

void TGameEnding::GameOver()
{
    if (m_Driver.IsReplaying())
        return;
    RecordScore();
    KeepReplay();
}

void TGameEnding::Leave()
{
    if (m_bLeft || m_Driver.IsReplaying())
        return;
    m_bLeft = true;
    RecordScore();
    KeepReplay();
}

void TGameEnding::RecordScore()
{
    if (m_bScoreRecorded)
        return;
    m_bScoreRecorded = true;
    m_When = QDateTime::currentDateTimeUtc();
    m_nScorePlace = m_pScores->Record(m_Driver.GetScore(), m_Driver.GetLevel(), m_When);
}

void TGameEnding::KeepReplay()
{
    const TReplay Record = m_Driver.GetRecord();
    QString strError;
    if (Record.nTicks > TReplay::MAX_TICKS) {
        strError = "it is longer than a replay can be";
    } else {
        const std::vector<uint8_t> Bytes = TReplayFile::Serialize(Record);
        if (m_pShelf->Keep(m_When, Record.nScore, Record.nLevel,
                           QByteArray(reinterpret_cast<const char*>(Bytes.data()), static_cast<int>(Bytes.size())),
                           m_pScores->GetEntries(), strError))
            return;
    }
    // Once; and not again where the player has been told that nothing is kept.
    if (!m_bReplayNotKeptSaid && m_pScores->IsKept())
        TKeptFiles::SayOnStandardError("the game's replay is not kept: " + strError.toStdString());
    m_bReplayNotKeptSaid = true;
}

QString TGameEnding::ScoreLine() const
{
    const int32_t nScore = m_Driver.GetScore();
    QString strLine = QString("Score %1").arg(nScore);
    if (m_Driver.IsReplaying())
        return "Replay   " + strLine;
    const bool bKept = m_pScores->IsKept();
    if (bKept && m_nScorePlace == 1)
        return strLine + "   New best!";
    if (m_pScores->GetBest() > 0)
        strLine += QString("   Best %1").arg(m_pScores->GetBest());
    // A game that scored has to be kept, and the player told when it was not.
    if (!bKept && nScore > 0)
        strLine += "   not kept";
    return strLine;
}

// A game played here that scored, with a world table set: the screen offers to send it.
void TGameEnding::OfferWorldSend(TDlgEnding& Ending) const
{
    if (m_Driver.IsReplaying() || m_Driver.GetScore() <= 0)
        return;
    const TReplay Record = m_Driver.GetRecord();
    if (Record.nTicks > TReplay::MAX_TICKS)
        return;
    const TPlayerSettings Settings(TPlayerSettings::DefaultFile(), TKeptFiles::SayOnStandardError);
    QString strError;
    const QUrl Server = TWorldTable::ServerOf(Settings, strError);
    if (!strError.isEmpty())
        TKeptFiles::SayOnStandardError(strError.toStdString());
    if (Server.isEmpty())
        return;
    const std::vector<uint8_t> Bytes = TReplayFile::Serialize(Record);
    Ending.OfferWorldSend(Server, QByteArray(reinterpret_cast<const char*>(Bytes.data()), static_cast<int>(Bytes.size())),
                          TWorldTable::NameOf(Settings));
}

void TGameEnding::ShowEnding(QWidget* pOwner, TPadInput& Pad)
{
    TDlgEnding Ending(pOwner, m_Driver.GetBank(), m_Driver.GetSound());
    Ending.SetScoreLine(ScoreLine());
    OfferWorldSend(Ending);
    QObject::connect(&Pad, &TPadInput::Pressed, &Ending, &TDlgEnding::PadPressed);
    // The ending screen ends the program when it finishes.
    Ending.exec();
}
