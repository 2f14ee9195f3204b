#include "input/Bindings.h"

#include "base/Assert.h"

#include <QKeySequence>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {
const char* const BUTTON_NAMES[] = {"Pad Left", "Pad Right", "Pad Up", "Pad A",  "Pad Start", "Pad Back",
                                   "Pad Down", "Pad B",     "Pad X",  "Pad Y",  "Pad LB",    "Pad RB"};
// The words of a settings line for no key and no pad button.
const char NO_KEYS[] = "None";
const char NO_BUTTONS[] = "Pad None";
static_assert(sizeof BUTTON_NAMES / sizeof *BUTTON_NAMES == TGamepad::PAD_OTHER, "a name for every pad button");

// Keys that Qt's key names read as modifiers of another key: a game reads them as keys.
const std::pair<const char*, int> MODIFIER_KEYS[] = {
    {"Ctrl", Qt::Key_Control}, {"Shift", Qt::Key_Shift}, {"Alt", Qt::Key_Alt}, {"Meta", Qt::Key_Meta}};

using TInput = TBindings::TInput;

std::vector<TInput> InputsOf(const TBindings::TBinding& Binding)
{
    std::vector<TInput> vecInputs;
    for (int nKey : Binding.vecKeys)
        vecInputs.push_back({false, nKey});
    for (TGamepad::TButton nButton : Binding.vecButtons)
        vecInputs.push_back({true, nButton});
    return vecInputs;
}

QString InputName(const TInput& Input)
{
    return Input.bPad ? TBindings::ButtonName(static_cast<TGamepad::TButton>(Input.nCode)) : TBindings::KeyName(Input.nCode);
}

template <typename T>
void AddOnce(std::vector<T>& vec, T Value)
{
    if (std::find(vec.begin(), vec.end(), Value) == vec.end())
        vec.push_back(Value);
}

template <typename T>
void Remove(std::vector<T>& vec, T Value)
{
    vec.erase(std::remove(vec.begin(), vec.end(), Value), vec.end());
}

// The commands a player must always be able to reach, with a key and with a pad.
const TCommand ESSENTIAL[] = {CMD_LEAVE, CMD_PAUSE};
}  // namespace

