#include "fx/Debris.h"

#include "base/Assert.h"
#include "base/MathConstants.h"

#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoMaterialBinding.h>
#include <Inventor/nodes/SoPackedColor.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTextureCoordinate2.h>
#include <Inventor/nodes/SoTransparencyType.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// How fast the air of the field slows a spark and a chip, a second.
constexpr double SPARK_DRAG = 2.5;
constexpr double CHIP_DRAG = 1.2;
// A spark is drawn as a streak this long a unit of its speed, and this wide.
constexpr float STREAK_TIME = 0.06f;
constexpr float STREAK_WIDTH = 0.16f;
// A chip keeps its size for this share of its life, then shrinks away.
constexpr double CHIP_HOLDS = 0.6;

struct TBurst
{
    int nSparks;
    float fSparkSpeed;
    int nChips;
    float fChipSize;
};
// Small, medium, large rocks, then the ship, at the normal detail.
constexpr TBurst BURSTS[] = {{12, 12.0f, 4, 0.45f}, {16, 13.0f, 6, 0.6f}, {22, 14.0f, 8, 0.8f}, {40, 16.0f, 0, 0.0f}};
constexpr int SHIP_BURST = 3;

// A piece's place after t seconds from vFrom at vSpeed under drag k: it goes (1 - e^-kt) / k of
// its speed; fDecay = e^-kt.
TFloat3 Travelled(const TFloat3& vFrom, const TFloat3& vSpeed, double k, float fDecay)
{
    return vFrom + vSpeed * static_cast<float>((1.0 - fDecay) / k);
}

// At most this many pieces at once: a storm of hits cannot make the frames slow.
constexpr size_t MOST_SPARKS = 600;
constexpr size_t MOST_CHIPS = 160;

// Hot to cold: white-yellow, orange, deep red.
void HeatColour(float fHeat, float& r, float& g, float& b)
{
    const float h = std::clamp(fHeat, 0.0f, 1.0f);
    if (h > 0.5f) {
        const float f = (h - 0.5f) * 2;
        r = 1.0f;
        g = 0.55f + 0.45f * f;
        b = 0.1f + 0.7f * f;
    } else {
        const float f = h * 2;
        r = 0.75f + 0.25f * f;
        g = 0.08f + 0.47f * f;
        b = 0.02f + 0.08f * f;
    }
}

uint32_t Pack(float r, float g, float b, float a)
{
    auto Byte = [](float f) { return static_cast<uint32_t>(std::lround(std::clamp(f, 0.0f, 1.0f) * 255)); };
    return Byte(r) << 24 | Byte(g) << 16 | Byte(b) << 8 | Byte(a);
}

// v turned about the unit axis k by the angle whose cosine and sine are c and s (Rodrigues).
TFloat3 Turned(const TFloat3& v, const TFloat3& k, float c, float s)
{
    const float dot = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
    const float cx = k[1] * v[2] - k[2] * v[1], cy = k[2] * v[0] - k[0] * v[2], cz = k[0] * v[1] - k[1] * v[0];
    return TFloat3(v[0] * c + cx * s + k[0] * dot * (1 - c), v[1] * c + cy * s + k[1] * dot * (1 - c),
                   v[2] * c + cz * s + k[2] * dot * (1 - c));
}

SoSeparator* NewSeparator()
{
    SoSeparator* pSep = new SoSeparator;
    DRELK_ASSERT(pSep);
    // What it holds changes at every frame of a burst.
    pSep->renderCaching.setValue(SoSeparator::OFF);
    pSep->boundingBoxCaching.setValue(SoSeparator::OFF);
    return pSep;
}
}  // namespace

const char* TFxDebris::NameOf(TEffectsDetail nDetail)
{
    switch (nDetail) {
    case TEffectsDetail::LOW:
        return "low";
    case TEffectsDetail::HIGH:
        return "high";
    case TEffectsDetail::NORMAL:
        break;
    }
    return "normal";
}

bool TFxDebris::ParseDetail(const std::string& strName, TEffectsDetail& nDetail)
{
    for (TEffectsDetail n : {TEffectsDetail::LOW, TEffectsDetail::NORMAL, TEffectsDetail::HIGH}) {
        if (strName == NameOf(n)) {
            nDetail = n;
            return true;
        }
    }
    return false;
}

