#include "ui/TQtMessages.h"

#include <QString>
#include <QtGlobal>

namespace {
void FilterQtMessages(QtMsgType nType, const QMessageLogContext& Context, const QString& strMessage)
{
    if (nType != QtFatalMsg && nType != QtCriticalMsg && strMessage.startsWith("QStandardPaths:"))
        return;
    qt_message_output(nType, Context, strMessage);
}
}  // namespace

void TQtMessages::Filter()
{
    qInstallMessageHandler(FilterQtMessages);
}
