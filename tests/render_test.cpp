// The game's scene as the viewer shows it, rendered off screen by drelk2-sim: the picture must
// show the background, the ship, every rock, textured, and the three counter banners. Needs an
// X display (make test provides one).
#include "base/MathConstants.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestDataFile.h"

#include <QImage>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {
// The viewer's 800 x 552 picture of the plane z: camera at z = 50, 45 degrees high.
QPoint ToScreen(float x, float y, float z = 0.0f)
{
    const double dHalfHeight = (50.0 - z) * std::tan(PI / 8.0);
    const double dHalfWidth = dHalfHeight * 800.0 / 552.0;
    return QPoint(static_cast<int>(std::lround(400.0 + x / dHalfWidth * 400.0)),
                  static_cast<int>(std::lround(276.0 - y / dHalfHeight * 276.0)));
}

// Brightness statistics of a square around a point.
struct TPatch
{
    double dMean = 0.0;
    double dSpread = 0.0;  // standard deviation of the brightness
    double dWarmth = 0.0;  // mean red less mean blue: the rock texture is brown, untextured grey
    int nBright = 0;       // pixels brighter than 170
};

TPatch Patch(const QImage& Image, QPoint Centre, int nRadius)
{
    std::vector<int> vecValues;
    TPatch Result;
    for (int y = Centre.y() - nRadius; y <= Centre.y() + nRadius; ++y) {
        for (int x = Centre.x() - nRadius; x <= Centre.x() + nRadius; ++x) {
            if (!Image.valid(x, y))
                continue;
            const QRgb Pixel = Image.pixel(x, y);
            vecValues.push_back(qGray(Pixel));
            Result.dWarmth += qRed(Pixel) - qBlue(Pixel);
        }
    }
    Result.dWarmth /= static_cast<double>(vecValues.size());
    for (int n : vecValues)
        Result.dMean += n;
    Result.dMean /= static_cast<double>(vecValues.size());
    for (int n : vecValues) {
        Result.dSpread += (n - Result.dMean) * (n - Result.dMean);
        Result.nBright += n > 170;
    }
    Result.dSpread = std::sqrt(Result.dSpread / static_cast<double>(vecValues.size()));
    return Result;
}
}  // namespace

TEST(RenderTest, SceneShowsBackgroundShipTexturedRocksAndBanners)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display";
    const std::string strPng = MakeTempDir() + "/shot.png";
    TCommandResult Result = RunCommand("SDL_AUDIODRIVER=dummy " + ShellQuote(DRELK_SIM_TOOL) + " --data " +
                                       ShellQuote(DRELK_TEST_DATA_FILE) + " --ticks 1 --shot " + ShellQuote(strPng));
    ASSERT_EQ(Result.nExitCode, 0) << Result.strOut;
    const QImage Image(QString::fromStdString(strPng));
    ASSERT_EQ(Image.size(), QSize(800, 552));
    const nlohmann::json State = nlohmann::json::parse(Result.strOut.substr(Result.strOut.rfind("{\"tick\":1")));

    // Deep space: dark, but with stars in it.
    const TPatch Sky = Patch(Image, QPoint(400, 276), 400);
    EXPECT_LT(Sky.dMean, 80.0);
    EXPECT_GT(Sky.nBright, 50);

    // The ship at the centre stands out from the sky around it.
    EXPECT_GT(Patch(Image, ToScreen(0.0f, 0.0f), 6).dMean, 60.0);

    // Each rock is lit and textured: a bright patch with detail in it.
    for (const auto& Rock : State["asteroids"]) {
        const QPoint Where = ToScreen(Rock["x"].get<float>(), Rock["y"].get<float>());
        if (!QRect(10, 10, 780, 500).contains(Where))
            continue;  // at an edge, partly off the picture or behind a banner
        const TPatch Surface = Patch(Image, Where, 8);
        EXPECT_GT(Surface.dMean, 50.0) << Where.x() << "," << Where.y();
        EXPECT_GT(Surface.dSpread, 4.0) << Where.x() << "," << Where.y();
        EXPECT_GT(Surface.dWarmth, 4.0) << Where.x() << "," << Where.y();
    }

    // The ships, level and score banners along the bottom, at z = 10.
    for (float x : {-20.0f, -1.0f, 17.0f}) {
        const QPoint Where = ToScreen(x + 1.5f, -15.7f, 10.0f);
        EXPECT_GT(Patch(Image, Where, 10).nBright, 10) << Where.x() << "," << Where.y();
    }
}
