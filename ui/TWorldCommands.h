#pragma once
// drelk2's world table options, answered without a window: --submit FILE|last|best sends a
// replay (under --name NAME, else the settings' name) and prints its rank; --world prints the
// table. Both need server=URL in drelk2.conf. A server that cannot be reached or refuses costs
// one line and EXIT_WORLD.

#include <QCommandLineOption>
#include <QCommandLineParser>

class TWorldCommands
{
public:
    // The server could not be reached, refused the replay, or none is set.
    static constexpr int EXIT_WORLD = 4;
    // The replay is unreadable (as for --replay).
    static constexpr int EXIT_BAD_REPLAY = 3;
    static constexpr int EXIT_USAGE = 2;
    // Rows --world prints.
    static constexpr int WORLD_ROWS = 20;

    // Adds the options to the parser.
    explicit TWorldCommands(QCommandLineParser& Parser);
    // After parsing: true when the command line asked for one of these, which has run and set
    // nExitCode.
    bool Run(int& nExitCode) const;

private:
    int Submit(const QString& strName) const;
    int World() const;

    QCommandLineParser& m_Parser;
    QCommandLineOption m_Submit{"submit", "Send a replay to the world table (server= in drelk2.conf): a file, 'last' or "
                                          "'best'; print its rank.", "REPLAY"};
    QCommandLineOption m_World{"world", "Print the world table (server= in drelk2.conf)."};
    QCommandLineOption m_Name{"name", "With --submit: the name to show (default: name= in drelk2.conf, else your "
                                      "login name).", "NAME"};
};
