// drelk2: the game. Opens the start-up window, plays the game in its window, and leaves through
// the ending screen. Drelk_II.bin lies beside the executable or in the installed data folder.

#include "ui/TCommandLine.h"
#include "ui/TDescriptors.h"
#include "ui/TEnvironmentFiles.h"
#include "ui/TFormDebug.h"
#include "ui/TFormMain.h"
#include "ui/TKeptLibraries.h"
#include "ui/TQtMessages.h"
#include "ui/TSignals.h"
#include "ui/TStatsReport.h"

#include "base/Assert.h"
#include "sound/FModSoundManager.h"

#include <QApplication>
#include <QMessageBox>

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
// The connection stays open until Qt has its own: an X server that resets when its last client
// leaves would otherwise refuse Qt in between. Null, said in one line, without a display.
Display* OpenDisplay()
{
    Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay) {
        const char* szDisplay = std::getenv("DISPLAY");
        if (szDisplay && *szDisplay)
            std::fprintf(stderr, "drelk2: cannot open the X display '%s'\n", szDisplay);
        else
            std::fprintf(stderr, "drelk2: no X display (DISPLAY is not set): the game needs a graphical session\n");
    }
    return pDisplay;
}

void ShowFatal(const std::string& strTitle, const std::string& strText)
{
    QMessageBox::critical(nullptr, QString::fromStdString(strTitle), QString::fromStdString(strText));
}

// What the process asks of Qt before the application object: the X platform (the viewer draws
// through GLX), Qt's own event dispatcher (it wakes for less than GLib's on the idle windows),
// and plain windows drawn without GL, so that the start-up window shows before the GL library is
// loaded, which only the game's viewer needs (it asks for its own GL window).
void ChooseQtPlatform()
{
    TQtMessages::Filter();
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_NO_GLIB", "1", 0);
    QApplication::setAttribute(Qt::AA_ForceRasterWidgets);
}

// The start-up window, the game and the ending screen; the program's exit status.
int Play(const TCommandLine& Line, int nExitCode)
{
    int nStatus = 0;
    TFormMain Form(Line.Options);
    if (Form.FormCreate(nExitCode) && !TSignals::Received()) {
        FormDebug = new TFormDebug(&Form);
        nStatus = QApplication::exec();
    } else {
        nStatus = nExitCode;
    }
    TSignals::Ending();
    if (Line.bStats)
        TStatsReport::Print(Form);
    return nStatus;
}
}  // namespace

int main(int argc, char** argv)
{
    TDescriptors::KeepStandardStreamsOpen();
    TSignals::Catch();
    TEnvironmentFiles::DropUnusable();
    TDescriptors::SpareSome();
    TCommandLine Line;
    int nExitCode = 0;
    if (!TCommandLine::Read(argc, argv, Line, nExitCode))
        return nExitCode;
    Display* pDisplay = OpenDisplay();
    if (!pDisplay)
        return TSignals::EXIT_NO_DISPLAY;
    ChooseQtPlatform();
    QApplication App(argc, argv);
    XCloseDisplay(pDisplay);
    QApplication::setApplicationName("drelk2");
    QApplication::setApplicationVersion(DRELK_VERSION);
    TAssert::SetMessageHook(ShowFatal);
    TFModSoundManager::SetErrorHook(ShowFatal);
    TSignals::Watch(&App);
    const int nStatus = Play(Line, nExitCode);
    TKeptLibraries::KeepLoaded();
    return TSignals::Received() ? 0 : nStatus;
}