TFxDebris::TFxDebris(SoGroup* pRoot, SoTexture2* pRockTex, TEffectsDetail nDetail)
    : m_nDetail(nDetail), m_pParent(pRoot)
{
    DRELK_ASSERT(m_pParent);
    DRELK_ASSERT(pRockTex);
    m_pRoot = NewSeparator();
    m_pRoot->ref();

    // Sparks: unlit, their colours per corner, added to what lies under them.
    m_pSparksSwitch = new SoSwitch;
    m_pSparksSwitch->whichChild.setValue(SO_SWITCH_NONE);
    SoSeparator* pSparks = NewSeparator();
    SoLightModel* pLight = new SoLightModel;
    pLight->model.setValue(SoLightModel::BASE_COLOR);
    pSparks->addChild(pLight);
    SoTransparencyType* pAdd = new SoTransparencyType;
    pAdd->value.setValue(SoTransparencyType::DELAYED_ADD);
    pSparks->addChild(pAdd);
    SoMaterialBinding* pBinding = new SoMaterialBinding;
    pBinding->value.setValue(SoMaterialBinding::PER_VERTEX);
    pSparks->addChild(pBinding);
    m_pSparkColors = new SoPackedColor;
    pSparks->addChild(m_pSparkColors);
    m_pSparkCoords = new SoCoordinate3;
    pSparks->addChild(m_pSparkCoords);
    m_pSparkFaces = new SoFaceSet;
    pSparks->addChild(m_pSparkFaces);
    m_pSparksSwitch->addChild(pSparks);
    m_pRoot->addChild(m_pSparksSwitch);

    // Fragments: chips of rock, lit and textured like the rocks.
    m_pFragmentsSwitch = new SoSwitch;
    m_pFragmentsSwitch->whichChild.setValue(SO_SWITCH_NONE);
    SoSeparator* pChips = NewSeparator();
    pChips->addChild(pRockTex);
    m_pFragmentTexCoords = new SoTextureCoordinate2;
    pChips->addChild(m_pFragmentTexCoords);
    m_pFragmentCoords = new SoCoordinate3;
    pChips->addChild(m_pFragmentCoords);
    m_pFragmentFaces = new SoIndexedFaceSet;
    pChips->addChild(m_pFragmentFaces);
    m_pFragmentsSwitch->addChild(pChips);
    m_pRoot->addChild(m_pFragmentsSwitch);

    m_pParent->addChild(m_pRoot);
}

TFxDebris::~TFxDebris()
{
    const int nAt = m_pParent->findChild(m_pRoot);
    if (nAt >= 0)
        m_pParent->removeChild(nAt);
    m_pRoot->unref();
}

int TFxDebris::Count(int nNormal) const
{
    switch (m_nDetail) {
    case TEffectsDetail::LOW:
        return (nNormal * 2 + 2) / 5;
    case TEffectsDetail::HIGH:
        return nNormal * 2;
    case TEffectsDetail::NORMAL:
        break;
    }
    return nNormal;
}

void TFxDebris::RockBurst(const TFloat3& vPlace, int nType, double dMs)
{
    const TBurst& Burst = BURSTS[nType >= 0 && nType < SHIP_BURST ? nType : 0];
    AddSparks(vPlace, Count(Burst.nSparks), Burst.fSparkSpeed, dMs);
    // A slow machine is spared the lit, textured chips first.
    if (m_nDetail != TEffectsDetail::LOW)
        AddFragments(vPlace, Count(Burst.nChips), Burst.fChipSize, dMs);
}

void TFxDebris::ShipBurst(const TFloat3& vPlace, double dMs)
{
    const TBurst& Burst = BURSTS[SHIP_BURST];
    AddSparks(vPlace, Count(Burst.nSparks), Burst.fSparkSpeed, dMs);
}

void TFxDebris::AddSparks(const TFloat3& vPlace, int nCount, float fSpeed, double dMs)
{
    // The oldest make room.
    const size_t nRoom = MOST_SPARKS - std::min(MOST_SPARKS, static_cast<size_t>(nCount));
    if (m_vecSparks.size() > nRoom)
        m_vecSparks.erase(m_vecSparks.begin(), m_vecSparks.end() - static_cast<long>(nRoom));
    for (int i = 0; i < nCount; ++i) {
        const double dAngle = 2 * PI * Unit();
        const float fV = fSpeed * Between(0.45f, 1.2f);
        TSpark Spark;
        Spark.vFrom = vPlace;
        Spark.vSpeed = TFloat3(static_cast<float>(std::cos(dAngle)) * fV, static_cast<float>(std::sin(dAngle)) * fV,
                               Between(-1.0f, 1.0f));
        Spark.dBornMs = dMs;
        Spark.dLifeMs = Between(350.0f, 800.0f);
        Spark.fHeat = Between(0.6f, 1.0f);
        m_vecSparks.push_back(Spark);
    }
}

