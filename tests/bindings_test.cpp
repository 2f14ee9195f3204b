// The one binding table: what every key and pad button does, the player's own bindings from the
// settings (a bad one named and the default kept), and the texts that come from the table or must
// agree with it: the status line, --help, the manual page's keys, the test scripts' key list.
#include "input/Bindings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {
std::string ReadText(const std::string& strPath)
{
    std::ifstream In(strPath);
    std::stringstream Text;
    Text << In.rdbuf();
    return Text.str();
}

// The commands' keys after settings, and what was said.
struct TApplied
{
    TBindings Bindings;
    std::vector<std::string> vecSaid;
};
TApplied Apply(const std::map<QString, QString>& mapSettings, const QStringList& vecLines = {})
{
    TApplied Result;
    Result.Bindings.ApplySettings(
        [&](const QString& strKey) {
            const auto it = mapSettings.find(strKey);
            return it == mapSettings.end() ? QString() : it->second;
        },
        [&](const std::string& strLine) { Result.vecSaid.push_back(strLine); }, vecLines);
    return Result;
}

// The whole table as its settings lines, "turn_left=Left, Pad Left; ...": two tables are the same
// when these are.
std::string Table(const TBindings& Bindings)
{
    std::string strTable;
    for (const TBindings::TBinding& Binding : Bindings.GetBindings())
        strTable += std::string(Binding.szName) + "=" + Bindings.SettingsLine(Binding.nCommand).toStdString() + "; ";
    return strTable;
}

// The lines of the commands that are not at their defaults, as the controls window writes them.
std::map<std::string, std::string> OwnLines(const TBindings& Bindings)
{
    std::map<std::string, std::string> mapLines;
    for (const TBindings::TBinding& Binding : Bindings.GetBindings())
        if (!Bindings.IsDefault(Binding.nCommand))
            mapLines[std::string("keys/") + Binding.szName] = Bindings.SettingsLine(Binding.nCommand).toStdString();
    return mapLines;
}

std::map<QString, QString> AsSettings(const std::map<std::string, std::string>& mapLines)
{
    std::map<QString, QString> mapSettings;
    for (const auto& Line : mapLines)
        mapSettings[QString::fromStdString(Line.first)] = QString::fromStdString(Line.second);
    return mapSettings;
}

using TInput = TBindings::TInput;
TInput Key(int nKey)
{
    return {false, nKey};
}
TInput Pad(TGamepad::TButton nButton)
{
    return {true, nButton};
}

TCommand CommandOfKey(const TBindings& Bindings, int nKey)
{
    TCommand nCommand = CMD_COUNT;
    Bindings.CommandForKey(nKey, nCommand);
    return nCommand;
}
}  // namespace

TEST(BindingsTest, EachKeyAndPadButtonGivesItsCommand)
{
    const TBindings Bindings;
    const std::pair<int, TCommand> KEYS[] = {
        {Qt::Key_Left, CMD_TURN_LEFT}, {Qt::Key_Right, CMD_TURN_RIGHT}, {Qt::Key_Up, CMD_THRUST},
        {Qt::Key_Space, CMD_FIRE},     {Qt::Key_P, CMD_PAUSE},          {Qt::Key_M, CMD_MUSIC},
        {Qt::Key_Escape, CMD_LEAVE},   {Qt::Key_Q, CMD_LEAVE},          {Qt::Key_F11, CMD_FULL_SCREEN},
        {Qt::Key_F, CMD_FASTER},       {Qt::Key_Down, CMD_COUNT},       {Qt::Key_S, CMD_COUNT},
    };
    for (const auto& Key : KEYS)
        EXPECT_EQ(CommandOfKey(Bindings, Key.first), Key.second) << Key.first;
    const std::pair<TGamepad::TButton, TCommand> BUTTONS[] = {
        {TGamepad::PAD_LEFT, CMD_TURN_LEFT}, {TGamepad::PAD_RIGHT, CMD_TURN_RIGHT}, {TGamepad::PAD_THRUST, CMD_THRUST},
        {TGamepad::PAD_FIRE, CMD_FIRE},      {TGamepad::PAD_START, CMD_PAUSE},      {TGamepad::PAD_BACK, CMD_LEAVE},
        {TGamepad::PAD_OTHER, CMD_COUNT},
    };
    for (const auto& Button : BUTTONS) {
        TCommand nCommand = CMD_COUNT;
        Bindings.CommandForButton(Button.first, nCommand);
        EXPECT_EQ(nCommand, Button.second) << Button.first;
    }
}

