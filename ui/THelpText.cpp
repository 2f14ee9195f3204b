#include "ui/THelpText.h"

#include "core/GameDriver.h"
#include "input/Bindings.h"

std::string THelpText::Epilogue()
{
    std::string strText =
        "\nKeys:\n" + TBindings().HelpText() +
        "Pad Left and Pad Right are the left stick or the pad's left and right, Pad Up the pad's up\n"
        "or the right trigger, Pad A the south button. A line <command>=KEY, ... in the [keys] group\n"
        "of drelk2.conf gives a command keys of your own.\n"
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
