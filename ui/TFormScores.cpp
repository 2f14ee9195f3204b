#include "ui/TFormScores.h"

#include "ui_TFormScores.h"

#include "ui/TGameStyle.h"
#include "ui/TPadNavigation.h"
#include "ui/TReplayPicker.h"
#include "ui/TWorldTable.h"
#include "ui/WindowNames.h"

#include "core/Replay.h"
#include "store/PlayerSettings.h"
#include "store/ReplayShelf.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace {
constexpr int SCORES_ROW_HEIGHT = 20;
enum { COLUMN_PLACE, COLUMN_SCORE, COLUMN_LEVEL, COLUMN_DATE, COLUMN_REPLAY };

QTableWidgetItem* Cell(const QString& strText, Qt::Alignment nAlign = Qt::AlignRight | Qt::AlignVCenter)
{
    auto* pItem = new QTableWidgetItem(strText);
    pItem->setTextAlignment(static_cast<int>(nAlign));
    return pItem;
}
}  // namespace

TFormScores::TFormScores(QWidget* pOwner, const TGameDriver& Driver)
    : QDialog(pOwner, TGameStyle::WINDOW_FLAGS),
      m_pUi(std::make_unique<Ui::TFormScores>()),
      m_Driver(Driver)
{
    m_pUi->setupUi(this);
    TGameStyle::Apply(this, pOwner, WindowNames::ROLE_SCORES);
    QTableWidget* pTable = m_pUi->TableScores;
    pTable->verticalHeader()->setDefaultSectionSize(SCORES_ROW_HEIGHT);
    pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    pTable->horizontalHeader()->setStretchLastSection(true);
    const int vWidths[] = {30, 80, 56, 140};
    for (int i = 0; i < 4; ++i)
        pTable->setColumnWidth(i, vWidths[i]);
    pTable->setFixedHeight(pTable->horizontalHeader()->sizeHint().height() + TBestScores::MAX_ENTRIES * SCORES_ROW_HEIGHT + 2);
    pTable->installEventFilter(this);
    connect(pTable, &QTableWidget::itemSelectionChanged, this, &TFormScores::SelectionChanged);
    connect(pTable, &QTableWidget::itemDoubleClicked, this, &TFormScores::ButtonWatchClick);
    connect(m_pUi->ButtonWatch, &QPushButton::clicked, this, &TFormScores::ButtonWatchClick);
    connect(m_pUi->ButtonWatchLast, &QPushButton::clicked, this, &TFormScores::ButtonWatchLastClick);
    connect(m_pUi->ButtonClose, &QPushButton::clicked, this, &TFormScores::reject);
    connect(m_pUi->ButtonSend, &QPushButton::clicked, this, &TFormScores::ButtonSendClick);
    const TPlayerSettings Settings(TPlayerSettings::DefaultFile(), TKeptFiles::SayOnStandardError);
    QString strError;
    const QUrl Server = TWorldTable::ServerOf(Settings, strError);
    if (!strError.isEmpty())
        TKeptFiles::SayOnStandardError(strError.toStdString());
    if (!Server.isEmpty()) {
        m_pWorld = new TWorldTable(Server, this);
        m_strWorldName = TWorldTable::NameOf(Settings);
    }
    m_pUi->ButtonSend->setVisible(m_pWorld != nullptr);
    Fill();
}

TFormScores::~TFormScores() = default;

// The table and the replays as they are now; the list chooses the best game.
void TFormScores::Fill()
{
    const TBestScores Scores(TBestScores::DefaultFolder(), TKeptFiles::SayOnStandardError, TBestScores::ACCESS_SHOW);
    const TReplayShelf Shelf;
    QTableWidget* pTable = m_pUi->TableScores;
    m_vecRows.clear();
    for (const TBestScores::TEntry& Entry : Scores.GetEntries()) {
        TRow Row{Entry, Shelf.PathOf(Entry), QString()};
        if (!Row.strReplay.isEmpty())
            TReplayPicker::Load(Row.strReplay, m_Driver, Row.strWhyNot);
        m_vecRows.push_back(Row);
    }
    pTable->setRowCount(static_cast<int>(m_vecRows.size()));
    for (int i = 0; i < pTable->rowCount(); ++i) {
        const TRow& Row = m_vecRows[static_cast<size_t>(i)];
        pTable->setItem(i, COLUMN_PLACE, Cell(QString::number(i + 1)));
        pTable->setItem(i, COLUMN_SCORE, Cell(QString::number(Row.Entry.nScore)));
        pTable->setItem(i, COLUMN_LEVEL, Cell(QString::number(Row.Entry.nLevel)));
        pTable->setItem(i, COLUMN_DATE, Cell(Row.Entry.When.toLocalTime().toString("yyyy-MM-dd hh:mm"),
                                             Qt::AlignLeft | Qt::AlignVCenter));
        const QString strReplay = Row.strReplay.isEmpty() ? QString() : Row.strWhyNot.isEmpty() ? "replay" : Row.strWhyNot;
        pTable->setItem(i, COLUMN_REPLAY, Cell(strReplay, Qt::AlignLeft | Qt::AlignVCenter));
    }
    m_strLast = Shelf.Last();
    m_pUi->ButtonWatchLast->setEnabled(!m_strLast.isEmpty());
    if (!m_vecRows.empty())
        pTable->selectRow(0);
    SelectionChanged();
    pTable->setFocus();
}

