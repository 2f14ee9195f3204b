#include "ui/TFormControls.h"

#include "ui_TFormControls.h"

#include "ui/TGameStyle.h"
#include "ui/TPadInput.h"
#include "ui/TPadNavigation.h"
#include "ui/WindowNames.h"

#include "store/PlayerSettings.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace {
constexpr int CONTROLS_ROW_HEIGHT = 22;
const TBindings::TSlot COLUMN_SLOTS[] = {TBindings::SLOT_KEY, TBindings::SLOT_OTHER_KEYS, TBindings::SLOT_PAD};

const char* PadMake(TGamepad::TType nType)
{
    switch (nType) {
    case TGamepad::TYPE_XBOX: return "Pad (Xbox)";
    case TGamepad::TYPE_PLAYSTATION: return "Pad (PlayStation)";
    case TGamepad::TYPE_NINTENDO: return "Pad (Nintendo)";
    default: return "Pad";
    }
}
}  // namespace

TFormControls::TFormControls(QWidget* pOwner, TBindings& Bindings, TPlayerSettings& Settings, const TPadInput* pPad)
    : QDialog(pOwner, TGameStyle::WINDOW_FLAGS),
      m_pUi(std::make_unique<Ui::TFormControls>()),
      m_Bindings(Bindings),
      m_Settings(Settings),
      m_pPad(pPad)
{
    m_pUi->setupUi(this);
    TGameStyle::Apply(this, pOwner, WindowNames::ROLE_CONTROLS);
    QTableWidget* pTable = m_pUi->TableKeys;
    pTable->setRowCount(CMD_COUNT);
    pTable->verticalHeader()->setDefaultSectionSize(CONTROLS_ROW_HEIGHT);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    QStringList vecLabels;
    for (const TBindings::TBinding& Binding : m_Bindings.GetBindings())
        vecLabels << Binding.szLabel;
    pTable->setVerticalHeaderLabels(vecLabels);
    pTable->verticalHeader()->setMinimumWidth(110);
    pTable->setFixedHeight(pTable->horizontalHeader()->sizeHint().height() + CMD_COUNT * CONTROLS_ROW_HEIGHT + 2);
    for (int nRow = 0; nRow < CMD_COUNT; ++nRow)
        for (int nColumn = 0; nColumn < pTable->columnCount(); ++nColumn)
            pTable->setItem(nRow, nColumn, new QTableWidgetItem);
    pTable->installEventFilter(this);
    connect(pTable, &QTableWidget::cellClicked, this, &TFormControls::CellClicked);
    connect(m_pUi->ButtonReset, &QPushButton::clicked, this, &TFormControls::ButtonResetClick);
    connect(m_pUi->ButtonClose, &QPushButton::clicked, this, &TFormControls::reject);
    Fill();
    pTable->setCurrentCell(0, 0);
    pTable->setFocus();
    Hint(QString());
}

TFormControls::~TFormControls() = default;

TGamepad::TType TFormControls::PadType() const
{
    return m_pPad ? m_pPad->GetPadType() : TGamepad::TYPE_NONE;
}

void TFormControls::Fill()
{
    QTableWidget* pTable = m_pUi->TableKeys;
    pTable->horizontalHeaderItem(2)->setText(PadMake(PadType()));
    for (int nRow = 0; nRow < CMD_COUNT; ++nRow)
        for (int nColumn = 0; nColumn < pTable->columnCount(); ++nColumn) {
            QTableWidgetItem* pItem = pTable->item(nRow, nColumn);
            pItem->setText(m_Bindings.SlotText(static_cast<TCommand>(nRow), COLUMN_SLOTS[nColumn], PadType()));
        }
}

TCommand TFormControls::CurrentCommand() const
{
    return static_cast<TCommand>(std::max(0, m_pUi->TableKeys->currentRow()));
}

TBindings::TSlot TFormControls::CurrentSlot() const
{
    const int nColumn = m_pUi->TableKeys->currentColumn();
    return nColumn >= 0 && nColumn < 3 ? COLUMN_SLOTS[nColumn] : TBindings::SLOT_KEY;
}

QString TFormControls::GetHint() const
{
    return m_pUi->LabelHint->text();
}

// With nothing to say, what the keys and the pad's buttons do here.
void TFormControls::Hint(const QString& strText, const char* szColour)
{
    QString strShown = strText;
    if (strShown.isEmpty()) {
        const TGamepad::TType nType = PadType();
        strShown = QString("Enter or a click: change    Delete: clear    Escape: close\n"
                           "Pad: %1 change    %2 clear    %3 close")
                       .arg(TGamepad::Label(TGamepad::PAD_FIRE, nType), TGamepad::Label(TGamepad::PAD_WEST, nType),
                            TGamepad::Label(TGamepad::PAD_BACK, nType));
    }
    m_pUi->LabelHint->setText(strShown);
    m_pUi->LabelHint->setStyleSheet(szColour ? QString("color: %1;").arg(szColour) : QString());
}

void TFormControls::Wait()
{
    QTableWidget* pTable = m_pUi->TableKeys;
    m_bWaiting = true;
    QTableWidgetItem* pItem = pTable->currentItem();
    const bool bPad = CurrentSlot() == TBindings::SLOT_PAD;
    pItem->setText(bPad ? "press a button..." : "press a key...");
    TGameStyle::SetWaiting(pTable, true);
    Hint(QString("%1: press a key or a pad button (Escape or %2 cancels)")
             .arg(m_Bindings.Of(CurrentCommand()).szLabel, TGamepad::Label(TGamepad::PAD_BACK, PadType())),
         TGameStyle::CAPTURE_COLOUR);
    // Every key comes to the list, shortcuts and Tab included, until one is taken.
    pTable->grabKeyboard();
}

