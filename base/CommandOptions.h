#pragma once
// A command-line tool's options read the one way the tools read them: long options with one dash
// or two, --help and --version, and whole numbers checked against their range with the option
// named in the one-line refusal.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QStringList>

#include <string>

class TCommandOptions
{
public:
    enum TParse { PARSE_RUN, PARSE_HELP, PARSE_VERSION, PARSE_FAILED };

    TCommandOptions(const char* szDescription, const QList<QCommandLineOption>& Options);

    void AddPositional(const char* szName, const char* szDescription);
    // PARSE_RUN when the options are well formed and neither --help nor --version is asked for;
    // PARSE_FAILED with strError.
    TParse Parse(int argc, char** argv, std::string& strError);

    // What a tool does for all but PARSE_RUN: the refusal on standard error ("PROGRAM: ... (see
    // --help)", nExit nUsageExit), or the help or version on standard output (nExit 0). False for
    // PARSE_RUN: the tool goes on.
    bool Answer(TParse nParse, int argc, char** argv, const char* szProgram, const char* szVersion,
                const std::string& strError, int nUsageExit, int& nExit) const;

    bool IsSet(const char* szName) const { return m_Parser.isSet(szName); }
    // The option's value in the local encoding; empty when it is not given.
    std::string Value(const char* szName) const;
    QStringList Positional() const { return m_Parser.positionalArguments(); }
    std::string HelpText() const { return m_Parser.helpText().toStdString(); }

    // The whole number given for szName, from nMin to nMax, into nValue; nValue stays as it is
    // when the option is not given.
    bool Count(const char* szName, long long nMin, long long nMax, long long& nValue, std::string& strError) const;
    template <typename T>
    bool Count(const char* szName, T nMin, T nMax, T& nValue, std::string& strError) const
    {
        long long nRead = nValue;
        if (!Count(szName, static_cast<long long>(nMin), static_cast<long long>(nMax), nRead, strError))
            return false;
        nValue = static_cast<T>(nRead);
        return true;
    }

private:
    QCommandLineParser m_Parser;
    QCommandLineOption m_HelpOption{"help"};
    QCommandLineOption m_VersionOption{"version"};
};
