#pragma once
// The one table of what the player's keys and gamepad buttons do: each command with its keys
// (Qt's key codes) and its pad buttons. The game window turns input into commands through it;
// the status line, the --help text, the controls window and (checked by a test) the manual page
// and the test scripts' key list all come from it.
//
// The player may change it in the controls window or in the settings file, one line a command
// in the [keys] group:
//     fire=Space, Ctrl          thrust=Up, W, Pad Up          music=None, Pad Y
// Keys by Qt's names (Left, Space, F11, A...), pad buttons as Pad Left, Pad Right, Pad Up, Pad
// Down, Pad A, Pad B, Pad X, Pad Y, Pad LB, Pad RB, Pad Start, Pad Back; None for no key and Pad
// None for no button. The keys a line names replace the command's keys, the buttons its
// buttons. A line that names something unknown, a key another command has, or that would leave
// leave or pause without a key or a pad button, is named on standard error and the command
// keeps its default; so is a line for a command that does not exist.
//
// Two rules hold for every change, in the window as in the file. A key or button belongs to one
// command: given to another, it moves there. And the player cannot lock themselves out: leave
// and pause always keep a key and a pad button (the start-up window's Start is Alt+S, Enter and
// the south button, which the table does not hold).

#include "core/Commands.h"
#include "input/Gamepad.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class TBindings
{
public:
    struct TBinding
    {
        TCommand nCommand;
        const char* szName;   // in the settings file: keys/<name>
        const char* szLabel;  // in the controls window
        const char* szDoes;   // for --help and the manual
        std::vector<int> vecKeys;                  // Qt::Key codes
        std::vector<TGamepad::TButton> vecButtons;
    };
    // One key or one pad button.
    struct TInput
    {
        bool bPad = false;
        int nCode = 0;  // a Qt::Key, or a TGamepad::TButton
        bool operator==(const TInput& Other) const { return bPad == Other.bPad && nCode == Other.nCode; }
        bool operator<(const TInput& Other) const
        {
            return bPad != Other.bPad ? bPad < Other.bPad : nCode < Other.nCode;
        }
    };
    // What a change in the controls window is about: a command's first key, the rest of its
    // keys, or its pad buttons.
    enum TSlot { SLOT_KEY, SLOT_OTHER_KEYS, SLOT_PAD, SLOT_COUNT };
    using TSay = std::function<void(const std::string&)>;
    using TGetValue = std::function<QString(const QString& strKey)>;

    // The defaults.
    TBindings();

    // The player's own from the settings (GetValue("keys/fire"), empty when not set); each one
    // that cannot be used is named through pSay and the default kept. vecLines names the lines
    // the [keys] group holds, so that one for a command that does not exist is named too.
    void ApplySettings(const TGetValue& GetValue, const TSay& pSay, const QStringList& vecLines = {});

    const std::vector<TBinding>& GetBindings() const { return m_vecBindings; }
    const TBinding& Of(TCommand nCommand) const;
    // The command of a key (without modifiers) or a pad button; false when it has none.
    bool CommandForKey(int nKey, TCommand& nCommand) const;
    bool CommandForButton(TGamepad::TButton nButton, TCommand& nCommand) const;

    // Gives a command a key or a button, in a slot: a key replaces the first key (the pad's slot
    // counts as the first key's) or all the others; a button replaces the pad buttons. A
    // command that had it loses it. False, with why for the player, when the change would lock
    // them out or the key is none; nothing changes then.
    bool Assign(TCommand nCommand, TSlot nSlot, const TInput& Input, QString& strWhy);
    // Empties a slot (the first key's: the next key becomes the first). False, with why, when it
    // would lock the player out.
    bool Clear(TCommand nCommand, TSlot nSlot, QString& strWhy);
    // Every command back to its defaults.
    void Reset();
    bool IsDefault(TCommand nCommand) const;
    // The command's line as the settings file holds it: "Ctrl, Space, Pad A", "None, Pad Y".
    QString SettingsLine(TCommand nCommand) const;
    // What a slot holds, for the controls window (empty when nothing).
    QString SlotText(TCommand nCommand, TSlot nSlot, TGamepad::TType nPadType) const;

    // The game window's status line: "ESC/Q=exit    LEFT/RIGHT=rotate    ..." with these keys.
    QString StatusLine() const;
    // While a replay plays: what pauses it, speeds it up and leaves it.
    QString ReplayStatusLine() const;
    // The keys section of --help: one line a command, its keys and what it does.
    std::string HelpText() const;

    // A key or a pad button as the settings file names it ("Left", "Space", "Pad A").
    static QString KeyName(int nKey);
    static QString ButtonName(TGamepad::TButton nButton);

private:
    // The keys and buttons a settings line names; false with what is wrong.
    static bool Parse(const QString& strValue, TBinding& Binding, QString& strError);
    static QString Join(const TBinding& Binding);
    // Why the table would lock the player out; empty when it would not.
    static QString LockOut(const std::vector<TBinding>& vecBindings);
    QString StatusKeys(TCommand nCommand) const;

    std::vector<TBinding> m_vecBindings;  // in TCommand order
};
