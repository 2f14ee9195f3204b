#pragma once
// Sparks and fragments: what flies out of an explosion. A shot rock throws glowing sparks that
// streak outwards and slow, and rough chips of itself that tumble away and shrink; the lost ship
// throws a shower of sparks. How many is the player's choice (effects=low, normal or high in
// drelk2.conf): a slow machine draws fewer. Each piece moves by a formula of its age on the
// game's clock, so frames drawn between ticks show it smoothly and a pause holds it. The pieces
// draw from a generator of their own: how they look never touches the game's rules.

#include "base/Float3.h"
#include "base/Random.h"

#include <cstdint>
#include <string>
#include <vector>

class SoCoordinate3;
class SoFaceSet;
class SoGroup;
class SoIndexedFaceSet;
class SoPackedColor;
class SoSeparator;
class SoSwitch;
class SoTexture2;
class SoTextureCoordinate2;

enum class TEffectsDetail { LOW, NORMAL, HIGH };

class TFxDebris
{
public:
    // The setting's words, and the default.
    static constexpr TEffectsDetail DEFAULT_DETAIL = TEffectsDetail::NORMAL;
    static const char* NameOf(TEffectsDetail nDetail);
    // False for anything but "low", "normal" or "high".
    static bool ParseDetail(const std::string& strName, TEffectsDetail& nDetail);

    // Under pRoot; the fragments take pRockTex (shared, not owned). Nothing shows until a burst.
    TFxDebris(SoGroup* pRoot, SoTexture2* pRockTex, TEffectsDetail nDetail);
    ~TFxDebris();
    TFxDebris(const TFxDebris&) = delete;
    TFxDebris& operator=(const TFxDebris&) = delete;

    void SetDetail(TEffectsDetail nDetail) { m_nDetail = nDetail; }
    TEffectsDetail GetDetail() const { return m_nDetail; }
    // A rock of a size class (0 small, 1 medium, 2 large) breaks at a place, from game time
    // dMs on.
    void RockBurst(const TFloat3& vPlace, int nType, double dMs);
    // The ship breaks at a place.
    void ShipBurst(const TFloat3& vPlace, double dMs);
    // The pieces as they are at game time dMs; those past their life go.
    void Present(double dMs);

    int GetSparks() const { return static_cast<int>(m_vecSparks.size()); }
    int GetFragments() const { return static_cast<int>(m_vecFragments.size()); }
    SoSeparator* GetRootNode() const { return m_pRoot; }

private:
    struct TSpark
    {
        TFloat3 vFrom, vSpeed;
        double dBornMs, dLifeMs;
        float fHeat;  // 1: white hot, 0: red
    };
    struct TFragment
    {
        TFloat3 vFrom, vSpeed, vAxis;
        TFloat3 vCorner[4];  // a rough chip, around its own centre
        float fSpin;
        double dBornMs, dLifeMs;
    };
    int Count(int nNormal) const;
    void AddSparks(const TFloat3& vPlace, int nCount, float fSpeed, double dMs);
    void AddFragments(const TFloat3& vPlace, int nCount, float fSize, double dMs);
    void PresentSparks(double dMs);
    void PresentFragments(double dMs);
    float Unit() { return static_cast<float>(m_Random.DrawUnit()); }
    float Between(float a, float b) { return a + (b - a) * Unit(); }

    TEffectsDetail m_nDetail;
    TRandom m_Random;
    std::vector<TSpark> m_vecSparks;
    std::vector<TFragment> m_vecFragments;
    SoSeparator* m_pRoot = nullptr;
    SoGroup* m_pParent = nullptr;
    SoSwitch* m_pSparksSwitch = nullptr;
    SoCoordinate3* m_pSparkCoords = nullptr;
    SoPackedColor* m_pSparkColors = nullptr;
    SoFaceSet* m_pSparkFaces = nullptr;
    SoSwitch* m_pFragmentsSwitch = nullptr;
    SoCoordinate3* m_pFragmentCoords = nullptr;
    SoIndexedFaceSet* m_pFragmentFaces = nullptr;
    SoTextureCoordinate2* m_pFragmentTexCoords = nullptr;
    size_t m_nFragmentFacesMade = 0;
};