void TFxDebris::AddFragments(const TFloat3& vPlace, int nCount, float fSize, double dMs)
{
    // The corners of a regular tetrahedron, roughened for each chip.
    static const TFloat3 TETRA[4] = {TFloat3(1, 1, 1), TFloat3(1, -1, -1), TFloat3(-1, 1, -1), TFloat3(-1, -1, 1)};
    const size_t nRoom = MOST_CHIPS - std::min(MOST_CHIPS, static_cast<size_t>(nCount));
    if (m_vecFragments.size() > nRoom)
        m_vecFragments.erase(m_vecFragments.begin(), m_vecFragments.end() - static_cast<long>(nRoom));
    for (int i = 0; i < nCount; ++i) {
        TFragment Chip;
        const double dAngle = 2 * PI * Unit();
        const float fV = Between(2.0f, 5.5f);
        Chip.vFrom = vPlace;
        Chip.vSpeed = TFloat3(static_cast<float>(std::cos(dAngle)) * fV, static_cast<float>(std::sin(dAngle)) * fV,
                              Between(-0.5f, 0.5f));
        TFloat3 vAxis(Between(-1, 1), Between(-1, 1), Between(-1, 1));
        const float fLength = std::sqrt(vAxis[0] * vAxis[0] + vAxis[1] * vAxis[1] + vAxis[2] * vAxis[2]);
        Chip.vAxis = fLength > 1e-3f ? vAxis / fLength : TFloat3(0, 0, 1);
        Chip.fSpin = Between(3.0f, 9.0f) * (Unit() < 0.5f ? -1.0f : 1.0f);
        const float fChip = fSize * Between(0.6f, 1.0f) / 1.732f;
        for (int k = 0; k < 4; ++k)
            Chip.vCorner[k] = TETRA[k] * (fChip * Between(0.7f, 1.3f));
        Chip.dBornMs = dMs;
        Chip.dLifeMs = Between(900.0f, 1500.0f);
        m_vecFragments.push_back(Chip);
    }
}

void TFxDebris::Present(double dMs)
{
    m_vecSparks.erase(std::remove_if(m_vecSparks.begin(), m_vecSparks.end(),
                                     [dMs](const TSpark& S) { return dMs - S.dBornMs >= S.dLifeMs; }),
                      m_vecSparks.end());
    m_vecFragments.erase(std::remove_if(m_vecFragments.begin(), m_vecFragments.end(),
                                        [dMs](const TFragment& F) { return dMs - F.dBornMs >= F.dLifeMs; }),
                         m_vecFragments.end());
    PresentSparks(dMs);
    PresentFragments(dMs);
}

void TFxDebris::PresentSparks(double dMs)
{
    const int nWhich = m_vecSparks.empty() ? SO_SWITCH_NONE : SO_SWITCH_ALL;
    if (m_pSparksSwitch->whichChild.getValue() != nWhich)
        m_pSparksSwitch->whichChild.setValue(nWhich);
    if (m_vecSparks.empty())
        return;
    const size_t nCorners = 4 * m_vecSparks.size();
    std::vector<SbVec3f> vecPoints(nCorners);
    std::vector<uint32_t> vecColours(nCorners);
    for (size_t i = 0; i < m_vecSparks.size(); ++i) {
        const TSpark& S = m_vecSparks[i];
        const double t = std::max(0.0, dMs - S.dBornMs) / 1000.0;
        const float fLife = static_cast<float>(std::max(0.0, dMs - S.dBornMs) / S.dLifeMs);
        const float fSlow = std::exp(static_cast<float>(-SPARK_DRAG * t));
        const TFloat3 vAt = Travelled(S.vFrom, S.vSpeed, SPARK_DRAG, fSlow);
        const SbVec3f vHead(vAt[0], vAt[1], vAt[2]);
        const SbVec3f vSpeed(S.vSpeed[0] * fSlow, S.vSpeed[1] * fSlow, 0.0f);
        const float fSpeed = vSpeed.length();
        const SbVec3f vDirection = fSpeed > 1e-4f ? vSpeed / fSpeed : SbVec3f(0, 1, 0);
        const SbVec3f vAcross = SbVec3f(-vDirection[1], vDirection[0], 0.0f) * (STREAK_WIDTH / 2);
        // The streak trails as far as the spark went in the last moment, never back past where
        // it was thrown from, and is never shorter than it is wide.
        const float fGone = std::hypot(vHead[0] - S.vFrom[0], vHead[1] - S.vFrom[1]);
        const SbVec3f vTrail = vDirection * std::max(STREAK_WIDTH, std::min(fSpeed * STREAK_TIME, fGone));
        // Counter-clockwise seen from above: the faces are drawn from their front only.
        vecPoints[4 * i] = vHead - vAcross;
        vecPoints[4 * i + 1] = vHead + vAcross;
        vecPoints[4 * i + 2] = vHead - vTrail + vAcross;
        vecPoints[4 * i + 3] = vHead - vTrail - vAcross;
        float r, g, b;
        HeatColour(S.fHeat * (1.0f - fLife), r, g, b);
        const float fAlpha = std::pow(1.0f - fLife, 1.5f);
        vecColours[4 * i] = vecColours[4 * i + 1] = Pack(r, g, b, fAlpha);
        vecColours[4 * i + 2] = vecColours[4 * i + 3] = Pack(r, g * 0.7f, b * 0.5f, fAlpha * 0.25f);
    }
    // Each spark's four corners wind counter-clockwise whichever way it flies.
    for (size_t i = 0; i < m_vecSparks.size(); ++i) {
        const SbVec3f e1 = vecPoints[4 * i + 1] - vecPoints[4 * i], e2 = vecPoints[4 * i + 2] - vecPoints[4 * i];
        if (e1.cross(e2)[2] < 0) {
            std::swap(vecPoints[4 * i], vecPoints[4 * i + 1]);
            std::swap(vecPoints[4 * i + 2], vecPoints[4 * i + 3]);
        }
    }
    m_pSparkCoords->point.setValues(0, static_cast<int>(nCorners), vecPoints.data());
    m_pSparkCoords->point.setNum(static_cast<int>(nCorners));
    m_pSparkColors->orderedRGBA.setValues(0, static_cast<int>(nCorners), vecColours.data());
    m_pSparkColors->orderedRGBA.setNum(static_cast<int>(nCorners));
    if (m_pSparkFaces->numVertices.getNum() != static_cast<int>(m_vecSparks.size())) {
        const std::vector<int32_t> vecFour(m_vecSparks.size(), 4);
        m_pSparkFaces->numVertices.setValues(0, static_cast<int>(vecFour.size()), vecFour.data());
        m_pSparkFaces->numVertices.setNum(static_cast<int>(vecFour.size()));
    }
}