TEST(BindingsTest, ThePlayersOwnBindingsAreTakenAndABadOneIsNamedWithTheDefaultKept)
{
    // Settings -> a key, the command it now gives, and the lines said.
    const struct
    {
        const char* szCase;
        std::map<QString, QString> mapSettings;
        int nKey;
        TCommand nCommand;
        std::vector<std::string> vecSaid;
    } CASES[] = {
        {"none", {}, Qt::Key_Space, CMD_FIRE, {}},
        {"a key of its own", {{"keys/fire", "Ctrl"}}, Qt::Key_Control, CMD_FIRE, {}},
        {"the default key gone with it", {{"keys/fire", "Ctrl"}}, Qt::Key_Space, CMD_COUNT, {}},
        {"two keys and a pad button", {{"keys/thrust", " W ,Up, pad y"}}, Qt::Key_W, CMD_THRUST, {}},
        // Fire comes after thrust in the table: its button is found all the same.
        {"a pad button of a command further down", {{"keys/thrust", "W, Pad A"}}, Qt::Key_W, CMD_COUNT,
         {"settings: keys/thrust: Pad A is fire's; Up, Pad Up kept"}},
        {"two commands swap keys", {{"keys/fire", "P"}, {"keys/pause", "Space"}}, Qt::Key_P, CMD_FIRE, {}},
        {"an unknown name", {{"keys/fire", "Space, Warp"}}, Qt::Key_Space, CMD_FIRE,
         {"settings: keys/fire: 'Warp' is not a key or a pad button; Space, Pad A kept"}},
        {"a shortcut, not a key", {{"keys/music", "Ctrl+M"}}, Qt::Key_M, CMD_MUSIC,
         {"settings: keys/music: 'Ctrl+M' is not a key or a pad button; M kept"}},
        {"an empty name", {{"keys/music", "N,,"}}, Qt::Key_M, CMD_MUSIC,
         {"settings: keys/music: '' is not a key or a pad button; M kept"}},
        {"a key another command has", {{"keys/fire", "Left"}}, Qt::Key_Left, CMD_TURN_LEFT,
         {"settings: keys/fire: Left is turn_left's; Space, Pad A kept"}},
        {"a key of a command further down the table", {{"keys/fire", "Esc"}}, Qt::Key_Escape, CMD_LEAVE,
         {"settings: keys/fire: Esc is leave's; Space, Pad A kept"}},
        {"a pad button another command has", {{"keys/music", "Pad Start"}}, Qt::Key_M, CMD_MUSIC,
         {"settings: keys/music: Pad Start is pause's; M kept"}},
        // Fire's line is bad, so Space stays fire's, and pause's line then shares it.
        {"a refusal that makes another",
         {{"keys/fire", "Warp"}, {"keys/pause", "Space"}},
         Qt::Key_P,
         CMD_PAUSE,
         {"settings: keys/fire: 'Warp' is not a key or a pad button; Space, Pad A kept",
          "settings: keys/pause: Space is fire's; P, Pad Start kept"}},
        {"no key for music, a pad button instead", {{"keys/music", "None, Pad Y"}}, Qt::Key_M, CMD_COUNT, {}},
        {"none and a key at once", {{"keys/music", "None, N"}}, Qt::Key_M, CMD_MUSIC,
         {"settings: keys/music: 'None, N' names keys and none at once; M kept"}},
        {"leave without a key", {{"keys/leave", "None"}}, Qt::Key_Escape, CMD_LEAVE,
         {"settings: keys/leave: leave must keep a key; Esc, Q, Pad Back kept"}},
        {"pause without a pad button", {{"keys/pause", "P, Pad None"}}, Qt::Key_P, CMD_PAUSE,
         {"settings: keys/pause: pause must keep a pad button; P, Pad Start kept"}},
        // Leave's line is refused, so Esc is leave's again, and fire's line then shares it.
        {"a lock-out that makes a conflict", {{"keys/leave", "None"}, {"keys/fire", "Esc"}}, Qt::Key_Escape, CMD_LEAVE,
         {"settings: keys/leave: leave must keep a key; Esc, Q, Pad Back kept",
          "settings: keys/fire: Esc is leave's; Space, Pad A kept"}},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szCase);
        const TApplied Applied = Apply(Case.mapSettings);
        EXPECT_EQ(CommandOfKey(Applied.Bindings, Case.nKey), Case.nCommand);
        EXPECT_EQ(Applied.vecSaid, Case.vecSaid);
    }
    // A line of keys leaves the pad's buttons; one with buttons changes them.
    auto CommandOfButton = [](const TBindings& Bindings, TGamepad::TButton nButton) {
        TCommand nCommand = CMD_COUNT;
        Bindings.CommandForButton(nButton, nCommand);
        return nCommand;
    };
    EXPECT_EQ(CommandOfButton(Apply({{"keys/fire", "Ctrl"}}).Bindings, TGamepad::PAD_FIRE), CMD_FIRE);
    const TApplied Swapped = Apply({{"keys/fire", "Space, Pad Up"}, {"keys/thrust", "Up, Pad A"}});
    EXPECT_TRUE(Swapped.vecSaid.empty());
    EXPECT_EQ(CommandOfButton(Swapped.Bindings, TGamepad::PAD_FIRE), CMD_THRUST);
    EXPECT_EQ(CommandOfButton(Swapped.Bindings, TGamepad::PAD_THRUST), CMD_FIRE);
}

