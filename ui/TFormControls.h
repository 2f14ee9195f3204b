#pragma once
// The controls window (X role drelk2-controls), opened from the start-up window: how to play, and
// every command of the binding table in its order with its key, its other keys and its pad
// buttons (named as the pad plugged in prints them). Enter, a click or the pad's south button
// on a slot waits for the next key or pad button ("press a key..."), which lands there and does
// nothing else; Escape or the pad's Back cancel the wait. A key or button another command had
// moves here, and that row shows it at once; Delete (or the pad's west button) clears the slot;
// Reset puts every default back. A change that would leave leave or pause without a key or a pad
// button is refused and said. Every change is written to the settings file at once, the
// command's line in [keys] (none when it is back to its default).

#include "input/Bindings.h"

#include <QDialog>

#include <memory>

class TPadInput;
class TPlayerSettings;
class QTableWidgetItem;

namespace Ui {
class TFormControls;
}

class TFormControls : public QDialog
{
    Q_OBJECT

public:
    // pPad (may be null) names the pad's buttons and tells a held button's repeats.
    TFormControls(QWidget* pOwner, TBindings& Bindings, TPlayerSettings& Settings, const TPadInput* pPad);
    ~TFormControls() override;

    bool IsWaiting() const { return m_bWaiting; }
    QString GetHint() const;

public slots:
    void PadPressed(TGamepad::TButton nButton);
    void reject() override;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private slots:
    void ButtonResetClick();
    void CellClicked(int nRow, int nColumn);

private:
    void Fill();
    void Wait();
    void StopWaiting();
    void Take(const TBindings::TInput& Input);
    void ClearSlot();
    // Writes the lines of the commands that changed since Before.
    void Keep(const TBindings& Before);
    bool KeyPressWhileWaiting(QKeyEvent* pEvent);
    void Hint(const QString& strText, const char* szColour = nullptr);
    TCommand CurrentCommand() const;
    TBindings::TSlot CurrentSlot() const;
    TGamepad::TType PadType() const;

    std::unique_ptr<Ui::TFormControls> m_pUi;
    TBindings& m_Bindings;
    TPlayerSettings& m_Settings;
    const TPadInput* m_pPad;
    bool m_bWaiting = false;
};