const TBestScores::TEntry* TFormScores::SelectedEntry() const
{
    const int nRow = m_pUi->TableScores->currentRow();
    if (nRow < 0 || nRow >= static_cast<int>(m_vecRows.size()))
        return nullptr;
    return &m_vecRows[static_cast<size_t>(nRow)].Entry;
}

const TFormScores::TRow* TFormScores::PlayableRow() const
{
    const int nRow = m_pUi->TableScores->currentRow();
    if (nRow < 0 || nRow >= static_cast<int>(m_vecRows.size()))
        return nullptr;
    const TRow& Row = m_vecRows[static_cast<size_t>(nRow)];
    return !Row.strReplay.isEmpty() && Row.strWhyNot.isEmpty() ? &Row : nullptr;
}

void TFormScores::SelectionChanged()
{
    const int nRow = m_pUi->TableScores->currentRow();
    QString strHint;
    bool bWatch = false;
    if (m_vecRows.empty()) {
        strHint = "No best scores yet: play a game!";
    } else if (nRow >= 0 && nRow < static_cast<int>(m_vecRows.size())) {
        const TRow& Row = m_vecRows[static_cast<size_t>(nRow)];
        bWatch = !Row.strReplay.isEmpty() && Row.strWhyNot.isEmpty();
        if (Row.strReplay.isEmpty())
            strHint = "This game's replay is not kept.";
        else if (!bWatch)
            strHint = "This game's replay cannot be played here: " + Row.strWhyNot + ".";
        else
            strHint = "Enter or Watch plays this game again.";
    }
    m_pUi->ButtonWatch->setEnabled(bWatch);
    m_pUi->ButtonSend->setEnabled(bWatch && !m_bSending);
    m_pUi->LabelHint->setText(strHint);
}

// The replay is read again and checked before it goes: the server plays it whole, so a file that
// changed since the list was made is not worth its time.
void TFormScores::ButtonSendClick()
{
    const TRow* pRow = PlayableRow();
    if (!m_pWorld || !pRow || m_bSending)
        return;
    QString strWhy;
    const std::shared_ptr<const TReplay> pReplay = TReplayPicker::Load(pRow->strReplay, m_Driver, strWhy);
    if (!pReplay) {
        m_pUi->LabelHint->setText("That replay cannot be sent: " + strWhy + ".");
        return;
    }
    const std::vector<uint8_t> Bytes = TReplayFile::Serialize(*pReplay);
    m_bSending = true;
    m_pUi->ButtonSend->setEnabled(false);
    m_pUi->LabelHint->setText("Sending to " + m_pWorld->GetServer().host() + "...");
    m_pWorld->Submit(QByteArray(reinterpret_cast<const char*>(Bytes.data()), static_cast<int>(Bytes.size())),
                     m_strWorldName, [this](const TWorldTable::TSubmitted& Result) {
                         m_bSending = false;
                         SelectionChanged();
                         m_pUi->LabelHint->setText(
                             Result.bOk ? QString("World table: rank %1, score %2").arg(Result.nRank).arg(Result.nScore)
                                        : "Not sent: " + Result.strError);
                     });
}

void TFormScores::ButtonWatchClick()
{
    const int nRow = m_pUi->TableScores->currentRow();
    if (nRow >= 0 && nRow < static_cast<int>(m_vecRows.size()) && m_pUi->ButtonWatch->isEnabled())
        Watch(m_vecRows[static_cast<size_t>(nRow)].strReplay);
}

void TFormScores::ButtonWatchLastClick()
{
    if (!m_strLast.isEmpty())
        Watch(m_strLast);
}

// Read again when chosen: the file may have changed since the list was made.
void TFormScores::Watch(const QString& strPath)
{
    QString strWhy;
    m_pReplay = TReplayPicker::Load(strPath, m_Driver, strWhy);
    if (!m_pReplay) {
        m_pUi->LabelHint->setText("That replay cannot be played here: " + strWhy + ".");
        return;
    }
    m_strReplayPath = strPath;
    done(RESULT_WATCH);
}

bool TFormScores::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pUi->TableScores && pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (nKey == Qt::Key_Return || nKey == Qt::Key_Enter) {
            ButtonWatchClick();
            return true;
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

void TFormScores::PadPressed(TGamepad::TButton nButton)
{
    TPadNavigation::Press(this, nButton);
}