TEST(BindingsTest, ALineForNoCommandIsNamed)
{
    const TApplied Applied = Apply({{"keys/fire", "Ctrl"}}, {"fire", "warp"});
    EXPECT_EQ(CommandOfKey(Applied.Bindings, Qt::Key_Control), CMD_FIRE);
    EXPECT_EQ(Applied.vecSaid, std::vector<std::string>{"settings: keys/warp: not a command; the commands are turn_left, "
                                                        "turn_right, thrust, fire, pause, music, leave, full_screen, faster"});
}

// The controls window's changes: a key or button moves to the command given it, and leave and
// pause never lose their last key or pad button.
TEST(BindingsTest, AKeyMovesToTheCommandGivenItAndNoChangeLocksThePlayerOut)
{
    enum TDo { ASSIGN, CLEAR };
    struct TStep
    {
        TDo nDo;
        TCommand nCommand;
        TBindings::TSlot nSlot;
        TInput Input;
    };
    // The changes, in order -> the table after them (lines of the commands changed), and the
    // refusal of the last one ("" when it was done).
    const struct
    {
        const char* szCase;
        std::vector<TStep> vecSteps;
        std::map<std::string, std::string> mapAfter;
        const char* szRefused;
    } CASES[] = {
        {"a free key replaces the first", {{ASSIGN, CMD_FIRE, TBindings::SLOT_KEY, Key(Qt::Key_Control)}},
         {{"keys/fire", "Ctrl, Pad A"}}, ""},
        {"a second key beside the first", {{ASSIGN, CMD_FIRE, TBindings::SLOT_OTHER_KEYS, Key(Qt::Key_Control)}},
         {{"keys/fire", "Space, Ctrl, Pad A"}}, ""},
        {"the other keys replaced together", {{ASSIGN, CMD_LEAVE, TBindings::SLOT_OTHER_KEYS, Key(Qt::Key_X)}},
         {{"keys/leave", "Esc, X, Pad Back"}}, ""},
        {"a key given in the pad's slot is a key", {{ASSIGN, CMD_MUSIC, TBindings::SLOT_PAD, Key(Qt::Key_N)}},
         {{"keys/music", "N, Pad None"}}, ""},
        {"a button given in a key's slot is the pad's", {{ASSIGN, CMD_MUSIC, TBindings::SLOT_KEY, Pad(TGamepad::PAD_NORTH)}},
         {{"keys/music", "M, Pad Y"}}, ""},
        {"another command's key moves, leaving it none", {{ASSIGN, CMD_THRUST, TBindings::SLOT_KEY, Key(Qt::Key_Space)}},
         {{"keys/thrust", "Space, Pad Up"}, {"keys/fire", "None, Pad A"}}, ""},
        {"another command's button moves", {{ASSIGN, CMD_MUSIC, TBindings::SLOT_PAD, Pad(TGamepad::PAD_FIRE)}},
         {{"keys/music", "M, Pad A"}, {"keys/fire", "Space, Pad None"}}, ""},
        {"leave's second key may go", {{ASSIGN, CMD_FIRE, TBindings::SLOT_KEY, Key(Qt::Key_Q)}},
         {{"keys/fire", "Q, Pad A"}, {"keys/leave", "Esc, Pad Back"}}, ""},
        {"leave's last key may not",
         {{ASSIGN, CMD_FIRE, TBindings::SLOT_KEY, Key(Qt::Key_Q)}, {ASSIGN, CMD_MUSIC, TBindings::SLOT_KEY, Key(Qt::Key_Escape)}},
         {{"keys/fire", "Q, Pad A"}, {"keys/leave", "Esc, Pad Back"}}, "leave must keep a key"},
        {"pause's only key may not go", {{ASSIGN, CMD_FIRE, TBindings::SLOT_KEY, Key(Qt::Key_P)}}, {}, "pause must keep a key"},
        {"pause's only button may not go", {{ASSIGN, CMD_FIRE, TBindings::SLOT_PAD, Pad(TGamepad::PAD_START)}}, {},
         "pause must keep a pad button"},
        {"leave's key moves within its own row", {{ASSIGN, CMD_LEAVE, TBindings::SLOT_KEY, Key(Qt::Key_Q)}},
         {{"keys/leave", "Q, Pad Back"}}, ""},
        {"a key a command has already stays", {{ASSIGN, CMD_FIRE, TBindings::SLOT_KEY, Key(Qt::Key_Space)}}, {}, ""},
        {"leave given another key first, then Esc may go",
         {{ASSIGN, CMD_LEAVE, TBindings::SLOT_OTHER_KEYS, Key(Qt::Key_X)}, {ASSIGN, CMD_FIRE, TBindings::SLOT_KEY, Key(Qt::Key_Escape)}},
         {{"keys/leave", "X, Pad Back"}, {"keys/fire", "Esc, Pad A"}}, ""},
        {"a key cleared, the next one first", {{CLEAR, CMD_LEAVE, TBindings::SLOT_KEY, {}}}, {{"keys/leave", "Q, Pad Back"}}, ""},
        {"the other keys cleared", {{CLEAR, CMD_LEAVE, TBindings::SLOT_OTHER_KEYS, {}}}, {{"keys/leave", "Esc, Pad Back"}}, ""},
        {"a pad slot cleared", {{CLEAR, CMD_FIRE, TBindings::SLOT_PAD, {}}}, {{"keys/fire", "Space, Pad None"}}, ""},
        {"the only key cleared", {{CLEAR, CMD_FULL_SCREEN, TBindings::SLOT_KEY, {}}}, {{"keys/full_screen", "None, Pad None"}}, ""},
        {"pause's key not cleared", {{CLEAR, CMD_PAUSE, TBindings::SLOT_KEY, {}}}, {}, "pause must keep a key"},
        {"leave's button not cleared", {{CLEAR, CMD_LEAVE, TBindings::SLOT_PAD, {}}}, {}, "leave must keep a pad button"},
        {"no key at all", {{ASSIGN, CMD_FIRE, TBindings::SLOT_KEY, Key(Qt::Key_unknown)}}, {},
         "that is not a key or a button the game can tell apart"},
        {"a key with a modifier", {{ASSIGN, CMD_FIRE, TBindings::SLOT_KEY, Key(Qt::Key_A | Qt::ControlModifier)}}, {},
         "that is not a key or a button the game can tell apart"},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szCase);
        TBindings Bindings;
        QString strWhy;
        bool bDone = true;
        for (const TStep& Step : Case.vecSteps) {
            const std::string strBefore = Table(Bindings);
            strWhy.clear();
            bDone = Step.nDo == ASSIGN ? Bindings.Assign(Step.nCommand, Step.nSlot, Step.Input, strWhy)
                                       : Bindings.Clear(Step.nCommand, Step.nSlot, strWhy);
            if (!bDone) {
                EXPECT_EQ(Table(Bindings), strBefore) << "a refused change changed the table";
            }
        }
        EXPECT_EQ(bDone, std::string(Case.szRefused).empty());
        EXPECT_EQ(strWhy.toStdString(), Case.szRefused);
        EXPECT_EQ(OwnLines(Bindings), Case.mapAfter);
        // The table is always one a player can use: no key or button twice.
        std::map<TInput, int> mapSeen;
        for (const TBindings::TBinding& Binding : Bindings.GetBindings()) {
            for (int nKey : Binding.vecKeys)
                EXPECT_EQ(++mapSeen[Key(nKey)], 1) << TBindings::KeyName(nKey).toStdString();
            for (TGamepad::TButton nButton : Binding.vecButtons)
                EXPECT_EQ(++mapSeen[Pad(nButton)], 1) << TBindings::ButtonName(nButton).toStdString();
        }
        // What the window writes reads back as the same table, said nothing.
        const TApplied Read = Apply(AsSettings(OwnLines(Bindings)));
        EXPECT_EQ(Table(Read.Bindings), Table(Bindings));
        EXPECT_TRUE(Read.vecSaid.empty());
        // And Reset brings every default back.
        Bindings.Reset();
        EXPECT_EQ(Table(Bindings), Table(TBindings()));
    }
}

