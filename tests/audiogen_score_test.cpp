// The music generator's note lists: what a valid list turns into (notes, drums, tempo map,
// the human feel of accents and loose timing, and the synthesizer's input made from it), and
// how a faulty list is refused with the line of the fault.

#include "MusicRenderer.h"
#include "Score.h"
#include "tests/support/TestDataFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

class ScoreTest : public ::testing::Test
{
protected:
    void SetUp() override { m_strDir = MakeTempDir(); }

    std::string Write(const std::string& strText)
    {
        const std::string strPath = m_strDir + "/piece.txt";
        std::ofstream(strPath) << strText;
        return strPath;
    }

    std::string m_strDir;
};

const char* const VALID = R"(# two bars, played twice
tempo 120
meter 4/4
voice lead ch=1 program=81 vel=100 gate=0.5
voice kick ch=10 note=36 step=16
pattern a 2
  lead:  c4:4 e4 (g4:8)*2 [c4 e4]:4 |
         r:2 c5:4.! d5:8?
  kick:  x...x... X...o... | ................
  tempo: 120:1 | 60:1
end
song a a
)";

TEST_F(ScoreTest, ReadsNotesDrumsAndTempos)
{
    TScore Score;
    std::string strError;
    ASSERT_TRUE(Score.Load(Write(VALID), strError)) << strError;
    ASSERT_EQ(Score.Notes().size(), 2u);

    const std::vector<TNote>& vLead = Score.Notes()[0];
    ASSERT_EQ(vLead.size(), 16u);  // 7 notes and a two-note chord, twice
    EXPECT_EQ(vLead[0].nTick, 0);
    EXPECT_EQ(vLead[0].nPitch, 60);
    EXPECT_EQ(vLead[0].nLength, 240);  // a quarter at gate 0.5
    EXPECT_EQ(vLead[0].nVelocity, 100);
    EXPECT_EQ(vLead[3].nTick, 960 + 240);        // the second repeated eighth
    EXPECT_EQ(vLead[6].nTick, 1920 + 960);         // c5 after the half rest, accented
    EXPECT_EQ(vLead[6].nPitch, 72);
    EXPECT_EQ(vLead[6].nVelocity, 118);
    EXPECT_EQ(vLead[7].nTick, 1920 + 960 + 720);  // d5 after the dotted quarter, soft
    EXPECT_EQ(vLead[7].nVelocity, 60);
    EXPECT_EQ(vLead[8].nTick, 2 * 1920);  // the song's second pattern

    const std::vector<TNote>& vKick = Score.Notes()[1];
    ASSERT_EQ(vKick.size(), 8u);
    EXPECT_EQ(vKick[1].nTick, 4 * 120);
    EXPECT_EQ(vKick[2].nVelocity, 90 + 24);
    EXPECT_EQ(vKick[3].nVelocity, 50);
    EXPECT_EQ(vKick[0].nPitch, 36);

    EXPECT_EQ(Score.LengthTicks(), 4 * 1920);
    EXPECT_DOUBLE_EQ(Score.SecondsAt(1920), 2.0);            // a bar at 120
    EXPECT_DOUBLE_EQ(Score.SecondsAt(Score.LengthTicks()), 12.0);  // 2 + 4, twice
}

// The synthesizer gets every note once a pass, each note-on matched by a note-off of the same
// key after it, all in time order, with every channel set up before the first note.
TEST_F(ScoreTest, SynthesizerGetsEveryNoteOnceAPassInTimeOrder)
{
    TScore Score;
    std::string strError;
    ASSERT_TRUE(Score.Load(Write(VALID), strError)) << strError;
    const std::vector<TSynthEvent> vEvents = TMusicRenderer::Events(Score, 2);
    ASSERT_FALSE(vEvents.empty());
    size_t nOn = 0, nOff = 0, nPrograms = 0;
    long nFirstNote = -1;
    for (size_t i = 0; i < vEvents.size(); ++i) {
        const TSynthEvent& e = vEvents[i];
        if (i > 0) {
            EXPECT_LE(vEvents[i - 1].nFrame, e.nFrame) << "event " << i;
        }
        if (e.eKind == TSynthEvent::PROGRAM) {
            ++nPrograms;
            EXPECT_EQ(nFirstNote, -1) << "a channel set up after the first note";
        }
        if (e.eKind == TSynthEvent::NOTE_ON && nFirstNote < 0)
            nFirstNote = e.nFrame;
        nOn += e.eKind == TSynthEvent::NOTE_ON;
        nOff += e.eKind == TSynthEvent::NOTE_OFF;
    }
    EXPECT_EQ(nPrograms, 2u);  // the lead's channel and the drums'
    EXPECT_EQ(nOn, 2 * (16u + 8u));
    EXPECT_EQ(nOff, nOn);
    // The second pass starts where the first ends: 12 s at 44.1 kHz.
    const auto Second = std::find_if(vEvents.begin(), vEvents.end(), [](const TSynthEvent& e) {
        return e.eKind == TSynthEvent::NOTE_ON && e.nFrame >= 12 * TMusicRenderer::RATE;
    });
    ASSERT_NE(Second, vEvents.end());
    EXPECT_EQ(Second->nFrame, 12 * TMusicRenderer::RATE);
}

