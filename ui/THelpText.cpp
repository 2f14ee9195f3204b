#include "ui/THelpText.h"

#include "core/GameDriver.h"
#include "input/Bindings.h"
#include "store/PlayerSettings.h"

namespace {
// The keys in force: the table with the player's own from the settings file, which is only read.
// What cannot be used there (a line for no command, a key two commands share) is said.
TBindings BindingsInForce()
{
    const TPlayerSettings Settings(TPlayerSettings::DefaultFile(), TKeptFiles::SayOnStandardError,
                                   TPlayerSettings::ACCESS_READ);
    TBindings Bindings;
    Bindings.ApplySettings([&Settings](const QString& strKey) { return Settings.GetValue(strKey); },
                           TKeptFiles::SayOnStandardError, Settings.GetKeys("keys"));
    return Bindings;
}
}  // namespace

std::string THelpText::Epilogue()
{
    std::string strText =
        "\nKeys:\n" + BindingsInForce().HelpText() +
        "Pad Left and Pad Right are the left stick or the pad's left and right, Pad Up the pad's up\n"
        "or the right trigger, Pad Down the pad's down, Pad A, Pad B, Pad X and Pad Y the south,\n"
        "east, west and north buttons, Pad LB and Pad RB the shoulder buttons. A line\n"
        "<command>=KEY, ... in the [keys] group of drelk2.conf gives a command keys of your own\n"
        "(None: no key, Pad None: no pad button); the start-up window's Keys & pad sets them too.\n"
        "These are the keys in force.\n"
        "\nThe data file: the one --data names, else the first of\n";
    for (const std::string& strPlace : TGameDriver::DataFilePlaces())
        strText += "  " + strPlace + "\n";
    strText +=
        "\nExit status:\n"
        "  0    left through the ending screen or the start-up window, or ended by SIGINT,\n"
        "       SIGTERM or SIGHUP (within 3 seconds, whatever the game was doing)\n"
        "  1    no X display, or the X display went away\n"
        "  2    a bad command line\n"
        "  3    a replay that cannot be read, or was made with other rules or another data file\n"
        "  4    --submit or --world: no world table set, or it did not answer or took nothing\n"
        "  255  a missing or bad data file, or an audio library error\n";
    return strText;
}
