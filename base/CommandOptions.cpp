#include "base/CommandOptions.h"

#include <QCoreApplication>

#include <cstdio>

TCommandOptions::TCommandOptions(const char* szDescription, const QList<QCommandLineOption>& Options)
{
    m_Parser.setApplicationDescription(szDescription);
    m_Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_Parser.addOptions(Options);
    m_HelpOption = m_Parser.addHelpOption();
    m_VersionOption = m_Parser.addVersionOption();
}

void TCommandOptions::AddPositional(const char* szName, const char* szDescription)
{
    m_Parser.addPositionalArgument(szName, szDescription);
}

TCommandOptions::TParse TCommandOptions::Parse(int argc, char** argv, std::string& strError)
{
    QStringList Args;
    for (int i = 0; i < argc; ++i)
        Args << QString::fromLocal8Bit(argv[i]);
    if (!m_Parser.parse(Args)) {
        strError = m_Parser.errorText().toStdString();
        return PARSE_FAILED;
    }
    if (m_Parser.isSet(m_HelpOption))
        return PARSE_HELP;
    if (m_Parser.isSet(m_VersionOption))
        return PARSE_VERSION;
    return PARSE_RUN;
}

std::string TCommandOptions::Value(const char* szName) const
{
    return m_Parser.value(szName).toLocal8Bit().toStdString();
}

bool TCommandOptions::Count(const char* szName, long long nMin, long long nMax, long long& nValue,
                            std::string& strError) const
{
    if (!m_Parser.isSet(szName))
        return true;
    bool bOk = false;
    const long long nRead = m_Parser.value(szName).toLongLong(&bOk);
    if (!bOk || nRead < nMin || nRead > nMax) {
        strError = "bad option '--" + std::string(szName) + " " + Value(szName) + "' (a whole number from " +
                   std::to_string(nMin) + " to " + std::to_string(nMax) + ")";
        return false;
    }
    nValue = nRead;
    return true;
}

bool TCommandOptions::Answer(TParse nParse, int argc, char** argv, const char* szProgram, const char* szVersion,
                             const std::string& strError, int nUsageExit, int& nExit) const
{
    nExit = 0;
    switch (nParse) {
    case PARSE_FAILED:
        std::fprintf(stderr, "%s: %s (see --help)\n", szProgram, strError.c_str());
        nExit = nUsageExit;
        return true;
    case PARSE_HELP: {
        // Qt words the usage line after the application's own name.
        QCoreApplication App(argc, argv);
        std::printf("%s", HelpText().c_str());
        return true;
    }
    case PARSE_VERSION:
        std::printf("%s %s\n", szProgram, szVersion);
        return true;
    case PARSE_RUN:
        break;
    }
    return false;
}