// Accents follow the bar (downbeat loudest, off-beat sixteenths softest) and loose timing moves
// notes by at most the voice's milliseconds; both come out the same on every load, so a loop's
// two passes and two builds agree.
TEST_F(ScoreTest, AccentsFollowTheBarAndLooseTimingStaysInBounds)
{
    const std::string strFeel = R"(tempo 120
voice hat ch=10 note=42 vel=80 accent=20 loose=10
pattern a 1
  hat: xxxxxxxxxxxxxxxx
end
song a a a a
)";
    TScore Score, Again;
    std::string strError;
    ASSERT_TRUE(Score.Load(Write(strFeel), strError)) << strError;
    ASSERT_TRUE(Again.Load(Write(strFeel), strError)) << strError;
    const std::vector<TNote>& vHat = Score.Notes()[0];
    ASSERT_EQ(vHat.size(), 64u);
    const double dTicksPerMs = TScore::PPQ / 500.0;  // a quarter is 500 ms at 120
    double dDownbeats = 0.0, dOffbeats = 0.0;
    bool bMoved = false;
    for (size_t i = 0; i < vHat.size(); ++i) {
        const long nGrid = long(std::lround(double(vHat[i].nTick) / 120.0)) * 120;
        EXPECT_LE(std::abs(vHat[i].nTick - nGrid), std::lround(10 * dTicksPerMs)) << "note " << i;
        bMoved = bMoved || vHat[i].nTick != nGrid;
        const long nStep = (nGrid % 1920) / 120;
        if (nStep == 0)
            dDownbeats += vHat[i].nVelocity / 4.0;
        else if (nStep % 2)
            dOffbeats += vHat[i].nVelocity / 32.0;
        EXPECT_EQ(vHat[i].nTick, Again.Notes()[0][i].nTick);
        EXPECT_EQ(vHat[i].nVelocity, Again.Notes()[0][i].nVelocity);
    }
    EXPECT_TRUE(bMoved) << "no note left the grid";
    EXPECT_GT(dDownbeats - dOffbeats, 12.0) << "downbeats " << dDownbeats << ", off-beats " << dOffbeats;
}

struct TBrokenCase
{
    const char* szPattern;  // the lines after "pattern a 2"
    int nLine;              // where the fault is reported
    const char* szMessage;
};

TEST_F(ScoreTest, RefusesFaultyListsNamingTheLine)
{
    const std::string strHead = "tempo 120\nvoice lead ch=1\nvoice kick ch=10 note=36\npattern a 2\n";
    const TBrokenCase CASES[] = {
        {"  lead: c4:4 e4 | g4:2 g4 c4:1\nend\nsong a\n", 5, "bar line at bar 1 + 2 beats"},
        {"  lead: c4:1 | c4:2\nend\nsong a\n", 5, "ends at bar 2 + 2 beats"},
        {"  lead: c4:1\n        h4:1\nend\nsong a\n", 5, "bad note \"h4\""},
        {"  lead: c4:3 c4:1\nend\nsong a\n", 5, "bad duration"},
        {"  lead: (c4:1 c4:1\nend\nsong a\n", 5, "\"(\" without \")\""},
        {"  kick: x...x..y........ | ................\nend\nsong a\n", 5, "drum steps"},
        {"  lead: c4:1 c4:1\nend\nsong a b\n", 7, "no pattern \"b\""},
        {"  lead: c4:1 c4:1\n", 5, "has no \"end\""},
        {"  c4:1 c4:1\nend\nsong a\n", 5, "expected \"voice: notes\""},
    };
    for (const TBrokenCase& Case : CASES) {
        SCOPED_TRACE(Case.szPattern);
        TScore Score;
        std::string strError;
        const std::string strPath = Write(strHead + Case.szPattern);
        EXPECT_FALSE(Score.Load(strPath, strError));
        EXPECT_NE(strError.find(strPath + ":" + std::to_string(Case.nLine) + ": "), std::string::npos) << strError;
        EXPECT_NE(strError.find(Case.szMessage), std::string::npos) << strError;
    }
}

}  // namespace
