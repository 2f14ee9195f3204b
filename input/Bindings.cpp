#include "input/Bindings.h"

#include "base/Assert.h"

#include <QKeySequence>
#include <QStringList>

#include <algorithm>
#include <map>
#include <utility>

namespace {
const char* const BUTTON_NAMES[] = {"Pad Left", "Pad Right", "Pad Up", "Pad A", "Pad Start", "Pad Back"};
static_assert(sizeof BUTTON_NAMES / sizeof *BUTTON_NAMES == TGamepad::PAD_OTHER, "a name for every pad button");

// Keys that Qt's key names read as modifiers of another key: a game reads them as keys.
const std::pair<const char*, int> MODIFIER_KEYS[] = {
    {"Ctrl", Qt::Key_Control}, {"Shift", Qt::Key_Shift}, {"Alt", Qt::Key_Alt}, {"Meta", Qt::Key_Meta}};

// What one key or button stands for, for finding two commands that share one.
using TInput = std::pair<bool, int>;  // (is a pad button, key or button)

std::vector<TInput> InputsOf(const TBindings::TBinding& Binding)
{
    std::vector<TInput> vecInputs;
    for (int nKey : Binding.vecKeys)
        vecInputs.emplace_back(false, nKey);
    for (TGamepad::TButton nButton : Binding.vecButtons)
        vecInputs.emplace_back(true, nButton);
    return vecInputs;
}
}  // namespace

TBindings::TBindings()
{
    using P = TGamepad;
    m_vecBindings = {
        {CMD_TURN_LEFT, "turn_left", "turn left", {Qt::Key_Left}, {P::PAD_LEFT}},
        {CMD_TURN_RIGHT, "turn_right", "turn right", {Qt::Key_Right}, {P::PAD_RIGHT}},
        {CMD_THRUST, "thrust", "thrust", {Qt::Key_Up}, {P::PAD_THRUST}},
        {CMD_FIRE, "fire", "fire", {Qt::Key_Space}, {P::PAD_FIRE}},
        {CMD_PAUSE, "pause", "pause", {Qt::Key_P}, {P::PAD_START}},
        {CMD_MUSIC, "music", "music on or off", {Qt::Key_M}, {}},
        {CMD_LEAVE, "leave", "leave through the ending screen", {Qt::Key_Escape, Qt::Key_Q}, {P::PAD_BACK}},
        {CMD_FULL_SCREEN, "full_screen", "full screen on or off", {Qt::Key_F11}, {}},
        {CMD_FASTER, "faster", "a replay plays faster", {Qt::Key_F}, {}},
    };
    for (size_t i = 0; i < m_vecBindings.size(); ++i)
        DRELK_ASSERT(m_vecBindings[i].nCommand == static_cast<TCommand>(i));
    DRELK_ASSERT(m_vecBindings.size() == CMD_COUNT);
}

const TBindings::TBinding& TBindings::Of(TCommand nCommand) const
{
    DRELK_ASSERT(nCommand < CMD_COUNT);
    return m_vecBindings[nCommand];
}

QString TBindings::KeyName(int nKey)
{
    for (const auto& Modifier : MODIFIER_KEYS)
        if (Modifier.second == nKey)
            return Modifier.first;
    return QKeySequence(nKey).toString(QKeySequence::PortableText);
}

QString TBindings::ButtonName(TGamepad::TButton nButton)
{
    DRELK_ASSERT(nButton >= 0 && nButton < TGamepad::PAD_OTHER);
    return BUTTON_NAMES[nButton];
}

bool TBindings::Parse(const QString& strValue, TBinding& Binding, QString& strError)
{
    // A line of keys alone leaves the pad's buttons as they were, and the other way round.
    std::vector<int> vecKeys;
    std::vector<TGamepad::TButton> vecButtons;
    for (const QString& strPart : strValue.split(',')) {
        const QString strName = strPart.trimmed();
        const auto* pButton = std::find_if(std::begin(BUTTON_NAMES), std::end(BUTTON_NAMES),
                                           [&strName](const char* sz) { return strName.compare(sz, Qt::CaseInsensitive) == 0; });
        if (pButton != std::end(BUTTON_NAMES)) {
            vecButtons.push_back(static_cast<TGamepad::TButton>(pButton - std::begin(BUTTON_NAMES)));
            continue;
        }
        const auto* pModifier = std::find_if(std::begin(MODIFIER_KEYS), std::end(MODIFIER_KEYS), [&strName](const auto& M) {
            return strName.compare(M.first, Qt::CaseInsensitive) == 0;
        });
        if (pModifier != std::end(MODIFIER_KEYS)) {
            vecKeys.push_back(pModifier->second);
            continue;
        }
        // One key without modifiers: the game reads keys, not shortcuts.
        const QKeySequence Sequence = QKeySequence::fromString(strName, QKeySequence::PortableText);
        const int nKey = Sequence.count() == 1 ? Sequence[0] : 0;
        if (strName.isEmpty() || nKey == 0 || nKey == Qt::Key_unknown || (nKey & Qt::KeyboardModifierMask)) {
            strError = "'" + strName.left(40) + "' is not a key or a pad button";
            return false;
        }
        vecKeys.push_back(nKey);
    }
    if (!vecKeys.empty())
        Binding.vecKeys = vecKeys;
    if (!vecButtons.empty())
        Binding.vecButtons = vecButtons;
    return true;
}