void TFormControls::StopWaiting()
{
    if (!m_bWaiting)
        return;
    m_bWaiting = false;
    m_pUi->TableKeys->releaseKeyboard();
    TGameStyle::SetWaiting(m_pUi->TableKeys, false);
    Fill();
}

void TFormControls::Take(const TBindings::TInput& Input)
{
    const TCommand nCommand = CurrentCommand();
    TCommand nHad = CMD_COUNT;
    if (Input.bPad)
        m_Bindings.CommandForButton(static_cast<TGamepad::TButton>(Input.nCode), nHad);
    else
        m_Bindings.CommandForKey(Input.nCode, nHad);
    const TBindings Before = m_Bindings;
    QString strWhy;
    const bool bTaken = m_Bindings.Assign(nCommand, CurrentSlot(), Input, strWhy);
    StopWaiting();
    if (!bTaken) {
        Hint(strWhy.left(1).toUpper() + strWhy.mid(1) + ": give it another one first.", TGameStyle::WARNING_COLOUR);
        return;
    }
    Keep(Before);
    const QString strName = Input.bPad ? TGamepad::Label(static_cast<TGamepad::TButton>(Input.nCode), PadType())
                                       : TBindings::KeyName(Input.nCode);
    if (nHad != CMD_COUNT && nHad != nCommand)
        Hint(QString("%1 is %2's now, no longer %3's.")
                 .arg(strName, m_Bindings.Of(nCommand).szLabel, m_Bindings.Of(nHad).szLabel));
    else
        Hint(QString("%1 is %2's.").arg(strName, m_Bindings.Of(nCommand).szLabel));
}

void TFormControls::ClearSlot()
{
    const TBindings Before = m_Bindings;
    QString strWhy;
    if (!m_Bindings.Clear(CurrentCommand(), CurrentSlot(), strWhy)) {
        Hint(strWhy.left(1).toUpper() + strWhy.mid(1) + ": give it another one first.", TGameStyle::WARNING_COLOUR);
        return;
    }
    Keep(Before);
    Fill();
    Hint(QString());
}

void TFormControls::ButtonResetClick()
{
    StopWaiting();
    const TBindings Before = m_Bindings;
    m_Bindings.Reset();
    Keep(Before);
    Fill();
    Hint("Every key and button is back to its default.");
}

void TFormControls::Keep(const TBindings& Before)
{
    for (int i = 0; i < CMD_COUNT; ++i) {
        const auto nCommand = static_cast<TCommand>(i);
        const TBindings::TBinding& Was = Before.Of(nCommand);
        const TBindings::TBinding& Now = m_Bindings.Of(nCommand);
        if (Was.vecKeys == Now.vecKeys && Was.vecButtons == Now.vecButtons)
            continue;
        const QString strKey = QString("keys/") + Now.szName;
        if (m_Bindings.IsDefault(nCommand))
            m_Settings.RemoveValue(strKey);
        else
            m_Settings.SetValue(strKey, m_Bindings.SettingsLine(nCommand));
    }
}

void TFormControls::CellClicked(int /*nRow*/, int /*nColumn*/)
{
    StopWaiting();
    Wait();
}

// While waiting, a key is taken (its repeats and Escape are not) and nothing else sees it.
bool TFormControls::KeyPressWhileWaiting(QKeyEvent* pEvent)
{
    if (pEvent->isAutoRepeat())
        return true;
    const int nKey = pEvent->key();
    if (nKey == Qt::Key_Escape) {
        StopWaiting();
        Hint(QString());
    } else if (nKey != 0 && nKey != Qt::Key_unknown) {
        Take({false, nKey});
    }
    return true;
}

bool TFormControls::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched != m_pUi->TableKeys)
        return QDialog::eventFilter(pWatched, pEvent);
    if (m_bWaiting && pEvent->type() == QEvent::ShortcutOverride) {
        pEvent->accept();
        return true;
    }
    if (pEvent->type() != QEvent::KeyPress)
        return QDialog::eventFilter(pWatched, pEvent);
    auto* pKey = static_cast<QKeyEvent*>(pEvent);
    if (m_bWaiting)
        return KeyPressWhileWaiting(pKey);
    switch (pKey->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A held Enter that was just taken does not ask again.
        if (!pKey->isAutoRepeat())
            Wait();
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Backspace: ClearSlot(); return true;
    default: return QDialog::eventFilter(pWatched, pEvent);
    }
}

void TFormControls::PadPressed(TGamepad::TButton nButton)
{
    if (!m_bWaiting) {
        TPadNavigation::Press(this, nButton);
        return;
    }
    if (m_pPad && m_pPad->IsRepeat())
        return;
    if (nButton == TGamepad::PAD_BACK) {
        StopWaiting();
        Hint(QString());
    } else if (nButton != TGamepad::PAD_OTHER) {
        Take({true, nButton});
    }
}

// Escape while waiting cancels the wait; otherwise it closes the window.
void TFormControls::reject()
{
    if (m_bWaiting) {
        StopWaiting();
        Hint(QString());
        return;
    }
    QDialog::reject();
}
