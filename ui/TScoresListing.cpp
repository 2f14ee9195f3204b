#include "ui/TScoresListing.h"

#include "store/BestScores.h"
#include "store/KeptFiles.h"
#include "store/ReplayShelf.h"

std::string TScoresListing::Text()
{
    const TBestScores Scores(TBestScores::DefaultFolder(), TKeptFiles::SayOnStandardError, TBestScores::ACCESS_SHOW);
    const TReplayShelf Shelf;
    std::string strText = Scores.ToText();
    if (Scores.GetEntries().empty())
        return strText;
    std::string strMarked;
    size_t nLine = 0, nStart = 0;
    for (size_t nEnd; (nEnd = strText.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1, ++nLine) {
        strMarked += strText.substr(nStart, nEnd - nStart);
        if (nLine < Scores.GetEntries().size() && !Shelf.PathOf(Scores.GetEntries()[nLine]).isEmpty())
            strMarked += "  replay";
        strMarked += '\n';
    }
    return strMarked;
}