void TFxDebris::PresentFragments(double dMs)
{
    const int nWhich = m_vecFragments.empty() ? SO_SWITCH_NONE : SO_SWITCH_ALL;
    if (m_pFragmentsSwitch->whichChild.getValue() != nWhich)
        m_pFragmentsSwitch->whichChild.setValue(nWhich);
    if (m_vecFragments.empty())
        return;
    const size_t nChips = m_vecFragments.size();
    std::vector<SbVec3f> vecPoints(4 * nChips);
    for (size_t i = 0; i < nChips; ++i) {
        const TFragment& F = m_vecFragments[i];
        const double t = std::max(0.0, dMs - F.dBornMs) / 1000.0;
        const double dLife = std::max(0.0, dMs - F.dBornMs) / F.dLifeMs;
        const float fScale = dLife < CHIP_HOLDS ? 1.0f : static_cast<float>((1.0 - dLife) / (1.0 - CHIP_HOLDS));
        const TFloat3 vAt = Travelled(F.vFrom, F.vSpeed, CHIP_DRAG, std::exp(static_cast<float>(-CHIP_DRAG * t)));
        const float fAngle = static_cast<float>(F.fSpin * t);
        const float c = std::cos(fAngle), s = std::sin(fAngle);
        for (int k = 0; k < 4; ++k) {
            const TFloat3 v = vAt + Turned(F.vCorner[k], F.vAxis, c, s) * fScale;
            vecPoints[4 * i + static_cast<size_t>(k)].setValue(v[0], v[1], v[2]);
        }
    }
    m_pFragmentCoords->point.setValues(0, static_cast<int>(vecPoints.size()), vecPoints.data());
    m_pFragmentCoords->point.setNum(static_cast<int>(vecPoints.size()));
    if (m_nFragmentFacesMade != nChips) {
        // The four faces of each chip, wound counter-clockwise seen from outside: the corners
        // are a turned regular tetrahedron, each pushed along its own ray, which keeps the
        // winding.
        static const int32_t FACES[16] = {0, 1, 2, -1, 0, 3, 1, -1, 1, 3, 2, -1, 2, 3, 0, -1};
        std::vector<int32_t> vecIndex(16 * nChips);
        std::vector<SbVec2f> vecTex(4 * nChips);
        for (size_t i = 0; i < nChips; ++i) {
            for (int k = 0; k < 16; ++k)
                vecIndex[16 * i + static_cast<size_t>(k)] = FACES[k] < 0 ? -1 : static_cast<int32_t>(4 * i) + FACES[k];
            for (int k = 0; k < 4; ++k)
                vecTex[4 * i + static_cast<size_t>(k)].setValue(0.25f * k + 0.1f * static_cast<float>(i % 3), 0.3f * (k % 2) + 0.2f);
        }
        m_pFragmentFaces->coordIndex.setValues(0, static_cast<int>(vecIndex.size()), vecIndex.data());
        m_pFragmentFaces->coordIndex.setNum(static_cast<int>(vecIndex.size()));
        m_pFragmentTexCoords->point.setValues(0, static_cast<int>(vecTex.size()), vecTex.data());
        m_pFragmentTexCoords->point.setNum(static_cast<int>(vecTex.size()));
        m_nFragmentFacesMade = nChips;
    }
}