QString TBindings::Join(const TBinding& Binding)
{
    QStringList vecNames;
    for (int nKey : Binding.vecKeys)
        vecNames << KeyName(nKey);
    for (TGamepad::TButton nButton : Binding.vecButtons)
        vecNames << ButtonName(nButton);
    return vecNames.join(", ");
}

void TBindings::ApplySettings(const TGetValue& GetValue, const TSay& pSay)
{
    const std::vector<TBinding> vecDefaults = m_vecBindings;
    // The player's lines that can be read.
    std::vector<bool> vecOwn(m_vecBindings.size(), false);
    for (TBinding& Binding : m_vecBindings) {
        const QString strKey = QString("keys/") + Binding.szName;
        const QString strValue = GetValue(strKey);
        if (strValue.trimmed().isEmpty())
            continue;
        TBinding Own = Binding;
        QString strError;
        if (!Parse(strValue, Own, strError)) {
            pSay("settings: " + strKey.toStdString() + ": " + strError.toStdString() + "; " +
                 Join(Binding).toStdString() + " kept");
            continue;
        }
        Binding = Own;
        vecOwn[Binding.nCommand] = true;
    }
    // A key two commands share goes back to the default of the player's own line; the defaults
    // never share one, so this ends.
    for (bool bChanged = true; bChanged;) {
        bChanged = false;
        std::map<TInput, TCommand> mapTaken;
        for (const TBinding& Binding : m_vecBindings)
            for (const TInput& Input : InputsOf(Binding))
                mapTaken.emplace(Input, Binding.nCommand);
        for (TBinding& Binding : m_vecBindings) {
            if (!vecOwn[Binding.nCommand])
                continue;
            for (const TInput& Input : InputsOf(Binding)) {
                const TCommand nOther = mapTaken.at(Input);
                if (nOther == Binding.nCommand)
                    continue;
                const QString strShared = Input.first ? ButtonName(static_cast<TGamepad::TButton>(Input.second))
                                                      : KeyName(Input.second);
                pSay("settings: keys/" + std::string(Binding.szName) + ": " + strShared.toStdString() + " is " +
                     m_vecBindings[nOther].szName + "'s; " + Join(vecDefaults[Binding.nCommand]).toStdString() +
                     " kept");
                Binding = vecDefaults[Binding.nCommand];
                vecOwn[Binding.nCommand] = false;
                bChanged = true;
                break;
            }
            if (bChanged)
                break;
        }
    }
}

bool TBindings::CommandForKey(int nKey, TCommand& nCommand) const
{
    for (const TBinding& Binding : m_vecBindings) {
        if (std::find(Binding.vecKeys.begin(), Binding.vecKeys.end(), nKey) != Binding.vecKeys.end()) {
            nCommand = Binding.nCommand;
            return true;
        }
    }
    return false;
}

bool TBindings::CommandForButton(TGamepad::TButton nButton, TCommand& nCommand) const
{
    for (const TBinding& Binding : m_vecBindings) {
        if (std::find(Binding.vecButtons.begin(), Binding.vecButtons.end(), nButton) != Binding.vecButtons.end()) {
            nCommand = Binding.nCommand;
            return true;
        }
    }
    return false;
}

// A command's keys as the status line writes them: upper case, "ESC", "SPACE-bar".
QString TBindings::StatusKeys(TCommand nCommand) const
{
    QStringList vecNames;
    for (int nKey : Of(nCommand).vecKeys) {
        if (nKey == Qt::Key_Escape)
            vecNames << "ESC";
        else if (nKey == Qt::Key_Space)
            vecNames << "SPACE-bar";
        else
            vecNames << KeyName(nKey).toUpper();
    }
    return vecNames.join('/');
}

QString TBindings::StatusLine() const
{
    const QString strGap = "    ";
    return StatusKeys(CMD_LEAVE) + "=exit" + strGap + StatusKeys(CMD_TURN_LEFT) + '/' + StatusKeys(CMD_TURN_RIGHT) +
           "=rotate" + strGap + StatusKeys(CMD_THRUST) + "=engine" + strGap + StatusKeys(CMD_FIRE) + "=shot" +
           strGap + StatusKeys(CMD_MUSIC) + "=music on/off";
}

QString TBindings::ReplayStatusLine() const
{
    const QString strGap = "    ";
    return "REPLAY" + strGap + StatusKeys(CMD_PAUSE) + "=pause" + strGap + StatusKeys(CMD_FASTER) + "=faster" +
           strGap + StatusKeys(CMD_LEAVE) + "=exit";
}

std::string TBindings::HelpText() const
{
    std::string strText;
    for (const TBinding& Binding : m_vecBindings) {
        QString strKeys = Join(Binding);
        strText += "  " + strKeys.leftJustified(22).toStdString() + " " + Binding.szDoes + "\n";
    }
    return strText;
}