TBindings::TBindings()
{
    using P = TGamepad;
    m_vecBindings = {
        {CMD_TURN_LEFT, "turn_left", "Turn left", "turn left", {Qt::Key_Left}, {P::PAD_LEFT}},
        {CMD_TURN_RIGHT, "turn_right", "Turn right", "turn right", {Qt::Key_Right}, {P::PAD_RIGHT}},
        {CMD_THRUST, "thrust", "Thrust", "thrust", {Qt::Key_Up}, {P::PAD_THRUST}},
        {CMD_FIRE, "fire", "Fire", "fire", {Qt::Key_Space}, {P::PAD_FIRE}},
        {CMD_PAUSE, "pause", "Pause", "pause", {Qt::Key_P}, {P::PAD_START}},
        {CMD_MUSIC, "music", "Music on/off", "music on or off", {Qt::Key_M}, {}},
        {CMD_LEAVE, "leave", "Leave", "leave through the ending screen", {Qt::Key_Escape, Qt::Key_Q}, {P::PAD_BACK}},
        {CMD_FULL_SCREEN, "full_screen", "Full screen", "full screen on or off", {Qt::Key_F11}, {}},
        {CMD_FASTER, "faster", "Replay faster", "a replay plays faster", {Qt::Key_F}, {}},
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
    bool bNoKeys = false;
    bool bNoButtons = false;
    for (const QString& strPart : strValue.split(',')) {
        const QString strName = strPart.trimmed();
        if (strName.compare(NO_KEYS, Qt::CaseInsensitive) == 0) {
            bNoKeys = true;
            continue;
        }
        if (strName.compare(NO_BUTTONS, Qt::CaseInsensitive) == 0) {
            bNoButtons = true;
            continue;
        }
        const auto* pButton = std::find_if(std::begin(BUTTON_NAMES), std::end(BUTTON_NAMES),
                                           [&strName](const char* sz) { return strName.compare(sz, Qt::CaseInsensitive) == 0; });
        if (pButton != std::end(BUTTON_NAMES)) {
            AddOnce(vecButtons, static_cast<TGamepad::TButton>(pButton - std::begin(BUTTON_NAMES)));
            continue;
        }
        const auto* pModifier = std::find_if(std::begin(MODIFIER_KEYS), std::end(MODIFIER_KEYS), [&strName](const auto& M) {
            return strName.compare(M.first, Qt::CaseInsensitive) == 0;
        });
        if (pModifier != std::end(MODIFIER_KEYS)) {
            AddOnce(vecKeys, pModifier->second);
            continue;
        }
        // One key without modifiers: the game reads keys, not shortcuts.
        const QKeySequence Sequence = QKeySequence::fromString(strName, QKeySequence::PortableText);
        const int nKey = Sequence.count() == 1 ? Sequence[0] : 0;
        if (strName.isEmpty() || nKey == 0 || nKey == Qt::Key_unknown || (nKey & Qt::KeyboardModifierMask)) {
            strError = "'" + strName.left(40) + "' is not a key or a pad button";
            return false;
        }
        AddOnce(vecKeys, nKey);
    }
    if ((bNoKeys && !vecKeys.empty()) || (bNoButtons && !vecButtons.empty())) {
        strError = "'" + strValue.trimmed().left(40) + "' names keys and none at once";
        return false;
    }
    if (!vecKeys.empty() || bNoKeys)
        Binding.vecKeys = vecKeys;
    if (!vecButtons.empty() || bNoButtons)
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

void TBindings::ApplySettings(const TGetValue& GetValue, const TSay& pSay, const QStringList& vecLines)
{
    QStringList vecCommands;
    for (const TBinding& Binding : m_vecBindings)
        vecCommands << Binding.szName;
    for (const QString& strLine : vecLines)
        if (!vecCommands.contains(strLine))
            pSay("settings: keys/" + strLine.left(40).toStdString() + ": not a command; the commands are " +
                 vecCommands.join(", ").toStdString());
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
    // A line that locks the player out, or takes a key another command has, goes back to its
    // default, one at a time: the defaults do neither, so this ends.
    auto Refuse = [&](TCommand nCommand, const QString& strWhy) {
        pSay("settings: keys/" + std::string(m_vecBindings[nCommand].szName) + ": " + strWhy.toStdString() + "; " +
             Join(vecDefaults[nCommand]).toStdString() + " kept");
        m_vecBindings[nCommand] = vecDefaults[nCommand];
        vecOwn[nCommand] = false;
    };
    for (bool bChanged = true; bChanged;) {
        bChanged = false;
        for (TCommand nCommand : ESSENTIAL) {
            const QString strWhy = LockOut({m_vecBindings[nCommand]});
            if (vecOwn[nCommand] && !strWhy.isEmpty()) {
                Refuse(nCommand, strWhy);
                bChanged = true;
                break;
            }
        }
        if (bChanged)
            continue;
        // Against every other command, not only those before it in the table.
        for (const TBinding& Binding : m_vecBindings) {
            if (!vecOwn[Binding.nCommand])
                continue;
            for (const TInput& Input : InputsOf(Binding)) {
                for (const TBinding& Other : m_vecBindings) {
                    const std::vector<TInput> vecOther = InputsOf(Other);
                    if (Other.nCommand == Binding.nCommand ||
                        std::find(vecOther.begin(), vecOther.end(), Input) == vecOther.end())
                        continue;
                    Refuse(Binding.nCommand, InputName(Input) + " is " + Other.szName + "'s");
                    bChanged = true;
                    break;
                }
                if (bChanged)
                    break;
            }
            if (bChanged)
                break;
        }
    }
}

QString TBindings::LockOut(const std::vector<TBinding>& vecBindings)
{
    for (const TBinding& Binding : vecBindings) {
        if (std::find(std::begin(ESSENTIAL), std::end(ESSENTIAL), Binding.nCommand) == std::end(ESSENTIAL))
            continue;
        if (Binding.vecKeys.empty())
            return QString(Binding.szName) + " must keep a key";
        if (Binding.vecButtons.empty())
            return QString(Binding.szName) + " must keep a pad button";
    }
    return QString();
}

bool TBindings::Assign(TCommand nCommand, TSlot nSlot, const TInput& Input, QString& strWhy)
{
    DRELK_ASSERT(nCommand < CMD_COUNT);
    if (Input.bPad ? Input.nCode < 0 || Input.nCode >= TGamepad::PAD_OTHER
                   : Input.nCode == 0 || Input.nCode == Qt::Key_unknown || (Input.nCode & Qt::KeyboardModifierMask)) {
        strWhy = "that is not a key or a button the game can tell apart";
        return false;
    }
    std::vector<TBinding> vecNew = m_vecBindings;
    // The one who had it loses it, this command included: it lands in the slot chosen.
    for (TBinding& Binding : vecNew) {
        if (Input.bPad)
            Remove(Binding.vecButtons, static_cast<TGamepad::TButton>(Input.nCode));
        else
            Remove(Binding.vecKeys, Input.nCode);
    }
    TBinding& Own = vecNew[nCommand];
    const std::vector<int> vecWere = m_vecBindings[nCommand].vecKeys;
    if (Input.bPad) {
        Own.vecButtons = {static_cast<TGamepad::TButton>(Input.nCode)};
    } else if (nSlot == SLOT_OTHER_KEYS && !vecWere.empty() && vecWere.front() != Input.nCode) {
        Own.vecKeys = {vecWere.front(), Input.nCode};
    } else {
        // The first key replaced; the others stay.
        Own.vecKeys.clear();
        Own.vecKeys.push_back(Input.nCode);
        for (size_t i = 1; i < vecWere.size(); ++i)
            if (vecWere[i] != Input.nCode)
                Own.vecKeys.push_back(vecWere[i]);
    }
    strWhy = LockOut(vecNew);
    if (!strWhy.isEmpty())
        return false;
    m_vecBindings = vecNew;
    return true;
}

bool TBindings::Clear(TCommand nCommand, TSlot nSlot, QString& strWhy)
{
    DRELK_ASSERT(nCommand < CMD_COUNT);
    std::vector<TBinding> vecNew = m_vecBindings;
    TBinding& Own = vecNew[nCommand];
    if (nSlot == SLOT_PAD)
        Own.vecButtons.clear();
    else if (nSlot == SLOT_OTHER_KEYS)
        Own.vecKeys.resize(std::min<size_t>(1, Own.vecKeys.size()));
    else if (!Own.vecKeys.empty())
        Own.vecKeys.erase(Own.vecKeys.begin());
    strWhy = LockOut(vecNew);
    if (!strWhy.isEmpty())
        return false;
    m_vecBindings = vecNew;
    return true;
}

void TBindings::Reset()
{
    m_vecBindings = TBindings().m_vecBindings;
}

bool TBindings::IsDefault(TCommand nCommand) const
{
    const TBindings Defaults;
    const TBinding& Default = Defaults.Of(nCommand);
    const TBinding& Now = Of(nCommand);
    return Default.vecKeys == Now.vecKeys && Default.vecButtons == Now.vecButtons;
}

QString TBindings::SettingsLine(TCommand nCommand) const
{
    const TBinding& Binding = Of(nCommand);
    QStringList vecNames;
    if (Binding.vecKeys.empty())
        vecNames << NO_KEYS;
    if (!Binding.vecKeys.empty() || !Binding.vecButtons.empty())
        vecNames << Join(Binding);
    if (Binding.vecButtons.empty())
        vecNames << NO_BUTTONS;
    return vecNames.join(", ");
}

QString TBindings::SlotText(TCommand nCommand, TSlot nSlot, TGamepad::TType nPadType) const
{
    const TBinding& Binding = Of(nCommand);
    QStringList vecNames;
    if (nSlot == SLOT_PAD) {
        for (TGamepad::TButton nButton : Binding.vecButtons)
            vecNames << TGamepad::Label(nButton, nPadType);
    } else {
        const size_t nFrom = nSlot == SLOT_KEY ? 0 : 1;
        const size_t nTo = nSlot == SLOT_KEY ? std::min<size_t>(1, Binding.vecKeys.size()) : Binding.vecKeys.size();
        for (size_t i = nFrom; i < nTo; ++i)
            vecNames << KeyName(Binding.vecKeys[i]);
    }
    return vecNames.join(", ");
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
