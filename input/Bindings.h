#pragma once
// The one table of what the player's keys and gamepad buttons do: each command with its keys
// (Qt's key codes) and its pad buttons. The game window turns input into commands through it;
// the status line, the --help text and (checked by a test) the manual page and the test
// scripts' key list all come from it.
//
// The player may change it in the settings file, one line a command in the [keys] group:
//     fire=Space, Ctrl          thrust=Up, W, Pad Up
// Keys by Qt's names (Left, Space, F11, A...), pad buttons as Pad Left, Pad Right, Pad Up, Pad A,
// Pad Start, Pad Back; the keys a line names replace the command's keys, the buttons its
// buttons. A command's line that names something unknown, or a key another command has, is
// named on standard error and the command keeps its default.

#include "core/Commands.h"
#include "input/Gamepad.h"

#include <QString>

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
        const char* szDoes;   // for --help and the manual
        std::vector<int> vecKeys;                  // Qt::Key codes
        std::vector<TGamepad::TButton> vecButtons;
    };
    using TSay = std::function<void(const std::string&)>;
    using TGetValue = std::function<QString(const QString& strKey)>;

    // The defaults.
    TBindings();

    // The player's own from the settings (GetValue("keys/fire"), empty when not set); each one
    // that cannot be used is named through pSay and the default kept.
    void ApplySettings(const TGetValue& GetValue, const TSay& pSay);

    const std::vector<TBinding>& GetBindings() const { return m_vecBindings; }
    const TBinding& Of(TCommand nCommand) const;
    // The command of a key (without modifiers) or a pad button; false when it has none.
    bool CommandForKey(int nKey, TCommand& nCommand) const;
    bool CommandForButton(TGamepad::TButton nButton, TCommand& nCommand) const;

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
    QString StatusKeys(TCommand nCommand) const;

    std::vector<TBinding> m_vecBindings;  // in TCommand order
};
