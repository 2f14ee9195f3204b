#include "ui/TReplayPicker.h"

#include "core/GameDriver.h"
#include "core/Rules.h"
#include "databank/DataBanker.h"
#include "store/BestScores.h"
#include "store/ReplayShelf.h"

#include <QFileInfo>

const char* const TReplayPicker::DEMO_FILE = DRELK_DEMO_FILE;

std::shared_ptr<const TReplay> TReplayPicker::Load(const QString& strPath, const TGameDriver& Driver, QString& strWhy,
                                                   QString* pDetail)
{
    auto pReplay = std::make_shared<TReplay>();
    std::string strError;
    if (!TReplayFile::Load(QFile::encodeName(strPath).toStdString(), *pReplay, strError)) {
        strWhy = "damaged";
    } else if (pReplay->nRulesVersion != TRules::VERSION) {
        strWhy = "other rules";
        strError = TReplayFile::WhyNotPlayable(*pReplay, TRules::VERSION, Driver.GetRulesData().ToBytes());
    } else if ((strError = TReplayFile::WhyNotPlayable(*pReplay, TRules::VERSION, Driver.GetRulesData().ToBytes())).empty()) {
        return pReplay;
    } else {
        strWhy = "other data file";
    }
    if (pDetail)
        *pDetail = QString::fromStdString(strError);
    return nullptr;
}

QString TReplayPicker::ShippedDemo(const TGameDriver& Driver)
{
    return QFileInfo(QString::fromStdString(Driver.GetBank()->GetDataFile())).absolutePath() + '/' + DEMO_FILE;
}

std::shared_ptr<const TReplay> TReplayPicker::Demo(const TGameDriver& Driver, QString& strPath)
{
    // Only read: a demo leaves the player's files as they are.
    const TBestScores Scores(TBestScores::DefaultFolder(), TKeptFiles::SayOnStandardError, TBestScores::ACCESS_SHOW);
    const TReplayShelf Shelf;
    QString strWhy;
    for (const TBestScores::TEntry& Entry : Scores.GetEntries()) {
        const QString strKept = Shelf.PathOf(Entry);
        if (strKept.isEmpty())
            continue;
        if (auto pReplay = Load(strKept, Driver, strWhy)) {
            strPath = strKept;
            return pReplay;
        }
    }
    strPath = ShippedDemo(Driver);
    return QFileInfo(strPath).isFile() ? Load(strPath, Driver, strWhy) : nullptr;
}
