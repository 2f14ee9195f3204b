// The yardstick for the game window's cost: a bare SoQt examiner viewer of the given size with 30
// spheres moved 60 times a second, redrawn by the viewer on every change as an ordinary viewer
// application would. Prints its frames a second and its CPU time as a share of one core.
//   bench_viewer WIDTH HEIGHT SECONDS
#include "base/MathConstants.h"

#include <Inventor/Qt/SoQt.h>
#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoTranslation.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <vector>

namespace {
constexpr int SPHERES = 30;

double CpuSeconds()
{
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
           static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

long s_nFrames = 0;

void CountFrame(void* /*pData*/, SoAction* pAction)
{
    if (pAction->getTypeId().isDerivedFrom(SoGLRenderAction::getClassTypeId()))
        ++s_nFrames;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_viewer WIDTH HEIGHT SECONDS\n");
        return 2;
    }
    const int nWidth = std::atoi(argv[1]);
    const int nHeight = std::atoi(argv[2]);
    const double dSeconds = std::atof(argv[3]);
    QApplication App(argc, argv);
    QWidget Window;
    Window.resize(nWidth, nHeight);
    SoQt::init(&Window);

    SoSeparator* pRoot = new SoSeparator;
    pRoot->ref();
    SoCallback* pCounter = new SoCallback;
    pCounter->setCallback(CountFrame);
    pRoot->addChild(pCounter);
    std::vector<SoTranslation*> vecMoves;
    for (int i = 0; i < SPHERES; ++i) {
        SoSeparator* pBall = new SoSeparator;
        SoMaterial* pColour = new SoMaterial;
        pColour->diffuseColor.setValue(0.3f + 0.02f * i, 0.5f, 0.9f - 0.02f * i);
        SoTranslation* pMove = new SoTranslation;
        vecMoves.push_back(pMove);
        pBall->addChild(pColour);
        pBall->addChild(pMove);
        pBall->addChild(new SoSphere);
        pRoot->addChild(pBall);
    }
    SoQtExaminerViewer* pViewer = new SoQtExaminerViewer(&Window);
    pViewer->setSceneGraph(pRoot);
    pViewer->setDecoration(FALSE);
    pViewer->setSize(SbVec2s(static_cast<short>(nWidth), static_cast<short>(nHeight)));
    Window.show();
    pViewer->show();

    QElapsedTimer Clock;
    Clock.start();
    QTimer Animation;
    QObject::connect(&Animation, &QTimer::timeout, [&] {
        const double t = static_cast<double>(Clock.elapsed()) / 1000.0;
        for (int i = 0; i < SPHERES; ++i) {
            const double a = t * 0.7 + i * 2.0 * PI / SPHERES;
            vecMoves[static_cast<size_t>(i)]->translation.setValue(
                static_cast<float>(12.0 * std::cos(a)), static_cast<float>(8.0 * std::sin(a * 1.3)), 0.0f);
        }
    });
    Animation.start(1000 / 60);

    // The first second is start-up; the measurement is the rest.
    double dCpuStart = 0;
    long nFramesStart = 0;
    QTimer::singleShot(1000, [&] {
        dCpuStart = CpuSeconds();
        nFramesStart = s_nFrames;
        Clock.restart();
    });
    QTimer::singleShot(static_cast<int>(1000 + dSeconds * 1000), [&] {
        const double dElapsed = static_cast<double>(Clock.elapsed()) / 1000.0;
        std::printf("bench_viewer %dx%d: %.1f frames a second, CPU %.1f%% of a core\n", nWidth, nHeight,
                    static_cast<double>(s_nFrames - nFramesStart) / dElapsed,
                    100.0 * (CpuSeconds() - dCpuStart) / dElapsed);
        App.quit();
    });
    const int nResult = App.exec();
    delete pViewer;
    pRoot->unref();
    return nResult;
}