TEST(BindingsTest, TheStatusLineAndTheHelpComeFromTheTable)
{
    const TBindings Defaults;
    EXPECT_EQ(Defaults.StatusLine().toStdString(),
              "ESC/Q=exit    LEFT/RIGHT=rotate    UP=engine    SPACE-bar=shot    M=music on/off");
    EXPECT_EQ(Defaults.ReplayStatusLine().toStdString(), "REPLAY    P=pause    F=faster    ESC/Q=exit");
    const TApplied Own = Apply({{"keys/turn_left", "A"}, {"keys/fire", "Ctrl"}});
    EXPECT_EQ(Own.Bindings.StatusLine().toStdString(),
              "ESC/Q=exit    A/RIGHT=rotate    UP=engine    CTRL=shot    M=music on/off");
    const std::string strHelp = Defaults.HelpText();
    for (const char* szLine : {"  Left, Pad Left         turn left\n", "  Esc, Q, Pad Back       leave through the ending screen\n",
                               "  F11                    full screen on or off\n"})
        EXPECT_NE(strHelp.find(szLine), std::string::npos) << szLine << "\n" << strHelp;
}

// The manual page and the scripts that drive the game are written by hand: they must say what
// the table does.
TEST(BindingsTest, TheManualPageAndTheScriptsKeysAgreeWithTheTable)
{
    const TBindings Bindings;
    const std::string strPage = ReadText(DRELK_MAN_PAGE);
    const size_t nKeys = strPage.find(".SH KEYS\n");
    ASSERT_NE(nKeys, std::string::npos);
    const std::string strSection = strPage.substr(nKeys, strPage.find(".PD\n", nKeys + 9) - nKeys);
    // Each entry: ".TP", then ".B KEY" or ".BR KEY ", " KEY", then what it does.
    std::vector<std::pair<std::string, std::string>> vecPage;
    const std::regex Entry(R"(\.TP[^\n]*\n\.BR? ([^\n]+)\n([^\n.][^\n]*)\n)");
    for (std::sregex_iterator it(strSection.begin(), strSection.end(), Entry), end; it != end; ++it) {
        std::string strKeys = std::regex_replace((*it)[1].str(), std::regex(R"( ", " )"), ", ");
        vecPage.emplace_back(strKeys, (*it)[2].str());
    }
    std::vector<std::pair<std::string, std::string>> vecTable;
    for (const TBindings::TBinding& Binding : Bindings.GetBindings()) {
        std::string strKeys;
        for (int nKey : Binding.vecKeys)
            strKeys += (strKeys.empty() ? "" : ", ") + TBindings::KeyName(nKey).toStdString();
        vecTable.emplace_back(strKeys, Binding.szDoes);
    }
    EXPECT_EQ(vecPage, vecTable);

    // The scripts' window facts: the status line, and each command's key as xdotool names it.
    const std::string strFacts = ReadText(DRELK_WINDOW_FACTS);
    std::smatch Status;
    ASSERT_TRUE(std::regex_search(strFacts, Status, std::regex("STATUS_TEXT = \"([^\"]*)\"")));
    EXPECT_EQ(Status[1].str(), Bindings.StatusLine().toStdString());
    const std::map<int, std::string> XDOTOOL_NAMES = {{Qt::Key_Space, "space"}, {Qt::Key_Escape, "Escape"},
                                                      {Qt::Key_P, "p"},         {Qt::Key_M, "m"},
                                                      {Qt::Key_F, "f"}};
    for (const TBindings::TBinding& Binding : Bindings.GetBindings()) {
        const int nKey = Binding.vecKeys.front();
        const auto itName = XDOTOOL_NAMES.find(nKey);
        const std::string strName = itName != XDOTOOL_NAMES.end() ? itName->second : TBindings::KeyName(nKey).toStdString();
        EXPECT_NE(strFacts.find("\"" + std::string(Binding.szName) + "\": \"" + strName + "\""), std::string::npos)
            << Binding.szName << " " << strName;
    }
}
