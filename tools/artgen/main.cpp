// drelk2-artgen OUTDIR: paints the game's textures and pictures into OUTDIR, the same bytes on
// every run. The data file is packed from them (see assets/manifest.json).

#include "tools/artgen/ArtImage.h"
#include "tools/artgen/Pictures.h"
#include "tools/artgen/Textures.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
// Qt's notes about the session (no runtime folder on a build machine) are noise in a build log;
// anything else it says still shows.
void FilterQtMessages(QtMsgType Type, const QMessageLogContext&, const QString& strMessage)
{
    if (Type != QtFatalMsg && Type != QtCriticalMsg && strMessage.startsWith("QStandardPaths:"))
        return;
    std::fprintf(stderr, "drelk2-artgen: %s\n", qPrintable(strMessage));
}

class TArtWriter
{
public:
    explicit TArtWriter(const std::string& strOutDir) : m_strOutDir(strOutDir) {}

    bool MakeFolder(const std::string& strSub) const
    {
        if (!QDir().mkpath(QString::fromStdString(Path(strSub.c_str()))))
            return Fail("cannot create folder", strSub.c_str());
        return true;
    }

    bool MakeFolders() const { return MakeFolder("textures") && MakeFolder("pictures") && MakeFolder("model"); }

    bool Raw(const char* szName, const QImage& Image, int nComponents) const
    {
        if (!WriteFile(Path(szName), RawPixels(Image, nComponents)))
            return Fail("cannot write", szName);
        return true;
    }

    bool Png(const char* szName, const QImage& Image) const
    {
        if (Image.isNull())
            return Fail("nothing painted for", szName);
        if (!Image.save(QString::fromStdString(Path(szName)), "PNG"))
            return Fail("cannot write", szName);
        return true;
    }

private:
    std::string Path(const char* szName) const { return m_strOutDir + "/" + szName; }

    bool Fail(const char* szWhat, const char* szName) const
    {
        std::fprintf(stderr, "drelk2-artgen: %s %s/%s\n", szWhat, m_strOutDir.c_str(), szName);
        return false;
    }

    std::string m_strOutDir;
};

bool WriteTextures(const TArtWriter& Writer, TPictureArt& Art)
{
    Art.Rock = MakeRockTexture();
    Art.Missile = MakeMissileTexture();
    Art.Engine = MakeEngineTexture();
    Art.Hull = MakeHullTexture();
    if (!Writer.Raw("textures/background.rgb", MakeBackgroundTexture(), 3) ||
        !Writer.Raw("textures/rock.rgb", Art.Rock, 3) || !Writer.Raw("textures/missile.rgba", Art.Missile, 4) ||
        !Writer.Raw("textures/engine.rgba", Art.Engine, 4) || !Writer.Raw("model/hull.rgb", Art.Hull, 3))
        return false;
    constexpr int FRAMES = 20;
    for (int i = 0; i < FRAMES; ++i) {
        char szName[64];
        std::snprintf(szName, sizeof szName, "textures/explosion_%02d.rgba", i);
        if (!Writer.Raw(szName, MakeExplosionFrame(i, FRAMES), 4))
            return false;
    }
    return true;
}

bool WritePictures(const TArtWriter& Writer, const TPictureArt& Art)
{
    return Writer.Png("pictures/ending_back.png", MakeEndingBackground(Art)) &&
           Writer.Png("pictures/ending_fore.png", MakeEndingForeground()) &&
           Writer.Png("pictures/splash.png", MakeSplashPicture(Art));
}

// In the layout of the desktop's icon theme, ready to install: icons/hicolor/NxN/apps/drelk2.png.
bool WriteIcons(const TArtWriter& Writer, const TPictureArt& Art)
{
    for (const int nSize : ICON_SIZES) {
        const std::string strFolder = "icons/hicolor/" + std::to_string(nSize) + "x" + std::to_string(nSize) + "/apps";
        if (!Writer.MakeFolder(strFolder) || !Writer.Png((strFolder + "/drelk2.png").c_str(), MakeIcon(Art, nSize)))
            return false;
    }
    return true;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: drelk2-artgen OUTDIR\n");
        return 2;
    }
    qInstallMessageHandler(FilterQtMessages);
    // Qt picks its pixel-blending code by processor at run time, and the SSE4.1 code rounds
    // antialiased edges differently: the ending picture, and so the data file, came out with
    // other bytes on other machines. The baseline code paints the same everywhere.
    setenv("QT_NO_CPU_FEATURE", "sse3 ssse3 sse4.1 sse4.2 avx avx2 fma f16c bmi bmi2 avx512f avx512bw avx512vl", 1);
    // Fonts and painting without a display.
    char szPlatform[] = "-platform";
    char szOffscreen[] = "offscreen";
    char* vQtArgv[] = {argv[0], szPlatform, szOffscreen, nullptr};
    int nQtArgc = 3;
    QGuiApplication App(nQtArgc, vQtArgv);

    std::string strError;
    if (!LoadPictureFonts(strError)) {
        std::fprintf(stderr, "drelk2-artgen: %s\n", strError.c_str());
        return 1;
    }
    const TArtWriter Writer(argv[1]);
    TPictureArt Art;
    if (!Writer.MakeFolders() || !WriteTextures(Writer, Art) || !WritePictures(Writer, Art) ||
        !WriteIcons(Writer, Art))
        return 1;
    return 0;
}
